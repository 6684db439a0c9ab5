#include "fetch/feed_validator.h"

#include "tests/fetch/corpus_cases.h"
#include "tests/fetch/fetch_test_util.h"
#include "tests/http/http_server.h"

#include <gtest/gtest.h>

namespace {

class FeedValidatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }

    void Serve(const std::string& path, const std::string& body, int status = 200) {
        testhttp::Reply r;
        r.status = status;
        r.body = body;
        server.Route(path, r);
    }

    testhttp::Server server;
};

TEST_F(FeedValidatorTest, CorpusThroughHttp) {
    for (const CorpusCase& c : kCorpus) {
        SCOPED_TRACE(c.file);
        std::string document = ReadCorpusFile(c.file);
        ASSERT_TRUE(CorpusFileExists(c.file));
        Serve(std::string("/corpus/") + c.file, document);
        CFeedValidator validator(server.Url(std::string("/corpus/") + c.file));
        EXPECT_EQ(c.result, validator.Validate());
        EXPECT_EQ(c.result == 1 ? "Valid Feed" : "InValid Feed", validator.Message());
        EXPECT_EQ(c.title, validator.Title());
        EXPECT_EQ(c.link, validator.Link());
        EXPECT_EQ(c.description, validator.Description());
        EXPECT_EQ(document.substr(0, 1024), validator.Content());
    }
}

TEST_F(FeedValidatorTest, FetchFailuresGiveResultZeroWithTheFetchText) {
    Serve("/broken", "<html>500</html>", 500);
    struct Case {
        std::string url;
        std::string message;
    } cases[] = {
        {server.Url("/broken"), "Unknown Server Error."},
        {RefusedUrl(), CFetchSession::ErrorText(ERROR_INTERNET_CANNOT_CONNECT)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        CFeedValidator validator(c.url);
        EXPECT_EQ(0, validator.Validate());
        EXPECT_EQ(c.message, validator.Message());
        EXPECT_EQ("", validator.Title());
    }
}

TEST_F(FeedValidatorTest, AgainAfterARecognisedFeedKeepsTheValues) {
    Serve("/feed", ReadCorpusFile("rss20.xml"));
    CFeedValidator validator(server.Url("/feed"));
    ASSERT_EQ(1, validator.Validate());
    Serve("/feed", "<html><title>Now a page</title></html>");
    EXPECT_EQ(2, validator.Validate());
    EXPECT_EQ("InValid Feed", validator.Message());
    EXPECT_EQ("Harbour Town Gazette", validator.Title());
    EXPECT_EQ("<html><title>Now a page</title></html>", validator.Content());
}

// A feed on any host, answered by the test server acting as the system's proxy.
TEST_F(FeedValidatorTest, FeedOfAnotherHostThroughTheSystemProxy) {
    Serve("/news/rss.xml", ReadCorpusFile("rss10_rdf.xml"));
    testhttp::SystemProxy proxy(server.ProxyAddress());
    ASSERT_TRUE(proxy.Ok());
    CFeedValidator validator("http://feeds.example.invalid/news/rss.xml");
    EXPECT_EQ(1, validator.Validate()) << validator.Message();
    EXPECT_EQ("Lab Notes", validator.Title());
    std::vector<testhttp::Request> requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_TRUE(requests[0].absoluteForm);
    EXPECT_EQ("/news/rss.xml", requests[0].path);
    EXPECT_EQ("feeds.example.invalid", requests[0].host);
}

} // namespace
