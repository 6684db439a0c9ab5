// Drives a customizer that runs as a process of its own, only through window messages, the way a
// user's tools would: it finds the wizard by its caption, presses the wizard's buttons with
// PSM_PRESSBUTTON, fills the dialogs' edits with WM_SETTEXT and presses their buttons by posting
// WM_COMMAND (so that the driver never waits inside the customizer's modal loops), and reads the message
// boxes that the customizer shows. Every step is logged, for a person who watches the run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace drive {

class WizardDriver {
public:
    // log receives one line per step.
    explicit WizardDriver(std::function<void(const std::string&)> log) : log_(std::move(log)) {}

    // Waits for the wizard's window showing page (the welcome page unless the wizard was started with a
    // setup to open); false when none appears within timeoutMs.
    bool Attach(DWORD timeoutMs, int page = 0);
    HWND Sheet() const { return sheet_; }
    // The index of the current page, or -1.
    int ActivePage() const;
    HWND ActivePageWindow() const;
    // Presses a wizard button (PSBTN_NEXT...) and waits until the current page is expected (any when -1).
    bool Press(int button, int expected, DWORD timeoutMs = 10000);
    // Waits until the current page is one of the two given.
    int WaitForPage(int first, int second, DWORD timeoutMs);
    // The same, but a message box that the customizer shows meanwhile ends the wait too: its text goes
    // into message, the box is answered with OK, and the page shown after it is returned.
    int WaitForPageOrMessage(int first, int second, DWORD timeoutMs, std::string& message);
    // Waits for a message box of the customizer and answers it with button (IDYES...). Returns its text,
    // or an empty text when none appeared within timeoutMs.
    std::string AnswerMessage(int button, DWORD timeoutMs);

    // Adds a feed through the Add New Feed dialog. Returns the text of the message box the customizer
    // showed (the dialog is then cancelled), or an empty text when the feed was added.
    std::string AddFeed(const std::string& url);
    // Adds a web page through the Add New Web Page dialog; the same answer.
    std::string AddWebPage(const std::string& title, const std::string& url);
    // Renames the folder shown on the feeds page through the Rename Folder dialog; the same answer.
    std::string RenameFolder(const std::string& name);
    // Puts text into an edit of the current page.
    void SetPageText(int id, const std::string& text) const;
    std::string PageText(int id) const;
    void SetPageCheck(int id, bool checked) const;
    // Presses Finish and waits until the wizard's window is gone.
    bool Finish(DWORD timeoutMs);
    // Presses Cancel and answers Yes when the wizard asks whether to close; true when it has closed.
    bool Cancel(DWORD timeoutMs);

private:
    // Presses button on the current page and fills the dialog it opens.
    std::string ThroughDialog(int button, const char* caption, const std::function<void(HWND)>& fill);
    void Log(const std::string& line) const {
        if (log_)
            log_(line);
    }

    std::function<void(const std::string&)> log_;
    HWND sheet_ = nullptr;
    DWORD process_ = 0;
};

} // namespace drive
