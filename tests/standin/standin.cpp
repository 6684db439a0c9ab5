// The stand-in for the reader's setup (rvl.exe) in the end-to-end tests of the extractor. It records,
// into the file named by the environment variable RVL_STANDIN_RECORD, what the real setup would see
// while it runs: its own path, its command line, and for each announcement subkey under HKCU
// "Software\Corvane\Ravelin Customizer" the default value and the hex bytes of the file it names.
// One "key=value" line each:
//   module=<own path>            arguments=<command line after the program name>
//   <Subkey>=<path>              <Subkey>.data=<hex bytes>, or "missing" when the file is absent
// A subkey that is absent gives no line. No window: the extractor starts it with SW_SHOW.
// Its exit code is 0, or the number in RVL_STANDIN_EXIT_CODE when that is set, once the record is written.
// With RVL_STANDIN_HOLD=NAME it then sets the event "NAME-started" and waits for "NAME-release" before it
// ends, so that a test can look at a run while its setup is still going.
#include "tests/builder/win_files.h"

#include <cstdlib>

namespace {

const char* const kSubkeys[] = {"FeedsFilePath", "WebPagesFilePath", "AdRSSInfoFilePath", "DataFilePath"};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
    char recordPath[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 2;

    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string record = std::string("module=") + module + "\n";
    record += std::string("arguments=") + (arguments ? arguments : "") + "\n";
    for (const char* subkey : kSubkeys) {
        const std::string key = std::string("Software\\Corvane\\Ravelin Customizer\\") + subkey;
        char value[1024] = {};
        LONG size = sizeof value;
        if (::RegQueryValueA(HKEY_CURRENT_USER, key.c_str(), value, &size) != ERROR_SUCCESS)
            continue;
        record += std::string(subkey) + "=" + value + "\n";
        const std::string data = pkgtest::Exists(value) ? pkgtest::Hex(pkgtest::ReadWhole(value)) : "missing";
        record += std::string(subkey) + ".data=" + data + "\n";
    }

    if (!pkgtest::WriteWhole(recordPath, record))
        return 3;
    char hold[MAX_PATH] = {};
    const DWORD holdLength = ::GetEnvironmentVariableA("RVL_STANDIN_HOLD", hold, MAX_PATH - 16);
    if (holdLength > 0 && holdLength < MAX_PATH - 16) {
        HANDLE started = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(hold) + "-started").c_str());
        HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, (std::string(hold) + "-release").c_str());
        if (!started || !release)
            return 4;
        ::SetEvent(started);
        ::WaitForSingleObject(release, INFINITE);
        ::CloseHandle(started);
        ::CloseHandle(release);
    }
    char exitCode[16] = {};
    const DWORD codeLength = ::GetEnvironmentVariableA("RVL_STANDIN_EXIT_CODE", exitCode, sizeof exitCode);
    return codeLength > 0 && codeLength < sizeof exitCode ? static_cast<int>(strtoul(exitCode, nullptr, 10)) : 0;
}
