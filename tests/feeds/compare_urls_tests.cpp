#include "feeds/compare_urls.h"
#include "feeds/url_index.h"
#include "framework/text.h"

#include <gtest/gtest.h>

namespace {

struct UrlPair {
    const char* first;
    const char* second;
    int expected;
};

TEST(CompareUrls, ClassifiesPairs) {
    const UrlPair cases[] = {
        {"http://example.com/feed.xml", "http://example.com/feed.xml", kUrlsEquivalent},
        {"http://example.com/feed.xml", "http://www.example.com/feed.xml", kUrlsEquivalent},
        {"http://www.example.com/feed.xml", "http://example.com/feed.xml", kUrlsEquivalent},
        {"http://EXAMPLE.com/Feed.XML", "http://example.com/feed.xml", kUrlsEquivalent},
        {"HTTP://WWW.EXAMPLE.COM/FEED.XML", "http://example.com/feed.xml", kUrlsEquivalent},
        {"http://news.www.example.com/rss", "http://news.www.example.com/rss", kUrlsEquivalent},
        // The port is not compared.
        {"http://example.com:8080/feed.xml", "http://example.com/feed.xml", kUrlsEquivalent},
        // Query strings belong to the object part.
        {"http://example.com/feed?id=1", "http://example.com/feed?id=1", kUrlsEquivalent},
        {"http://example.com/feed?id=1", "http://example.com/feed?id=2", kUrlsDifferent},
        {"http://example.com/feed.xml", "http://example.com/other.xml", kUrlsDifferent},
        {"http://example.com/feed.xml", "http://example.org/feed.xml", kUrlsDifferent},
        {"http://example.com/feed.xml", "https://example.com/feed.xml", kUrlsDifferent},
        {"http://news.example.com/rss", "http://example.com/rss", kUrlsDifferent},
        // Outside ASCII: letters fold, and a URL as written equals its form on the wire.
        {"http://example.com/café/Été", "http://EXAMPLE.com/CAFÉ/été", kUrlsEquivalent},
        {"http://example.com/café", "http://example.com/caf%C3%A9", kUrlsEquivalent},
        {"http://bücher.example/новости", "http://www.xn--bcher-kva.example/НОВОСТИ", kUrlsEquivalent},
        {"http://example.com/café", "http://example.com/cafe", kUrlsDifferent},
        {"not a url", "http://example.com/feed.xml", kUrlsUnsplittable},
        {"http://example.com/feed.xml", "not a url", kUrlsUnsplittable},
        {"", "", kUrlsUnsplittable},
    };
    for (const UrlPair& c : cases)
        EXPECT_EQ(c.expected, CompareUrls(c.first, c.second)) << "first: " << c.first << "\nsecond: " << c.second;
}

TEST(CompareUrls, LongUrlsAreSplit) {
    const std::string path(3000, 'a');
    EXPECT_EQ(kUrlsEquivalent, CompareUrls("http://example.com/" + path, "http://www.example.com/" + path));
    EXPECT_EQ(kUrlsDifferent, CompareUrls("http://example.com/" + path, "http://example.com/" + path + "b"));
}

// The index answers as comparing with every member through CompareUrls does.
TEST(UrlIndex, AgreesWithComparingEveryPair) {
    const char* const urls[] = {
        "http://example.com/feed.xml",
        "http://WWW.Example.com/FEED.xml",
        "http://example.com:8080/feed.xml",
        "https://example.com/feed.xml",
        "http://example.com/feed.xml?x=1",
        "http://news.example.com/feed.xml",
        "not a url",
        "NOT A URL",
        "not a url ",
        "",
        "http://caf\xE9.example/r\xE9sum\xE9",
        "http://CAF\xC9.example/r",
        "http://example.com/café",
        "http://example.com/CAFÉ",
        "http://example.com/caf%C3%A9",
        "http://Bücher.example/x",
        "feed:http://example.com/feed.xml",
        "http://www.www.example.com/feed.xml",
    };
    for (const char* member : urls) {
        CUrlIndex index;
        index.Add(member);
        index.Add("http://unrelated.example/other");
        for (const char* probe : urls) {
            bool expected = false;
            for (const std::string& existing : {std::string(member), std::string("http://unrelated.example/other")}) {
                const int r = CompareUrls(existing, probe);
                expected =
                    expected || r == kUrlsEquivalent || (r == kUrlsUnsplittable && text::EqualNoCase(existing, probe));
            }
            EXPECT_EQ(expected, index.Contains(probe)) << "member: " << member << "\nprobe: " << probe;
        }
    }
}

} // namespace
