#include "download/download_engine.h"

#include <atomic>
#include <cstdio>
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

// A heap copy of a finish text: the worker's own strings end with the worker, the window reads the
// text later on its own thread and frees it with delete[].
char* CopyText(const std::string& text) {
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (copy)
        memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

std::string StallText(DWORD limitMs) {
    char text[128];
    snprintf(text, sizeof text, "No data arrived for %lu seconds: the transfer was stopped.",
             static_cast<unsigned long>((limitMs + 999) / 1000));
    return text;
}

std::string CutShortText(uint32_t received, uint32_t expected) {
    char text[160];
    snprintf(text, sizeof text, "The transfer was cut short: %lu of %lu bytes arrived.",
             static_cast<unsigned long>(received), static_cast<unsigned long>(expected));
    return text;
}

// Watches the waits of one transfer for the server (the opening of the URL, then every read) from a
// thread of its own. When a wait has lasted the whole limit without data, the watch ends the transfer
// itself: it closes the response handle (which ends a pending read where WinINet allows it) and the
// file, and posts the failure. A WinINet that keeps the wait going all the same (Wine's does) then
// holds only the worker thread, which gives up the transfer without another notice when its call
// returns at last; the client is not kept waiting. Once adopted, the response and the file belong to
// the watch, so that each is closed exactly once.
class CStallWatch {
public:
    CStallWatch(HWND notifyWindow, DWORD limitMs) : notifyWindow_(notifyWindow), limitMs_(limitMs) {}
    ~CStallWatch() {
        Stop();
        if (state_.load() == kStalled) {
            response_.Release();
            file_.Release();
        }
    }
    CStallWatch(const CStallWatch&) = delete;
    CStallWatch& operator=(const CStallWatch&) = delete;

    // Between two waits only.
    void Adopt(fw::InternetHandle response, fw::FileHandle file) {
        response_ = std::move(response);
        file_ = std::move(file);
    }
    HINTERNET Response() const { return response_.Get(); }
    HANDLE File() const { return file_.Get(); }

    // Returns the Win32 error when the watch thread cannot run.
    DWORD Start() {
        stop_.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!stop_)
            return ::GetLastError();
        lastData_ = ::GetTickCount64();
        thread_.Reset(::CreateThread(nullptr, 0, &CStallWatch::Run, this, 0, nullptr));
        return thread_ ? ERROR_SUCCESS : ::GetLastError();
    }

    // Brackets every blocking call. EndRead is false when the transfer stalled during the call: the
    // watch has closed its handles and posted the finish notice, and the worker must touch neither.
    void BeginRead() { state_.store(kReading); }
    bool EndRead(bool gotData) {
        LONG reading = kReading;
        if (!state_.compare_exchange_strong(reading, kIdle))
            return false;
        // A time stamp, not an event: the watch thread is not woken for every block.
        if (gotData)
            lastData_ = ::GetTickCount64();
        return true;
    }

    // Ends the watch; no stall can be declared after it. The worker then has the handles to itself.
    void Stop() {
        if (!thread_)
            return;
        ::SetEvent(stop_.Get());
        ::WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
    }

private:
    static constexpr LONG kIdle = 0;
    static constexpr LONG kReading = 1;
    static constexpr LONG kStalled = 2;
    static constexpr DWORD kRecheckMs = 1000;

    static DWORD WINAPI Run(void* parameter) {
        static_cast<CStallWatch*>(parameter)->Watch();
        return 0;
    }

    void Watch() {
        for (;;) {
            const ULONGLONG silent = ::GetTickCount64() - lastData_;
            DWORD wait = silent < limitMs_ ? static_cast<DWORD>(limitMs_ - silent) : 0;
            if (wait == 0) {
                // Only a read that is waiting now is a stall: the worker may as well be writing the
                // last block to a slow disk, and is looked at again soon.
                LONG reading = kReading;
                if (state_.compare_exchange_strong(reading, kStalled))
                    break;
                wait = limitMs_ < kRecheckMs ? limitMs_ : kRecheckMs;
            }
            if (::WaitForSingleObject(stop_.Get(), wait) != WAIT_TIMEOUT)
                return;
        }
        if (response_)
            ::InternetCloseHandle(response_.Get());
        // What arrived stays in the file, which is closed before anybody hears of the end.
        if (file_)
            ::CloseHandle(file_.Get());
        char* text = CopyText(StallText(limitMs_));
        if (!PostDownloadNotice(notifyWindow_, WM_DOWNLOAD_FINISH, 0, reinterpret_cast<LPARAM>(text)))
            delete[] text;
    }

    fw::InternetHandle response_;
    fw::FileHandle file_;
    HWND notifyWindow_;
    DWORD limitMs_;
    std::atomic<LONG> state_{kIdle};
    std::atomic<ULONGLONG> lastData_{0}; // GetTickCount64 when data last arrived
    fw::KernelHandle stop_;
    fw::KernelHandle thread_;
};

