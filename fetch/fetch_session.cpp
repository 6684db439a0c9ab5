#include "fetch/fetch_session.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Which session receives WinINet's notices on which thread.
//
// WinINet hands the callback the handle that the notice is about and that handle's own context. The
// handles that matter (the URL handles of InternetOpenUrl) carry the context 1 by design, and WinINet
// offers no dependable way from such a handle back to its session, so neither the context nor the
// handle can name the session. What is dependable is the thread: the sessions are synchronous, so
// WinINet calls back on the thread that made the WinINet call, and a session is used by one thread at
// a time. Each session that switches notices on is entered here with the thread that did so; the
// callback takes the newest entry of its own thread. Sessions on different threads (one download
// worker each) therefore never see each other's notices. The list is process-wide rather than
// thread-local so that a session destroyed on another thread still leaves no dangling entry.
struct CallbackEntry {
    DWORD threadId;
    CFetchSession* session;
};

SRWLOCK g_callbackLock = SRWLOCK_INIT;
std::vector<CallbackEntry>* g_callbackEntries; // created on first use, never freed: the callback may
                                               // run while static objects are being destroyed

void AddCallbackEntry(CFetchSession* session) {
    AcquireSRWLockExclusive(&g_callbackLock);
    if (!g_callbackEntries)
        g_callbackEntries = new std::vector<CallbackEntry>;
    g_callbackEntries->push_back({GetCurrentThreadId(), session});
    ReleaseSRWLockExclusive(&g_callbackLock);
}

void RemoveCallbackEntry(CFetchSession* session) {
    AcquireSRWLockExclusive(&g_callbackLock);
    if (g_callbackEntries) {
        auto& v = *g_callbackEntries;
        for (size_t i = v.size(); i-- > 0;)
            if (v[i].session == session)
                v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
    }
    ReleaseSRWLockExclusive(&g_callbackLock);
}

CFetchSession* FindCallbackSession() {
    CFetchSession* found = nullptr;
    DWORD thread = GetCurrentThreadId();
    AcquireSRWLockShared(&g_callbackLock);
    if (g_callbackEntries) {
        const auto& v = *g_callbackEntries;
        for (size_t i = v.size(); i-- > 0;)
            if (v[i].threadId == thread) {
                found = v[i].session;
                break;
            }
    }
    ReleaseSRWLockShared(&g_callbackLock);
    return found;
}

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
    // is half gone (or, through the thread's entries, to another session).
    DisableStatusCallback();
}

void CFetchSession::DisableStatusCallback() {
    if (callbackEnabled_ && handle_)
        InternetSetStatusCallbackA(handle_.Get(), nullptr);
    callbackEnabled_ = false;
    RemoveCallbackEntry(this);
}

bool CFetchSession::EnableStatusCallback() {
    if (!handle_)
        return false;
    if (callbackEnabled_)
        return true;
    if (InternetSetStatusCallbackA(handle_.Get(), &CFetchSession::StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK)
        return false;
    AddCallbackEntry(this);
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
    if (CFetchSession* session = FindCallbackSession())
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
