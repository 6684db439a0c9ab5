// The platform of the Windows build: Pullwire for the download, the wizard's signature check, the XML DOM
// for OPML files, WinINet for the feed fetch.
#include "rvlc/platform.h"

#include "rvlc/progress_line.h"

#include "download/page/download_setup_page.h"
#include "download/page/download_setup_sink.h"
#include "download/page/setup_image.h"
#include "feeds/compare_urls.h"
#include "feeds/opml_reader.h"
#include "fetch/code_page_charsets.h"
#include "fetch/feed_validator.h"
#include "framework/owners.h"
#include "framework/text.h"
#include "builder/setup_trust.h"
#include "rvlc/cleanup.h"

#include "Pullwire.h"

#include <windows.h>
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <ocidl.h>
#include <olectl.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <vector>

namespace rvlc {

namespace {

// The resource that carries the extractor, as in the wizard.
constexpr int kStubResource = 240;

// COM for the time of one operation, in a single-threaded apartment: Pullwire's events arrive as window
// messages of this thread.
class ComScope {
public:
    ComScope() : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (initialized_)
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialized_;
};

std::string SystemMessage(DWORD error) {
    char* buffer = nullptr;
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    // An HRESULT without a text of its own reads best as the hexadecimal number that documents it.
    std::string message = length                 ? std::string(buffer, length)
                          : (error & 0x80000000u) ? text::Format("error 0x%08lX", error)
                                                 : text::Format("error %lu", error);
    if (buffer)
        ::LocalFree(buffer);
    return text::Trim(message);
}

// Receives _IURLDownloadEvents and shows the progress on standard error.
class DownloadSink final : public IDispatch {
public:
    explicit DownloadSink(bool quiet) : progress_(ErrorIsConsole(), quiet) {}

    bool Finished() const { return finished_; }
    bool Succeeded() const { return succeeded_; }
    const std::string& Error() const { return error_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return QueryDownloadEventsSink(this, iid, object);
    }
    // The sink lives on the stack of the download, which outlasts its connection.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (!params)
            return E_INVALIDARG;
        // The arguments arrive last first.
        const auto argument = [&](UINT fromFirst) -> VARIANT* {
            if (fromFirst >= params->cArgs)
                return nullptr;
            return &params->rgvarg[params->cArgs - 1 - fromFirst];
        };
        switch (id) {
        case 1: { // OnData(nReadBytes, nTotalBytes, nMaxBytes, rate, percent, elapsed)
            VARIANT* total = argument(1);
            VARIANT* max = argument(2);
            if (total && max && total->vt == VT_I4 && max->vt == VT_I4)
                progress_.Show(total->lVal, max->lVal);
            return S_OK;
        }
        case 2: { // OnFinish(nFinishSuccess, wsError)
            VARIANT* success = argument(0);
            VARIANT* error = argument(1);
            succeeded_ = success && success->vt == VT_I4 && success->lVal == 1;
            if (error && error->vt == VT_BSTR && error->bstrVal)
                error_ = fw::ToAnsi(error->bstrVal);
            finished_ = true;
            progress_.End();
            return S_OK;
        }
        case 3: { // OnStart(nDownloadID, nMaxBytes)
            VARIANT* max = argument(1);
            max_ = max && max->vt == VT_I4 ? max->lVal : 0;
            return S_OK;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ProgressLine progress_;
    bool finished_ = false;
    bool succeeded_ = false;
    long max_ = 0;
    std::string error_;
};

// Removes the registered files from the thread on which the system calls the console's handler.
void DeleteRegistered(const char* path) {
    ::DeleteFileA(path);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        RemoveRegisteredFiles(DeleteRegistered);
        ::ExitProcess(kExitInterrupted);
    }
    return FALSE;
}

// The reader setup opened once, shared for reading only: while it is held, nobody can write to it, rename it
// or remove it, and a file that someone holds open for writing cannot be held at all.
class HeldFile final : public HeldSetup {
public:
    bool Open(const std::string& path, std::string& cause) {
        path_ = path;
        file_.Reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size = {};
        if (!file_ || !::GetFileSizeEx(file_.Get(), &size)) {
            const DWORD error = ::GetLastError();
            cause = error == ERROR_SHARING_VIOLATION
                        ? "another program has it open for writing, and it is packed only while nobody can change it"
                        : SystemMessage(error);
            file_.Reset();
            return false;
        }
        reads_.reset(new HeldFileSource(file_.Get()));
        return true;
    }
    uint64_t Size() const override { return reads_->Size(); }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override { return reads_->ReadAt(pos, buffer, size); }
    void CheckSignature(ReaderSetupCheck& check) override {
        std::string signer;
        const SetupTrust trust = CheckSetupTrust(file_.Get(), path_, &signer);
        check.signer = signer;
        check.trusted = trust == kSetupTrusted;
        switch (trust) {
        case kSetupTrusted:
            check.verdict = "valid, signed by the maker";
            break;
        case kSetupNotSigned:
            check.verdict = std::string("not signed by ") + kMakerSignerNames[0];
            break;
        case kSetupDamaged:
            check.verdict = "damaged: the file does not match its signature";
            break;
        case kSetupUnreadable:
            check.verdict = "the file cannot be read: " + LastErrorText();
            break;
        }
    }

private:
    std::string path_;
    fw::FileHandle file_;
    std::unique_ptr<HeldFileSource> reads_; // of file_, made once it is open
};

} // namespace

bool HasWindowsInterfaces() {
    return true;
}

void RemoveFilesOnInterruption() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool ErrorIsConsole() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string LastErrorText() {
    return SystemMessage(::GetLastError());
}

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& cause) {
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    cause = LastErrorText();
    return false;
}

bool MakeFolder(const std::string& path, std::string& cause) {
    if (::CreateDirectoryA(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    cause = LastErrorText();
    return false;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + "\\" + name;
}

bool CreateTemporaryFile(const std::string& beside, std::string& name, FILE*& file, std::string& cause) {
    std::string base;
    if (beside.empty()) {
        char temp[MAX_PATH] = {};
        const DWORD length = ::GetTempPathA(MAX_PATH, temp);
        base = std::string(temp, length < MAX_PATH ? length : 0) + "rvlc";
    } else {
        base = beside;
    }
    file = nullptr;
    // CREATE_NEW: a file planted at the name is never opened; the random part makes the name a guess of
    // 64 bits. FILE_SHARE_DELETE lets an interruption remove the file while this process still holds it.
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[8];
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            cause = "the system's random numbers are not available";
            return false;
        }
        name = base + ".";
        for (unsigned char byte : random)
            name += text::Format("%02x", byte);
        name += ".tmp";
        HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            cause = LastErrorText();
            return false;
        }
        // The C runtime's descriptor and then its FILE take the handle over: fclose closes it.
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
        if (fd < 0) {
            cause = "the file cannot be opened";
            ::CloseHandle(handle);
            ::DeleteFileA(name.c_str());
            return false;
        }
        file = ::_fdopen(fd, "w+b");
        if (!file) {
            cause = "the file cannot be opened";
            ::_close(fd);
            ::DeleteFileA(name.c_str());
            return false;
        }
        return true;
    }
    cause = "no unused temporary name was found";
    return false;
}

