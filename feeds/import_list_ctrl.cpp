#include "feeds/import_list_ctrl.h"

#include <new>

namespace {

constexpr int kTitleWidth = 200;
constexpr int kUrlWidth = 250;
// The state images of a list with check boxes: 1 the unchecked box, 2 the checked box.
constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

CImportedFeed* Record(LPARAM data) {
    return reinterpret_cast<CImportedFeed*>(data);
}

} // namespace

CImportListCtrl::~CImportListCtrl() {
    // The derived part is gone once ~Window destroys the window: release the records while it exists.
    if (Handle())
        Clear();
}

void CImportListCtrl::Initialize() {
    fw::ListView list = List();
    Send(LVM_SETTEXTBKCOLOR, 0, CLR_NONE);
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_SUBITEMIMAGES;
    list.SetExtendedStyle(styles, styles);
    list.InsertColumn(0, "Title", kTitleWidth);
    list.InsertColumn(1, "URL", kUrlWidth);
}

bool CImportListCtrl::AppendRow(const std::string& title, const std::string& url) {
    if (title.empty() || url.empty())
        return false;
    fw::ListView list = List();
    auto* record = new (std::nothrow) CImportedFeed{title, url};
    if (!record)
        return false;
    const int row = list.InsertRow(list.Count(), title, reinterpret_cast<LPARAM>(record), 0);
    if (row < 0) {
        delete record;
        return false;
    }
    if (!list.SetText(row, 1, url)) {
        delete record;
        list.SetData(row, 0);
        list.DeleteRow(row);
        return false;
    }
    return true;
}

int CImportListCtrl::AppendRows(const std::vector<CImportedFeed>& feeds) {
    Send(WM_SETREDRAW, FALSE);
    // Room for every row at once, instead of growing the list's arrays row by row.
    Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(List().Count()) + feeds.size(), LVSICF_NOINVALIDATEALL);
    int added = 0;
    for (const CImportedFeed& feed : feeds) {
        if (AppendRow(feed.title, feed.url))
            ++added;
    }
    Send(WM_SETREDRAW, TRUE);
    ::InvalidateRect(Handle(), nullptr, TRUE);
    return added;
}

const CImportedFeed* CImportListCtrl::Feed(int row) const {
    if (row < 0 || row >= List().Count())
        return nullptr;
    return Record(List().Data(row));
}

void CImportListCtrl::ReleaseRecords() const {
    fw::ListView list = List();
    for (int i = 0; i < list.Count(); ++i) {
        delete Record(list.Data(i));
        list.SetData(i, 0);
    }
}

void CImportListCtrl::Clear() {
    ReleaseRecords();
    List().DeleteAll();
}

void CImportListCtrl::CheckAll(bool checked) {
    List().SetState(-1, INDEXTOSTATEIMAGEMASK(checked ? kChecked : kUnchecked), LVIS_STATEIMAGEMASK);
}

bool CImportListCtrl::IsChecked(int row) const {
    return (List().State(row, LVIS_STATEIMAGEMASK) >> 12) != kUnchecked;
}

int CImportListCtrl::CheckedCount() const {
    int checked = 0;
    for (int i = 0; i < List().Count(); ++i) {
        if (IsChecked(i))
            ++checked;
    }
    return checked;
}

LRESULT CImportListCtrl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        if (fw::PaintEmptyList(Handle(), reinterpret_cast<HDC>(wp)))
            return TRUE;
        break;
    case WM_DESTROY:
        // The list deletes its rows itself as it goes; only their records are ours to release.
        ReleaseRecords();
        break;
    }
    return Window::OnMessage(msg, wp, lp);
}
