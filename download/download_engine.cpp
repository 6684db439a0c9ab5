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
// How many notices may wait for the window before the worker waits for it: 4 MiB of the body.
constexpr size_t kMaxWaitingNotices = 4096;

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

DownloadNotice FinishNotice(bool success, std::optional<std::string> text) {
    DownloadNotice notice;
    notice.kind = DownloadNotice::kFinish;
    notice.success = success;
    notice.text = std::move(text);
    return notice;
}

// Watches the waits of one transfer for the server (the opening of the URL, then every read) from a
// thread of its own, and the client's request to stop. When a wait has lasted the whole limit without
// data, or the client asks to stop while the worker waits, the watch ends the transfer itself: it
// closes the response handle (which ends a pending read where WinINet allows it) and the file (removed
// after a stop), and puts the finish notice. A WinINet that keeps the wait going all the same (Wine's
// does) then holds only the worker thread, which gives up the transfer without another notice when its
// call returns at last; the client is not kept waiting. Once adopted, the response and the file belong
// to the watch, so that each is closed exactly once.
class CStallWatch {
public:
    CStallWatch(const std::shared_ptr<CDownloadChannel>& channel, const std::string& filePath, DWORD limitMs)
        : channel_(channel), filePath_(filePath), limitMs_(limitMs) {}
    ~CStallWatch() {
        Stop();
        if (Phase(state_.load()) == kAbandoned) {
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

    // Brackets every blocking call. Each wait has a number of its own, so that the watch can tell the
    // wait it judged from a later one. EndRead is false when the watch ended the transfer during the
    // call: it has closed its handles and put the finish notice, and the worker must touch neither.
    void BeginRead() { state_.store(++wait_ << 2 | kReading); }
    bool EndRead(bool gotData) {
        // The time stamp is written before this wait ends and so before the next one begins: a watch that
        // sees the next wait also sees the time of this one's data.
        if (gotData)
            lastData_ = ::GetTickCount64();
        uint64_t reading = wait_ << 2 | kReading;
        return state_.compare_exchange_strong(reading, wait_ << 2 | kIdle);
    }

    // Ends the watch; the transfer cannot be ended by it after this. The worker then has the handles to
    // itself.
    void Stop() {
        if (!thread_)
            return;
        ::SetEvent(stop_.Get());
        ::WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
    }

private:
    static constexpr uint64_t kIdle = 0;
    static constexpr uint64_t kReading = 1;
    static constexpr uint64_t kAbandoned = 2;
    static constexpr DWORD kRecheckMs = 1000;
    // How often a stop is tried again while the worker is between two waits.
    static constexpr DWORD kStopRecheckMs = 10;

    static uint64_t Phase(uint64_t state) { return state & 3; }

    static DWORD WINAPI Run(void* parameter) {
        static_cast<CStallWatch*>(parameter)->Watch();
        return 0;
    }

    // Ends the wait that state names, if the worker is still in it.
    bool Abandon(uint64_t state) {
        return Phase(state) == kReading && state_.compare_exchange_strong(state, kAbandoned);
    }

    void Watch() {
        const HANDLE events[] = {stop_.Get(), channel_->StopEvent()};
        bool stopped = false;
        for (;;) {
            // The state first, then the time stamp, then the clock: the stamp is never newer than the
            // clock (their difference cannot wrap), and a stall is declared only for the very wait that
            // was judged, before any later data.
            const uint64_t state = state_.load();
            const ULONGLONG lastData = lastData_.load();
            const ULONGLONG silent = ::GetTickCount64() - lastData;
            DWORD wait = silent < limitMs_ ? static_cast<DWORD>(limitMs_ - silent) : 0;
            if (wait == 0) {
                // Only a read that is waiting now is a stall: the worker may as well be writing the
                // last block to a slow disk, and is looked at again soon.
                if (Abandon(state))
                    break;
                wait = limitMs_ < kRecheckMs ? limitMs_ : kRecheckMs;
            }
            const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, wait);
            if (woken == WAIT_OBJECT_0 + 1) {
                // The client asked to stop. Between two waits the worker notices it itself; in a wait,
                // only the watch can end it.
                if (Abandon(state_.load())) {
                    stopped = true;
                    break;
                }
                if (::WaitForSingleObject(stop_.Get(), kStopRecheckMs) != WAIT_TIMEOUT)
                    return;
            } else if (woken != WAIT_TIMEOUT) {
                return;
            }
        }
        if (response_)
            ::InternetCloseHandle(response_.Get());
        // What arrived stays in the file after a stall; after a stop nothing does. Either way the file
        // is closed before anybody hears of the end.
        if (file_)
            ::CloseHandle(file_.Get());
        if (stopped)
            ::DeleteFileA(filePath_.c_str());
        channel_->Put(FinishNotice(false, stopped ? std::string(kDownloadStoppedText) : DownloadStallText(limitMs_)));
        channel_->MarkReleased();
    }

    fw::InternetHandle response_;
    fw::FileHandle file_;
    std::shared_ptr<CDownloadChannel> channel_;
    std::string filePath_;
    DWORD limitMs_;
    uint64_t wait_ = 0; // the worker's own count of its waits
    std::atomic<uint64_t> state_{kIdle};
    std::atomic<ULONGLONG> lastData_{0}; // GetTickCount64 when data last arrived
    fw::KernelHandle stop_;
    fw::KernelHandle thread_;
};

void RunDownload(const DownloadJob& job) {
    DownloadOutcome outcome;
    try {
        CFileDownloader downloader(job.proxyHost, job.proxyPort, job.useProxy, job.channel, job.stallLimitMs,
                                   job.maxBytes);
        outcome = downloader.Download(job.url, job.filePath);
    } catch (...) {
        // Out of memory in the middle of a transfer: it still ends with a finish notice.
        outcome = DownloadOutcome();
    }
    // A transfer that the watch ended has had its finish notice from the watch already.
    if (outcome.abandoned)
        return;
    // A stopped transfer leaves nothing behind; the file is closed by now.
    if (outcome.stopped) {
        ::DeleteFileA(job.filePath.c_str());
        outcome.text = kDownloadStoppedText;
    }
    // Every transfer ends with exactly one finish notice, whatever happened before, so that no client
    // waits for it forever. The file is closed by now: a client may open it at once.
    job.channel->Put(FinishNotice(outcome.success, std::move(outcome.text)));
    job.channel->MarkReleased();
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

const char kDownloadStoppedText[] = "The download was stopped.";

std::shared_ptr<CDownloadChannel> CDownloadChannel::Create(HWND window) {
    std::shared_ptr<CDownloadChannel> channel(new (std::nothrow) CDownloadChannel(window));
    if (!channel)
        return nullptr;
    channel->stop_.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    channel->released_.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!channel->stop_ || !channel->released_)
        return nullptr;
    return channel;
}

void CDownloadChannel::Put(DownloadNotice notice) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        try {
            notices_.push_back(std::move(notice));
        } catch (...) {
            if (notice.kind == DownloadNotice::kFinish)
                finishLost_ = true;
        }
        waiting_.store(notices_.size(), std::memory_order_relaxed);
    }
    Wake();
}

