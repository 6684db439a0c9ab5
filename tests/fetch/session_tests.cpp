#include "fetch/fetch_session.h"

#include "tests/http/http_server.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A started server whose "/a" answers "hello".
bool ServeHello(testhttp::Server& server) {
    testhttp::Reply reply;
    reply.body = "hello";
    server.Route("/a", reply);
    return server.Start();
}

// A notice as WinINet gives it on this thread, tagged by the host name it names.
void NotifyResolving(const char* host) {
    CFetchSession::StatusCallback(nullptr, CFetchSession::kContext, INTERNET_STATUS_RESOLVING_NAME,
                                  const_cast<char*>(host), static_cast<DWORD>(strlen(host) + 1));
}

// What goes on the wire for a URL outside ASCII: the host by IdnToAscii, the rest as UTF-8 escapes.
TEST(FetchSession, RequestUrlIsTheFormABrowserSends) {
    const struct {
        const char* written;
        const char* sent;
    } cases[] = {
        {"http://example.com/feed.xml?a=b c", "http://example.com/feed.xml?a=b c"},
        {"http://bücher.example/straße?q=été#teil", "http://xn--bcher-kva.example/stra%C3%9Fe?q=%C3%A9t%C3%A9#teil"},
        {"https://user@BÜCHER.example:8080/日本", "https://user@xn--bcher-kva.example:8080/%E6%97%A5%E6%9C%AC"},
        {"http://127.0.0.1:81/новости", "http://127.0.0.1:81/%D0%BD%D0%BE%D0%B2%D0%BE%D1%81%D1%82%D0%B8"},
        {"новости.xml", "%D0%BD%D0%BE%D0%B2%D0%BE%D1%81%D1%82%D0%B8.xml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.sent, CFetchSession::RequestUrl(c.written)) << c.written;
}

TEST(FetchSession, OpensOnConstructionWithNoStatus) {
    CFetchSession session;
    EXPECT_TRUE(session.IsOpen());
    EXPECT_NE(nullptr, session.Handle());
    EXPECT_EQ("", session.LastStatus());
    EXPECT_EQ(nullptr, session.StatusWindow());
    DWORD type = 0, size = sizeof type;
    ASSERT_TRUE(InternetQueryOptionA(session.Handle(), INTERNET_OPTION_HANDLE_TYPE, &type, &size));
    EXPECT_EQ(static_cast<DWORD>(INTERNET_HANDLE_TYPE_INTERNET), type);
}

TEST(FetchSession, AgentIsTheBaseNameOfTheModule) {
    EXPECT_EQ("fetch_tests", CFetchSession::AgentName());
    CFetchSession session;
    char agent[256] = {};
    DWORD size = sizeof agent;
    ASSERT_TRUE(InternetQueryOptionA(session.Handle(), INTERNET_OPTION_USER_AGENT, agent, &size));
    EXPECT_STREQ("fetch_tests", agent);
}

TEST(FetchSession, StatusNoticesSetTheirTexts) {
    struct Case {
        DWORD status;
        const void* info;
        DWORD infoLength;
        const char* expected; // nullptr: the text before the notice stays
    };
    static const char host[] = "feeds.example.com";
    static const char address[] = "127.0.0.1";
    static const DWORD result[2] = {0x1234ABCD, 12002};
    // The 64-bit system's result has a pointer-sized first field; the 32-bit one is the two words above.
    static const INTERNET_ASYNC_RESULT asyncResult = {0x5678, ERROR_INTERNET_TIMEOUT};
    static const char hostNoZero[4] = {'a', 'b', 'c', 'd'};
    const Case cases[] = {
        {INTERNET_STATUS_RESOLVING_NAME, host, sizeof host, "Resolving name for feeds.example.com"},
        {INTERNET_STATUS_NAME_RESOLVED, address, sizeof address, "Resolved name for 127.0.0.1"},
        {INTERNET_STATUS_RESOLVING_NAME, hostNoZero, 2, "Resolving name for ab"}, // never past the length
        {INTERNET_STATUS_RESOLVING_NAME, nullptr, 0, "Resolving name for "},
        {INTERNET_STATUS_CONNECTING_TO_SERVER, nullptr, 0, "Connecting to socket address "},
        {INTERNET_STATUS_CONNECTED_TO_SERVER, nullptr, 0, "Connected to socket address"},
        {INTERNET_STATUS_SENDING_REQUEST, nullptr, 0, "Sending request..."},
        {INTERNET_STATUS_REQUEST_SENT, nullptr, 0, "Request sent"},
        {INTERNET_STATUS_RECEIVING_RESPONSE, nullptr, 0, nullptr},
        {INTERNET_STATUS_RESPONSE_RECEIVED, nullptr, 0, "Response received"},
        {INTERNET_STATUS_CLOSING_CONNECTION, nullptr, 0, "Closing the connection to the server"},
        {INTERNET_STATUS_CONNECTION_CLOSED, nullptr, 0, "Connection to the server closed"},
        {INTERNET_STATUS_HANDLE_CREATED, nullptr, 0, ""},
        {INTERNET_STATUS_HANDLE_CLOSING, nullptr, 0, nullptr},
        {INTERNET_STATUS_REQUEST_COMPLETE, result, 8, "Request complete, dwResult = 1234ABCD, dwError = 00002EE2"},
        {INTERNET_STATUS_REQUEST_COMPLETE, &asyncResult, sizeof asyncResult,
         "Request complete, dwResult = 00005678, dwError = 00002EE2"},
        {INTERNET_STATUS_REQUEST_COMPLETE, result, 4, "Request complete"},
        {INTERNET_STATUS_REQUEST_COMPLETE, nullptr, 0, "Request complete"},
        {INTERNET_STATUS_STATE_CHANGE, nullptr, 0, "Unknown status: 200"},
        {12345, nullptr, 0, "Unknown status: 12345"},
    };
    CFetchSession session;
    ASSERT_TRUE(session.EnableStatusCallback());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        session.SetLastStatus("%s", "before");
        // Through the entry that WinINet calls, as WinINet calls it on this thread.
        CFetchSession::StatusCallback(session.Handle(), CFetchSession::kContext, c.status, const_cast<void*>(c.info),
                                      c.infoLength);
        EXPECT_EQ(c.expected ? c.expected : "before", session.LastStatus());
    }
}

TEST(FetchSession, NoticesReachNoSessionWithoutTheCallback) {
    CFetchSession session;
    CFetchSession::StatusCallback(session.Handle(), CFetchSession::kContext, INTERNET_STATUS_REQUEST_SENT, nullptr, 0);
    EXPECT_EQ("", session.LastStatus());
}

TEST(FetchSession, LastStatusIsCutAt511Bytes) {
    CFetchSession session;
    std::string longText(600, 'x');
    session.SetLastStatus("%s", longText.c_str());
    EXPECT_EQ(std::string(511, 'x'), session.LastStatus());
    session.SetLastStatus("%s", std::string(511, 'y').c_str());
    EXPECT_EQ(std::string(511, 'y'), session.LastStatus());
    session.SetLastStatus("Read %d bytes", 42);
    EXPECT_EQ("Read 42 bytes", session.LastStatus());
}

TEST(FetchSession, StatusWindowShowsEveryNewText) {
    HWND window = CreateWindowExA(0, "STATIC", "initial", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    fw::WindowHandle owner(window);
    CFetchSession session;
    session.SetStatusWindow(window);
    session.SetLastStatus("%s", std::string(700, 'z').c_str());
    char shown[1024] = {};
    GetWindowTextA(window, shown, sizeof shown);
    EXPECT_EQ(std::string(511, 'z'), shown);

    session.ClearStatusWindow();
    session.SetLastStatus("%s", "not shown");
    GetWindowTextA(window, shown, sizeof shown);
    EXPECT_EQ(std::string(511, 'z'), shown);
    EXPECT_EQ("not shown", session.LastStatus());
}

TEST(FetchSession, ErrorTextIsTheSystemMessageWithoutLineBreak) {
    const DWORD codes[] = {ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_TIMEOUT,
                           ERROR_INTERNET_UNRECOGNIZED_SCHEME, ERROR_INTERNET_INVALID_URL};
    for (DWORD code : codes) {
        SCOPED_TRACE(code);
        std::string text = CFetchSession::ErrorText(code);
        EXPECT_FALSE(text.empty());
        EXPECT_LE(text.size(), 255u);
        EXPECT_EQ(std::string::npos, text.find_first_of("\r\n")) << text;
        EXPECT_NE(0u, text.find("Internet error")) << text;
    }
    EXPECT_NE(CFetchSession::ErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED),
              CFetchSession::ErrorText(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_EQ("Internet error 4294967295", CFetchSession::ErrorText(0xFFFFFFFF));
}

// The newest session that switched notices on in a thread receives them; closing it hands them back
// to the one before, whichever order the sessions close in.
TEST(FetchSession, NewestSessionOfTheThreadReceivesTheNotices) {
    CFetchSession first;
    ASSERT_TRUE(first.EnableStatusCallback());
    auto second = std::make_unique<CFetchSession>();
    auto third = std::make_unique<CFetchSession>();
    ASSERT_TRUE(second->EnableStatusCallback());
    ASSERT_TRUE(third->EnableStatusCallback());
    NotifyResolving("third");
    EXPECT_EQ("", first.LastStatus());
    EXPECT_EQ("", second->LastStatus());
    EXPECT_EQ("Resolving name for third", third->LastStatus());

    second.reset(); // from the middle of the thread's sessions
    NotifyResolving("still third");
    EXPECT_EQ("Resolving name for still third", third->LastStatus());
    third.reset();
    NotifyResolving("first");
    EXPECT_EQ("Resolving name for first", first.LastStatus());
}

// Each thread's session sees the notices of its own WinINet calls and no other.
TEST(FetchSession, NoticesStayWithTheSessionOfTheirThread) {
    testhttp::Server server;
    ASSERT_TRUE(ServeHello(server));

    std::string busyStatus, idleStatus, idleAfterOwnCall;
    HANDLE idleReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE busyDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    fw::KernelHandle e1(idleReady), e2(busyDone);
    std::thread idle([&] {
        CFetchSession session;
        session.EnableStatusCallback();
        SetEvent(idleReady);
        WaitForSingleObject(busyDone, 30000);
        idleStatus = session.LastStatus();
        CFetchSession::StatusCallback(nullptr, 1, INTERNET_STATUS_REQUEST_SENT, nullptr, 0);
        idleAfterOwnCall = session.LastStatus();
    });
    std::thread busy([&] {
        WaitForSingleObject(idleReady, 30000);
        CFetchSession session;
        session.EnableStatusCallback();
        session.SetLastStatus("%s", "start");
        {
            fw::InternetHandle url(InternetOpenUrlA(session.Handle(), server.Url("/a").c_str(), nullptr, 0,
                                                    INTERNET_FLAG_TRANSFER_BINARY, CFetchSession::kContext));
            busyStatus = session.LastStatus();
        }
        SetEvent(busyDone);
    });
    busy.join();
    idle.join();
    EXPECT_NE("start", busyStatus);
    EXPECT_EQ("", idleStatus);
    EXPECT_EQ("Request sent", idleAfterOwnCall);
}

} // namespace

namespace {

std::vector<std::string>* g_shownTexts;

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETTEXT && g_shownTexts)
        g_shownTexts->push_back(reinterpret_cast<const char*>(lParam));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A window that keeps every text it was given, in order.
class TextRecorder {
public:
    TextRecorder() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "RvlFetchTextRecorder";
        RegisterClassA(&wc);
        window_.Reset(
            CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr));
        g_shownTexts = &texts;
    }
    ~TextRecorder() { g_shownTexts = nullptr; }
    HWND Window() const { return window_.Get(); }
    std::vector<std::string> texts;

private:
    fw::WindowHandle window_;
};

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& t : v)
        s += "[" + t + "]\n";
    return s;
}

} // namespace

