// Helpers for tests that drive the wizard's windows on the test's own thread.
#pragma once

#include "framework/message.h"

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace uitest {

// Dispatches every message that arrives until none has come for quietMs milliseconds (at most
// maxMs in all). Keeps a modeless dialog or sheet alive without fixed sleeps.
void flush_events(DWORD quietMs = 50, DWORD maxMs = 2000);
// Pumps messages until condition() holds or timeoutMs have passed; returns condition().
bool pump_until(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// A top-level window of this process whose caption (when given) and class (when given) match.
// Hidden windows are found only with visibleOnly = false.
HWND find_window(const char* caption, const char* className = nullptr, bool visibleOnly = true);
// Every top-level window of any process with this caption and class (either may be null).
std::vector<HWND> find_windows_anywhere(const char* caption, const char* className = nullptr, bool visibleOnly = true);
// A direct or deeper child with this class (when given) and text (when given).
HWND find_child(HWND parent, const char* className, const char* text = nullptr);

std::string window_text(HWND hwnd);
std::string item_text(HWND dialog, int id);
// Puts text into the edit id of dialog, as typing would (the edit sends EN_CHANGE).
void set_item_text(HWND dialog, int id, const std::string& text);
// Presses button id of dialog as a click would: the dialog receives WM_COMMAND/BN_CLICKED.
// Returns false, without pressing, when the button is missing, hidden or disabled.
bool press_button(HWND dialog, int id);
bool is_enabled(HWND dialog, int id);
bool is_visible(HWND dialog, int id);
// The wizard buttons of a property sheet that a user can press now (visible and enabled), as three
// letters: B Back, N Next, F Finish, and '-' for one that cannot be used ("BN-", "B-F").
std::string wizard_buttons(HWND sheet);

// What a message box would have shown.
struct MessageRecord {
    std::string text;
    std::string caption;
    UINT flags;
    UINT Icon() const { return flags & MB_ICONMASK; }
    UINT Buttons() const { return flags & MB_TYPEMASK; }
};

// Answers every fw::ShowMessage with answer while it lives, and records what would have been shown.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    void SetAnswer(int answer) { answer_ = answer; }
    const std::vector<MessageRecord>& Records() const { return records_; }

private:
    int answer_;
    std::vector<MessageRecord> records_;
    fw::MessageHook previous_;
};

// Runs action on the first visible top-level window of this thread that appears after construction
// with this caption (any caption when empty) and class (any when null), while the thread is inside a
// modal loop such as DialogBoxParam or MessageBox. A thread timer looks for the window every few
// milliseconds; the modal loop dispatches it. When no such window has appeared after timeoutMs, the
// driver ends the modal loop with WM_QUIT, so that the test fails (Runs() is 0) instead of hanging.
class ModalDriver {
public:
    ModalDriver(std::string caption, std::function<void(HWND)> action, const char* className = "#32770",
                DWORD timeoutMs = 20000);
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;
    // How many times the action ran (at most once per window that appeared).
    int Runs() const { return runs_; }
    // The caption of the window the action last ran on.
    const std::string& LastCaption() const { return lastCaption_; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);
    void Poll();

    std::string caption_;
    std::string className_;
    std::function<void(HWND)> action_;
    std::vector<HWND> before_;
    std::vector<HWND> handled_;
    UINT_PTR timer_ = 0;
    DWORD start_;
    DWORD timeoutMs_;
    int runs_ = 0;
    bool running_ = false;
    bool gaveUp_ = false;
    std::string lastCaption_;
};

// While it lives, the system's handler of each web scheme given (and of ftp, which the wizard must never
// hand to the shell) is the stand-in program bin/standin/rvl.exe, which records the command line that
// the shell gives it: a test sees exactly which address a Browse button handed to the shell. The
// handlers are put back at destruction.
class ShellOpenRecorder {
public:
    ShellOpenRecorder();
    ~ShellOpenRecorder();
    ShellOpenRecorder(const ShellOpenRecorder&) = delete;
    ShellOpenRecorder& operator=(const ShellOpenRecorder&) = delete;
    bool Ok() const { return ok_; }
    // The address that the shell opened since construction or the last call, waiting (while pumping
    // messages) up to timeoutMs for the handler to run; empty when none was opened.
    std::string NextOpened(DWORD timeoutMs = 10000);

private:
    struct Saved {
        std::string scheme;
        bool existed;
        std::string command;
    };
    std::vector<Saved> saved_;
    std::string recordPath_;
    bool ok_ = true;
};

} // namespace uitest
