#include "feeds/import_list_ctrl.h"

#include <algorithm>
#include <new>

namespace {

constexpr int kTitleWidth = 200;
constexpr int kUrlWidth = 250;
// The state images of a list with check boxes: 1 the unchecked box, 2 the checked box.
constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

bool IsCheckedState(UINT state) {
    return (state >> 12) != kUnchecked;
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
    const fw::ListView list = fw::ListView::Direct(Handle());
    auto* record = new (std::nothrow) CImportedFeed{title, url};
    if (!record)
        return false;
    const int row = list.InsertRow(Count(), title, reinterpret_cast<LPARAM>(record), 0);
    if (row != Count() || !list.SetText(row, 1, url)) {
        if (row >= 0) {
            list.SetData(row, 0);
            list.DeleteRow(row);
        }
        delete record;
        return false;
    }
    records_.push_back(record);
    return true;
}

int CImportListCtrl::AppendRows(const std::vector<CImportedFeed>& feeds) {
    Send(WM_SETREDRAW, FALSE);
    // Room for every row at once, instead of growing the list's arrays row by row.
    Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(Count()) + feeds.size(), LVSICF_NOINVALIDATEALL);
    records_.reserve(records_.size() + feeds.size());
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
    if (row < 0 || row >= Count())
        return nullptr;
    return records_[static_cast<size_t>(row)];
}

void CImportListCtrl::ReleaseRecords() {
    for (CImportedFeed* record : records_)
        delete record;
    records_.clear();
}

void CImportListCtrl::Clear() {
    // The rows go first: a row never names a record that is already released.
    fw::ListView::Direct(Handle()).DeleteAll();
    ReleaseRecords();
}

void CImportListCtrl::CheckAll(bool checked) {
    // One message for all rows; the list is redrawn once, not row by row.
    Send(WM_SETREDRAW, FALSE);
    fw::ListView::Direct(Handle()).SetState(-1, INDEXTOSTATEIMAGEMASK(checked ? kChecked : kUnchecked),
                                            LVIS_STATEIMAGEMASK);
    Send(WM_SETREDRAW, TRUE);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

bool CImportListCtrl::IsChecked(int row) const {
    return IsCheckedState(fw::ListView::Direct(Handle()).State(row, LVIS_STATEIMAGEMASK));
}

std::vector<bool> CImportListCtrl::CheckedRows() const {
    const fw::ListView list = fw::ListView::Direct(Handle());
    std::vector<bool> checked(records_.size());
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = IsCheckedState(list.State(static_cast<int>(i), LVIS_STATEIMAGEMASK));
    return checked;
}

int CImportListCtrl::CheckedCount() const {
    const std::vector<bool> checked = CheckedRows();
    return static_cast<int>(std::count(checked.begin(), checked.end(), true));
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
