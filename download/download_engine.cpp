#include "download/download_engine.h"

#include <cstring>
#include <new>

#include "download/download_messages.h"
#include "download/progress.h"
#include "fetch/fetch_session.h"
#include "framework/com.h"
#include "framework/owners.h"

namespace {

// The body moves in blocks of this size: one disk write and one notice per block.
constexpr DWORD kBlockSize = 1024;

// The system's text for a file error, without the trailing line break.
std::string FileErrorText(DWORD error) {
    char* buffer = nullptr;
    DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (n && buffer)
        text.assign(buffer, n);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "File error " + std::to_string(error);
    return text;
}

// InternetOpenUrl gives a handle for every scheme it opens; only the file handles of a server (HTTP,
// FTP, Gopher) carry a body to read. Anything else is a URL that opened without a response.
bool IsResponseHandle(HINTERNET handle) {
    DWORD type = 0;
    DWORD size = sizeof type;
    if (!::InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size))
        return true;
    return type == INTERNET_HANDLE_TYPE_HTTP_REQUEST || type == INTERNET_HANDLE_TYPE_FTP_FILE ||
           type == INTERNET_HANDLE_TYPE_GOPHER_FILE;
}

// A heap copy of the finish text: the worker's own strings end with the worker, the window reads the
// text later on its own thread and frees it with delete[].
char* CopyFinishText(const DownloadOutcome& outcome) {
    if (!outcome.text)
        return nullptr;
    char* text = new (std::nothrow) char[outcome.text->size() + 1];
    if (text)
        memcpy(text, outcome.text->c_str(), outcome.text->size() + 1);
    return text;
}

void RunDownload(const DownloadJob& job) {
    DownloadOutcome outcome;
    try {
        CFileDownloader downloader(job.proxyHost, job.proxyPort, job.useProxy, job.notifyWindow);
        outcome = downloader.Download(job.url, job.filePath);
    } catch (...) {
        // Out of memory in the middle of a transfer: it still ends with a finish notice.
        outcome = DownloadOutcome();
    }
    // Every transfer ends with exactly one finish notice, whatever happened before, so that no client
    // waits for it forever. The file is closed by now: a client may open it at once.
    char* text = CopyFinishText(outcome);
    if (!PostDownloadNotice(job.notifyWindow, WM_DOWNLOAD_FINISH, outcome.success ? 1 : 0,
                            reinterpret_cast<LPARAM>(text)))
        delete[] text;
    ::Sleep(0);
}

DWORD WINAPI DownloadWorker(void* parameter) {
    {
        std::unique_ptr<DownloadJob> job(static_cast<DownloadJob*>(parameter));
        RunDownload(*job);
    }
    // The module must stay mapped until this thread has left its code: the reference taken for the
    // worker is given back by the system call that also ends the thread.
    fw::ComModule::Release();
    ::FreeLibraryAndExitThread(fw::ComModule::Instance(), 0);
    return 0;
}

} // namespace

bool PostDownloadNotice(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    for (;;) {
        if (::PostMessageA(window, message, wp, lp))
            return true;
        // A thread's message queue holds a limited number of posted messages; a worker that outruns
        // the apartment thread waits for it rather than dropping a notice.
        if (::GetLastError() != ERROR_NOT_ENOUGH_QUOTA || !::IsWindow(window))
            return false;
        ::Sleep(1);
    }
}

CFileDownloader::CFileDownloader(const std::string& proxyHost, LONG proxyPort, bool useProxy, HWND notifyWindow)
    : proxyHost_(proxyHost), proxyPort_(proxyPort), useProxy_(useProxy), notifyWindow_(notifyWindow) {}

CFileDownloader::~CFileDownloader() {
    // The proxy session reports to session_ while it closes, so it goes first.
    if (proxySession_)
        ::InternetSetStatusCallbackA(proxySession_.Get(), nullptr);
    proxySession_.Reset();
}

bool CFileDownloader::OpenSession() {
    auto session = std::make_unique<CFetchSession>();
    if (!session->IsOpen())
        return false;
    // The status texts are a diagnostic only: a session without them downloads all the same.
    session->EnableStatusCallback();
    if (useProxy_) {
        std::string proxy = proxyHost_ + ":" + std::to_string(proxyPort_);
        INTERNET_PROXY_INFO info = {};
        info.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
        info.lpszProxy = proxy.c_str();
        info.lpszProxyBypass = nullptr;
        if (!::InternetSetOptionExA(session->Handle(), INTERNET_OPTION_PROXY, &info, sizeof info, 0)) {
            // The same proxy, given when the session is opened instead.
            proxySession_.Reset(::InternetOpenA(CFetchSession::AgentName().c_str(), INTERNET_OPEN_TYPE_PROXY,
                                                proxy.c_str(), nullptr, 0));
            if (!proxySession_)
                return false;
            if (session->StatusCallbackEnabled())
                ::InternetSetStatusCallbackA(proxySession_.Get(), &CFetchSession::StatusCallback);
        }
    }
    session_ = std::move(session);
    return true;
}