void RunDownload(const DownloadJob& job) {
    DownloadOutcome outcome;
    try {
        CFileDownloader downloader(job.proxyHost, job.proxyPort, job.useProxy, job.notifyWindow, job.stallLimitMs);
        outcome = downloader.Download(job.url, job.filePath);
    } catch (...) {
        // Out of memory in the middle of a transfer: it still ends with a finish notice.
        outcome = DownloadOutcome();
    }
    // A stalled transfer has had its finish notice from the watch already.
    if (outcome.abandoned)
        return;
    // Every transfer ends with exactly one finish notice, whatever happened before, so that no client
    // waits for it forever. The file is closed by now: a client may open it at once.
    char* text = outcome.text ? CopyText(*outcome.text) : nullptr;
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

CFileDownloader::CFileDownloader(const std::string& proxyHost, LONG proxyPort, bool useProxy, HWND notifyWindow,
                                 DWORD stallLimitMs)
    : proxyHost_(proxyHost), proxyPort_(proxyPort), useProxy_(useProxy), notifyWindow_(notifyWindow),
      stallLimitMs_(stallLimitMs) {}

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

    // The latest setup comes from the server, never from a cache entry of an earlier run, and this one
    // leaves none behind.
    const DWORD flags = INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE;
    CStallWatch watch(notifyWindow_, stallLimitMs_);
    if (DWORD error = watch.Start()) {
        outcome.text = FileErrorText(error);
        return outcome;
    }
    // A server that takes the connection but never answers is as silent as one that stops mid-body.
    watch.BeginRead();
    fw::InternetHandle response(CFetchSession::OpenUrl(OpenHandle(), url, flags));
    const DWORD openError = ::GetLastError();
    if (!watch.EndRead(static_cast<bool>(response))) {
        outcome.abandoned = true;
        return outcome;
    }
    if (!response) {
        // The client hears why, so that its warning can name the cause (an unknown host, a refusal).
        outcome.text = CFetchSession::ErrorText(openError);
        session_->SetLastStatus("%s", outcome.text->c_str());
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
    const bool lengthAnnounced = ::HttpQueryInfoA(response.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                                  &length, &size, nullptr) != FALSE;
    if (lengthAnnounced)
        expectedBytes_ = length;

    watch.Adopt(std::move(response), std::move(file));
    char block[kBlockSize];
    for (;;) {
        DWORD got = 0;
        watch.BeginRead();
        const BOOL read = ::InternetReadFile(watch.Response(), block, kBlockSize, &got);
        const DWORD readError = ::GetLastError();
        if (!watch.EndRead(read && got > 0)) {
            // Nothing more that could fail: the finish notice is out, and a second one must not follow.
            outcome.abandoned = true;
            return outcome;
        }
        if (!read) {
            outcome.text = CFetchSession::ErrorText(readError);
            session_->SetLastStatus("%s", outcome.text->c_str());
            return outcome;
        }
        if (got == 0)
            break;
        DWORD written = 0;
        if (!::WriteFile(watch.File(), block, got, &written, nullptr) || written != got) {
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
    watch.Stop();
    // WinINet ends a body that the server closed early as if it were complete: only the length that
    // the server announced tells a cut transfer from a whole one.
    if (lengthAnnounced && receivedBytes_ < expectedBytes_) {
        outcome.text = CutShortText(receivedBytes_, expectedBytes_);
        session_->SetLastStatus("%s", outcome.text->c_str());
        return outcome;
    }
    // The file is complete and closed (by the watch, which owns it) before anybody hears of the end.
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
