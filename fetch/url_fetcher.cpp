#include "fetch/url_fetcher.h"

namespace {

// The kind of handle that InternetOpenUrl gave (INTERNET_HANDLE_TYPE_...); 0 when it cannot be told.
DWORD HandleType(HINTERNET h) {
    DWORD type = 0, size = sizeof type;
    return InternetQueryOptionA(h, INTERNET_OPTION_HANDLE_TYPE, &type, &size) ? type : 0;
}

// A handle for a document that has a response: HTTP(S), FTP and gopher.
bool IsResponseHandle(HINTERNET h) {
    DWORD type = HandleType(h);
    return type == INTERNET_HANDLE_TYPE_HTTP_REQUEST || type == INTERNET_HANDLE_TYPE_FTP_FIND ||
           type == INTERNET_HANDLE_TYPE_FTP_FILE || type == INTERNET_HANDLE_TYPE_GOPHER_FILE;
}

// The status code of an HTTP response, read as text; 0 when it cannot be queried.
long QueryStatusCode(HINTERNET response) {
    char code[32] = {};
    DWORD size = sizeof code - 1;
    if (!HttpQueryInfoA(response, HTTP_QUERY_STATUS_CODE, code, &size, nullptr))
        return 0;
    code[size < sizeof code ? size : sizeof code - 1] = '\0';
    return strtol(code, nullptr, 10);
}

// Opens the URL once on a session of its own and closes the response unread.
ProbeResult OpenOnce(const std::string& url, DWORD timeoutMs) {
    ProbeResult result;
    CFetchSession session;
    if (!session.IsOpen()) {
        result.errorText = CFetchSession::ErrorText(session.OpenError());
        return result;
    }
    // Where WinINet honours them, its own time-outs end the wait with its own error first.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = timeoutMs;
        InternetSetOptionExA(session.Handle(), option, &value, sizeof value, 0);
    }
    fw::InternetHandle response(session.OpenUrl(url, INTERNET_FLAG_TRANSFER_ASCII));
    if (!response) {
        result.errorText = CFetchSession::ErrorText(GetLastError());
        return result;
    }
    result.outcome = IsResponseHandle(response.Get()) ? ProbeOutcome::Opened : ProbeOutcome::NotOpenable;
    // The response is closed unread before the session goes, in the order the handles were opened.
    response.Reset();
    return result;
}

// One probe, shared by the thread that opens the URL and the caller that waits for it: a caller that
// stops waiting leaves the rest to the thread.
struct ProbeJob {
    std::string url;
    DWORD timeoutMs = 0;
    ProbeResult result;
};

DWORD WINAPI ProbeThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<ProbeJob>> job(static_cast<std::shared_ptr<ProbeJob>*>(parameter));
    (*job)->result = OpenOnce((*job)->url, (*job)->timeoutMs);
    return 0;
}

// Waits until the thread ends or the time is up; true when it ended. Windows of this thread are
// repainted meanwhile, and nothing else is dispatched: no click reaches the caller's dialog again.
bool WaitKeepingWindowsPainted(HANDLE thread, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_PAINT);
        if (woken == WAIT_OBJECT_0)
            return true;
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
            DispatchMessageA(&msg);
    }
}

// A response header as text; empty when the response has none.
std::string QueryHeader(HINTERNET response, DWORD info) {
    std::string value(256, '\0');
    DWORD size = static_cast<DWORD>(value.size());
    if (!HttpQueryInfoA(response, info, &value[0], &size, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::string();
        // size is now the length that the value needs, its terminator included.
        value.assign(size, '\0');
        if (!HttpQueryInfoA(response, info, &value[0], &size, nullptr))
            return std::string();
    }
    value.resize(size);
    return value;
}

} // namespace

