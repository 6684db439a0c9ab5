// feeds.xml and webpages.xml read back by the text reader: what it takes, what it leaves out, and what it
// refuses. The bytes of the writer are compared with the DOM component's in tests/rvlc.
#include "builder/customization_xml.h"

#include <gtest/gtest.h>

namespace {

std::string Feed(const std::string& name, const std::string& url) {
    return "<Feed Name=\"" + name + "\" URL=\"" + url + "\"/>";
}

TEST(CustomizationXml, WrittenFilesReadBackAsTheyWere) {
    CFeedFolder news("News & <Views> \"quoted\"");
    news.Add("Tab\tand\r\nbreak", "http://n.example.com/?a=1&b=2");
    news.Add("Caf\xC3\xA9", "HTTPS://n.example.com/");
    const std::vector<CFeedFolder> folders = {CFeedFolder("Empty"), news};
    int count = 0;
    std::vector<CFeedFolder> back;
    int skipped = -1;
    ASSERT_EQ(DataFileRead::Read, ReadFeedsXml(FeedsXmlText(folders, count), back, skipped));
    EXPECT_EQ(2, count);
    EXPECT_EQ(0, skipped);
    ASSERT_EQ(1u, back.size()) << "a folder without feeds is not written";
    EXPECT_EQ(news.Name(), back[0].Name());
    for (int i = 0; i < news.Count(); ++i) {
        std::string title, url, backTitle, backUrl;
        news.GetAt(i, title, url);
        back[0].GetAt(i, backTitle, backUrl);
        EXPECT_EQ(title, backTitle);
        EXPECT_EQ(url, backUrl);
    }
    const std::vector<WebPageRow> pages = {{"A & B", "http://a/"}, {"C", "https://c/"}};
    std::vector<WebPageRow> pagesBack;
    ASSERT_EQ(DataFileRead::Read, ReadWebPagesXml(WebPagesXmlText(pages), pagesBack, skipped));
    ASSERT_EQ(2u, pagesBack.size());
    EXPECT_EQ("A & B", pagesBack[0].title);
    EXPECT_EQ("https://c/", pagesBack[1].url);
}

TEST(CustomizationXml, RecordsThatBreakTheDialogsRulesAreLeftOutAndCounted) {
    const std::string text = "<?xml version=\"1.0\"?><!-- c --><Folder Name='All Feeds'>"
                             "<Folder Name=\" \">" +
                             Feed("Kept out with its folder", "http://a/") +
                             "</Folder>"
                             "<Folder Name=\"F\">" +
                             Feed("", "http://b/") + Feed("Mail", "mailto:x@y") + Feed("FTP", "ftp://f/") +
                             Feed("Ok", "http://ok/") + Feed("Too long", "http://l/" + std::string(2040, 'x')) +
                             Feed("Not too long", "http://l/" + std::string(2039, 'x')) + "</Folder></Folder>\n";
    std::vector<CFeedFolder> folders;
    int skipped = 0;
    ASSERT_EQ(DataFileRead::Read, ReadFeedsXml(text, folders, skipped));
    EXPECT_EQ(5, skipped);
    ASSERT_EQ(1u, folders.size());
    EXPECT_EQ(2, folders[0].Count());
}

TEST(CustomizationXml, DocumentTypesAndBrokenFilesAreRefused) {
    const struct {
        const char* what;
        std::string text;
        DataFileRead expected;
    } cases[] = {
        {"internal subset", "<!DOCTYPE Folder [<!ENTITY a \"aaaa\">]><Folder Name=\"All Feeds\"/>",
         DataFileRead::DocumentType},
        {"external DTD after a comment",
         "<!-- x --><!DOCTYPE Folder SYSTEM \"http://e/x.dtd\"><Folder Name=\"All Feeds\"/>",
         DataFileRead::DocumentType},
        {"UTF-16", std::string("\xFF\xFE<\0F\0", 6), DataFileRead::NotXml},
        {"undeclared entity", "<Folder Name=\"All Feeds &a;\"/>", DataFileRead::NotXml},
        {"character references", "<Folder Name=\"All&#x20;Feed&#115;\"/>", DataFileRead::Read},
        {"reference to a character XML does not allow", "<Folder Name=\"All Feeds&#0;\"/>", DataFileRead::NotXml},
        {"reference beyond U+10FFFF", "<Folder Name=\"All Feeds&#x110000;\"/>", DataFileRead::NotXml},
        {"unclosed", "<Folder Name=\"All Feeds\"><Folder Name=\"x\">", DataFileRead::NotXml},
        {"mismatched end", "<Folder Name=\"All Feeds\"></Feed>", DataFileRead::NotXml},
        {"repeated attribute", "<Folder Name=\"All Feeds\" Name=\"x\"/>", DataFileRead::NotXml},
        {"not UTF-8", "<Folder Name=\"All Feeds \xE9\"/>", DataFileRead::NotXml},
        {"two roots", "<Folder Name=\"All Feeds\"/><Folder Name=\"All Feeds\"/>", DataFileRead::NotXml},
        {"web pages given as feeds", "<Folder Name=\"All Pages\"/>", DataFileRead::WrongRoot},
        {"an OPML file", "<opml version=\"1.0\"><body/></opml>", DataFileRead::WrongRoot},
    };
    for (const auto& c : cases) {
        std::vector<CFeedFolder> folders;
        int skipped = 0;
        EXPECT_EQ(c.expected, ReadFeedsXml(c.text, folders, skipped)) << c.what;
        EXPECT_TRUE(folders.empty()) << c.what;
    }
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "<Folder Name=\"All Feeds\">";
    std::vector<CFeedFolder> folders;
    int skipped = 0;
    EXPECT_EQ(DataFileRead::NotXml, ReadFeedsXml(deep, folders, skipped)) << "nesting without bound";
}

} // namespace
