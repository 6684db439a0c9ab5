#include "fetch/code_page_charsets.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePageCharsets, NamesMapToTheCodePagesWindowsConverts) {
    const struct {
        const char* name;
        UINT codePage;
    } cases[] = {
        {"iso-8859-1", 1252}, {"windows-1251", 1251}, {"cp1250", 1250}, {"koi8-r", 20866},    {"shift_jis", 932},
        {"euc-kr", 949},      {"gb2312", 936},        {"big5", 950},    {"euc-jp", 20932},    {"iso-8859-7", 28597},
        {"utf-8", 0},         {"windows-65001", 0},   {"x-unknown", 0}, {"windows-99999", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.codePage, CodePageOfCharset(c.name)) << c.name;
}

TEST(CodePageCharsets, ConversionReplacesInvalidBytesAndDropsACutCharacter) {
    const struct {
        const char* name;
        std::string bytes;
        bool cut;
        std::string utf8;
    } cases[] = {
        {"windows-1251", "\xcf\xee\xe3\xee\xe4\xe0", false, "\xd0\x9f\xd0\xbe\xd0\xb3\xd0\xbe\xd0\xb4\xd0\xb0"},
        {"koi8-r", "\xf0\xcf\xc7\xcf\xc4\xc1", false, "\xd0\x9f\xd0\xbe\xd0\xb3\xd0\xbe\xd0\xb4\xd0\xb0"},
        {"shift_jis", "\x93\xfa\x96\x7b", false, "\xe6\x97\xa5\xe6\x9c\xac"},
        {"shift_jis", "\x93\xfa\x96", true, "\xe6\x97\xa5"}, // cut after a lead byte
        {"shift_jis", "\x93\xfa\x96", false, "\xe6\x97\xa5\xef\xbf\xbd"},
        {"shift_jis", "\x81<b", false, "\xef\xbf\xbd<b"}, // the markup after it is kept
        {"euc-kr", "\xb4\xba\xbd\xba", false, "\xeb\x89\xb4\xec\x8a\xa4"},
        {"windows-1253",
         "a\xaa"
         "b",
         false,
         "a\xef\xbf\xbd"
         "b"}, // a byte 1253 leaves undefined
    };
    CCodePageCharsets charsets;
    for (const auto& c : cases) {
        EXPECT_TRUE(charsets.Knows(c.name)) << c.name;
        EXPECT_EQ(c.utf8, charsets.ToUtf8(c.name, c.bytes, c.cut)) << c.name << " " << c.bytes;
    }
}

} // namespace
