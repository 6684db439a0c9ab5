#include "tests/ui/ui.h"

#include "framework/window.h"

#include <algorithm>

namespace uitest {

namespace {

struct Search {
    const char* caption;
    const char* className;
    bool visibleOnly;
    bool thisProcessOnly;
    bool thisThreadOnly;
    std::vector<HWND> found;
};

bool Matches(HWND hwnd, const char* caption, const char* className, bool visibleOnly) {
    if (visibleOnly && !::IsWindowVisible(hwnd))
        return false;
    if (caption && fw::GetWindowTextString(hwnd) != caption)
        return false;
    if (className) {
        char name[256] = {};
        ::GetClassNameA(hwnd, name, sizeof(name));
        if (lstrcmpiA(name, className) != 0)
            return false;
    }
    return true;
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    DWORD tid = ::GetWindowThreadProcessId(hwnd, &pid);
    if (search->thisProcessOnly && pid != ::GetCurrentProcessId())
        return TRUE;
    if (search->thisThreadOnly && tid != ::GetCurrentThreadId())
        return TRUE;
    if (Matches(hwnd, search->caption, search->className, search->visibleOnly))
        search->found.push_back(hwnd);
    return TRUE;
}

struct ChildSearch {
    const char* className;
    const char* text;
    HWND found;
};

// A lambda cannot stand for a CALLBACK (stdcall) function on 32-bit Windows.
BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<ChildSearch*>(lp);
    if (!Matches(hwnd, search->text, search->className, false))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

std::vector<HWND> ThreadWindows(const char* caption, const char* className) {
    Search search = {caption, className, true, true, true, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The drivers alive on this thread, found again from their timer ids.
std::vector<ModalDriver*>& Drivers() {
    static std::vector<ModalDriver*> drivers;
    return drivers;
}

} // namespace

void flush_events(DWORD quietMs, DWORD maxMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= maxMs)
            break;
        DWORD wait = std::min(quietMs, maxMs - elapsed);
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT) == WAIT_TIMEOUT)
            break;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

bool pump_until(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= timeoutMs)
            return condition();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return true;
}

