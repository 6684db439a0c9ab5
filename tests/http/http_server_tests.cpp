#include "tests/http/http_server.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

struct Exchange {
    std::string data; // everything received, headers and body
    int endError = 0; // 0: the server closed in order; else the socket error that ended the stream
};

// Sends one raw request and reads until the server ends the connection.
Exchange Send(unsigned short port, const std::string& request) {
    Exchange ex;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return ex;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    DWORD timeout = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
        char buffer[4096];
        for (;;) {
            int n = recv(s, buffer, sizeof buffer, 0);
            if (n > 0) {
                ex.data.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0)
                ex.endError = WSAGetLastError();
            break;
        }
    }
    closesocket(s);
    WSACleanup();
    return ex;
}

std::string Head(const Exchange& ex) {
    return ex.data.substr(0, ex.data.find("\r\n\r\n") + 4);
}
std::string Body(const Exchange& ex) {
    size_t end = ex.data.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : ex.data.substr(end + 4);
}

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    testhttp::Server server;
};

TEST_F(HttpServerTest, RoutedReplyWithLengthAndReason) {
    testhttp::Reply r;
    r.status = 503;
    r.body = "busy";
    r.headers.emplace_back("Retry-After", "5");
    server.Route("/busy", r);
    Exchange ex = Send(server.Port(), "GET /busy HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    std::string head = Head(ex);
    EXPECT_EQ(0u, head.find("HTTP/1.1 503 Service Unavailable\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nRetry-After: 5\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nContent-Length: 4\r\n")) << head;
    EXPECT_EQ("busy", Body(ex));
    EXPECT_EQ(0, ex.endError);
}

TEST_F(HttpServerTest, UnroutedPathIsNotFound) {
    Exchange ex = Send(server.Port(), "GET /nothing HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(0u, ex.data.find("HTTP/1.1 404 Not Found\r\n")) << ex.data;
    EXPECT_FALSE(Body(ex).empty());
}

TEST_F(HttpServerTest, RequestsAreRecordedInOrder) {
    Send(server.Port(), "GET /one?q=1 HTTP/1.1\r\nHost: 127.0.0.1:1\r\nUser-Agent: t\r\n\r\n");
    Send(server.Port(), "HEAD http://feeds.example.com/two HTTP/1.1\r\nHost: feeds.example.com\r\n\r\n");
    std::vector<testhttp::Request> requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/one?q=1", requests[0].target);
    EXPECT_EQ("/one", requests[0].path);
    EXPECT_EQ("127.0.0.1:1", requests[0].host);
    EXPECT_FALSE(requests[0].absoluteForm);
    ASSERT_EQ(2u, requests[0].headers.size());
    EXPECT_EQ("User-Agent", requests[0].headers[1].first);
    EXPECT_EQ("t", requests[0].headers[1].second);
    EXPECT_EQ("HEAD", requests[1].method);
    EXPECT_EQ("http://feeds.example.com/two", requests[1].target);
    EXPECT_EQ("/two", requests[1].path);
    EXPECT_EQ("feeds.example.com", requests[1].host);
    EXPECT_TRUE(requests[1].absoluteForm);
}

TEST_F(HttpServerTest, RouteWithQueryMatchesThatQueryOnly) {
    testhttp::Reply plain, query;
    plain.body = "plain";
    query.body = "query";
    server.Route("/f", plain);
    server.Route("/f?x=1", query);
    EXPECT_EQ("query", Body(Send(server.Port(), "GET /f?x=1 HTTP/1.1\r\n\r\n")));
    EXPECT_EQ("plain", Body(Send(server.Port(), "GET /f?x=2 HTTP/1.1\r\n\r\n")));
    EXPECT_EQ("plain", Body(Send(server.Port(), "GET /f HTTP/1.1\r\n\r\n")));
}

TEST_F(HttpServerTest, ChunkedBodyComesInPiecesOfTheChunkSize) {
    testhttp::Reply r;
    r.body = "abcdefghij";
    r.chunked = true;
    r.chunkSize = 4;
    server.Route("/c", r);
    Exchange ex = Send(server.Port(), "GET /c HTTP/1.1\r\n\r\n");
    EXPECT_NE(std::string::npos, Head(ex).find("\r\nTransfer-Encoding: chunked\r\n"));
    EXPECT_EQ(std::string::npos, Head(ex).find("Content-Length"));
    EXPECT_EQ("4\r\nabcd\r\n4\r\nefgh\r\n2\r\nij\r\n0\r\n\r\n", Body(ex));
}

TEST_F(HttpServerTest, DropAfterResetsTheConnectionMidway) {
    testhttp::Reply r;
    r.body = std::string(100, 'd');
    r.chunkSize = 10;
    r.dropAfter = 35;
    server.Route("/drop", r);
    Exchange ex = Send(server.Port(), "GET /drop HTTP/1.1\r\n\r\n");
    EXPECT_NE(std::string::npos, Head(ex).find("Content-Length: 100"));
    EXPECT_EQ(std::string(35, 'd'), Body(ex));
    EXPECT_EQ(WSAECONNRESET, ex.endError);
}

TEST(HttpServer, StopEndsASlowReplyAtOnce) {
    testhttp::Server server;
    ASSERT_TRUE(server.Start());
    testhttp::Reply r;
    r.body = "x";
    r.delayMs = 60000;
    server.Route("/forever", r);
    unsigned short port = server.Port();
    std::thread client([port] { Send(port, "GET /forever HTTP/1.1\r\n\r\n"); });
    while (server.Requests().empty())
        Sleep(10);
    DWORD start = GetTickCount();
    server.Stop();
    EXPECT_LT(GetTickCount() - start, 5000u);
    client.join();
}

TEST(HttpServer, SystemProxyIsPutBack) {
    const char* path = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    auto read = [path](const char* name, std::string& value) {
        char data[256] = {};
        DWORD size = sizeof data - 1;
        bool present = RegGetValueA(HKEY_CURRENT_USER, path, name, RRF_RT_ANY, nullptr, data, &size) == ERROR_SUCCESS;
        value.assign(data, present && size > 0 ? size : 0);
        return present;
    };
    std::string enableBefore, serverBefore, value;
    bool hadEnable = read("ProxyEnable", enableBefore);
    bool hadServer = read("ProxyServer", serverBefore);
    {
        testhttp::SystemProxy proxy("127.0.0.1:9");
        ASSERT_TRUE(proxy.Ok());
        ASSERT_TRUE(read("ProxyServer", value));
        EXPECT_STREQ("127.0.0.1:9", value.c_str());
        ASSERT_TRUE(read("ProxyEnable", value));
        EXPECT_EQ(std::string("\1\0\0\0", 4), value);
    }
    EXPECT_EQ(hadEnable, read("ProxyEnable", value));
    EXPECT_EQ(enableBefore, value);
    EXPECT_EQ(hadServer, read("ProxyServer", value));
    EXPECT_EQ(serverBefore, value);
}

} // namespace