HINTERNET CFileDownloader::OpenHandle() const {
    return proxySession_ ? proxySession_.Get() : session_->Handle();
}

DownloadOutcome CFileDownloader::Download(const std::string& url, const std::string& filePath) {
    DownloadOutcome outcome;
    if (!session_ && !OpenSession())
        return outcome;

    fw::InternetHandle response(::InternetOpenUrlA(OpenHandle(), url.c_str(), nullptr, 0, INTERNET_FLAG_TRANSFER_BINARY,
                                                   CFetchSession::kContext));
    if (!response) {
        session_->SetLastStatus("%s", CFetchSession::ErrorText(::GetLastError()).c_str());
        return outcome;
    }
    fw::FileHandle file(::CreateFileA(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return outcome;
    if (!IsResponseHandle(response.Get()))
        return outcome;

    // A monotonic millisecond clock: the rate has a value from the first block on, and a change of the
    // wall clock does not disturb it.
    const ULONGLONG start = ::GetTickCount64();
    DWORD length = 0;
    DWORD size = sizeof length;
    if (::HttpQueryInfoA(response.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr))
        expectedBytes_ = length;

    char block[kBlockSize];
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(response.Get(), block, kBlockSize, &got)) {
            outcome.text = CFetchSession::ErrorText(::GetLastError());
            session_->SetLastStatus("%s", outcome.text->c_str());
            return outcome;
        }
        if (got == 0)
            break;
        DWORD written = 0;
        if (!::WriteFile(file.Get(), block, got, &written, nullptr) || written != got) {
            // A short write without an error code is a full disk.
            DWORD error = ::GetLastError();
            outcome.text = FileErrorText(written != got && error == ERROR_SUCCESS ? ERROR_DISK_FULL : error);
            return outcome;
        }
        receivedBytes_ += got;

        const ULONGLONG elapsedMs = ::GetTickCount64() - start;
        const double elapsed = DownloadElapsedSeconds(elapsedMs);
        rate_ = DownloadRate(receivedBytes_, elapsedMs);
        if (elapsed > 0)
            session_->SetLastStatus("Read %lu bytes (%0.1f Kb/s)", static_cast<unsigned long>(receivedBytes_), rate_);
        else
            session_->SetLastStatus("Read %lu bytes", static_cast<unsigned long>(receivedBytes_));
        percent_ = DownloadPercent(receivedBytes_, expectedBytes_);

        if (firstBlockPending_) {
            firstBlockPending_ = false;
            PostDownloadNotice(notifyWindow_, WM_DOWNLOAD_START, 1,
                               static_cast<LPARAM>(static_cast<LONG>(expectedBytes_)));
        } else {
            auto* progress = new (std::nothrow) DownloadProgress;
            if (progress) {
                progress->blockBytes = static_cast<LONG>(got);
                progress->receivedBytes = static_cast<LONG>(receivedBytes_);
                progress->expectedBytes = static_cast<LONG>(expectedBytes_);
                progress->percent = percent_;
                progress->rate = rate_;
                progress->elapsed = elapsed;
            }
            if (!PostDownloadNotice(notifyWindow_, WM_DOWNLOAD_DATA, reinterpret_cast<WPARAM>(progress), 0))
                delete progress;
        }
        // The apartment thread gets the processor soon, so that the notices do not pile up in its queue.
        ::Sleep(0);
    }
    // The file is complete and closed before anybody hears of the end.
    file.Reset();
    response.Reset();
    session_->SetLastStatus("%s", "");
    outcome.success = true;
    outcome.text.emplace();
    return outcome;
}

DWORD StartDownloadWorker(std::unique_ptr<DownloadJob> job) {
    // The worker's own reference on the module, given back by FreeLibraryAndExitThread.
    HMODULE self = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&DownloadWorker), &self))
        return ::GetLastError();
    fw::ComModule::AddRef();
    HANDLE thread = ::CreateThread(nullptr, 0, DownloadWorker, job.get(), 0, nullptr);
    if (!thread) {
        DWORD error = ::GetLastError();
        fw::ComModule::Release();
        ::FreeLibrary(self);
        return error;
    }
    job.release();
    ::CloseHandle(thread);
    return ERROR_SUCCESS;
}
