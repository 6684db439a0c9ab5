#include "framework/text.h"

#include <gtest/gtest.h>

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
