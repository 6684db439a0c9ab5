// A dialog box bound to one C++ object: the object pointer travels in the lParam of WM_INITDIALOG,
// is stored in DWLP_USER there and cleared at WM_NCDESTROY. One OnMessage switch calls the
// virtual handlers; a modal and a modeless dialog differ only in how they end (End()).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <string>

namespace fw {

class Dialog {
public:
    Dialog(HINSTANCE module, int templateId) : module_(module), templateId_(templateId) {}
    // A modeless dialog still open is destroyed without reaching the derived handlers any more.
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value given to End(), or -1 when the dialog could not be
    // created.
    INT_PTR DoModal(HWND parent);
    // Creates the dialog modelessly; the caller's message loop must pass its messages to
    // IsDialogMessage. Returns false when the dialog could not be created.
    bool Create(HWND parent);
    // Ends a modal run with result, or destroys a modeless dialog.
    void End(INT_PTR result);

    HWND Handle() const { return hwnd_; }
    HINSTANCE Module() const { return module_; }
    int TemplateId() const { return templateId_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    LRESULT SendItem(int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendDlgItemMessageA(hwnd_, id, msg, wp, lp);
    }

    // Control helpers: text is 8-bit text of the ANSI code page.
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text) const { ::SetDlgItemTextA(hwnd_, id, text.c_str()); }
    void EnableItem(int id, bool enable) const { ::EnableWindow(Item(id), enable ? TRUE : FALSE); }
    bool IsItemEnabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    void ShowItem(int id, bool show) const { ::ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE); }
    // Moves the focus the way the dialog manager does (WM_NEXTDLGCTL), so the default button follows.
    void FocusItem(int id) const;
    // Selects the whole text of an edit and scrolls its caret into view.
    void SelectAllText(int id) const;
    // The usual refusal of a field: focus the edit and select its whole text.
    void FocusAndSelect(int id) const {
        FocusItem(id);
        SelectAllText(id);
    }
    void LimitText(int id, int maxChars) const { SendItem(id, EM_LIMITTEXT, static_cast<WPARAM>(maxChars)); }
    bool IsChecked(int id) const { return ::IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void SetCheck(int id, bool checked) const { ::CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED); }

    // Data exchange between a string member and an edit: save = true reads the control into value,
    // save = false writes value into the control. maxChars > 0 also limits the edit when writing.
    void ExchangeText(int id, std::string& value, bool save, int maxChars = 0) const;
    void ExchangeCheck(int id, bool& value, bool save) const;

protected:
    // The dialog procedure's answer: TRUE when the message was handled. A handler that must return
    // a value to the sender sets it with SetResult (DWLP_MSGRESULT) and returns TRUE.
    virtual INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Return true to let the dialog manager give the focus to the first control, false when the
    // handler has set the focus itself.
    virtual bool OnInitDialog() { return true; }
    // Return true when the command was handled. The default sends IDOK and IDCANCEL to OnOK and
    // OnCancel.
    virtual bool OnCommand(int id, int code, HWND control);
    // Return true when handled; result goes back to the sender through DWLP_MSGRESULT.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    virtual void OnDestroy() {}
    void SetResult(LRESULT result) const { ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result); }
    // Lets go of the window without destroying it: a property page's window belongs to its sheet.
    void Unbind();
    // Offers a notification to the control that sent it, when the control is a subclassed fw::Window
    // that handles WM_REFLECT_NOTIFY; returns true when it was handled.
    bool ReflectNotify(NMHDR* header, LRESULT& result) const;

    // Binds the handle at WM_INITDIALOG, whose lParam is the Dialog*; property pages translate their
    // page record into that pointer first.
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HINSTANCE module_;
    int templateId_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// A notification that a dialog offers to the subclassed control that sent it (the reflection of
// WM_NOTIFY). lParam points to a ReflectedNotify; a control that handles it sets handled and result.
constexpr UINT WM_REFLECT_NOTIFY = WM_APP + 0x3F01;
struct ReflectedNotify {
    NMHDR* header;
    LRESULT result;
    bool handled;
};

// Shows the wait cursor for the life of the object.
class WaitCursor {
public:
    WaitCursor() : previous_(::SetCursor(::LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// Loads a string of the string table of module; empty when it is missing.
std::string LoadResourceString(HINSTANCE module, UINT id);

} // namespace fw
