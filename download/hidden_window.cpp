#include "download/hidden_window.h"

#include <memory>

#include "download/download_engine.h"
#include "download/download_messages.h"
#include "download/url_download.h"
#include "framework/com.h"
#include "framework/owners.h"
#include "resources/pullwire_resource.h"

namespace {

const char kClassName[] = "PullwireHiddenWindow";

// The error of the call that just failed, or E_FAIL when it set none.
HRESULT LastErrorResult() {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

} // namespace

HRESULT CHiddenWindow::EnsureWindow() {
    if (Handle())
        return S_OK;
    HINSTANCE module = fw::ComModule::Instance();
    fw::WindowClassInfo info;
    info.style = CS_HREDRAW | CS_VREDRAW;
    // The error of the call that failed, never one left over from an earlier call: a window that a
    // hook refuses, for one, fails without an error code of its own.
    ::SetLastError(ERROR_SUCCESS);
    // The class stays registered from an earlier window of this module, or is registered now.
    if (!fw::Window::RegisterWindowClass(module, kClassName, info) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return LastErrorResult();
    ::SetLastError(ERROR_SUCCESS);
    if (!Create(module, kClassName, "", WS_CHILD, 0, ::GetDesktopWindow(), 1, 1, 0, 0,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_PULLWIRE_HIDDEN))))
        return LastErrorResult();
    ::ShowWindow(Handle(), SW_HIDE);
    return S_OK;
}

void CHiddenWindow::BeginTransfer() {
    owner_->ControllingUnknown()->AddRef();
    ++transfers_;
}

void CHiddenWindow::EndTransfer() {
    if (transfers_ == 0 || !owner_)
        return;
    --transfers_;
    // May be the final release of the object, which closes this window: nothing of this object may be
    // touched after it.
    owner_->ControllingUnknown()->Release();
}

void CHiddenWindow::Close() {
    owner_ = nullptr;
    if (!Handle()) {
        delete this;
        return;
    }
    // The window belongs to the object's thread; from any other thread it is closed through its queue.
    // OnFinalMessage deletes this object once the window is gone.
    HWND hwnd = Handle();
    if (!::DestroyWindow(hwnd)) {
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return;
    }
    // This object is gone now. The class goes with the module's last window, so that a module loaded
    // again (perhaps at another address) registers its own window procedure; while other windows of the
    // class live, the call fails and the class stays for them.
    fw::Window::UnregisterWindowClass(fw::ComModule::Instance(), kClassName);
}

void CHiddenWindow::OnFinalMessage() {
    // Gone with its thread while transfers ran: the object must not point here any more, and the
    // references held for the transfers are given back (their notices can no longer arrive).
    CURLDownload* owner = owner_;
    owner_ = nullptr;
    LONG transfers = transfers_;
    IUnknown* unknown = owner ? owner->ControllingUnknown() : nullptr;
    if (owner)
        owner->HiddenWindowGone();
    delete this;
    for (LONG i = 0; unknown && i < transfers; ++i)
        unknown->Release();
}

LRESULT CHiddenWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DOWNLOAD_DATA: {
        // The record is destroyed here whether or not an object is left to hear of it.
        std::unique_ptr<DownloadProgress> progress(reinterpret_cast<DownloadProgress*>(wp));
        if (!owner_)
            return 0;
        if (progress) {
            // A sink may release the object from inside its handler; the object outlives the call.
            fw::ComPtr<IUnknown> keep(owner_->ControllingUnknown());
            owner_->OnData(progress->blockBytes, progress->receivedBytes, progress->expectedBytes, progress->rate,
                           progress->percent, progress->elapsed);
        }
        return 1;
    }
    case WM_DOWNLOAD_START: {
        if (!owner_)
            return 0;
        fw::ComPtr<IUnknown> keep(owner_->ControllingUnknown());
        owner_->OnStart(static_cast<INT>(wp), static_cast<LONG>(lp));
        return 1;
    }
    case WM_DOWNLOAD_FINISH: {
        std::unique_ptr<char[]> text(reinterpret_cast<char*>(lp));
        if (!owner_)
            return 0;
        fw::ComPtr<IUnknown> keep(owner_->ControllingUnknown());
        try {
            // A null text gives a null BSTR, an empty text an empty one.
            fw::Bstr error;
            if (text)
                error = fw::Bstr::FromAnsi(text.get());
            owner_->OnFinish(static_cast<INT>(wp), error.Get());
        } catch (...) {
            // Out of memory for the text: the transfer is over all the same, and its reference goes below.
        }
        // The last reference may go with keep, at the end of this scope; then this object is deleted
        // with its window and only the return value is left to hand back.
        EndTransfer();
        return 1;
    }
    default:
        return Default(msg, wp, lp);
    }
}
