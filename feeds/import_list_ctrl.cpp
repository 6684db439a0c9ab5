#include "feeds/import_list_ctrl.h"

#include <algorithm>
#include <memory>
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

struct ImportRow : fw::RowData {
    explicit ImportRow(CImportedFeed f) : feed(std::move(f)) {}
    CImportedFeed feed;
};

} // namespace

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
    std::unique_ptr<ImportRow> record(new (std::nothrow) ImportRow(CImportedFeed{title, url}));
    return record && InsertRow(Count(), {title, url}, std::move(record), 0) >= 0;
}

int CImportListCtrl::AppendRows(const std::vector<CImportedFeed>& feeds) {
    Send(WM_SETREDRAW, FALSE);
    // Room for every row at once, instead of growing the list's arrays row by row.
    Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(Count()) + feeds.size(), LVSICF_NOINVALIDATEALL);
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
    const auto* record = static_cast<const ImportRow*>(Data(row));
    return record ? &record->feed : nullptr;
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
    std::vector<bool> checked(static_cast<size_t>(std::max(list.Count(), 0)));
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = IsCheckedState(list.State(static_cast<int>(i), LVIS_STATEIMAGEMASK));
    return checked;
}

int CImportListCtrl::CheckedCount() const {
    const std::vector<bool> checked = CheckedRows();
    return static_cast<int>(std::count(checked.begin(), checked.end(), true));
}
