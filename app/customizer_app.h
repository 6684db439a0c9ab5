// The application object: one customizer per desktop, one wizard, then the process ends.
#pragma once

#include "framework/window.h"

#include <windows.h>

// Names the single-instance mutex and the class of the customizer's hidden main window.
extern const char kInstanceName[];
// Names the mutex and the window class of a running reader.
extern const char kReaderInstanceName[];
// The caption of the wizard.
extern const char kWizardCaption[];

// The customizer's hidden main window. It owns the wizard, and a second start finds the customizer by
// its class and reaches the wizard as its last active pop-up window. A request to close it (an installer
// or the system asking programs to close) is answered as the wizard's Cancel, so that the wizard is not
// destroyed under its own modal loop and the publisher is asked before work is lost.
class CMainWindow : public fw::Window {
protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

class CCustomizerApp {
public:
    // Starts up and runs the wizard. Returns false in every case, so that the process ends when the
    // wizard closes or when start-up stops early.
    bool InitInstance();
};

// Brings the wizard of a running customizer to the front: the last active pop-up window of its
// main window, which is the sheet. Returns whether a running customizer's window was found.
bool ActivateRunningCustomizer();