std::vector<DownloadNotice> CDownloadChannel::TakeAll() {
    // Cleared first: a notice put from now on wakes the window again.
    wakePending_.store(false);
    std::vector<DownloadNotice> taken;
    std::lock_guard<std::mutex> guard(lock_);
    try {
        taken.reserve(notices_.size() + 1);
        for (DownloadNotice& notice : notices_)
            taken.push_back(std::move(notice));
        notices_.clear();
        if (finishLost_) {
            taken.push_back(FinishNotice(false, std::nullopt));
            finishLost_ = false;
        }
    } catch (...) {
        // Nothing was taken that is not in taken; what is left stays for the next look.
        notices_.erase(notices_.begin(), notices_.begin() + static_cast<std::ptrdiff_t>(taken.size()));
    }
    waiting_.store(notices_.size(), std::memory_order_relaxed);
    return taken;
}

void CDownloadChannel::WaitForRoom() const {
    while (waiting_.load(std::memory_order_relaxed) > kMaxWaitingNotices && !StopRequested() && ::IsWindow(window_))
        ::Sleep(1);
}

void CDownloadChannel::Wake() {
    if (wakePending_.exchange(true))
        return;
    for (;;) {
        if (::PostMessageA(window_, WM_DOWNLOAD_WAKE, 0, 0))
            return;
        // A thread's message queue holds a limited number of posted messages; a worker that outruns the
        // apartment thread waits for it rather than leaving the notices unseen.
        if (::GetLastError() != ERROR_NOT_ENOUGH_QUOTA || !::IsWindow(window_)) {
            wakePending_.store(false);
            return;
        }
        ::Sleep(1);
    }
}

