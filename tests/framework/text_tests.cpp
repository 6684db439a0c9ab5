#include "framework/text.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

TEST(Text, TrimRemovesEveryKindOfWhiteSpaceAtBothEnds) {
    EXPECT_EQ("a b", text::Trim(" \t\r\n\v\fa b\f\v\n\r\t "));
    EXPECT_EQ("", text::Trim(" \t "));
    EXPECT_EQ("x ", text::TrimLeft("  x "));
    EXPECT_EQ("  x", text::TrimRight("  x \n"));
}

TEST(Text, CompareNoCaseFoldsLettersOnly) {
    EXPECT_EQ(0, text::CompareNoCase("My Feeds", "MY FEEDS"));
    EXPECT_LT(text::CompareNoCase("abc", "abd"), 0);
    EXPECT_GT(text::CompareNoCase("b", "A"), 0);
    EXPECT_NE(0, text::CompareNoCase("My Feeds ", "My Feeds"));
}

// Letters outside ASCII fold on Windows, where the text is UTF-8; natively only A-Z fold.
TEST(Text, CompareNoCaseFoldsLettersOutsideAscii) {
#if defined(_WIN32)
    ASSERT_EQ(65001u, GetACP());
    const bool folds = true;
#else
    const bool folds = false;
#endif
    const struct {
        const char* a;
        const char* b;
        bool equalWhenFolded;
    } cases[] = {
        {"CAFÉ", "café", true},         {"ÉTÉ", "été", true},       {"НОВОСТИ Дня", "новости дня", true},
        {"ΕΙΔΉΣΕΙΣ", "ειδήσεις", true}, {"日本語", "日本語", true}, {"café", "cafe", false},
        {"日本語", "日本人", false},    {"été ", "ÉTÉ", false},
    };
    for (const auto& c : cases) {
        const bool same = std::string(c.a) == c.b;
        EXPECT_EQ(c.equalWhenFolded && (folds || same), text::EqualNoCase(c.a, c.b)) << c.a << " / " << c.b;
        if (text::EqualNoCase(c.a, c.b)) {
            EXPECT_EQ(text::HashNoCase(c.a), text::HashNoCase(c.b)) << c.a;
        }
    }
    // Text outside ASCII sorts after ASCII, as its characters do; bytes that are no text still compare.
    EXPECT_LT(text::CompareNoCase("Zebra", "éclair"), 0);
    EXPECT_EQ(0, text::CompareNoCase("\xFF\xFE"
                                     "Ab",
                                     "\xFF\xFE"
                                     "aB"));
    EXPECT_NE(0, text::CompareNoCase("\xFF\xFE", "\xFF\xFD"));
}

TEST(Text, FindStopsAtZeroByte) {
    std::string hay("abc\0<rss version=", 17);
    EXPECT_EQ(std::string::npos, text::Find(hay, "<rss"));
    EXPECT_EQ(1u, text::Find("abcabc", "bc"));
    // A byte that a legacy double-byte code page takes for a lead byte hides nothing from the search.
    EXPECT_EQ(1u, text::Find("\x81<rss", "<rss"));
    EXPECT_FALSE(text::Contains("<RSS version=", "<rss"));
}

TEST(Text, ReplaceAllMakesOnePass) {
    EXPECT_EQ("&lt;", text::ReplaceAll("&amp;lt;", "&amp;", "&"));
    EXPECT_EQ("<b>", text::ReplaceAll(text::ReplaceAll("&lt;b&gt;", "&lt;", "<"), "&gt;", ">"));
}

TEST(Text, FormatHandlesLongOutput) {
    std::string big(3000, 'x');
    EXPECT_EQ(big + "7", text::Format("%s%d", big.c_str(), 7));
    EXPECT_EQ("1.5 KB", text::Format("%0.1f KB", 1536 / 1024.0));
}
