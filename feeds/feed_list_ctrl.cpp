#include "feeds/feed_list_ctrl.h"

#include "feeds/feed_folder.h"
#include "resources/resource.h"

#include <algorithm>
#include <new>

const char kRowDescriptionUnknown[] = "Unknown Description";

namespace {

constexpr int kTitleWidth = 200;
constexpr int kUrlWidth = 250;
constexpr int kIconSize = 16;
constexpr int kFeedImage = 0;

CFeedRowData* RowData(LPARAM data) {
    return reinterpret_cast<CFeedRowData*>(data);
}

} // namespace

CFeedListCtrl::CFeedListCtrl() : fw::ReorderList(fw::ThisModule(), IDB_DRAG_ONE, IDB_DRAG_MANY) {}

CFeedListCtrl::~CFeedListCtrl() {
    // The derived part is gone once ~Window destroys the window: release the rows while it exists.
    if (Handle())
        DeleteAllRows();
}

void CFeedListCtrl::Initialize() {
    fw::ListView list = List();
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
    list.InsertColumn(0, "Title", kTitleWidth);
    list.InsertColumn(1, "URL", kUrlWidth);
    // Without LVS_SHAREIMAGELISTS the list destroys its small image list itself when it goes.
    HIMAGELIST images = ::ImageList_Create(kIconSize, kIconSize, ILC_COLOR32 | ILC_MASK, 8, 8);
    if (images) {
        HICON icon = static_cast<HICON>(
            ::LoadImageA(fw::ThisModule(), MAKEINTRESOURCEA(IDI_FEED_ROW), IMAGE_ICON, kIconSize, kIconSize, 0));
        if (icon) {
            ::ImageList_AddIcon(images, icon);
            ::DestroyIcon(icon);
        }
        HIMAGELIST old =
            reinterpret_cast<HIMAGELIST>(Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
        if (old)
            ::ImageList_Destroy(old);
    }
}

bool CFeedListCtrl::AddRow(const std::string& title, const std::string& url, const std::string& /*link*/,
                           const std::string& description) {
    fw::ListView list = List();
    const int index = list.Count();
    auto* data = new (std::nothrow) CFeedRowData(description);
    if (!data)
        return false;
    const int row = list.InsertRow(index, title, reinterpret_cast<LPARAM>(data), kFeedImage);
    if (row < 0) {
        delete data;
        return false;
    }
    list.DeselectAll();
    list.Select(row);
    list.EnsureVisible(row);
    return list.SetText(row, 1, url);
}

int CFeedListCtrl::AddRows(const std::vector<FeedRow>& rows) {
    if (rows.empty())
        return 0;
    const fw::ListView list = fw::ListView::Direct(Handle());
    Send(WM_SETREDRAW, FALSE);
    // Room for every row at once, instead of growing the list's arrays row by row.
    Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(list.Count()) + rows.size(), LVSICF_NOINVALIDATEALL);
    int last = -1;
    int added = 0;
    int count = list.Count();
    for (const FeedRow& row : rows) {
        auto* data = new (std::nothrow) CFeedRowData(row.description);
        if (!data)
            continue;
        const int index = list.InsertRow(count, row.title, reinterpret_cast<LPARAM>(data), kFeedImage);
        if (index < 0) {
            delete data;
            continue;
        }
        last = index;
        count = index + 1;
        if (list.SetText(index, 1, row.url))
            ++added;
    }
    if (last >= 0) {
        list.DeselectAll();
        list.Select(last);
    }
    Send(WM_SETREDRAW, TRUE);
    if (last >= 0)
        list.EnsureVisible(last);
    ::InvalidateRect(Handle(), nullptr, TRUE);
    return added;
}

std::string CFeedListCtrl::Description(int row) const {
    const CFeedRowData* data = RowData(List().Data(row));
    return data ? data->Description() : std::string();
}

void CFeedListCtrl::ReleaseRowData(const fw::ListView& list, int row) {
    delete RowData(list.Data(row));
    list.SetData(row, 0);
}

bool CFeedListCtrl::DeleteRow(int row) {
    if (row < 0 || row >= List().Count())
        return false;
    ReleaseRowData(List(), row);
    return List().DeleteRow(row);
}

// Takes the descriptions of every row; the rows keep pointers to them until they are deleted. Changing
// the rows' data instead would notify the page once for every row.
std::vector<CFeedRowData*> CFeedListCtrl::TakeAllRowData() const {
    const fw::ListView list = fw::ListView::Direct(Handle());
    std::vector<CFeedRowData*> data(static_cast<size_t>(std::max(list.Count(), 0)));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = RowData(list.Data(static_cast<int>(i)));
    return data;
}

void CFeedListCtrl::DeleteAllRows() {
    const std::vector<CFeedRowData*> data = TakeAllRowData();
    fw::ListView::Direct(Handle()).DeleteAll();
    for (CFeedRowData* description : data)
        delete description;
}

void CFeedListCtrl::OnDestroyList() {
    // The list deletes its rows itself as it goes; only their descriptions are ours to release. Deleting
    // the rows here would notify a parent that is being torn down.
    for (CFeedRowData* description : TakeAllRowData())
        delete description;
}
