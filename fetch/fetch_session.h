// The internet session that every fetch of the wizard and every download of Pullwire runs on: one
// WinINet session handle plus the text of the last error or status, which can be shown in a window.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "framework/owners.h"

namespace fw {
struct InternetTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};
// Sessions, connections and requests alike: InternetCloseHandle closes every kind.
using InternetHandle = Owner<InternetTraits>;
} // namespace fw

class CFetchSession {
public:
    // The context of every handle opened through the session; the status callback reports it back.
    static constexpr DWORD_PTR kContext = 1;
    // The last-status text is formatted into a buffer of this size, so at most 511 bytes are kept.
    static constexpr size_t kStatusBufferSize = 512;

    // Opens the session: the agent is the base name of the module that holds this code (the wizard's
    // program, or Pullwire.dll), the proxy settings are the system's, no flags.
    CFetchSession();
    // Switches the status callback off, then closes the session handle.
    ~CFetchSession();
    CFetchSession(const CFetchSession&) = delete;
    CFetchSession& operator=(const CFetchSession&) = delete;

    bool IsOpen() const { return static_cast<bool>(handle_); }
    // Why InternetOpen failed (its GetLastError code); 0 for an open session.
    DWORD OpenError() const { return openError_; }
    HINTERNET Handle() const { return handle_.Get(); }

    // Opens url through session (InternetOpenUrl, no extra headers) the way a browser sends it: see
    // RequestUrl. The handle belongs to the caller; null with the last error set on failure.
    static HINTERNET OpenUrl(HINTERNET session, const std::string& url, DWORD flags);
    HINTERNET OpenUrl(const std::string& url, DWORD flags) const { return OpenUrl(Handle(), url, flags); }

    // The form of url that goes on the wire, as a browser makes it: a host outside ASCII by IdnToAscii,
    // every other character outside ASCII percent-encoded as UTF-8. A URL in ASCII comes back as it is;
    // so does one whose host IdnToAscii refuses, apart from its encoded characters.
    static std::string RequestUrl(const std::string& url);

    // A window, not owned, that shows every new last-status text. None at construction.
    void SetStatusWindow(HWND window) { statusWindow_ = window; }
    void ClearStatusWindow() { statusWindow_ = nullptr; }
    HWND StatusWindow() const { return statusWindow_; }

    // Formats the text (printf rules) into 512 bytes, cutting it at 511, stores it and shows it in
    // the status window at once. Pass outside text as an argument of "%s", never as the format.
    void SetLastStatus(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    std::string LastStatus() const {
        return lastStatus_;
    }

    // Switches WinINet's status notices on for this session's handles. The notices reach this
    // session only on the thread that calls this (WinINet calls back on the thread that makes the
    // WinINet call, and a session is used by one thread at a time), and that thread destroys the
    // session. Returns false when WinINet refuses the callback; the session works on without
    // notices then.
    bool EnableStatusCallback();
    bool StatusCallbackEnabled() const {
        return callbackEnabled_;
    }

    // Sets the last-status text for one WinINet status notice (the table in the source file).
    void OnStatusCallback(DWORD_PTR context, DWORD status, const void* info, DWORD infoLength);

    // The function that WinINet calls; it finds the newest session that enabled callbacks on this
    // thread.
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);

    // The system's message for a WinINet error code, from wininet.dll's message table, at most 255
    // characters, without the trailing line break. Codes without a message give "Internet error N".
    static std::string ErrorText(DWORD winInetError);

    // The agent string of the sessions: the base name, without extension, of the module that holds
    // this code.
    static std::string AgentName();

private:
    void DisableStatusCallback();

    fw::InternetHandle handle_;
    HWND statusWindow_ = nullptr;
    std::string lastStatus_;
    bool callbackEnabled_ = false;
    // The session that received this thread's notices before this one switched them on.
    CFetchSession* previousCallbackSession_ = nullptr;
    DWORD openError_ = 0;
};
