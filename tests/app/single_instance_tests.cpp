#include "app/customizer_app.h"
#include "framework/owners.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace {

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.rfind('\\')) + "\\RVLCustomizer.exe";
}

// A started program that is ended by force if a failed test leaves it running.
struct Process {
    fw::KernelHandle process;
    fw::KernelHandle thread;
    DWORD id = 0;
    ~Process() {
        if (process && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process.Get(), 1);
            ::WaitForSingleObject(process.Get(), 5000);
        }
    }
};

bool Start(Process& p) {
    std::string command = "\"" + ProgramPath() + "\"";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    p.process.Reset(pi.hProcess);
    p.thread.Reset(pi.hThread);
    p.id = pi.dwProcessId;
    return true;
}

std::vector<HWND> Wizards() {
    return uitest::find_windows_anywhere(kWizardCaption);
}

bool WaitForWizards(size_t count, DWORD timeoutMs) {
    return uitest::pump_until([count] { return Wizards().size() == count; }, timeoutMs);
}

TEST(SingleInstance, SecondStartActivatesTheFirstAndEnds) {
    ASSERT_TRUE(Wizards().empty()) << "a wizard from an earlier run is still open";
    Process first;
    ASSERT_TRUE(Start(first)) << ProgramPath() << " error " << ::GetLastError();
    ASSERT_TRUE(WaitForWizards(1, 20000)) << "the first start shows no wizard";

    HWND wizard = Wizards().front();
    EXPECT_EQ(1u, uitest::find_windows_anywhere(kWizardCaption, nullptr, false).size())
        << "a hidden window of the customizer has the wizard's caption too";
    DWORD owner = 0;
    ::GetWindowThreadProcessId(wizard, &owner);
    EXPECT_EQ(first.id, owner);

    // Another window in front first, so that the second start has something to change.
    fw::WindowHandle other(::CreateWindowExA(0, "Static", "in front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                             nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(other);
    ::SetForegroundWindow(other.Get());
    uitest::flush_events();
    ASSERT_EQ(other.Get(), ::GetForegroundWindow());

    Process second;
    ASSERT_TRUE(Start(second));
    EXPECT_TRUE(
        uitest::pump_until([&] { return ::WaitForSingleObject(second.process.Get(), 0) == WAIT_OBJECT_0; }, 10000))
        << "the second start did not end";
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(second.process.Get(), &exitCode);
    EXPECT_EQ(0u, exitCode);

    std::vector<HWND> wizards = Wizards();
    ASSERT_EQ(1u, wizards.size());
    EXPECT_EQ(wizard, wizards.front()) << "the first wizard is the only one";
    EXPECT_EQ(wizard, ::GetForegroundWindow()) << "the first wizard is in front";

    // Close the first wizard as a user would, with its Cancel button.
    ::PostMessageA(wizard, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (::WaitForSingleObject(first.process.Get(), 10000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "Cancel did not end the first customizer";
        ::TerminateProcess(first.process.Get(), 1);
        ::WaitForSingleObject(first.process.Get(), 5000);
    }
    EXPECT_TRUE(WaitForWizards(0, 5000));
}

} // namespace
