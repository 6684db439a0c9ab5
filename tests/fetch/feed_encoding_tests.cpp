#include "fetch/feed_encoding.h"

#include <gtest/gtest.h>

namespace {

using std::string;

// Stands in for the platform: ISO-8859-1 only, each byte the character of the same number.
class Latin1Charsets : public feedtext::Charsets {
public:
    bool Knows(const string& name) const override { return name == "iso-8859-1"; }
    string ToUtf8(const string&, const string& bytes, bool) const override {
        string out;
        for (unsigned char b : bytes) {
            if (b < 0x80) {
                out += static_cast<char>(b);
            } else {
                out += static_cast<char>(0xC0 | (b >> 6));
                out += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
        return out;
    }
};
const Latin1Charsets kLatin1;

#define S(literal) string(literal, sizeof literal - 1) // keeps zero bytes

TEST(FeedEncoding, MarkThenDeclarationThenContentTypeThenUtf8) {
    const struct {
        string block, contentType, encoding;
    } cases[] = {
        {S("\xEF\xBB\xBF<?xml version='1.0' encoding='iso-8859-1'?>"), "text/xml; charset=iso-8859-1", "utf-8"},
        {S("\xFF\xFE<\0r\0"), "text/xml; charset=iso-8859-1", "utf-16le"},
        {S("\xFE\xFF\0<"), "", "utf-16be"},
        {S("\xFF\xFE\0\0<\0\0\0"), "", "utf-32le"},
        {S("<\0?\0x\0"), "", "utf-16le"}, // no mark, but "<" in two bytes
        {S("\0\0\0<"), "", "utf-32be"},
        {"<?xml version=\"1.0\" encoding = \"ISO-8859-1\"?><rss>", "text/xml; charset=utf-8", "iso-8859-1"},
        {"<?xml version=\"1.0\"?><rss>", "text/xml; Charset=\"ISO-8859-1\"", "iso-8859-1"},
        {"<?xml version=\"1.0\" encoding=\"x-unknown\"?>", "text/xml;charset=iso-8859-1", "iso-8859-1"},
        {"<?xml version=\"1.0\" encoding=\"utf-16\"?>", "text/xml; charset=utf-16", "utf-8"}, // evidently 8-bit
        {"<rss>", "text/xml", "utf-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType + " " + c.block);
        EXPECT_EQ(c.encoding, feedtext::DetectEncoding(c.block, c.contentType, &kLatin1));
    }
}

TEST(FeedEncoding, InvalidBytesBecomeReplacementAndCutCharactersAreDropped) {
    const struct {
        string bytes, encoding;
        bool cut;
        string utf8;
    } cases[] = {
        {"a\xC3\xA9", "utf-8", false, "a\xC3\xA9"},
        {"a\xFF"
         "b",
         "utf-8", false,
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC0\xAF", "utf-8", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // overlong
        {"\xED\xA0\x80", "utf-8", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // a surrogate
        {"\xE6\x97\xA5\xE6\x9C", "utf-8", true, "\xE6\x97\xA5"},
        {"\xE6\x97\xA5\xE6\x9C", "utf-8", false, "\xE6\x97\xA5\xEF\xBF\xBD"},
        {S("\xFF\xFE"
           "A\0\xE9\0"),
         "utf-16le", false, "A\xC3\xA9"},
        {S("\0A\xD8\x3D\xDE\x00"), "utf-16be", false, "A\xF0\x9F\x98\x80"},
        {S("A\0\x3D\xD8"), "utf-16le", true, "A"},
        {S("A\0\x3D\xD8"), "utf-16le", false, "A\xEF\xBF\xBD"},
        {S("A\0B"), "utf-16le", true, "A"},
        {S("A\0B"), "utf-16le", false, "A\xEF\xBF\xBD"},
        {S("\x00\xDC"
           "B\0"),
         "utf-16le", false,
         "\xEF\xBF\xBD"
         "B"}, // an unpaired low surrogate
        {S("\0\0\0A\0\x11\0\0"), "utf-32be", false, "A\xEF\xBF\xBD"},
        {"Se\xF1or", "iso-8859-1", false, "Se\xC3\xB1or"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding + " " + c.bytes);
        EXPECT_EQ(c.utf8, feedtext::ToUtf8(c.bytes, c.encoding, c.cut, &kLatin1));
    }
}

TEST(FeedEncoding, CharacterDataIsDecodedOnce) {
    const struct {
        const char* data;
        const char* text;
    } cases[] = {
        {"Joe&#8217;s", "Joe\xE2\x80\x99s"},
        {"&#x41;&#X41;&#65;&lt;&gt;&amp;&quot;&apos;", "A&#X41;A<>&\"'"},
        {"a &amp;lt; b", "a &lt; b"},
        {"<![CDATA[Tom & Jerry's <b>]]>", "Tom & Jerry's <b>"},
        {"x<![CDATA[&amp;]]>y", "x&amp;y"},
        {" \t a\tb\r\nc\x01\x7F\xC2\x85&#10; ", "a b  c"},
        {"&#0;&#xD800;&#x110000;&#99999999999;", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"&nbsp;&#;&#x;&#xZZ;&", "&nbsp;&#;&#x;&#xZZ;&"},
        {"\xEF\xBF\xBE", "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(c.text, feedtext::DecodeCharacterData(c.data));
    }
}

TEST(FeedEncoding, WideDocumentsAreRecognisedAndValuesDecodedByTheirEncoding) {
    const string utf16 = S("\xFF\xFE<\0r\0s\0s\0 \0v\0e\0r\0s\0i\0o\0n\0=\0\"\0\x32\0\"\0>\0<\0t\0i\0t\0l\0e\0>\0"
                           "\x95\x03\xbb\x03<\0/\0t\0i\0t\0l\0e\0>\0");
    const struct {
        string block, contentType;
        int result;
        string title;
    } cases[] = {
        {utf16, "", feedtext::kValidFeed, "\xCE\x95\xCE\xBB"},
        {utf16.substr(2), "", feedtext::kValidFeed, "\xCE\x95\xCE\xBB"}, // no mark: "<" in two bytes tells
        {"<rss version=\"2.0\"><title>Se\xF1or Caf\xE9</title>", "text/xml; charset=ISO-8859-1", feedtext::kValidFeed,
         "Se\xC3\xB1or Caf\xC3\xA9"},
        {"<rss version=\"2.0\"><title>Caf\xE9</title>", "", feedtext::kValidFeed, "Caf\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        feedtext::FeedDocument doc = feedtext::ReadFeed(c.block, c.contentType, false, &kLatin1);
        EXPECT_EQ(c.result, doc.result) << doc.encoding;
        EXPECT_EQ(c.title, doc.channel.title) << doc.encoding;
    }
}

} // namespace
