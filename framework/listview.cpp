#include "framework/listview.h"

#include "framework/owners.h"

namespace fw {

const char kEmptyListText[] = "There are no items to show in this view.";

namespace {
// Space between the header and the text of an empty list.
constexpr int kEmptyTextGap = 10;
} // namespace

bool PaintEmptyList(HWND list, HDC dc) {
    if (ListView(list).Count() > 0)
        return false;
    RECT client;
    ::GetClientRect(list, &client);
    const int saved = ::SaveDC(dc);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
    ::SelectObject(dc, ::GetStockObject(ANSI_VAR_FONT));
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    RECT item = {};
    if (header && ::SendMessageA(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)))
        client.top += item.bottom;
    client.top += kEmptyTextGap;
    // GDI's 8-bit calls read text in the system's code page, not the process's: the text is drawn wide.
    const std::wstring text = ToWide(kEmptyListText);
    ::DrawTextW(dc, text.c_str(), -1, &client, DT_CENTER | DT_WORDBREAK | DT_NOCLIP | DT_NOPREFIX);
    ::RestoreDC(dc, saved);
    return true;
}

ListView ListView::Direct(HWND hwnd) {
    ListView list(hwnd);
    list.procedure_ = reinterpret_cast<WNDPROC>(::GetClassLongPtrA(hwnd, GCLP_WNDPROC));
    return list;
}

bool ListView::InsertColumn(int index, const std::string& title, int width, int format) const {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(title.c_str());
    column.iSubItem = index;
    return Send(LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)) >= 0;
}

void ListView::SetExtendedStyle(DWORD mask, DWORD style) const {
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

int ListView::InsertRow(int index, const std::string& text, LPARAM data, int image) const {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    item.lParam = data;
    item.iImage = image;
    return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::DeleteRow(int index) const {
    return Send(LVM_DELETEITEM, index, 0) != FALSE;
}

std::string ListView::Text(int row, int column) const {
    // LVM_GETITEMTEXT gives no length: grow the buffer until the text fits with room to spare.
    std::vector<char> buffer(256);
    for (;;) {
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        int n = static_cast<int>(Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) + 1 < buffer.size() || buffer.size() >= (1u << 20))
            return std::string(item.pszText, static_cast<size_t>(n));
        buffer.resize(buffer.size() * 4);
    }
}

bool ListView::SetText(int row, int column, const std::string& text) const {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    return Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) != FALSE;
}

LPARAM ListView::Data(int row) const {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

bool ListView::SetData(int row, LPARAM data) const {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = data;
    return Send(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

UINT ListView::State(int row, UINT mask) const {
    return static_cast<UINT>(Send(LVM_GETITEMSTATE, static_cast<WPARAM>(row), mask));
}

bool ListView::SetState(int row, UINT state, UINT mask) const {
    LVITEMA item = {};
    item.stateMask = mask;
    item.state = state;
    return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)) != FALSE;
}

std::vector<int> ListView::SelectedRows() const {
    std::vector<int> rows;
    for (int row = FirstSelected(); row >= 0; row = NextRow(row, LVNI_SELECTED))
        rows.push_back(row);
    return rows;
}

} // namespace fw
