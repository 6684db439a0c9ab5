// A window that this program creates or subclasses, bound to one C++ object for its whole life.
//
// The object pointer travels in lpCreateParams (CreateWindowExA) and is stored in GWLP_USERDATA at
// WM_NCCREATE; it is cleared at WM_NCDESTROY. A subclassed control keeps the pointer as the
// reference data of SetWindowSubclass instead, and the subclass is removed at WM_NCDESTROY.
// There is no global map from HWND to object and no per-thread hand-off slot.
#pragma once

#include <windows.h>
#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace fw {

// The module that holds the calling code: the program, or the DLL into which this code is linked.
inline HINSTANCE ThisModule() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

// Optional fields of a window class; everything left null takes the system default (none).
struct WindowClassInfo {
    UINT style = 0;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

class Window {
public:
    Window() = default;
    // A window still alive is destroyed without reaching the derived handlers any more (the derived
    // part of the object is already gone); a class that must see WM_DESTROY calls Destroy() itself.
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Registers a class whose window procedure dispatches to Window objects. module is the
    // HINSTANCE of the module that holds the code: a DLL passes its own handle, never
    // GetModuleHandle(NULL). Returns 0 on failure (GetLastError tells why).
    static ATOM RegisterWindowClass(HINSTANCE module, const char* className, const WindowClassInfo& info = {});
    static bool UnregisterWindowClass(HINSTANCE module, const char* className);

    // Creates a window of a class registered through RegisterWindowClass and binds it to this object.
    bool Create(HINSTANCE module, const char* className, const char* title, DWORD style, DWORD exStyle = 0,
                HWND parent = nullptr, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int width = CW_USEDEFAULT,
                int height = CW_USEDEFAULT, HMENU menu = nullptr);
    // A message-only window (parent HWND_MESSAGE): receives posted and sent messages, is never shown
    // and is not found by EnumWindows.
    bool CreateMessageWindow(HINSTANCE module, const char* className) {
        return Create(module, className, "", 0, 0, HWND_MESSAGE, 0, 0, 0, 0);
    }
    // Binds an existing control (created by a dialog template, for instance) to this object.
    bool Subclass(HWND control);
    void Destroy();

    HWND Handle() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageA(hwnd_, msg, wp, lp); }
    BOOL Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageA(hwnd_, msg, wp, lp); }
    std::string Text() const;
    void SetText(const std::string& text) const { ::SetWindowTextA(hwnd_, text.c_str()); }

protected:
    // Every message of the window comes here first; the default leaves it to the system.
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    // The system's handling: DefWindowProcA, or the control's own procedure for a subclassed control.
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
    // Called after WM_NCDESTROY, when the handle is already unbound from the object.
    virtual void OnFinalMessage() {}

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    bool subclassed_ = false;
};

// The text of any window as 8-bit text of the ANSI code page.
std::string GetWindowTextString(HWND hwnd);

} // namespace fw
