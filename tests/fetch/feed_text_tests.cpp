#include "fetch/feed_encoding.h"
#include "fetch/feed_text.h"

#include "tests/fetch/corpus_cases.h"

#include <gtest/gtest.h>

namespace {

// What one fetch delivers: the first block of the document.
std::string FirstBlock(const std::string& document) {
    return document.substr(0, 1024);
}

TEST(FeedText, CorpusDocumentsAreClassifiedAndExtracted) {
    for (const CorpusCase& c : kCorpus) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(CorpusFileExists(c.file));
        std::string content = FirstBlock(ReadCorpusFile(c.file));
        const feedtext::FeedDocument doc = feedtext::ReadFeed(content, "", content.size() == 1024, nullptr);
        EXPECT_EQ(c.result, doc.result);
        EXPECT_EQ(c.title, doc.channel.title);
        EXPECT_EQ(c.link, doc.channel.link);
        EXPECT_EQ(c.description, doc.channel.description);
    }
}

TEST(FeedText, LongHeaderDocumentIsCutBeforeTheDescriptionEnds) {
    std::string document = ReadCorpusFile("long_header.xml");
    ASSERT_GT(document.find("</description>"), 1024u);
    ASSERT_LT(document.find("<description>"), 1024u);
    // The whole document would give a description; the first block does not.
    EXPECT_NE("", feedtext::ExtractChannel(document).description);
    EXPECT_EQ("", feedtext::ExtractChannel(FirstBlock(document)).description);
}

// The recognition pairs, then the "<xml version" / "feed version=" pair of unrecognised texts.
TEST(FeedText, ClassifyTable) {
    struct Case {
        const char* content;
        int result;
    } cases[] = {
        {"<rss version=\"2.0\">", 1},
        {"version=\"1\" <rss>", 1}, // the pair in either order
        {"<rss><channel>=", 1},     // the odd "<channel>=" pair
        {"<rss><channel>", 2},
        {"<?xml version=\"1.0\"?><rdf:RDF>", 1}, // declaration with an RDF root
        {"<rdf:RDF><channel rdf:about=\"x\">", 1},
        {"<rdf:RDF><channel>", 2},
        {"<rdf:rdf><?xml version=\"1.0\"?>", 2}, // case matters
        {"<RSS version=\"2.0\">", 2},
        {"<xml version=\"1.0\"><feed version=\"0.3\">", 3},
        {"<feed version=\"0.3\"><xml version", 3},
        {"<?xml version=\"1.0\"?><feed version=\"0.3\">", 2}, // the usual declaration is no "<xml version"
        {"<xml version=\"1.0\"><feed>", 2},
        {"<xml version=\"1.0\"><rss version=\"2.0\">", 1},
        {"", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(c.result, feedtext::Classify(c.content));
    }
}

TEST(FeedText, ExtractionTakesFirstOccurrencesAndTrims) {
    struct Case {
        const char* content;
        const char* title;
    } cases[] = {
        {"<title>One</title><title>Two</title>", "One"},
        {"<title> \t\r\n\v\fSpaced \f\v\n\r\t </title>", "Spaced"},
        {"</title><title>After the end</title>", ""}, // the end tag is searched from the start
        {"<title>No end", ""},
        {"No start</title>", ""},
        {"<title></title>", ""},
        {"<title type=\"text\">Attr</title>", ""},
        {"<title>A</title", ""},
        {"<title>a &amp;lt; b</title>", "a &lt; b"}, // decoded once
        {"<title>&amp;amp;</title>", "&amp;"},       // decoded once
        {"<title>&lt;&gt;&quot;&#39;</title>", "<>\"'"},
        {"<title>&amp;quot;</title>", "&quot;"}, // one pass: what a reference gives is not read again
        {"<title>&#39;&amp;#39;</title>", "'&#39;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(c.title, feedtext::DecodeCharacterData(feedtext::ExtractChannel(c.content).title));
    }
}

TEST(FeedText, LinkAndDescriptionAreDecodedLikeTheTitle) {
    feedtext::Channel c =
        feedtext::ReadFeed("<rss version=\"2.0\"><link>a&amp;b</link><description>&lt;p&gt;</description>", "", false,
                           nullptr)
            .channel;
    EXPECT_EQ("a&b", c.link);
    EXPECT_EQ("<p>", c.description);
}

} // namespace
