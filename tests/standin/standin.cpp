// The stand-in for the reader's setup (rvl.exe) in the end-to-end tests of the extractor. It records,
// into the file named by the environment variable RVL_STANDIN_RECORD, what the real setup would see
// while it runs: its own path, its command line, and for each announcement subkey under HKCU
// "Software\Corvane\Ravelin Customizer" the default value and the hex bytes of the file it names.
// One "key=value" line each:
//   module=<own path>            arguments=<command line after the program name>
//   <Subkey>=<path>              <Subkey>.data=<hex bytes>, or "missing" when the file cannot be read
// A subkey that is absent gives no line. No window: the extractor starts it with SW_SHOW.
#include <windows.h>

#include <string>

namespace {

const char* const kSubkeys[] = {"FeedsFilePath", "WebPagesFilePath", "AdRSSInfoFilePath", "DataFilePath"};

bool ReadWholeFile(const std::string& path, std::string& data) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got != 0)
        data.append(buffer, got);
    ::CloseHandle(file);
    return ok;
}

std::string Hex(const std::string& data) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : data) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

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
        std::string data;
        record += std::string(subkey) + ".data=" + (ReadWholeFile(value, data) ? Hex(data) : "missing") + "\n";
    }

    HANDLE file = ::CreateFileA(recordPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok ? 0 : 4;
}
