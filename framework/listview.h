// Helpers for a list view in report view. The object lends its handle and owns nothing; a control
// that needs its own messages derives from fw::Window and uses these helpers on its handle.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

namespace fw {

class ListView {
public:
    explicit ListView(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    // Helpers whose messages go straight to the list view's own window procedure, past any subclass of
    // the control: for filling or reading many rows at once, where each message through a subclass costs
    // a lookup of the window's property (under Wine a round trip to the server). Only for the list
    // view's own messages (LVM_*), which no subclass of ours handles.
    static ListView Direct(HWND hwnd);
    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    HWND Handle() const { return hwnd_; }
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return procedure_ ? ::CallWindowProcA(procedure_, hwnd_, msg, wp, lp) : ::SendMessageA(hwnd_, msg, wp, lp);
    }

    bool InsertColumn(int index, const std::string& title, int width, int format = LVCFMT_LEFT) const;
    void SetExtendedStyle(DWORD mask, DWORD style) const;

    int Count() const { return static_cast<int>(Send(LVM_GETITEMCOUNT, 0, 0)); }
    // Inserts a row with the text of column 0; image -1 leaves the row without image. Returns the
    // index of the new row, or -1.
    int InsertRow(int index, const std::string& text, LPARAM data = 0, int image = -1) const;
    bool DeleteRow(int index) const;
    bool DeleteAll() const { return Send(LVM_DELETEALLITEMS, 0, 0) != FALSE; }

    std::string Text(int row, int column) const;
    bool SetText(int row, int column, const std::string& text) const;
    LPARAM Data(int row) const;
    bool SetData(int row, LPARAM data) const;

    UINT State(int row, UINT mask) const;
    bool SetState(int row, UINT state, UINT mask) const;
    // Row -1 applies to every row.
    bool Select(int row, bool selected = true) const {
        return SetState(row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
    }
    void DeselectAll() const { Select(-1, false); }
    int SelectedCount() const { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT, 0, 0)); }
    // Indices of the selected rows in ascending order.
    std::vector<int> SelectedRows() const;
    int FirstSelected() const { return NextRow(-1, LVNI_SELECTED); }
    int NextRow(int start, UINT flags) const {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), flags));
    }
    bool EnsureVisible(int row) const { return Send(LVM_ENSUREVISIBLE, row, FALSE) != FALSE; }

private:
    HWND hwnd_;
    WNDPROC procedure_ = nullptr;
};

// Shown under the header of an empty list.
extern const char kEmptyListText[];

// The erasing of a list without rows (WM_ERASEBKGND): the window colour, and kEmptyListText centred
// under the header. Returns true when it painted; a list with rows is left to erase normally (false).
bool PaintEmptyList(HWND list, HDC dc);

} // namespace fw
