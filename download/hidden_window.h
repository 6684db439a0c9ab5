// The hidden window of one URLDownload object: a message-only window on the object's thread. Its
// transfers put their notices into their channels and wake it; it raises the object's events from them.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "framework/window.h"

class CURLDownload;
class CDownloadChannel;

class CHiddenWindow final : public fw::Window {
public:
    explicit CHiddenWindow(CURLDownload* owner) : owner_(owner) {}

    // Registers the window class with the module's own HINSTANCE if needed and creates the window;
    // returns the error of the call that failed, or E_FAIL when that call gave none.
    HRESULT EnsureWindow();
    // A transfer is about to start: the window holds a counted reference on its object until the
    // transfer's finish notice has been raised, so that every notice finds the object alive.
    void BeginTransfer(const std::shared_ptr<CDownloadChannel>& channel);
    // The transfer could not start: its reference goes. This may be the object's final release, which
    // closes this window.
    void EndTransfer(const std::shared_ptr<CDownloadChannel>& channel);
    // Asks every running transfer to stop and waits, up to a limit, until each has let go of its file.
    // Their finish notices follow as for any other end.
    void StopTransfers();
    // The object's final release: the window goes, and this object with it (now or, when called from
    // inside one of its own handlers, as soon as the window is destroyed).
    void Close();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnFinalMessage() override;

private:
    ~CHiddenWindow() override = default;

    // Raises the events of every notice waiting in the channels, transfer by transfer in order.
    void RaiseNotices();

    CURLDownload* owner_;
    // The running transfers, one counted reference on the object each.
    std::vector<std::shared_ptr<CDownloadChannel>> channels_;
    // An event handler that runs a message loop may let another wake in: that one only asks the running
    // RaiseNotices to look again, so that the events of a transfer keep their order.
    bool raising_ = false;
    bool lookAgain_ = false;
};
