// The download engine: one worker thread per transfer reads the URL block by block with WinINet, writes
// the body into the target file and posts start, progress and finish notices to a hidden window on the
// apartment thread of the object that started it. The worker never touches the COM object.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fetch/fetch_session.h"

// A transfer on which no data arrives for this long fails: WinINet's own receive time-outs are not
// honoured everywhere (Wine ignores them), so the engine keeps the time itself.
constexpr DWORD kDownloadStallLimitMs = 60 * 1000;

// The request of one transfer, copied on the apartment thread and owned by the worker from its start.
struct DownloadJob {
    std::string url;
    std::string filePath;
    std::string proxyHost;
    LONG proxyPort = 0;
    bool useProxy = false;
    // The hidden window of the object that started the transfer: its notices go there and only there,
    // so that two objects never see each other's events.
    HWND notifyWindow = nullptr;
    DWORD stallLimitMs = kDownloadStallLimitMs;
};

// One data notice, passed by pointer in WM_DOWNLOAD_DATA and destroyed by the hidden window.
struct DownloadProgress {
    virtual ~DownloadProgress() = default;
    LONG blockBytes = 0;
    LONG receivedBytes = 0;
    LONG expectedBytes = 0;
    LONG percent = 0;
    double rate = 0;    // kilobytes per second
    double elapsed = 0; // whole seconds
};

// How a transfer ended: success, and the text of its finish notice (none: a null text).
struct DownloadOutcome {
    bool success = false;
    std::optional<std::string> text;
    // The transfer stalled and its finish notice has been posted already: the worker posts none.
    bool abandoned = false;
};

// Posts a notice to the hidden window. A full message queue is waited out while the window lives, so
// that no notice is lost to a slow apartment thread; returns false when the window is gone.
bool PostDownloadNotice(HWND window, UINT message, WPARAM wp, LPARAM lp);

class CFileDownloader {
public:
    CFileDownloader(const std::string& proxyHost, LONG proxyPort, bool useProxy, HWND notifyWindow,
                    DWORD stallLimitMs = kDownloadStallLimitMs);
    ~CFileDownloader();
    CFileDownloader(const CFileDownloader&) = delete;
    CFileDownloader& operator=(const CFileDownloader&) = delete;

    // Reads the URL into the file. Posts WM_DOWNLOAD_START after the first block and WM_DOWNLOAD_DATA
    // after every later one; the finish notice is the caller's, after the file is closed, except after a
    // stall (abandoned). A body that ends before its announced Content-Length, and a read that waits
    // longer than the stall limit for data, are failures; what arrived stays in the file.
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
    HWND notifyWindow_;
    DWORD stallLimitMs_;
    uint32_t expectedBytes_ = 0;
    uint32_t receivedBytes_ = 0;
    LONG percent_ = 0;
    double rate_ = 0;
    bool firstBlockPending_ = true;
};

// Starts the worker for the job: it holds a reference on the module (and counts in DllCanUnloadNow)
// until its very last instruction, posts exactly one WM_DOWNLOAD_FINISH and ends. Takes the job
// whether or not the thread starts; returns the Win32 error when it cannot start.
DWORD StartDownloadWorker(std::unique_ptr<DownloadJob> job);
