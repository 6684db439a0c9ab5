// The download engine: one worker thread per transfer reads the URL block by block with WinINet, writes
// the body into the target file and hands start, progress and finish notices to the hidden window on
// the apartment thread of the object that started it, through the transfer's channel. The worker never
// touches the COM object.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fetch/fetch_session.h"
#include "framework/owners.h"

// A transfer on which no data arrives for this long fails: WinINet's own receive time-outs are not
// honoured everywhere (Wine ignores them), so the engine keeps the time itself.
constexpr DWORD kDownloadStallLimitMs = 60 * 1000;
// No setup is anywhere near this large: a body that would pass it fails, and a size announced above it
// fails at once, so that a server cannot fill the disk.
constexpr uint64_t kDownloadMaxBytes = 1ull << 30;
// How long StopDownload waits for a transfer to let go of its file.
constexpr DWORD kDownloadStopWaitMs = 5000;

// One notice of a transfer, in the order the worker gave them: start, data, finish.
struct DownloadNotice {
    enum Kind { kStart, kData, kFinish };
    Kind kind = kData;
    LONG blockBytes = 0;
    LONG receivedBytes = 0;
    LONG expectedBytes = 0;
    LONG percent = 0;
    double rate = 0;    // kilobytes per second
    double elapsed = 0; // whole seconds
    bool success = false;
    std::optional<std::string> text; // finish: its text, or none (a null BSTR)
};

// What one transfer tells the object that started it, shared by the worker (and its stall watch) and
// the object's hidden window. The worker puts notices in and wakes the window with WM_DOWNLOAD_WAKE;
// the window takes them out on the apartment thread. The object asks the transfer to stop through it,
// and learns when the transfer has let go of its file.
class CDownloadChannel {
public:
    // window: the hidden window to wake. Null when the events cannot be made.
    static std::shared_ptr<CDownloadChannel> Create(HWND window);

    CDownloadChannel(const CDownloadChannel&) = delete;
    CDownloadChannel& operator=(const CDownloadChannel&) = delete;

    // Any thread. A notice that cannot be stored for lack of memory is dropped, except a finish, which
    // then arrives without its text: every transfer ends with exactly one finish.
    void Put(DownloadNotice notice);
    // The window's thread: the notices so far, in order.
    std::vector<DownloadNotice> TakeAll();
    // The worker, after each block: waits while the window is far behind, so that a client that takes its
    // events slowly holds the transfer back instead of letting its notices fill the memory. A stop, or a
    // window that is gone, ends the wait.
    void WaitForRoom() const;

    void RequestStop() {
        stopRequested_.store(true);
        ::SetEvent(stop_.Get());
    }
    // Asked after every block: a plain read, where a wait on the event would be a call into the system
    // (into the server process, under Wine) for each kilobyte.
    bool StopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
    HANDLE StopEvent() const { return stop_.Get(); }
    // The transfer holds its file no longer (it is closed, and removed after a stop).
    void MarkReleased() { ::SetEvent(released_.Get()); }
    HANDLE ReleasedEvent() const { return released_.Get(); }

private:
    explicit CDownloadChannel(HWND window) : window_(window) {}
    void Wake();

    HWND window_;
    std::mutex lock_;
    std::deque<DownloadNotice> notices_;
    bool finishLost_ = false;
    // A wake message is on its way: the window will take every notice put before it looks.
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> stopRequested_{false};
    // How many notices wait for the window; written under lock_, read without it.
    std::atomic<size_t> waiting_{0};
    fw::KernelHandle stop_;
    fw::KernelHandle released_;
};

// The request of one transfer, copied on the apartment thread and owned by the worker from its start.
struct DownloadJob {
    std::string url;
    std::string filePath;
    std::string proxyHost;
    LONG proxyPort = 0;
    bool useProxy = false;
    // Where the notices go: the channel of the object that started the transfer, so that two objects
    // never see each other's events.
    std::shared_ptr<CDownloadChannel> channel;
    DWORD stallLimitMs = kDownloadStallLimitMs;
    uint64_t maxBytes = kDownloadMaxBytes;
};

// How a transfer ended: success, and the text of its finish notice (none: a null text).
struct DownloadOutcome {
    bool success = false;
    std::optional<std::string> text;
    // The stall watch ended the transfer and has put its finish notice already: the worker puts none.
    bool abandoned = false;
    // The client asked the transfer to stop, and the worker noticed it itself.
    bool stopped = false;
};

class CFileDownloader {
public:
    CFileDownloader(const std::string& proxyHost, LONG proxyPort, bool useProxy,
                    std::shared_ptr<CDownloadChannel> channel, DWORD stallLimitMs = kDownloadStallLimitMs,
                    uint64_t maxBytes = kDownloadMaxBytes);
    ~CFileDownloader();
    CFileDownloader(const CFileDownloader&) = delete;
    CFileDownloader& operator=(const CFileDownloader&) = delete;

    // Reads the URL into the file. Puts a start notice after the first block and a data notice after
    // every later one; the finish notice is the caller's, after the file is closed, except after a stall
    // or a stop that the watch handled (abandoned). A body that ends before its announced Content-Length,
    // one larger than the limit, and a read that waits longer than the stall limit for data are
    // failures; what arrived stays in the file.
    DownloadOutcome Download(const std::string& url, const std::string& filePath);

private:
    bool OpenSession();

    // The handle that URLs are opened on: the session's own, or proxySession_.
    HINTERNET OpenHandle() const;

    std::unique_ptr<CFetchSession> session_;
    // A session opened with the proxy itself, for a WinINet that does not take INTERNET_OPTION_PROXY on an
    // open session (Wine's does not); its notices go to session_ as well.
    fw::InternetHandle proxySession_;
    std::string proxyHost_;
    LONG proxyPort_;
    bool useProxy_;
    std::shared_ptr<CDownloadChannel> channel_;
    DWORD stallLimitMs_;
    uint64_t maxBytes_;
    uint32_t expectedBytes_ = 0;
    uint32_t receivedBytes_ = 0;
    LONG percent_ = 0;
    double rate_ = 0;
    bool firstBlockPending_ = true;
};

// The text of the finish notice of a transfer that the client stopped.
extern const char kDownloadStoppedText[];

// Starts the worker for the job: it holds a reference on the module (and counts in DllCanUnloadNow)
// until its very last instruction, puts exactly one finish notice and ends. After a stop it removes the
// file. Takes the job whether or not the thread starts; returns the Win32 error when it cannot start.
DWORD StartDownloadWorker(std::unique_ptr<DownloadJob> job);