bool PathExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SameFile(const std::string& a, const std::string& b) {
    // Both there: the same volume and file index is the same file, whatever the names (links, 8.3 names,
    // other spellings).
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        fw::FileHandle file(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && ::GetFileInformationByHandle(file.Get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    if (identity(a, first) && identity(b, second))
        return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
    const auto full = [](const std::string& path) {
        char buffer[MAX_PATH * 4] = {};
        const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
        return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
    };
    std::wstring first16, second16;
    if (!fw::ToWideExact(full(a), &first16) || !fw::ToWideExact(full(b), &second16))
        return text::EqualNoCase(full(a), full(b));
    // The file system's own case rules, not the user's locale's.
    return ::CompareStringOrdinal(first16.c_str(), -1, second16.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool LoadOwnStub(std::string& stub) {
    HRSRC resource = ::FindResourceA(nullptr, MAKEINTRESOURCEA(kStubResource), "SFX_EXE");
    HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes)
        return false;
    stub.assign(static_cast<const char*>(bytes), ::SizeofResource(nullptr, resource));
    return !stub.empty();
}

std::unique_ptr<HeldSetup> HoldReaderSetup(const std::string& path, std::string& cause) {
    std::unique_ptr<HeldFile> file(new HeldFile);
    if (!file->Open(path, cause))
        return nullptr;
    return std::unique_ptr<HeldSetup>(std::move(file));
}

bool UseRootCertificates(const std::string& file, std::string& cause) {
    if (file.empty())
        return true;
    cause = "--ca-file is not available in this build of rvlc: Windows trusts the roots of its own store";
    return false;
}

const char kPlatformHelp[] =
    "\n"
    "Before anything is packed, the reader setup's signature is checked as the wizard checks it, by Windows\n"
    "(WinVerifyTrust): signed by the maker, matching the file, and trusted by this computer's roots. There is\n"
    "no way to skip the check. --download fetches the maker's download address through Pullwire.\n";

void CheckSignature(const std::string& path, SignatureCheck& check) {
    check = SignatureCheck();
    const LONG status = CheckAnySignature(path, &check.signer);
    check.valid = status == ERROR_SUCCESS;
    check.present =
        check.valid || !check.signer.empty() ||
        (status != TRUST_E_NOSIGNATURE && status != TRUST_E_SUBJECT_FORM_UNKNOWN && status != TRUST_E_PROVIDER_UNKNOWN);
    check.verdict = check.valid ? "valid" : check.present ? SystemMessage(static_cast<DWORD>(status)) : "not signed";
}

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : state_(new State) {
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        state_->algorithm = nullptr;
        return;
    }
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0)))
        state_->hash = nullptr;
}

