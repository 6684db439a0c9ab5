// Files and folders for the Windows tests of the package and the stand-in setup: a scratch folder that
// removes itself, whole files read and written, and the folder of the test program (bin/, beside the
// deliverables).
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace pkgtest {

// Bytes as lower-case hex digits, two per byte: how the stand-in setup records a file's contents.
inline std::string Hex(const std::string& data) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : data) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// Why this machine cannot start a 32-bit program, as scripts/probe-32bit found it (scripts/wine-run
// hands its answer to every test program as RVL_NO_32BIT); empty where it can. A 64-bit test that needs a
// 32-bit process skips with this reason rather than fail for the machine.
inline std::string NoThirtyTwoBitReason() {
    char reason[512] = {};
    const DWORD n = ::GetEnvironmentVariableA("RVL_NO_32BIT", reason, sizeof reason);
    return n > 0 && n < sizeof reason ? std::string(reason, n) : std::string();
}

inline std::string ReadWhole(const std::string& path) {
    std::string data;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return data;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0)
        data.append(buffer, got);
    ::CloseHandle(file);
    return data;
}

inline bool WriteWhole(const std::string& path, const std::string& data) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == data.size();
}

inline bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string TempPath() {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    return temp;
}

// The folder of this test program, with a trailing backslash.
inline std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\') + 1);
}

// Deletes the files of a folder (not its subfolders' contents) and then the folder.
inline void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(path);
            else {
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// A fresh folder under the temporary folder, removed with its files at the end of the test.
class ScratchFolder {
public:
    ScratchFolder() {
        static unsigned counter = 0;
        path_ =
            TempPath() + "rvl-pkg-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
        RemoveFolder(path_);
        ::CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveFolder(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    // Writes a file into the folder and gives its path.
    std::string Add(const std::string& name, const std::string& data) const {
        const std::string path = *this / name;
        WriteWhole(path, data);
        return path;
    }

private:
    std::string path_;
};

// The stand-in reader setup's record: its "key=value" lines.
inline std::map<std::string, std::string> ReadStandinRecord(const std::string& path) {
    std::map<std::string, std::string> record;
    const std::string text = ReadWhole(path);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            record[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return record;
}

} // namespace pkgtest
