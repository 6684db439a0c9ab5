#include "framework/dialog.h"

#include "framework/window.h"

namespace fw {

std::string LoadResourceString(HINSTANCE module, UINT id) {
    char buffer[4096]; // a string table entry holds at most 4095 characters
    int n = ::LoadStringA(module, id, buffer, sizeof(buffer));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

Dialog::~Dialog() {
    if (!hwnd_)
        return;
    HWND hwnd = hwnd_;
    ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    hwnd_ = nullptr;
    if (!modal_)
        ::DestroyWindow(hwnd);
}

void Dialog::Unbind() {
    if (!hwnd_)
        return;
    ::SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
    hwnd_ = nullptr;
}

INT_PTR Dialog::DoModal(HWND parent) {
    if (hwnd_)
        return -1;
    modal_ = true;
    return ::DialogBoxParamA(module_, MAKEINTRESOURCEA(templateId_), parent, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent) {
    if (hwnd_)
        return false;
    modal_ = false;
    return ::CreateDialogParamA(module_, MAKEINTRESOURCEA(templateId_), parent, DialogProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::End(INT_PTR result) {
    if (!hwnd_)
        return;
    if (modal_)
        ::EndDialog(hwnd_, result);
    else
        ::DestroyWindow(hwnd_);
}

std::string Dialog::ItemText(int id) const {
    return GetWindowTextString(Item(id));
}

void Dialog::FocusItem(int id) const {
    ::SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

void Dialog::SelectAllText(int id) const {
    SendItem(id, EM_SETSEL, 0, -1);
    SendItem(id, EM_SCROLLCARET);
}

void Dialog::ExchangeText(int id, std::string& value, bool save, int maxChars) const {
    if (save) {
        value = ItemText(id);
        return;
    }
    if (maxChars > 0)
        LimitText(id, maxChars);
    SetItemText(id, value);
}

void Dialog::ExchangeCheck(int id, bool& value, bool save) const {
    if (save)
        value = IsChecked(id);
    else
        SetCheck(id, value);
}

bool Dialog::OnCommand(int id, int, HWND) {
    switch (id) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    }
    return false;
}

bool Dialog::OnNotify(NMHDR* header, LRESULT& result) {
    return ReflectNotify(header, result);
}

bool Dialog::ReflectNotify(NMHDR* header, LRESULT& result) const {
    if (!header || !header->hwndFrom || ::GetParent(header->hwndFrom) != hwnd_)
        return false;
    ReflectedNotify reflected = {header, 0, false};
    ::SendMessageA(header->hwndFrom, WM_REFLECT_NOTIFY, 0, reinterpret_cast<LPARAM>(&reflected));
    if (!reflected.handled)
        return false;
    result = reflected.result;
    return true;
}

INT_PTR Dialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<NMHDR*>(lp), result))
            return FALSE;
        SetResult(result);
        return TRUE;
    }
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    }
    return FALSE;
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    // No C++ exception may unwind through the dialog manager.
    try {
        return OnMessage(msg, wp, lp);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        if (self) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after the unbinding get the default handling.
    if (!self)
        return FALSE;
    INT_PTR result = self->Dispatch(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

} // namespace fw
