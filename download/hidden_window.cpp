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
    // The error of the call that failed, never one left over from an earlier call: a window that a
    // hook refuses, for one, fails without an error code of its own.
    ::SetLastError(ERROR_SUCCESS);
    // The class stays registered from an earlier window of this module, or is registered now.
    if (!fw::Window::RegisterWindowClass(module, kClassName, info) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return LastErrorResult();
    ::SetLastError(ERROR_SUCCESS);
    // Message-only: no other window lists it, and no broadcast reaches it.
    if (!Create(module, kClassName, "", WS_CHILD, 0, HWND_MESSAGE, 0, 0, 0, 0,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_PULLWIRE_HIDDEN))))
        return LastErrorResult();
    return S_OK;
}

void CHiddenWindow::BeginTransfer(const std::shared_ptr<CDownloadChannel>& channel) {
    channels_.push_back(channel);
    owner_->ControllingUnknown()->AddRef();
}

void CHiddenWindow::EndTransfer(const std::shared_ptr<CDownloadChannel>& channel) {
    for (auto it = channels_.begin(); it != channels_.end(); ++it) {
        if (*it == channel) {
            channels_.erase(it);
            // May be the final release of the object, which closes this window: nothing of this object
            // may be touched after it.
            if (owner_)
                owner_->ControllingUnknown()->Release();
            return;
        }
    }
}

void CHiddenWindow::StopTransfers() {
    std::vector<HANDLE> released;
    for (const auto& channel : channels_) {
        channel->RequestStop();
        released.push_back(channel->ReleasedEvent());
    }
    // A worker between two blocks notices the request at once, and the watch ends one that waits for
    // the server; only a file system that hangs could keep them longer.
    if (!released.empty() && released.size() <= MAXIMUM_WAIT_OBJECTS)
        ::WaitForMultipleObjects(static_cast<DWORD>(released.size()), released.data(), TRUE, kDownloadStopWaitMs);
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
    const size_t transfers = channels_.size();
    IUnknown* unknown = owner ? owner->ControllingUnknown() : nullptr;
    if (owner)
        owner->HiddenWindowGone();
    delete this;
    for (size_t i = 0; unknown && i < transfers; ++i)
        unknown->Release();
}

void CHiddenWindow::RaiseNotices() {
    if (raising_) {
        lookAgain_ = true;
        return;
    }
    if (!owner_)
        return;
    // A sink may release the object from inside its handler: the object, and so this window, outlive
    // the loop. The references of the transfers that ended go after it, the last thing done here.
    IUnknown* unknown = owner_->ControllingUnknown();
    unknown->AddRef();
    size_t ended = 0;
    raising_ = true;
    do {
        lookAgain_ = false;
        // A handler may start a transfer: the loop runs over the transfers it began with.
        const std::vector<std::shared_ptr<CDownloadChannel>> channels = channels_;
        for (const auto& channel : channels) {
            for (const DownloadNotice& notice : channel->TakeAll()) {
                if (notice.kind == DownloadNotice::kStart) {
                    owner_->OnStart(1, notice.expectedBytes);
                } else if (notice.kind == DownloadNotice::kData) {
                    owner_->OnData(notice.blockBytes, notice.receivedBytes, notice.expectedBytes, notice.rate,
                                   notice.percent, notice.elapsed);
                } else {
                    try {
                        // A null text gives a null BSTR, an empty text an empty one.
                        fw::Bstr error;
                        if (notice.text)
                            error = fw::Bstr::FromAnsi(*notice.text);
                        owner_->OnFinish(notice.success ? 1 : 0, error.Get());
                    } catch (...) {
                        // Out of memory for the text: the transfer is over all the same.
                    }
                    for (auto it = channels_.begin(); it != channels_.end(); ++it) {
                        if (*it == channel) {
                            channels_.erase(it);
                            ++ended;
                            break;
                        }
                    }
                }
            }
        }
    } while (lookAgain_);
    raising_ = false;
    // The last reference may go here; then this object is deleted with its window.
    for (size_t i = 0; i < ended; ++i)
        unknown->Release();
    unknown->Release();
}

LRESULT CHiddenWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DOWNLOAD_WAKE) {
        // The message carries nothing: whoever sent it, the window only looks at its own transfers.
        RaiseNotices();
        return 0;
    }
    return Default(msg, wp, lp);
}
