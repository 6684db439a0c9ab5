#include "extractor/extractor.h"

#include "builder/package_file.h"
#include "framework/owners.h"
#include "framework/text.h"

#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>
// RtlGenRandom: advapi32 is loaded from the system's known DLLs, never from beside the setup.
#include <ntsecapi.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kAnnouncementKey[] = L"Software\\Corvane\\Ravelin Customizer";
// One run at a time in a session: a second run would replace the first one's announcements.
const wchar_t kRunMutex[] = L"Local\\RVLCustomizerSetup";
const wchar_t kFolderPrefix[] = L"RVLCustomizerOutput-";
const wchar_t kDamaged[] = L"This setup is damaged. Please download it again.";
const wchar_t kAlreadyRunning[] = L"The setup is already running.";

struct Announcement {
    const char* fileName;  // looked up among the extracted names without regard to letter case
    const wchar_t* subkey; // its default value receives the file's full path
};

// The order in which the files are looked up and their subkeys written.
const Announcement kAnnouncements[] = {
    {"feeds.xml", L"FeedsFilePath"},
    {"WebPages.xml", L"WebPagesFilePath"},
    {"AdRSS.xml", L"AdRSSInfoFilePath"},
    {"Data.xml", L"DataFilePath"},
};
constexpr size_t kAnnouncementCount = sizeof kAnnouncements / sizeof kAnnouncements[0];

// Stored names are text of the ANSI code page.
std::wstring Widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int length =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0],
                              length);
    return wide;
}

// A path as the user knows it, without the "\\?\" prefix that opens long paths.
std::wstring Shown(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

// The system's text for an error; "%1", where the text has it, names the file concerned.
std::wstring SystemText(DWORD error, const std::wstring& file = std::wstring()) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : L"Error " + std::to_wstring(error) + L".";
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    const size_t insert = text.find(L"%1");
    if (insert != std::wstring::npos)
        text.replace(insert, 2, Shown(file));
    return text;
}

// The last error, never 0: a failure that set none still has to be told as one.
DWORD LastError(DWORD otherwise) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : otherwise;
}