CFileDownloader::CFileDownloader(const std::string& proxyHost, LONG proxyPort, bool useProxy,
                                 std::shared_ptr<CDownloadChannel> channel, DWORD stallLimitMs, uint64_t maxBytes)
    : proxyHost_(proxyHost), proxyPort_(proxyPort), useProxy_(useProxy), channel_(std::move(channel)),
      stallLimitMs_(stallLimitMs), maxBytes_(maxBytes) {}

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
    if (channel_->StopRequested()) {
        outcome.stopped = true;
        return outcome;
    }
    if (!session_ && !OpenSession())
        return outcome;

    // The latest setup comes from the server, never from a cache entry of an earlier run, and this one
    // leaves none behind.
    const DWORD flags = INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE;
    CStallWatch watch(channel_, filePath, stallLimitMs_);
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
    if (channel_->StopRequested()) {
        outcome.stopped = true;
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
    // Read as text: a length of 4 GiB or more does not fit the number that WinINet would give.
    char length[32] = {};
    DWORD size = sizeof length;
    const bool lengthAnnounced =
        ::HttpQueryInfoA(response.Get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr) != FALSE;
    if (lengthAnnounced) {
        char* end = nullptr;
        const unsigned long long announced = strtoull(length, &end, 10);
        if (announced > maxBytes_ || end == length) {
            outcome.text = end == length ? CFetchSession::ErrorText(ERROR_HTTP_INVALID_HEADER) : DownloadTooLargeText();
            session_->SetLastStatus("%s", outcome.text->c_str());
            return outcome;
        }
        expectedBytes_ = static_cast<uint32_t>(announced);
    }

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
        if (channel_->StopRequested()) {
            outcome.stopped = true;
            return outcome;
        }
        if (!read) {
            outcome.text = CFetchSession::ErrorText(readError);
            session_->SetLastStatus("%s", outcome.text->c_str());
            return outcome;
        }
        if (got == 0)
            break;
        if (receivedBytes_ + static_cast<uint64_t>(got) > maxBytes_) {
            outcome.text = DownloadTooLargeText();
            session_->SetLastStatus("%s", outcome.text->c_str());
            return outcome;
        }
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

        DownloadNotice notice;
        notice.expectedBytes = static_cast<LONG>(expectedBytes_);
        if (firstBlockPending_) {
            firstBlockPending_ = false;
            notice.kind = DownloadNotice::kStart;
        } else {
            notice.blockBytes = static_cast<LONG>(got);
            notice.receivedBytes = static_cast<LONG>(receivedBytes_);
            notice.percent = percent_;
            notice.rate = rate_;
            notice.elapsed = elapsed;
        }
        channel_->Put(std::move(notice));
        // No yield after each block: the notices wait in the channel, which the window empties in one go
        // whenever it runs, and a yield would cost a system call per kilobyte. The channel's bound keeps
        // a slow client from falling far behind.
        channel_->WaitForRoom();
    }
    watch.Stop();
    // WinINet ends a body that the server closed early as if it were complete: only the length that
    // the server announced tells a cut transfer from a whole one.
    if (lengthAnnounced && receivedBytes_ < expectedBytes_) {
        outcome.text = DownloadCutShortText(receivedBytes_, expectedBytes_);
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
