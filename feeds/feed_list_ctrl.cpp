#include "feeds/feed_list_ctrl.h"

#include "resources/resource.h"

#include <memory>
#include <new>

const char kRowDescriptionUnknown[] = "Unknown Description";

namespace {

constexpr int kTitleWidth = 200;
constexpr int kUrlWidth = 250;
constexpr int kIconSize = 16;
constexpr int kFeedImage = 0;

const CFeedRowData* RowData(fw::RowData* data) {
    return static_cast<const CFeedRowData*>(data);
}

} // namespace

CFeedListCtrl::CFeedListCtrl() : fw::ReorderList(fw::ThisModule(), IDB_DRAG_ONE, IDB_DRAG_MANY) {}

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
                           const std::string& description, int recordId) {
    fw::ListView list = List();
    std::unique_ptr<CFeedRowData> data(new (std::nothrow) CFeedRowData(description, recordId));
    if (!data)
        return false;
    const int row = InsertRow(Count(), {title, url}, std::move(data), kFeedImage);
    if (row < 0)
        return false;
    list.DeselectAll();
    list.Select(row);
    list.EnsureVisible(row);
    return true;
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
    for (const FeedRow& row : rows) {
        std::unique_ptr<CFeedRowData> data(new (std::nothrow) CFeedRowData(row.description, row.recordId));
        if (!data)
            continue;
        const int index = InsertRow(list.Count(), {row.title, row.url}, std::move(data), kFeedImage);
        if (index >= 0) {
            last = index;
            ++added;
        }
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
    const CFeedRowData* data = RowData(Data(row));
    return data ? data->Description() : std::string();
}

int CFeedListCtrl::RecordId(int row) const {
    const CFeedRowData* data = RowData(Data(row));
    return data ? data->RecordId() : 0;
}

std::vector<int> CFeedListCtrl::RecordIds() const {
    std::vector<int> ids;
    for (int i = 0; i < Count(); ++i)
        ids.push_back(RecordId(i));
    return ids;
}
