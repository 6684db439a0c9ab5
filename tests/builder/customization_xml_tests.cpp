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
    EXPECT_EQ(DataFileRead::OverLimit, ReadFeedsXml(deep, folders, skipped)) << "nesting without bound";
}

const char kRoot[] = "<Folder Name=\"All Feeds\">";

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::string ManyAttributes(size_t count, const std::string& last) {
    std::string out = "<Folder Name=\"All Feeds\"";
    for (size_t i = 1; i < count; ++i)
        out += " a" + std::to_string(i) + "=\"\"";
    return out + " " + last + "=\"\"/>";
}

TEST(CustomizationXml, EveryRefusalSaysWhereAndWhat) {
    const struct {
        std::string text;
        DataFileRead read;
        int line, column;
        const char* what; // the start of the message
    } cases[] = {
        {std::string(kRoot) + "\n<Folder Name=\"F\"><Feed Name=\"a\x01\" URL=\"http://a/\"/>", DataFileRead::NotXml, 2, 31,
         "a title holds a character that XML does not allow (U+0001)"},
        {std::string(kRoot) + "<Folder Name=\"F\x1B[2J\"/>", DataFileRead::NotXml, 1, 41,
         "a folder name holds a character that XML does not allow (U+001B)"},
        {std::string(kRoot) + std::string("<Folder Name=\"\0\"/>", 18), DataFileRead::NotXml, 1, 40,
         "a folder name holds a character that XML does not allow (U+0000)"},
        {std::string(kRoot) + "<Feed URL=\"http://\xEF\xBF\xBE/\"/>", DataFileRead::NotXml, 1, 44,
         "a URL holds a character that XML does not allow (U+FFFE)"},
        {std::string(kRoot) + "<Feed Name=\"&#x0001;\"/>", DataFileRead::NotXml, 1, 38,
         "a title holds a reference to a character that XML does not allow"},
        {std::string(kRoot) + "<!-- \x07 -->", DataFileRead::NotXml, 1, 31, "a comment holds a character"},
        {std::string(kRoot) + "<Feed Name \"x\"/>", DataFileRead::NotXml, 1, 37, "'=' after the attribute Name was expected"},
        {std::string(kRoot) + "<Folder Name=\"F\">", DataFileRead::NotXml, 1, 43,
         "the file ends where the end tag </Folder> was expected"},
        {std::string(kRoot) + "</Feed>", DataFileRead::NotXml, 1, 28, "the end tag </Folder> was expected, not </Feed>"},
        {std::string(kRoot) + "<Feed Name=\"caf\xE9\"/>", DataFileRead::NotXml, 1, 41, "a title holds bytes that are not UTF-8"},
        {"<?xml version=\"1.0\" encoding=\"x-unknown\"?>" + std::string(kRoot) + "</Folder>", DataFileRead::NotXml, 1,
         21, "the file declares the encoding \"x-unknown\""},
        {ManyAttributes(20, "a7"), DataFileRead::NotXml, 1, 0, "the element Folder has the attribute a7 twice"},
        {ManyAttributes(kMaxDataAttributes + 1, "z"), DataFileRead::OverLimit, 1, 0, "the element Folder has more attributes"},
        {std::string(kRoot) + "<Feed Name=\"" + std::string(kMaxDataValueBytes + 1, 'x') + "\"/>", DataFileRead::OverLimit, 1,
         0, "a title is longer than the limit"},
        {std::string(kRoot) + Repeat("<a>", 40), DataFileRead::OverLimit, 1, 0, "elements are nested deeper than the limit"},
        {std::string(kRoot) + Repeat("<a/>", kMaxDataElements), DataFileRead::OverLimit, 1, 0,
         "the file holds more elements than the limit"},
    };
    for (const auto& c : cases) {
        DataElement root;
        const DataFileResult result = ReadDataFile(c.text, "All Feeds", root);
        const std::string where = c.what;
        EXPECT_EQ(c.read, result.read) << where << ": " << result.what;
        EXPECT_EQ(c.line, result.line) << where;
        if (c.column != 0) {
            EXPECT_EQ(c.column, result.column) << where;
        }
        EXPECT_EQ(0u, result.what.find(c.what)) << result.what;
        EXPECT_TRUE(root.name.empty()) << where;
    }
}

TEST(CustomizationXml, WhatXmlAllowsIsRead) {
    const std::string title = "Caf\xC3\xA9 A";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"references with leading zeros", "<Folder Name=\"All Feeds\"><Feed Name=\"Caf&#x00000000E9; &#000065;\"/></Folder>"},
        {"CR LF in a value is one space", "<Folder Name=\"All Feeds\"><Feed Name=\"Caf\xC3\xA9\r\nA\"/></Folder>"},
        {"UTF-16 with a byte order mark",
         std::string("\xFF\xFE", 2) + [] {
             std::string wide;
             for (const char c : std::string("<Folder Name=\"All Feeds\"><Feed Name=\"Caf\xE9 A\"/></Folder>")) {
                 wide += c;
                 wide += '\0';
             }
             return wide;
         }()},
        {"ISO-8859-1 declared",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Folder Name=\"All Feeds\"><Feed Name=\"Caf\xE9 A\"/></Folder>"},
        {"comments, CDATA, text and elements of no meaning here",
         "<!--c--><Folder Name=\"All Feeds\">text &amp; <![CDATA[<x>]]><x a='1'><Feed Name='no'/></x><?pi ?>"
         "<Feed Name=\"Caf\xC3\xA9 A\"/></Folder><!--e-->\n"},
    };
    for (const auto& c : cases) {
        DataElement root;
        const DataFileResult result = ReadDataFile(c.text, "All Feeds", root);
        ASSERT_TRUE(result.Ok()) << c.what << ": " << result.Describe("feeds.xml");
        ASSERT_EQ(1u, root.children.size()) << c.what;
        EXPECT_EQ(title, root.children[0].Value("Name")) << c.what;
    }
}

