#include "fetch/url_fetcher.h"

#include "tests/fetch/fetch_test_util.h"
#include "tests/fetch/ftp_server.h"
#include "tests/http/http_server.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class UrlFetcherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }

    testhttp::Reply Body(const std::string& body) {
        testhttp::Reply r;
        r.body = body;
        return r;
    }

    testhttp::Server server;
    CUrlFetcher fetcher;
    std::string content = "left over";
};

// URLs that fail in the internet layer, with the WinINet error of each.
struct NetworkFailure {
    std::string url;
    DWORD error;
};
std::vector<NetworkFailure> NetworkFailures() {
    return {{UnresolvableUrl(), ERROR_INTERNET_NAME_NOT_RESOLVED},
            {RefusedUrl(), ERROR_INTERNET_CANNOT_CONNECT},
            {"no scheme at all", ERROR_INTERNET_UNRECOGNIZED_SCHEME}};
}

std::string Pattern(size_t size) {
    std::string s;
    for (size_t i = 0; i < size; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

TEST_F(UrlFetcherTest, HttpStatusTable) {
    struct Case {
        int status;
        int result;
        const char* lastStatus;
    } cases[] = {
        {200, 1, ""},
        {203, 1, ""},
        {300, 1, ""}, // a redirection without a location is not followed: it is read
        {399, 1, ""},
        {400, 0, "Requested URL not found."},
        {403, 0, "Requested URL not found."},
        {404, 0, "Requested URL not found."},
        {499, 0, "Requested URL not found."},
        {500, 0, "Unknown Server Error."},
        {503, 0, "Unknown Server Error."},
        {599, 0, "Unknown Server Error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        std::string path = "/status" + std::to_string(c.status);
        testhttp::Reply r = Body("body of " + std::to_string(c.status));
        r.status = c.status;
        server.Route(path, r);
        content = "left over";
        EXPECT_EQ(c.result, fetcher.Fetch(server.Url(path), content));
        EXPECT_EQ(c.lastStatus, fetcher.LastStatus());
        EXPECT_EQ(c.result ? r.body : "", content);
    }
}

// One read of at most one block, whatever the body's size; an empty body is an empty success.
TEST_F(UrlFetcherTest, OneReadOfAtMost1024Bytes) {
    for (size_t size : {0u, 1u, 1023u, 1024u, 1025u, 5000u}) {
        SCOPED_TRACE(size);
        std::string path = "/size" + std::to_string(size);
        server.Route(path, Body(Pattern(size)));
        content = "left over";
        EXPECT_EQ(1, fetcher.Fetch(server.Url(path), content));
        EXPECT_EQ(Pattern(size < 1024 ? size : 1024), content);
        EXPECT_EQ("", fetcher.LastStatus());
    }
}

TEST_F(UrlFetcherTest, BodyWithoutLengthIsReadToTheBlock) {
    testhttp::Reply r = Body(Pattern(300));
    r.contentLength = false;
    server.Route("/nolength", r);
    EXPECT_EQ(1, fetcher.Fetch(server.Url("/nolength"), content));
    EXPECT_EQ(Pattern(300), content);
}

TEST_F(UrlFetcherTest, RedirectionIsFollowedAndTheFinalResponseJudged) {
    testhttp::Reply moved = Body("moved");
    moved.status = 301;
    moved.headers.emplace_back("Location", "/final");
    server.Route("/first", moved);
    server.Route("/final", Body("<rss version=\"2.0\"></rss>"));
    EXPECT_EQ(1, fetcher.Fetch(server.Url("/first"), content));
    EXPECT_EQ("<rss version=\"2.0\"></rss>", content);
    std::vector<testhttp::Request> requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("/first", requests[0].path);
    EXPECT_EQ("/final", requests[1].path);
}

TEST_F(UrlFetcherTest, RedirectionToAMissingPageIsNotFound) {
    testhttp::Reply moved;
    moved.status = 302;
    moved.headers.emplace_back("Location", "/gone");
    server.Route("/moving", moved);
    EXPECT_EQ(0, fetcher.Fetch(server.Url("/moving"), content));
    EXPECT_EQ("Requested URL not found.", fetcher.LastStatus());
}

TEST_F(UrlFetcherTest, RequestIsAPlainGetNamedAfterTheProgram) {
    server.Route("/feed", Body("x"));
    ASSERT_EQ(1, fetcher.Fetch(server.Url("/feed"), content));
    std::vector<testhttp::Request> requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/feed", requests[0].target);
    EXPECT_FALSE(requests[0].absoluteForm);
    std::string agent;
    for (const auto& h : requests[0].headers)
        if (_stricmp(h.first.c_str(), "User-Agent") == 0)
            agent = h.second;
    EXPECT_EQ("fetch_tests", agent);
}

TEST_F(UrlFetcherTest, ChunkedBodyGivesWhatTheFirstReadGives) {
    struct Case {
        size_t size, atLeast;
    } cases[] = {{200, 200}, {3000, 1}};
    for (const Case& c : cases) {
        const size_t size = c.size;
        SCOPED_TRACE(size);
        testhttp::Reply r = Body(Pattern(size));
        r.chunked = true;
        r.chunkSize = 700;
        std::string path = "/chunked" + std::to_string(size);
        server.Route(path, r);
        EXPECT_EQ(1, fetcher.Fetch(server.Url(path), content));
        // At least the first piece, never more than a block.
        ASSERT_GE(content.size(), c.atLeast);
        ASSERT_LE(content.size(), 1024u);
        EXPECT_EQ(Pattern(size).substr(0, content.size()), content);
    }
}

TEST_F(UrlFetcherTest, SlowBodyTimesOut) {
    testhttp::Reply r = Body(Pattern(100));
    r.delayMs = 3000;
    server.Route("/slow", r);
    fetcher.SetTimeout(500);
    DWORD start = GetTickCount();
    int result = fetcher.Fetch(server.Url("/slow"), content);
    DWORD elapsed = GetTickCount() - start;
    if (RunningOnWine()) {
        // Measured: the read waits for the body, whatever the time-out.
        EXPECT_EQ(1, result);
        EXPECT_EQ(Pattern(100), content);
        EXPECT_GE(elapsed, 2900u);
        return;
    }
    EXPECT_EQ(0, result);
    EXPECT_EQ(CFetchSession::ErrorText(ERROR_INTERNET_TIMEOUT), fetcher.LastStatus());
    EXPECT_EQ("", content);
    EXPECT_LT(elapsed, 2900u);
}

TEST_F(UrlFetcherTest, SlowBodyWithinTheTimeOutIsRead) {
    testhttp::Reply r = Body(Pattern(100));
    r.delayMs = 300;
    server.Route("/slowish", r);
    fetcher.SetTimeout(3000);
    EXPECT_EQ(1, fetcher.Fetch(server.Url("/slowish"), content));
    EXPECT_EQ(Pattern(100), content);
}

TEST_F(UrlFetcherTest, ConnectionDroppedBeforeTheFirstBlockFails) {
    testhttp::Reply r = Body(Pattern(5000));
    r.chunkSize = 100;
    r.dropAfter = 300;
    server.Route("/dropped", r);
    int result = fetcher.Fetch(server.Url("/dropped"), content);
    EXPECT_EQ(0, result);
    // Wine passes the socket's own code on (measured: WSAECONNRESET); Windows maps it to its own.
    std::string text = fetcher.LastStatus();
    EXPECT_TRUE(text == CFetchSession::ErrorText(WSAECONNRESET) ||
                text == CFetchSession::ErrorText(ERROR_INTERNET_CONNECTION_RESET))
        << text;
    EXPECT_EQ("", content);
}

TEST_F(UrlFetcherTest, ConnectionDroppedAfterTheFirstBlockIsNotNoticed) {
    testhttp::Reply r = Body(Pattern(5000));
    r.dropAfter = 2000;
    server.Route("/dropped-late", r);
    EXPECT_EQ(1, fetcher.Fetch(server.Url("/dropped-late"), content));
    EXPECT_EQ(Pattern(1024), content);
}

TEST_F(UrlFetcherTest, NetworkFailuresGiveTheSystemText) {
    for (const NetworkFailure& c : NetworkFailures()) {
        SCOPED_TRACE(c.url);
        content = "left over";
        EXPECT_EQ(0, fetcher.Fetch(c.url, content));
        EXPECT_EQ(CFetchSession::ErrorText(c.error), fetcher.LastStatus());
        EXPECT_EQ("", content);
    }
}

TEST_F(UrlFetcherTest, UrlWithoutHostFailsWithAText) {
    EXPECT_EQ(0, fetcher.Fetch("http://", content));
    EXPECT_NE("", fetcher.LastStatus());
}

TEST_F(UrlFetcherTest, SuccessAfterAFailureClearsTheText) {
    server.Route("/ok", Body("fine"));
    ASSERT_EQ(0, fetcher.Fetch(RefusedUrl(), content));
    ASSERT_NE("", fetcher.LastStatus());
    EXPECT_EQ(1, fetcher.Fetch(server.Url("/ok"), content));
    EXPECT_EQ("", fetcher.LastStatus());
    EXPECT_EQ("fine", content);
}

TEST(UrlFetcher, NoSessionNoText) {
    EXPECT_EQ("", CUrlFetcher().LastStatus());
}

class ProbeUrlTest : public UrlFetcherTest {};

TEST_F(ProbeUrlTest, AnyHttpAnswerCountsAsOpened) {
    for (int status : {200, 301, 404, 500, 503}) {
        SCOPED_TRACE(status);
        testhttp::Reply r = Body("page");
        r.status = status;
        std::string path = "/probe" + std::to_string(status);
        server.Route(path, r);
        ProbeResult result = ProbeUrl(server.Url(path));
        EXPECT_EQ(ProbeOutcome::Opened, result.outcome);
        EXPECT_EQ("", result.errorText);
    }
}

TEST_F(ProbeUrlTest, NetworkFailuresCarryTheSystemText) {
    for (const NetworkFailure& c : NetworkFailures()) {
        SCOPED_TRACE(c.url);
        ProbeResult result = ProbeUrl(c.url);
        EXPECT_EQ(ProbeOutcome::Failed, result.outcome);
        EXPECT_EQ(CFetchSession::ErrorText(c.error), result.errorText);
    }
}

// WinINet under Wine never ends the wait for a server that takes the connection and says nothing: the
// probe ends all the same, with the fetch's time-out text.
TEST_F(ProbeUrlTest, ServerThatNeverAnswersTimesOut) {
    testhttp::Reply r;
    r.silent = true;
    server.Route("/silent", r);
    ProbeResult result = ProbeUrl(server.Url("/silent"), 1000);
    EXPECT_EQ(ProbeOutcome::Failed, result.outcome);
    EXPECT_EQ(CFetchSession::ErrorText(ERROR_INTERNET_TIMEOUT), result.errorText);
}

TEST_F(ProbeUrlTest, ProbeSendsOneGet) {
    server.Route("/page", Body("<html></html>"));
    ASSERT_EQ(ProbeOutcome::Opened, ProbeUrl(server.Url("/page")).outcome);
    std::vector<testhttp::Request> requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/page", requests[0].path);
}

} // namespace

namespace {

// An ftp:// URL opens, but as a file of another kind than an HTTP response: the fetch succeeds with
// nothing read, while the probe counts the URL as opened.
TEST(UrlFetcherFtp, OpenedFileThatIsNoHttpResponseGivesAnEmptySuccess) {
    TestFtpServer ftp;
    ASSERT_TRUE(ftp.Start("<rss version=\"2.0\"><title>Over FTP</title></rss>"));
    CUrlFetcher fetcher;
    std::string content = "left over";
    EXPECT_EQ(1, fetcher.Fetch(ftp.Url("/feed.xml"), content));
    EXPECT_EQ("", content);
    EXPECT_EQ("", fetcher.LastStatus());
    bool retrieved = false;
    for (const std::string& c : ftp.Commands())
        retrieved |= c == "RETR /feed.xml" || c == "RETR feed.xml";
    EXPECT_TRUE(retrieved);
}

TEST(UrlFetcherFtp, ProbeCountsAnFtpFileAsOpened) {
    TestFtpServer ftp;
    ASSERT_TRUE(ftp.Start("page"));
    ProbeResult result = ProbeUrl(ftp.Url("/page.txt"));
    EXPECT_EQ(ProbeOutcome::Opened, result.outcome);
    EXPECT_EQ("", result.errorText);
}

} // namespace
