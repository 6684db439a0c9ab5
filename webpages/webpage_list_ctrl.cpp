#include "webpages/webpage_list_ctrl.h"

bool CWebPageListCtrl::Attach(HWND control) {
    if (!control || !Subclass(control))
        return false;
    fw::ListView list = List();

    ListView_SetTextBkColor(control, CLR_NONE);
    // A list view that accepts a background bitmap owns it from then on and deletes it when it is replaced or
    // destroyed (Wine's comctl32 does both); deleting it here as well would free a handle twice.
    fw::Bitmap background(static_cast<HBITMAP>(::LoadImageA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_LIST_BACKGROUND),
                                                            IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (background) {
        LVBKIMAGEA image = {};
        image.ulFlags = LVBKIF_SOURCE_HBITMAP | LVBKIF_STYLE_TILE;
        image.hbm = background.Get();
        if (::SendMessageA(control, LVM_SETBKIMAGEA, 0, reinterpret_cast<LPARAM>(&image)))
            background.Release();
    }
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
    list.InsertColumn(kTitleColumn, "Title", 200);
    list.InsertColumn(kUrlColumn, "URL", 250);

    rowImages_.Reset(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 8));
    fw::Icon icon(
        static_cast<HICON>(::LoadImageA(fw::ThisModule(), MAKEINTRESOURCEA(IDI_WEBPAGE_ROW), IMAGE_ICON, 16, 16, 0)));
    if (rowImages_ && icon)
        ::ImageList_AddIcon(rowImages_.Get(), icon.Get());
    // LVS_SHAREIMAGELISTS is not set in the template, so the control would destroy a list it is given;
    // it gets the list with the style set, and this object destroys it.
    ::SetWindowLongPtrA(control, GWL_STYLE, ::GetWindowLongPtrA(control, GWL_STYLE) | LVS_SHAREIMAGELISTS);
    ListView_SetImageList(control, rowImages_.Get(), LVSIL_SMALL);
    return true;
}

bool CWebPageListCtrl::AddWebPageRow(const std::string& title, const std::string& url) {
    fw::ListView list = List();
    list.DeselectAll();
    const int row = InsertRow(Count(), {title, url}, nullptr, 0);
    if (row < 0)
        return false;
    list.Select(row);
    list.EnsureVisible(row);
    return true;
}

std::vector<std::pair<std::string, std::string>> CWebPageListCtrl::Rows() const {
    std::vector<std::pair<std::string, std::string>> rows;
    fw::ListView list = List();
    int count = list.Count();
    for (int i = 0; i < count; ++i)
        rows.emplace_back(list.Text(i, kTitleColumn), list.Text(i, kUrlColumn));
    return rows;
}

std::vector<std::string> CWebPageListCtrl::Urls() const {
    std::vector<std::string> urls;
    fw::ListView list = List();
    int count = list.Count();
    for (int i = 0; i < count; ++i)
        urls.push_back(list.Text(i, kUrlColumn));
    return urls;
}

LRESULT CWebPageListCtrl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    // A resized column moves the centre of the empty-list text: the whole list is drawn again.
    if (msg == WM_NOTIFY) {
        UINT code = reinterpret_cast<NMHDR*>(lp)->code;
        if (code == HDN_ITEMCHANGEDA || code == HDN_ITEMCHANGEDW)
            ::InvalidateRect(Handle(), nullptr, TRUE);
    }
    return fw::ReorderList::OnMessage(msg, wp, lp);
}
