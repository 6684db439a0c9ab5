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

namespace {

bool IsAsciiText(const std::string& s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Characters outside ASCII as %XX escapes of their UTF-8 bytes; ASCII as it is.
void AppendPercentEncoded(std::string& out, const wchar_t* s, size_t length) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t ascii = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && s[i] < 0x80)
            continue;
        for (; ascii < i; ++ascii)
            out += static_cast<char>(s[ascii]);
        size_t end = i;
        while (end < length && s[end] >= 0x80)
            ++end;
        if (end == i)
            continue;
        // Text read exactly from a code page holds no unpaired surrogate, so this conversion succeeds.
        std::string utf8;
        fw::ToMultiByteExact(CP_UTF8, s + i, static_cast<int>(end - i), &utf8);
        for (char c : utf8) {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
        i = end - 1;
        ascii = end;
    }
}

// IdnToAscii lives in kernel32 from Windows 8 on and in normaliz.dll before; it is found at run time so
// that neither program imports a DLL that is not on the system's known list. normaliz.dll, once
// loaded, stays for the life of the process, as the pointer into it does.
using IdnToAsciiFunction = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);
IdnToAsciiFunction FindIdnToAscii() {
    auto found = reinterpret_cast<IdnToAsciiFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IdnToAscii")));
    if (!found) {
        if (HMODULE normaliz = ::LoadLibraryExW(L"normaliz.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
            found = reinterpret_cast<IdnToAsciiFunction>(
                reinterpret_cast<void (*)()>(::GetProcAddress(normaliz, "IdnToAscii")));
    }
    return found;
}

} // namespace

std::string CFetchSession::RequestUrl(const std::string& url) {
    std::wstring wide;
    if (IsAsciiText(url) || !fw::ToWideExact(url, &wide))
        return url;
    std::string out;
    size_t rest = 0;
    const size_t schemeEnd = wide.find(L"://");
    if (schemeEnd != std::wstring::npos && wide.find_first_of(L"/?#") == schemeEnd + 1) {
        // scheme://[user@]host[:port]: the host is the part between the last "@" and the port.
        const size_t authority = schemeEnd + 3;
        size_t authorityEnd = wide.find_first_of(L"/?#", authority);
        if (authorityEnd == std::wstring::npos)
            authorityEnd = wide.size();
        size_t host = wide.rfind(L'@', authorityEnd);
        host = (host == std::wstring::npos || host < authority) ? authority : host + 1;
        size_t hostEnd = wide.find(L':', host);
        if (hostEnd == std::wstring::npos || hostEnd > authorityEnd || wide[host] == L'[')
            hostEnd = authorityEnd;
        AppendPercentEncoded(out, wide.data(), host);
        const std::wstring name = wide.substr(host, hostEnd - host);
        static const IdnToAsciiFunction idnToAscii = FindIdnToAscii();
        wchar_t ascii[256];
        const int n = idnToAscii ? idnToAscii(0, name.data(), static_cast<int>(name.size()), ascii, 256) : 0;
        if (n > 0)
            out += fw::ToAnsi(ascii, n);
        else
            AppendPercentEncoded(out, name.data(), name.size());
        rest = hostEnd;
    }
    AppendPercentEncoded(out, wide.data() + rest, wide.size() - rest);
    return out;
}

HINTERNET CFetchSession::OpenUrl(HINTERNET session, const std::string& url, DWORD flags) {
    return ::InternetOpenUrlA(session, RequestUrl(url).c_str(), nullptr, 0, flags, kContext);
}