TEST(CustomizationXml, EveryElementAndAttributeComesBackInOrder) {
    const std::string text = "<Folder Name=\"All Feeds\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\">"
                             "<Folder Name=\"Outer\" Color=\"red\"><Feed Name=\"A\" URL=\"http://a/\" AutoUpdateFreq=\"3\" "
                             "AutoUpdateUnit=\"hours\"/><Folder Name=\"Inner\"><Feed Name=\"B\" URL=\"https://b/\"/></Folder>"
                             "<Feed Name=\"C &amp; &lt;D&gt; &quot;q&quot;&#9;&#10;&#13;\" URL=\"http://c/\"/></Folder></Folder>\n";
    DataElement root;
    ASSERT_TRUE(ReadDataFile(text, "All Feeds", root).Ok());
    std::string written;
    ASSERT_TRUE(DataFileText(root, written));
    EXPECT_EQ(text, written);
    DataElement back;
    ASSERT_TRUE(ReadDataFile(written, "All Feeds", back).Ok());
    EXPECT_EQ(root, back);
    ASSERT_EQ(3u, back.children[0].children.size());
    EXPECT_EQ("Inner", back.children[0].children[1].Value("Name"));

    // The wizard's one level keeps every attribute of what it shows, and writes them back.
    std::vector<CFeedFolder> folders;
    std::string nested, loose;
    EXPECT_FALSE(FlatFolders(root, folders, nested, loose));
    EXPECT_EQ("Inner", nested);
    root.children[0].children.erase(root.children[0].children.begin() + 1);
    DataElement withLoose = root;
    withLoose.children.push_back(root.children[0].children[0]);
    EXPECT_FALSE(FlatFolders(withLoose, folders, nested, loose));
    EXPECT_EQ("A", loose);
    ASSERT_TRUE(FlatFolders(root, folders, nested, loose));
    int count = 0;
    DataElement rewritten;
    ASSERT_TRUE(ReadDataFile(FeedsXmlText(folders, count), "All Feeds", rewritten).Ok());
    root.children[0].Set("SpecialData", "0");
    EXPECT_EQ(root.children[0], rewritten.children[0]);
}

TEST(CustomizationXml, TheWriterNeverWritesWhatXmlForbids) {
    for (const std::string& value : {std::string("a\x01"), std::string("\x1B[31m"), std::string("\xEF\xBF\xBF"),
                                     std::string("\xC3"), std::string(1, '\0')}) {
        CFeedFolder folder("F");
        folder.Add(value, "http://a/");
        int count = 0;
        EXPECT_EQ("", FeedsXmlText({folder}, count));
        EXPECT_EQ(0, count);
        EXPECT_FALSE(IsXmlText(value));
    }
    DataElement root;
    root.name = "Folder";
    root.attributes = {{"bad name", "x"}};
    std::string out = "untouched";
    EXPECT_FALSE(DataFileText(root, out));
    EXPECT_EQ("untouched", out);
}

TEST(CustomizationXml, RecordsThatBreakTheRulesAreNamedWithTheirPlace) {
    const std::string text = "<Folder Name=\"All Feeds\">\n<Folder Name=\"F\">\n  <Feed Name=\"\" URL=\"http://a/\"/>"
                             "<Feed Name=\"J\" URL=\"javascript:x\"/><Feed Name=\"Ok\" URL=\"http://ok/\"/></Folder>\n"
                             "<Folder Name=\" \"><Feed Name=\"Lost\" URL=\"http://l/\"/></Folder></Folder>";
    DataElement root;
    ASSERT_TRUE(ReadDataFile(text, "All Feeds", root).Ok());
    const std::vector<RecordProblem> problems = CheckRecords(root, true);
    ASSERT_EQ(3u, problems.size());
    EXPECT_EQ((std::vector<int>{3, 3, 3, 34, 4, 1}),
              (std::vector<int>{problems[0].line, problems[0].column, problems[1].line, problems[1].column,
                                problems[2].line, problems[2].column}));
    EXPECT_EQ("a record without a title", problems[0].what);
    EXPECT_EQ("a record whose URL is no http or https address", problems[1].what);
    EXPECT_EQ("javascript:x", problems[1].url);
    EXPECT_EQ("a folder without a name", problems[2].what);
    ASSERT_EQ(1u, root.children.size());
    EXPECT_EQ(1u, root.children[0].children.size());
}

TEST(CustomizationXml, ControlCharactersAreEscapedForTheTerminal) {
    EXPECT_EQ("a\\x1B[2Jb\\x07" "C:\\x \xC3\xA9\\xC2\\x9B\\xFF", EscapeControls("a\x1B[2Jb\x07" "C:\\x \xC3\xA9\xC2\x9B\xFF"));
}

} // namespace
