#include "feeds/url_scheme.h"

#include <gtest/gtest.h>

namespace {

struct SchemeCase {
    const char* url;
    const char* scheme;  // empty: no scheme
    const char* fetched; // what WithHttpPrefix makes of it
    bool web;            // handed to the browser
};

TEST(UrlScheme, KeepsATypedSchemeAndPrefixesTheRest) {
    const SchemeCase cases[] = {
        {"http://example.org/feed", "http", "http://example.org/feed", true},
        {"https://example.org/feed", "https", "https://example.org/feed", true},
        {"HTTP://example.org/feed", "HTTP", "HTTP://example.org/feed", true},
        {"HtTpS://example.org/feed", "HtTpS", "HtTpS://example.org/feed", true},
        {"ftp://example.org/feed", "ftp", "ftp://example.org/feed", false},
        {"file:///C:/Windows/notepad.exe", "file", "file:///C:/Windows/notepad.exe", false},
        {"svn+ssh://host/repo", "svn+ssh", "svn+ssh://host/repo", false},
        {"a1.b-c://x", "a1.b-c", "a1.b-c://x", false},
        {"example.org/feed", "", "http://example.org/feed", true},
        {"localhost:8080/feed", "", "http://localhost:8080/feed", true},
        {"feed:http://example.org/", "", "http://feed:http://example.org/", true},
        {"example.org/?u=http://other.org/", "", "http://example.org/?u=http://other.org/", true},
        {"1http://example.org/", "", "http://1http://example.org/", true},
        {"://example.org/", "", "http://://example.org/", true},
        {"ht tp://example.org/", "", "http://ht tp://example.org/", true},
        {"C:\\Windows\\notepad.exe", "", "http://C:\\Windows\\notepad.exe", true},
        {"http:/example.org", "", "http://http:/example.org", true},
        {"", "", "http://", true},
    };
    for (const SchemeCase& c : cases) {
        SCOPED_TRACE(std::string("url \"") + c.url + "\"");
        EXPECT_EQ(c.scheme, UrlScheme(c.url));
        EXPECT_EQ(c.fetched, WithHttpPrefix(c.url));
        EXPECT_EQ(c.web, IsWebUrl(WithHttpPrefix(c.url)));
    }
}

TEST(UrlScheme, OnlyHttpAndHttpsAreWebAddresses) {
    const struct {
        const char* url;
        bool web;
    } cases[] = {
        {"http://a/", true},
        {"HTTPS://a/", true},
        {"ftp://a/", false},
        {"file://a/", false},
        {"httpx://a/", false},
        {"javascript://a", false},
        {"a/b", false},
        {"", false},
        // A quote or a line break would end the address in the browser's command line.
        {"http://a/\" --flag", false},
        {"https://a/\r\nb", false},
        {"http://a/b c", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.web, IsWebUrl(c.url)) << c.url;
}

} // namespace
