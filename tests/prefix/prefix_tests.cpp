// The test prefix itself: what every other Windows test relies on.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/owners.h"

namespace {

std::string BesideThisProgram(const char* name) {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    dir.erase(dir.find_last_of('\\') + 1);
    return dir + name;
}

// Every test runs with a temporary folder named outside every legacy code page (Greek and Japanese), and
// a test program's 8-bit calls, as the wizard's, read and give that path exactly.
TEST(TestPrefix, TemporaryFolderIsNamedOutsideTheLegacyCodePages) {
    wchar_t wide[MAX_PATH + 1] = {};
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH + 1, wide));
    EXPECT_NE(nullptr, wcschr(wide, L'\u4E00')) << "the prefix's TEMP is not the test folder";
    EXPECT_NE(nullptr, wcschr(wide, L'\u03C1'));
    char path[MAX_PATH * 3] = {};
    ASSERT_NE(0u, ::GetTempPathA(sizeof path, path));
    wchar_t back[MAX_PATH + 1] = {};
    ::MultiByteToWideChar(CP_ACP, 0, path, -1, back, MAX_PATH + 1);
    EXPECT_EQ(std::wstring(wide), back);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(path));
}

// An unhandled exception ends the program with its code. With the crash dialog on, Wine's debugger would
// keep the process alive until somebody closed the dialog: here, until the wait gives up.
TEST(TestPrefix, CrashingProgramEndsWithItsExceptionCode) {
    std::string command = "\"" + BesideThisProgram("crash_on_purpose.exe") + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << command << ": error " << ::GetLastError();
    fw::KernelHandle process(pi.hProcess);
    fw::KernelHandle thread(pi.hThread);
    const bool ended = ::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
    if (!ended)
        ::TerminateProcess(pi.hProcess, 1);
    ASSERT_TRUE(ended) << "the crashed program is still there";
    DWORD code = 0;
    ASSERT_TRUE(::GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), code);
}

} // namespace
