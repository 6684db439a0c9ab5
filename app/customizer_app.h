// The application object: one customizer per desktop, one wizard, then the process ends.
#pragma once

#include <windows.h>

// Names the single-instance mutex and the class of the customizer's hidden main window.
extern const char kInstanceName[];
// Names the mutex and the window class of a running reader.
extern const char kReaderInstanceName[];
// The caption of the wizard.
extern const char kWizardCaption[];

class CCustomizerApp {
public:
    // Starts up and runs the wizard. Returns false in every case, so that the process ends when the
    // wizard closes or when start-up stops early.
    bool InitInstance();
};

// Brings the wizard of a running customizer to the front: the last active pop-up window of its
// main window, which is the sheet. Returns whether a running customizer's window was found.
bool ActivateRunningCustomizer();