bool CUrlFetcher::OpenSession() {
    if (session_)
        return true;
    session_ = std::make_unique<CFetchSession>();
    if (!session_->IsOpen()) {
        sessionError_ = CFetchSession::ErrorText(session_->OpenError());
        session_.reset();
        return false;
    }
    sessionError_.clear();
    if (timeout_ != 0) {
        // Receiving first, then connecting: the order in which the session has always set them.
        DWORD value = timeout_;
        InternetSetOptionExA(session_->Handle(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &value, sizeof value, 0);
        value = timeout_;
        InternetSetOptionExA(session_->Handle(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value, 0);
        // The data option above governs only FTP data channels; an HTTP response is received under
        // INTERNET_OPTION_RECEIVE_TIMEOUT, whose default would let a stalled server hold the wizard's
        // thread far longer than the time-out promises.
        value = timeout_;
        InternetSetOptionExA(session_->Handle(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value, 0);
    }
    return true;
}

std::string CUrlFetcher::LastStatus() const {
    if (!session_)
        return sessionError_;
    return session_->LastStatus();
}

int CUrlFetcher::Fetch(const std::string& url, std::string& content) {
    content.clear();
    contentType_.clear();
    if (!OpenSession())
        return 0;
    CFetchSession& session = *session_;

    fw::InternetHandle response(session.OpenUrl(url, INTERNET_FLAG_TRANSFER_BINARY));
    if (!response) {
        session.SetLastStatus("%s", CFetchSession::ErrorText(GetLastError()).c_str());
        return 0;
    }

    // The response handle takes the receiving time-out too, for the reads that follow, where the
    // session's value is not passed down to the handles that InternetOpenUrl makes. (Wine 8 honours
    // neither: measured, its reads wait without limit.)
    if (timeout_ != 0) {
        DWORD value = timeout_;
        InternetSetOptionA(response.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value);
    }

    // Only HTTP responses are read; a handle of another kind is closed, and the fetch succeeds empty.
    if (HandleType(response.Get()) != INTERNET_HANDLE_TYPE_HTTP_REQUEST) {
        response.Reset();
        session.SetLastStatus("%s", "");
        return 1;
    }

    // Redirections that WinINet did not follow, and 1xx and 2xx answers, are read like any other.
    long status = QueryStatusCode(response.Get());
    if (status >= 500) {
        session.SetLastStatus("%s", "Unknown Server Error.");
        return 0;
    }
    if (status >= 400) {
        session.SetLastStatus("%s", "Requested URL not found.");
        return 0;
    }

    // One byte beyond the block keeps room for a terminating zero.
    fw::GlobalMemory buffer(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kBlockSize + 1));
    if (!buffer) {
        // Said rather than left as it was: the text before could be a former fetch's error.
        session.SetLastStatus("%s", CFetchSession::ErrorText(ERROR_NOT_ENOUGH_MEMORY).c_str());
        return 0;
    }
    char* data = static_cast<char*>(static_cast<void*>(buffer.Get()));
    DWORD read = 0;
    // One read only: whatever lies beyond the first block is never looked at.
    if (!InternetReadFile(response.Get(), data, kBlockSize, &read)) {
        session.SetLastStatus("%s", CFetchSession::ErrorText(GetLastError()).c_str());
        return 0;
    }
    content.assign(data, read);
    contentType_ = QueryHeader(response.Get(), HTTP_QUERY_CONTENT_TYPE);
    session.SetLastStatus("%s", "");
    return 1;
}

ProbeResult ProbeUrl(const std::string& url, DWORD timeoutMs) {
    // WinINet does not honour its time-outs everywhere (Wine's wait for a server that never answers has
    // no end): the open runs on a thread of its own, which the caller waits for with the limit.
    auto job = std::make_shared<ProbeJob>();
    job->url = url;
    job->timeoutMs = timeoutMs;
    auto* handoff = new std::shared_ptr<ProbeJob>(job);
    fw::KernelHandle thread(CreateThread(nullptr, 0, ProbeThread, handoff, 0, nullptr));
    if (!thread) {
        delete handoff;
        ProbeResult result;
        result.errorText = CFetchSession::ErrorText(GetLastError());
        return result;
    }
    if (!WaitKeepingWindowsPainted(thread.Get(), timeoutMs)) {
        ProbeResult result;
        result.errorText = CFetchSession::ErrorText(ERROR_INTERNET_TIMEOUT);
        return result;
    }
    return job->result;
}
