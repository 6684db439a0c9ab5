#include "extractor/extractor.h"

#include "builder/package_file.h"
#include "framework/owners.h"
#include "framework/text.h"

#include <objbase.h>
#include <memory>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

const char kAnnouncementKey[] = "Software\\Corvane\\Ravelin Customizer";

struct Announcement {
    const char* fileName; // looked up in the output folder without regard to letter case
    const char* subkey;   // its default value receives the file's full path
    bool deleteAfterSetup;
};

// The order in which the files are looked up and their subkeys written.
const Announcement kAnnouncements[] = {
    {"feeds.xml", "FeedsFilePath", true},
    {"WebPages.xml", "WebPagesFilePath", true},
    {"AdRSS.xml", "AdRSSInfoFilePath", true},
    {"Data.xml", "DataFilePath", false},
};
constexpr size_t kAnnouncementCount = sizeof kAnnouncements / sizeof kAnnouncements[0];

// Writes the extracted entries into one folder; a failed entry's file is deleted at once.
class CFolderWriter : public pkg::EntryWriter {
public:
    explicit CFolderWriter(const std::string& folder) : folder_(folder) {}

    bool Create(const std::string& name) override {
        path_ = folder_ + "\\" + name;
        file_.Reset(::CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file_);
    }
    bool Write(const void* buffer, uint32_t size) override { return pkg::FileOutput(file_.Get()).Write(buffer, size); }
    void Finish(bool complete) override {
        file_.Reset();
        if (!complete)
            ::DeleteFileA(path_.c_str());
    }

private:
    std::string folder_;
    std::string path_;
    fw::FileHandle file_;
};

// Only a file that this run extracted is announced or started: a file left in the shared output folder
// by an earlier run, or planted there, is never taken for part of this package.
bool WasExtracted(const std::vector<std::string>& extracted, const char* name) {
    for (const std::string& e : extracted)
        if (text::EqualNoCase(e, name))
            return true;
    return false;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The announcements made in this run, withdrawn by Withdraw after the setup has ended.
class CAnnouncements {
public:
    void Publish(const std::string& folder, const std::vector<std::string>& extracted) {
        for (size_t i = 0; i < kAnnouncementCount; ++i) {
            const Announcement& a = kAnnouncements[i];
            const std::string path = folder + "\\" + a.fileName;
            if (!WasExtracted(extracted, a.fileName) || !FileExists(path))
                continue;
            filePaths_[i] = path;
            fw::RegKey key;
            if (::RegCreateKeyA(HKEY_CURRENT_USER, kAnnouncementKey, key.Put()) != ERROR_SUCCESS)
                continue;
            if (::RegSetValueA(key.Get(), a.subkey, REG_SZ, path.c_str(), static_cast<DWORD>(path.size())) ==
                ERROR_SUCCESS)
                subkeyPaths_[i] = std::string(kAnnouncementKey) + "\\" + a.subkey;
        }
    }

    void Withdraw() {
        for (size_t i = 0; i < kAnnouncementCount; ++i)
            if (kAnnouncements[i].deleteAfterSetup && !filePaths_[i].empty())
                ::DeleteFileA(filePaths_[i].c_str());
        for (const std::string& subkey : subkeyPaths_)
            if (!subkey.empty())
                ::RegDeleteKeyA(HKEY_CURRENT_USER, subkey.c_str());
    }

private:
    std::string filePaths_[kAnnouncementCount];
    std::string subkeyPaths_[kAnnouncementCount];
};

// Starts the extracted setup and waits for it. False when there was none or it could not be started;
// otherwise exitCode is the setup's own.
bool RunSetup(const std::string& folder, const std::vector<std::string>& extracted, DWORD& exitCode) {
    exitCode = 0;
    const std::string setup = folder + "\\rvl.exe";
    if (!WasExtracted(extracted, "rvl.exe") || !FileExists(setup))
        return false;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = setup.c_str();
    info.lpParameters = "/RVLC";
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExA(&info))
        return false;
    // No process handle when the shell handed the start to a running program: nothing to wait for,
    // and no exit code but that of a start that succeeded.
    fw::KernelHandle process(info.hProcess);
    if (process && ::WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
        !::GetExitCodeProcess(process.Get(), &exitCode))
        exitCode = 0;
    return true;
}

// Removes everything inside folder. A link (junction or symbolic link) is removed itself, never
// followed, so that nothing outside the folder is touched.
void ClearFolder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesA(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::DeleteFileA(path.c_str());
            continue;
        }
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ClearFolder(path);
        ::RemoveDirectoryA(path.c_str());
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
}

bool IsPlainFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The output folder: "RVLCustomizerOutput" under the temporary folder, created or reused; the
// temporary folder itself when it cannot be had. Empty when there is no temporary folder: the names
// would then be taken from the current folder or the root of its drive.
struct OutputFolder {
    std::string path;
    // Only our own folder may be emptied before the extraction, never the temporary folder itself.
    bool own = false;
};

OutputFolder PrepareOutputFolder() {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length > MAX_PATH)
        return OutputFolder();
    const std::string folder = std::string(temp) + "RVLCustomizerOutput";
    if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() == ERROR_ALREADY_EXISTS &&
        !IsPlainFolder(folder)) {
        // A file or a link in the folder's place: a link would lead the extraction (and the clearing)
        // somewhere else. It goes, and a folder of our own takes its place.
        if (!::RemoveDirectoryA(folder.c_str()))
            ::DeleteFileA(folder.c_str());
        ::CreateDirectoryA(folder.c_str(), nullptr);
    }
    if (IsPlainFolder(folder))
        return {folder, true};
    return {temp, false};
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

// Extracts the package at the end of packagePath into the output folder, which is first cleared of
// whatever an earlier run left or anybody planted there, so that nothing but this package's files
// sits beside the setup when it starts. The stored names extracted completely are appended to
// extracted. A file that holds no package leaves the folder as it is.
int ExtractPackage(const std::wstring& packagePath, const OutputFolder& folder, std::vector<std::string>& extracted) {
    pkg::FileSource source;
    if (!source.Open(packagePath.c_str()))
        return pkg::kOpenError;
    // The reader holds the stream record and both 4096-byte buffers: on the heap, not the stack.
    auto reader = std::make_unique<pkg::CPackageReader>();
    const int directory = reader->ReadDirectory(source);
    if (directory != pkg::kSuccess)
        return directory;
    if (folder.own)
        ClearFolder(folder.path);
    CFolderWriter writer(folder.path);
    return reader->ExtractAll(source, writer, &extracted);
}

} // namespace

int RunExtractor() {
    // ShellExecuteEx may hand the start to shell extensions, which need COM on this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    const std::wstring self = OwnPath();
    const OutputFolder folder = PrepareOutputFolder();
    std::vector<std::string> extracted;
    // The sequence goes on whatever the result: whatever was extracted completely is used. The result
    // only tells the caller why no setup ran.
    int extraction = pkg::kOpenError;
    if (!self.empty())
        extraction = folder.path.empty() ? pkg::kFileError : ExtractPackage(self, folder, extracted);

    CAnnouncements announcements;
    announcements.Publish(folder.path, extracted);
    DWORD setupExitCode = 0;
    const bool setupRan = RunSetup(folder.path, extracted, setupExitCode);
    announcements.Withdraw();

    if (SUCCEEDED(com))
        ::CoUninitialize();
    if (setupRan)
        return static_cast<int>(setupExitCode);
    return extraction != pkg::kSuccess ? extraction : kSetupNotStarted;
}