HWND find_window(const char* caption, const char* className, bool visibleOnly) {
    Search search = {caption, className, visibleOnly, true, false, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

std::vector<HWND> find_windows_anywhere(const char* caption, const char* className, bool visibleOnly) {
    Search search = {caption, className, visibleOnly, false, false, {}};
    ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND find_child(HWND parent, const char* className, const char* text) {
    ChildSearch search = {className, text, nullptr};
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string window_text(HWND hwnd) {
    return fw::GetWindowTextString(hwnd);
}

std::string item_text(HWND dialog, int id) {
    return fw::GetWindowTextString(::GetDlgItem(dialog, id));
}

void set_item_text(HWND dialog, int id, const std::string& text) {
    ::SetDlgItemTextA(dialog, id, text.c_str());
}

bool is_enabled(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    return item && ::IsWindowEnabled(item);
}

bool is_visible(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    return item && ::IsWindowVisible(item);
}

std::string wizard_buttons(HWND sheet) {
    // The ids of comctl32's Back, Next and Finish buttons.
    const struct {
        int id;
        char letter;
    } buttons[] = {{0x3023, 'B'}, {0x3024, 'N'}, {0x3025, 'F'}};
    std::string usable;
    for (const auto& b : buttons)
        usable += is_visible(sheet, b.id) && is_enabled(sheet, b.id) ? b.letter : '-';
    return usable;
}

bool press_button(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    if (!button || !::IsWindowVisible(button) || !::IsWindowEnabled(button))
        return false;
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : answer_(answer) {
    previous_ = fw::SetMessageHook([this](HWND, const std::string& text, const std::string& caption, UINT flags) {
        records_.push_back({text, caption, flags});
        return answer_;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    fw::SetMessageHook(std::move(previous_));
}

ModalDriver::ModalDriver(std::string caption, std::function<void(HWND)> action, const char* className, DWORD timeoutMs)
    : caption_(std::move(caption)), className_(className ? className : ""), action_(std::move(action)),
      start_(::GetTickCount()), timeoutMs_(timeoutMs) {
    before_ = ThreadWindows(nullptr, nullptr);
    timer_ = ::SetTimer(nullptr, 0, 10, OnTimer);
    Drivers().push_back(this);
}

ModalDriver::~ModalDriver() {
    if (timer_)
        ::KillTimer(nullptr, timer_);
    auto& drivers = Drivers();
    drivers.erase(std::remove(drivers.begin(), drivers.end(), this), drivers.end());
}

void CALLBACK ModalDriver::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    for (ModalDriver* driver : Drivers()) {
        if (driver->timer_ == id) {
            driver->Poll();
            return;
        }
    }
}

void ModalDriver::Poll() {
    if (running_)
        return;
    const char* caption = caption_.empty() ? nullptr : caption_.c_str();
    const char* className = className_.empty() ? nullptr : className_.c_str();
    for (HWND hwnd : ThreadWindows(caption, className)) {
        if (std::find(before_.begin(), before_.end(), hwnd) != before_.end() ||
            std::find(handled_.begin(), handled_.end(), hwnd) != handled_.end())
            continue;
        handled_.push_back(hwnd);
        lastCaption_ = window_text(hwnd);
        ++runs_;
        running_ = true;
        action_(hwnd);
        running_ = false;
        return;
    }
    if (runs_ == 0 && !gaveUp_ && ::GetTickCount() - start_ > timeoutMs_) {
        // The modal loop ends and posts the quit message again, for the test's own pumping to take.
        gaveUp_ = true;
        ::PostQuitMessage(0);
    }
}

namespace {

std::string CommandKey(const std::string& scheme) {
    return "Software\\Classes\\" + scheme + "\\shell\\open\\command";
}

} // namespace

ShellOpenRecorder::ShellOpenRecorder() {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string standin(module);
    standin = standin.substr(0, standin.find_last_of('\\') + 1) + "standin\\rvl.exe";
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    recordPath_ = std::string(temp) + "rvl-shell-open-" + std::to_string(::GetCurrentProcessId()) + ".txt";
    ::DeleteFileA(recordPath_.c_str());
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath_.c_str());

    // Wine looks the handlers up in the machine's classes only, not in the user's.
    const std::string command = "\"" + standin + "\" \"%1\"";
    for (const char* scheme : {"http", "https", "ftp"}) {
        Saved saved{scheme, false, ""};
        char value[1024] = {};
        DWORD size = sizeof value;
        saved.existed = ::RegGetValueA(HKEY_LOCAL_MACHINE, CommandKey(scheme).c_str(), nullptr, RRF_RT_REG_SZ, nullptr,
                                       value, &size) == ERROR_SUCCESS;
        saved.command = value;
        saved_.push_back(saved);
        ok_ = ok_ && ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, CommandKey(scheme).c_str(), nullptr, REG_SZ, command.c_str(),
                                       static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    }
}

ShellOpenRecorder::~ShellOpenRecorder() {
    for (const Saved& saved : saved_) {
        if (saved.existed)
            ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, CommandKey(saved.scheme).c_str(), nullptr, REG_SZ,
                              saved.command.c_str(), static_cast<DWORD>(saved.command.size() + 1));
        else
            ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, CommandKey(saved.scheme).c_str());
    }
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", nullptr);
    ::DeleteFileA(recordPath_.c_str());
}

std::string ShellOpenRecorder::NextOpened(DWORD timeoutMs) {
    std::string record;
    auto read = [&] {
        HANDLE file =
            ::CreateFileA(recordPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        char buffer[4096];
        DWORD got = 0;
        record.clear();
        while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            record.append(buffer, got);
        ::CloseHandle(file);
        // The stand-in writes its record at once; a record without its last line is still being written.
        return record.find("arguments=") != std::string::npos && record.back() == '\n';
    };
    if (!pump_until(read, timeoutMs))
        return std::string();
    ::DeleteFileA(recordPath_.c_str());
    // "arguments=" is followed by the command line after the program's name: the quoted address.
    size_t start = record.find("arguments=") + 10;
    std::string arguments = record.substr(start, record.find('\n', start) - start);
    while (!arguments.empty() && (arguments.front() == ' ' || arguments.front() == '"'))
        arguments.erase(0, 1);
    while (!arguments.empty() && (arguments.back() == '"' || arguments.back() == '\r'))
        arguments.pop_back();
    return arguments;
}

} // namespace uitest
