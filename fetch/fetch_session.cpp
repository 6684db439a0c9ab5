#include "fetch/fetch_session.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The session that receives WinINet's notices on this thread: the newest one that switched them on
// here; each such session keeps the one it displaced, so closing it hands the notices back.
//
// WinINet hands the callback the handle that the notice is about and that handle's own context. The
// handles that matter (the URL handles of InternetOpenUrl) carry the context 1 by design, and a child
// handle names its session only through INTERNET_OPTION_PARENT_HANDLE, which not every WinINet
// answers; so neither the context nor the handle names the session. What is dependable is the thread:
// the sessions are synchronous, so WinINet calls back on the thread that made the WinINet call, and a
// session is used by one thread at a time. A thread's own slot needs no lock, and sessions on
// different threads (one download worker each) never see each other's notices.
thread_local CFetchSession* t_callbackSession = nullptr;

struct LocalTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::LocalFree(h); }
};

} // namespace

std::string CFetchSession::AgentName() {
    // The module that holds this function: the wizard's program, or Pullwire.dll when the download
    // engine links this code. The address lookup takes no reference on the module.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&CFetchSession::AgentName), &module))
        module = nullptr;
    // A full buffer means the path was cut: try again with more room.
    std::string name;
    for (DWORD size = MAX_PATH;; size *= 2) {
        if (size > 32768)
            return std::string();
        name.assign(size, '\0');
        DWORD n = GetModuleFileNameA(module, &name[0], size);
        if (n == 0)
            return std::string();
        if (n < size) {
            name.resize(n);
            break;
        }
    }
    size_t slash = name.find_last_of("\\/:");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

CFetchSession::CFetchSession() {
    std::string agent = AgentName();
    handle_.Reset(InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!handle_)
        openError_ = GetLastError();
}

CFetchSession::~CFetchSession() {
    // Notices stop before the handle closes, so that the closing reports nothing to a session that
    // is half gone (or, through the thread's slot, to another session).
    DisableStatusCallback();
}

void CFetchSession::DisableStatusCallback() {
    if (!callbackEnabled_)
        return;
    InternetSetStatusCallbackA(handle_.Get(), nullptr);
    callbackEnabled_ = false;
    // Out of this thread's chain, wherever in it the session stands: sessions need not close in the
    // reverse order of their opening.
    if (t_callbackSession == this) {
        t_callbackSession = previousCallbackSession_;
    } else {
        for (CFetchSession* s = t_callbackSession; s; s = s->previousCallbackSession_)
            if (s->previousCallbackSession_ == this) {
                s->previousCallbackSession_ = previousCallbackSession_;
                break;
            }
    }
    previousCallbackSession_ = nullptr;
}

bool CFetchSession::EnableStatusCallback() {
    if (!handle_)
        return false;
    if (callbackEnabled_)
        return true;
    if (InternetSetStatusCallbackA(handle_.Get(), &CFetchSession::StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK)
        return false;
    previousCallbackSession_ = t_callbackSession;
    t_callbackSession = this;
    callbackEnabled_ = true;
    return true;
}

void CFetchSession::SetLastStatus(const char* format, ...) {
    char buffer[kStatusBufferSize];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        buffer[0] = '\0';
    buffer[sizeof buffer - 1] = '\0';
    lastStatus_ = buffer;
    if (statusWindow_) {
        SetWindowTextA(statusWindow_, buffer);
        // Callers block their thread for the whole transfer, so the window must paint now or never.
        RedrawWindow(statusWindow_, nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
    }
}

void CFetchSession::OnStatusCallback(DWORD_PTR context, DWORD status, const void* info, DWORD infoLength) {
    (void)context;
    // The name notices carry text; it is printed only up to its given length or its zero byte,
    // whichever comes first, so that an unterminated buffer is never read past its end.
    auto infoText = [&]() -> std::string {
        if (!info)
            return std::string();
        const char* s = static_cast<const char*>(info);
        size_t n = 0;
        while (n < infoLength && s[n] != '\0')
            ++n;
        return std::string(s, n);
    };
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
        SetLastStatus("Resolving name for %s", infoText().c_str());
        break;
    case INTERNET_STATUS_NAME_RESOLVED:
        SetLastStatus("Resolved name for %s", infoText().c_str());
        break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
        SetLastStatus("Connecting to socket address ");
        break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        SetLastStatus("Connected to socket address");
        break;
    case INTERNET_STATUS_SENDING_REQUEST:
        SetLastStatus("Sending request...");
        break;
    case INTERNET_STATUS_REQUEST_SENT:
        SetLastStatus("Request sent");
        break;
    case INTERNET_STATUS_RECEIVING_RESPONSE:
        break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        SetLastStatus("Response received");
        break;
    case INTERNET_STATUS_CLOSING_CONNECTION:
        SetLastStatus("Closing the connection to the server");
        break;
    case INTERNET_STATUS_CONNECTION_CLOSED:
        SetLastStatus("Connection to the server closed");
        break;
    case INTERNET_STATUS_HANDLE_CREATED:
        SetLastStatus("%s", "");
        break;
    case INTERNET_STATUS_HANDLE_CLOSING:
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
        // The result is two 32-bit words on the 32-bit system; the 64-bit build's
        // INTERNET_ASYNC_RESULT has a pointer-sized first field.
        if (info && infoLength == 2 * sizeof(DWORD)) {
            DWORD words[2];
            memcpy(words, info, sizeof words);
            SetLastStatus("Request complete, dwResult = %8.8lX, dwError = %8.8lX", static_cast<unsigned long>(words[0]),
                          static_cast<unsigned long>(words[1]));
        } else if (info && infoLength == sizeof(INTERNET_ASYNC_RESULT)) {
            INTERNET_ASYNC_RESULT result;
            memcpy(&result, info, sizeof result);
            SetLastStatus("Request complete, dwResult = %8.8lX, dwError = %8.8lX",
                          static_cast<unsigned long>(static_cast<DWORD>(result.dwResult)),
                          static_cast<unsigned long>(result.dwError));
        } else {
            SetLastStatus("Request complete");
        }
        break;
    default:
        SetLastStatus("Unknown status: %d", static_cast<int>(status));
        break;
    }
}

void CALLBACK CFetchSession::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                            DWORD infoLength) {
    (void)handle;
    if (CFetchSession* session = t_callbackSession)
        session->OnStatusCallback(context, status, info, infoLength);
}

std::string CFetchSession::ErrorText(DWORD winInetError) {
    // The WinINet codes live in wininet.dll's message table; the system's table covers the rest.
    // The message is allocated by the system because a buffer of fixed size makes FormatMessage
    // fail outright on a longer text instead of cutting it.
    HMODULE wininet = GetModuleHandleA("wininet.dll");
    fw::Owner<LocalTraits> message;
    char* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                  (wininet ? FORMAT_MESSAGE_FROM_HMODULE : 0);
    DWORD n = FormatMessageA(flags, wininet, winInetError, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    message.Reset(text);
    std::string result;
    if (n > 0 && text)
        result.assign(text, n);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    if (result.size() > 255)
        result.resize(255);
    if (result.empty())
        result = "Internet error " + std::to_string(winInetError);
    return result;
}