// The notices of one real transfer reach the session and its status window in the order WinINet
// gives them.
TEST(FetchSession, NoticesOfARealTransferAreShownInOrder) {
    testhttp::Server server;
    ASSERT_TRUE(ServeHello(server));

    TextRecorder recorder;
    ASSERT_NE(nullptr, recorder.Window());
    {
        CFetchSession session;
        session.SetStatusWindow(recorder.Window());
        ASSERT_TRUE(session.EnableStatusCallback());
        fw::InternetHandle url(InternetOpenUrlA(session.Handle(), server.Url("/a").c_str(), nullptr, 0,
                                                INTERNET_FLAG_TRANSFER_BINARY, CFetchSession::kContext));
        ASSERT_TRUE(url);
        char buffer[64];
        DWORD read = 0;
        ASSERT_TRUE(InternetReadFile(url.Get(), buffer, sizeof buffer, &read));
        url.Reset();
    }
    // From the URL handle's creation to the response: the part of the sequence that every WinINet
    // reports alike. What follows (closing the connection) depends on its connection reuse.
    const std::vector<std::string> expected = {
        "",
        "Resolving name for 127.0.0.1",
        "Resolved name for 127.0.0.1",
        "Connecting to socket address ",
        "Connected to socket address",
        "Sending request...",
        "Request sent",
        "Response received",
    };
    ASSERT_GE(recorder.texts.size(), expected.size()) << Join(recorder.texts);
    std::vector<std::string> head(recorder.texts.begin(), recorder.texts.begin() + expected.size());
    EXPECT_EQ(Join(expected), Join(head));
}