Sha256::~Sha256() {
    if (state_->hash)
        ::BCryptDestroyHash(state_->hash);
    if (state_->algorithm)
        ::BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

bool Sha256::Ok() const {
    return state_->hash != nullptr;
}

void Sha256::Update(const void* data, size_t size) {
    // BCryptHashData takes at most a ULONG at a time.
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    while (state_->hash && size > 0) {
        const ULONG part = static_cast<ULONG>(size < 0x40000000u ? size : 0x40000000u);
        ::BCryptHashData(state_->hash, const_cast<unsigned char*>(bytes), part, 0);
        bytes += part;
        size -= part;
    }
}

std::string Sha256::Hex() {
    unsigned char digest[32];
    if (!state_->hash || !BCRYPT_SUCCESS(::BCryptFinishHash(state_->hash, digest, sizeof digest, 0)))
        return std::string();
    ::BCryptDestroyHash(state_->hash);
    state_->hash = nullptr;
    std::string hex;
    for (unsigned char byte : digest)
        hex += text::Format("%02x", byte);
    return hex;
}

bool DownloadReaderSetup(const std::string& target, bool quiet, std::string& cause) {
    ComScope com;
    bool done = false;
    {
        // COM finds the Pullwire.dll beside rvlc.exe through rvlc's manifest, so rvlc needs no
        // registration and so no administrator.
        fw::ComPtr<IURLDownload> downloader;
        const HRESULT created = ::CoCreateInstance(CLSID_URLDownload, nullptr, CLSCTX_INPROC_SERVER, IID_IURLDownload,
                                                   downloader.PutVoid());
        if (FAILED(created)) {
            cause = "Pullwire cannot be created: " + SystemMessage(static_cast<DWORD>(created));
        } else {
            DownloadSink sink(quiet);
            fw::ComPtr<IConnectionPointContainer> container;
            fw::ComPtr<IConnectionPoint> connection;
            DWORD cookie = 0;
            if (FAILED(downloader.As(container, IID_IConnectionPointContainer)) ||
                FAILED(container->FindConnectionPoint(DIID__IURLDownloadEvents, connection.Put())) ||
                FAILED(connection->Advise(&sink, &cookie))) {
                cause = "Pullwire's events cannot be connected";
            } else {
                fw::Bstr url = fw::Bstr::FromAnsi(kReaderDownloadAddress);
                fw::Bstr file = fw::Bstr::FromAnsi(target);
                if (FAILED(downloader->StartDownload(url.Get(), file.Get()))) {
                    cause = "the download cannot be started";
                } else {
                    // The events arrive as messages of this thread's windows.
                    MSG message;
                    while (!sink.Finished() && ::GetMessageA(&message, nullptr, 0, 0) > 0) {
                        ::TranslateMessage(&message);
                        ::DispatchMessageA(&message);
                    }
                    done = sink.Succeeded();
                    if (!done)
                        cause = sink.Error().empty() ? "the transfer failed" : sink.Error();
                }
                connection->Unadvise(cookie);
            }
        }
    }
    if (!done)
        return false;

    // What the server sent must be a Windows program, as the wizard's download page demands.
    if (!IsWindowsProgramFile(target)) {
        cause = "what the server sent is not a Windows program";
        return false;
    }
    return true;
}

bool ReadOpml(const std::string& path, std::string& title, std::vector<WebPageRow>& feeds, std::string& cause) {
    ComScope com;
    fw::ComPtr<IXMLDOMDocument> document;
    OpmlContent content;
    content.codePage = CP_UTF8;
    if (!ReadOpmlFile(path, document, content)) {
        cause = "it cannot be read as OPML, or it declares a document type";
        return false;
    }
    title = content.title;
    feeds.clear();
    for (const CImportedFeed& feed : content.feeds)
        feeds.push_back({feed.title, text::Trim(feed.url)});
    if (feeds.empty()) {
        cause = "it lists no feed";
        return false;
    }
    return true;
}

const feedtext::Charsets* PlatformCharsets() {
    static const CCodePageCharsets charsets;
    return &charsets;
}

bool SameFeed(const std::string& a, const std::string& b) {
    const int compared = CompareUrls(a, b);
    return compared == kUrlsEquivalent || (compared == kUrlsUnsplittable && text::EqualNoCase(a, b));
}

bool VerifyFeed(const std::string& url, std::string& reason) {
    CFeedValidator validator(url);
    const int result = validator.Validate();
    if (result == feedtext::kValidFeed || result == feedtext::kInvalidFeedVersion)
        return true;
    reason = result == feedtext::kInvalidFeed ? "not a feed" : validator.Message();
    return false;
}

} // namespace rvlc
