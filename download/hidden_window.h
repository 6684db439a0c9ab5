// The hidden window of one URLDownload object: its workers post their notices here, and it raises the
// object's events on the object's own thread.
#pragma once

#include <windows.h>

#include "framework/window.h"

class CURLDownload;

class CHiddenWindow final : public fw::Window {
public:
    explicit CHiddenWindow(CURLDownload* owner) : owner_(owner) {}

    // Registers the window class with the module's own HINSTANCE if needed and creates the window;
    // returns the error of the call that failed, or E_FAIL when that call gave none.
    HRESULT EnsureWindow();
    // A transfer is about to start: the window holds a counted reference on its object until the
    // transfer's finish notice has been raised, so that every notice finds the object alive.
    void BeginTransfer();
    // A transfer has ended (its finish notice was raised) or could not start: its reference goes. This
    // may be the object's final release, which closes this window.
    void EndTransfer();
    // The object's final release: the window goes, and this object with it (now or, when called from
    // inside one of its own handlers, as soon as the window is destroyed).
    void Close();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnFinalMessage() override;

private:
    ~CHiddenWindow() override = default;

    CURLDownload* owner_;
    LONG transfers_ = 0;
};
