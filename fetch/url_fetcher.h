// The one-block URL fetch behind the feed validator, and the one-time URL probe behind the web page
// dialogs. Both return only when they are done; the probe opens the URL on a thread of its own.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "fetch/fetch_session.h"

class CUrlFetcher {
public:
    // The time-out that a new session gets for connecting and for receiving, in milliseconds.
    static constexpr DWORD kDefaultTimeout = 20000;
    // At most this much of a response is read, in one read.
    static constexpr DWORD kBlockSize = 1024;

    CUrlFetcher() = default;
    CUrlFetcher(const CUrlFetcher&) = delete;
    CUrlFetcher& operator=(const CUrlFetcher&) = delete;

    // Fetches the first block (at most 1024 bytes) of the URL's response into content. Returns 1 when
    // a response was obtained and read (content may be empty), 0 when the fetch failed; LastStatus()
    // then tells why. The session is created by the first fetch and kept for later ones.
    int Fetch(const std::string& url, std::string& content);

    // The Content-Type header of the response that the last successful fetch read; empty when it had none.
    std::string ContentType() const { return contentType_; }

    // The session's last-status text; empty when there is no session.
    std::string LastStatus() const;

    // Applies to the session that the next fetch creates; 0 leaves WinINet's own time-outs.
    void SetTimeout(DWORD milliseconds) { timeout_ = milliseconds; }

private:
    bool OpenSession();

    std::unique_ptr<CFetchSession> session_;
    DWORD timeout_ = kDefaultTimeout;
    std::string contentType_;
    // Why the last session could not be opened; the fetch reports it since no session holds a text.
    std::string sessionError_;
};

enum class ProbeOutcome {
    Opened,      // the URL gave a response, whatever its HTTP status
    NotOpenable, // the open gave a handle of a kind that is no response
    Failed,      // the internet layer failed; the error text tells why
};

struct ProbeResult {
    ProbeOutcome outcome = ProbeOutcome::Failed;
    std::string errorText; // only for Failed
};

// Opens the URL once, on a session of its own, and closes the response unread. No HTTP status is looked
// at: a 404 or 500 page counts as opened. A server that does not answer within timeoutMs makes the probe
// fail with WinINet's time-out text, whether or not WinINet itself keeps the time.
ProbeResult ProbeUrl(const std::string& url, DWORD timeoutMs = CUrlFetcher::kDefaultTimeout);
