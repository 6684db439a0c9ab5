#include "framework/window.h"

#include <commctrl.h>
#include <vector>

namespace fw {

namespace {
// Any value identifies our subclass; the address of a private object is unique in the process.
const char subclassTag = 0;
UINT_PTR SubclassId() {
    return reinterpret_cast<UINT_PTR>(&subclassTag);
}
} // namespace

std::string GetWindowTextString(HWND hwnd) {
    int length = ::GetWindowTextLengthA(hwnd);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    int got = ::GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

Window::~Window() {
    if (!hwnd_)
        return;
    // Unbind first: the remaining messages of the destruction go to the system, not to a half
    // destroyed object.
    HWND hwnd = hwnd_;
    if (subclassed_)
        ::RemoveWindowSubclass(hwnd, SubclassProc, SubclassId());
    else
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    if (!subclassed_)
        ::DestroyWindow(hwnd);
}

ATOM Window::RegisterWindowClass(HINSTANCE module, const char* className, const WindowClassInfo& info) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = info.style;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = module;
    wc.hIcon = info.icon;
    wc.hIconSm = info.smallIcon;
    wc.hCursor = info.cursor;
    wc.hbrBackground = info.background;
    wc.lpszClassName = className;
    return ::RegisterClassExA(&wc);
}

bool Window::UnregisterWindowClass(HINSTANCE module, const char* className) {
    return ::UnregisterClassA(className, module) != FALSE;
}

bool Window::Create(HINSTANCE module, const char* className, const char* title, DWORD style, DWORD exStyle, HWND parent,
                    int x, int y, int width, int height, HMENU menu) {
    if (hwnd_)
        return false;
    // WindowProc binds the handle at WM_NCCREATE, so hwnd_ is already set when this returns.
    HWND hwnd = ::CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menu, module, this);
    return hwnd != nullptr;
}

bool Window::Subclass(HWND control) {
    if (hwnd_ || !control)
        return false;
    if (!::SetWindowSubclass(control, SubclassProc, SubclassId(), reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = control;
    subclassed_ = true;
    return true;
}

void Window::Destroy() {
    if (hwnd_)
        ::DestroyWindow(hwnd_);
}

std::string Window::Text() const {
    return GetWindowTextString(hwnd_);
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return Default(msg, wp, lp);
}

LRESULT Window::Default(UINT msg, WPARAM wp, LPARAM lp) {
    if (subclassed_)
        return ::DefSubclassProc(hwnd_, msg, wp, lp);
    return ::DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT Window::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    // No C++ exception may unwind through the system's window procedure call.
    try {
        return OnMessage(msg, wp, lp);
    } catch (...) {
        return Default(msg, wp, lp);
    }
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self;
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        self = static_cast<Window*>(cs->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    // Messages that arrive before WM_NCCREATE (WM_GETMINMAXINFO) or after the unbinding.
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    LRESULT result = self->Dispatch(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->OnFinalMessage();
    }
    return result;
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Window*>(data);
    if (!self)
        return ::DefSubclassProc(hwnd, msg, wp, lp);
    LRESULT result = self->Dispatch(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        // The control's own procedure has run (through Default); take the subclass off again.
        ::RemoveWindowSubclass(hwnd, SubclassProc, SubclassId());
        self->hwnd_ = nullptr;
        self->subclassed_ = false;
        self->OnFinalMessage();
    }
    return result;
}

} // namespace fw
