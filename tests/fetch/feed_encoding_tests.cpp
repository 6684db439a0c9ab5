#include "fetch/feed_encoding.h"

#include <gtest/gtest.h>

namespace {

using std::string;

// Stands in for the platform: knows ISO-8859-1 and marks what it converted.
class Latin1Charsets : public feedtext::Charsets {
public:
    bool Knows(const string& name) const override { return name == "iso-8859-1"; }
    string ToUtf8(const string&, const string& bytes, bool) const override { return "latin1:" + bytes; }
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
        {"\xEF\xBB\xBFSe\xF1or", "iso-8859-1", false, "latin1:\xEF\xBB\xBFSe\xF1or"}, // no mark in 8859-1
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

} // namespace