// The command line after the program's name, exactly as given, so that quoting reaches the setup
// unchanged. The name ends as CommandLineToArgvW ends it: at the closing quote, or else at white space.
std::wstring ArgumentText(const wchar_t* commandLine) {
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        for (++p; *p != L'\0' && *p != L'"'; ++p) {
        }
        if (*p == L'"')
            ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

// The switches of the reader's setup that ask for no questions and no messages: the stub keeps quiet too.
bool AsksForNoMessages(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(commandLine, &count);
    if (!arguments)
        return false;
    bool quiet = false;
    for (int i = 1; i < count; ++i)
        for (const wchar_t* quietSwitch : {L"/SILENT", L"/VERYSILENT", L"/SUPPRESSMSGBOXES"})
            if (::CompareStringOrdinal(arguments[i], -1, quietSwitch, -1, TRUE) == CSTR_EQUAL)
                quiet = true;
    ::LocalFree(arguments);
    return quiet;
}

// Tells the user why the setup cannot go on, in a box captioned with the program's own name, unless
// the command line asked for no messages.
class CMessenger {
public:
    CMessenger(const std::wstring& ownPath, bool quiet) : quiet_(quiet) {
        caption_ = ownPath.substr(ownPath.find_last_of(L'\\') + 1);
        const size_t stem = caption_.size() >= 4 ? caption_.size() - 4 : 0;
        if (caption_.size() > 4 && ::CompareStringOrdinal(caption_.c_str() + stem, -1, L".exe", -1, TRUE) == CSTR_EQUAL)
            caption_.resize(stem);
    }
    void Tell(const std::wstring& text) const {
        if (!quiet_)
            ::MessageBoxW(nullptr, text.c_str(), caption_.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }

private:
    std::wstring caption_;
    bool quiet_;
};

// Removes everything inside folder. A link (junction or symbolic link) is removed itself, never
// followed, so that nothing outside the folder is touched.
void ClearFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesW(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::DeleteFileW(path.c_str());
            continue;
        }
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ClearFolder(path);
        ::RemoveDirectoryW(path.c_str());
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

// A DACL of full control for the current user, SYSTEM and Administrators alone, inherited by the files
// inside and protected from what the temporary folder would pass on. Empty when the user is unknown.
std::wstring PrivateFolderSddl() {
    fw::KernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return std::wstring();
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    wchar_t* sid = nullptr;
    if (size == 0 || !::GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size) ||
        !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
        return std::wstring();
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    ::LocalFree(sid);
    return sddl;
}

// The run's own folder directly in the temporary folder: made new under a name that no one can foresee,
// so that nobody can have made it, or a link of that name, in advance; open only to the current user,
// SYSTEM and Administrators; removed with its files when the run ends. (Under a shared folder, whoever
// made that folder could rename what is inside.)
class CRunFolder {
public:
    CRunFolder() = default;
    CRunFolder(const CRunFolder&) = delete;
    CRunFolder& operator=(const CRunFolder&) = delete;
    ~CRunFolder() {
        if (path_.empty())
            return;
        ClearFolder(path_);
        ::RemoveDirectoryW(path_.c_str());
    }

    // 0, or the system's error when no folder could be made.
    DWORD Create() {
        std::wstring temp(MAX_PATH + 1, L'\0');
        DWORD length = ::GetTempPathW(static_cast<DWORD>(temp.size()), &temp[0]);
        if (length >= temp.size()) {
            temp.resize(length + 1);
            length = ::GetTempPathW(static_cast<DWORD>(temp.size()), &temp[0]);
        }
        if (length == 0 || length >= temp.size())
            return LastError(ERROR_PATH_NOT_FOUND);
        temp.resize(length);

        const std::wstring sddl = PrivateFolderSddl();
        SECURITY_ATTRIBUTES attributes{};
        attributes.nLength = sizeof attributes;
        if (sddl.empty() || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                sddl.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
            return LastError(ERROR_INVALID_SECURITY_DESCR);
        DWORD error = ERROR_ALREADY_EXISTS;
        // CreateDirectory fails on any name that exists, a link included: a name taken is never used, and
        // another random name is tried. Taken sixteen times running means something is wrong.
        for (int attempt = 0; attempt < 16 && error == ERROR_ALREADY_EXISTS; ++attempt) {
            unsigned char random[8];
            if (!::RtlGenRandom(random, sizeof random)) {
                error = LastError(NTE_FAIL);
                break;
            }
            std::wstring path = temp + kFolderPrefix;
            for (unsigned char byte : random) {
                path += L"0123456789abcdef"[byte >> 4];
                path += L"0123456789abcdef"[byte & 15];
            }
            if (::CreateDirectoryW(path.c_str(), &attributes)) {
                path_ = path;
                error = 0;
            } else {
                error = LastError(ERROR_CANNOT_MAKE);
            }
        }
        ::LocalFree(attributes.lpSecurityDescriptor);
        return error;
    }

    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// Writes the extracted entries into the run's folder; a failed entry's file is deleted at once. The first
// error of the system is kept, so that a file that cannot be written is told apart from a damaged package.
class CFolderWriter : public pkg::EntryWriter {
public:
    explicit CFolderWriter(const std::wstring& folder) : folder_(folder) {}

    bool Create(const std::string& name) override {
        path_ = folder_ + L"\\" + Widen(name);
        // The folder is new and private: a name already there is not ours, and is not written through.
        file_.Reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        return file_ || Fail();
    }
    bool Write(const void* buffer, uint32_t size) override {
        return pkg::FileOutput(file_.Get()).Write(buffer, size) || Fail();
    }
    void Finish(bool complete) override {
        file_.Reset();
        if (!complete)
            ::DeleteFileW(path_.c_str());
    }

    DWORD Error() const { return error_; }
    const std::wstring& ErrorPath() const { return errorPath_; }

private:
    bool Fail() {
        if (error_ == 0) {
            error_ = LastError(ERROR_WRITE_FAULT);
            errorPath_ = path_;
        }
        return false;
    }

    std::wstring folder_;
    std::wstring path_;
    fw::FileHandle file_;
    DWORD error_ = 0;
    std::wstring errorPath_;
};

bool WasExtracted(const std::vector<std::string>& extracted, const char* name) {
    for (const std::string& e : extracted)
        if (text::EqualNoCase(e, name))
            return true;
    return false;
}

// The announcements made in this run, withdrawn by Withdraw after the setup has ended.
class CAnnouncements {
public:
    void Publish(const std::wstring& folder, const std::vector<std::string>& extracted) {
        for (size_t i = 0; i < kAnnouncementCount; ++i) {
            const Announcement& a = kAnnouncements[i];
            if (!WasExtracted(extracted, a.fileName))
                continue;
            const std::wstring path = folder + L"\\" + Widen(a.fileName);
            fw::RegKey key;
            if (::RegCreateKeyW(HKEY_CURRENT_USER, kAnnouncementKey, key.Put()) != ERROR_SUCCESS)
                continue;
            if (::RegSetValueW(key.Get(), a.subkey, REG_SZ, path.c_str(),
                               static_cast<DWORD>(path.size() * sizeof(wchar_t))) == ERROR_SUCCESS)
                subkeyPaths_[i] = std::wstring(kAnnouncementKey) + L"\\" + a.subkey;
        }
    }

    void Withdraw() {
        for (const std::wstring& subkey : subkeyPaths_)
            if (!subkey.empty())
                ::RegDeleteKeyW(HKEY_CURRENT_USER, subkey.c_str());
    }

private:
    std::wstring subkeyPaths_[kAnnouncementCount];
};

// Starts the setup with "/RVLC" and the stub's own arguments, and waits for it. 0 with the setup's own
// exit code, or the system's error when it could not be started.
DWORD RunSetup(const std::wstring& setup, const std::wstring& arguments, DWORD& exitCode) {
    exitCode = 0;
    // Held until the setup has started, so that the file started is the file extracted: no write or
    // delete sharing. The system's own open for execution asks for read access and allows reading.
    fw::FileHandle hold(::CreateFileW(setup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hold)
        return LastError(ERROR_FILE_NOT_FOUND);
    const std::wstring parameters = arguments.empty() ? L"/RVLC" : L"/RVLC " + arguments;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The shell shows no error of its own: the stub tells it, or keeps quiet when asked to.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = setup.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&info))
        return LastError(ERROR_BAD_EXE_FORMAT);
    hold.Reset();
    // No process handle when the shell handed the start to a running program: nothing to wait for,
    // and no exit code but that of a start that succeeded.
    fw::KernelHandle process(info.hProcess);
    if (process && ::WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
        !::GetExitCodeProcess(process.Get(), &exitCode))
        exitCode = 0;
    return 0;
}

// The program's own path, however long, in the form that opens it past MAX_PATH ("\\?\" prefixed).
// Empty when it cannot be had.
std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        // The name was cut to fit: 32767 characters is the longest path there is.
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

// Extracts the package at the end of the program's own file into a folder of this run's own, announces
// the data files, runs the setup and cleans up. The exit code of the program.
int ExtractAndRun(const std::wstring& self, const std::wstring& arguments, const CMessenger& messenger) {
    pkg::FileSource source;
    if (self.empty() || !source.Open(self.c_str())) {
        messenger.Tell(SystemText(LastError(ERROR_FILE_NOT_FOUND), self));
        return pkg::kOpenError;
    }
    // The reader holds the stream record and both 4096-byte buffers: on the heap, not the stack.
    auto reader = std::make_unique<pkg::CPackageReader>();
    const int directory = reader->ReadDirectory(source);
    if (directory != pkg::kSuccess) {
        messenger.Tell(kDamaged);
        return directory;
    }
    CRunFolder folder;
    if (const DWORD error = folder.Create()) {
        messenger.Tell(SystemText(error));
        return pkg::kFileError;
    }
    CFolderWriter writer(folder.Path());
    std::vector<std::string> extracted;
    // A package that is not whole installs nothing: the reader would otherwise be set up without the
    // publisher's feeds, and nobody would know.
    const int extraction = reader->ExtractAll(source, writer, &extracted);
    if (extraction != pkg::kSuccess) {
        messenger.Tell(writer.Error() != 0 ? SystemText(writer.Error(), writer.ErrorPath()) : kDamaged);
        return extraction;
    }
    if (!WasExtracted(extracted, "rvl.exe")) {
        messenger.Tell(kDamaged);
        return kSetupNotStarted;
    }

    CAnnouncements announcements;
    announcements.Publish(folder.Path(), extracted);
    const std::wstring setup = folder.Path() + L"\\rvl.exe";
    DWORD exitCode = 0;
    const DWORD error = RunSetup(setup, arguments, exitCode);
    announcements.Withdraw();
    if (error != 0) {
        // The user who declined the elevation knows why nothing happened.
        if (error != ERROR_CANCELLED)
            messenger.Tell(SystemText(error, setup));
        return kSetupNotStarted;
    }
    return static_cast<int>(exitCode);
}

} // namespace

int RunExtractor() {
    const wchar_t* commandLine = ::GetCommandLineW();
    const std::wstring self = OwnPath();
    const CMessenger messenger(Shown(self), AsksForNoMessages(commandLine));

    // A run of another user in this session holds the mutex too, and gives no access to it.
    ::SetLastError(0);
    fw::KernelHandle running(::CreateMutexW(nullptr, FALSE, kRunMutex));
    const DWORD mutexError = ::GetLastError();
    if (mutexError == ERROR_ALREADY_EXISTS || (!running && mutexError == ERROR_ACCESS_DENIED)) {
        messenger.Tell(kAlreadyRunning);
        return kSetupNotStarted;
    }

    // ShellExecuteEx may hand the start to shell extensions, which need COM on this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const int result = ExtractAndRun(self, ArgumentText(commandLine), messenger);
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return result;
}
