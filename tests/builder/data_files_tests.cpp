// feeds.xml and webpages.xml as the DOM component reads them back: the element trees, the counts that
// decide what is packed, and the escaping of attribute values.
#include "builder/data_files.h"
#include "tests/builder/win_files.h"
#include "tests/builder/xml_tree.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::string FolderLine(int depth, const std::string& name, int special) {
    return std::string(static_cast<size_t>(depth) * 2, ' ') + "Folder Name=\"" + name +
           "\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"" + std::to_string(special) + "\"";
}

std::string FeedLine(int depth, const std::string& title, const std::string& url) {
    return std::string(static_cast<size_t>(depth) * 2, ' ') + "Feed Name=\"" + title + "\" URL=\"" + url +
           "\" Status=\"0\" XMLFileName=\"\" AutoUpdateFreq=\"1\" AutoUpdateUnit=\"days\" Time=\"\" "
           "httpLastModified=\"\" SpecialData=\"0\"";
}

CFeedFolder Folder(const std::string& name, const std::vector<std::pair<std::string, std::string>>& feeds) {
    CFeedFolder folder(name);
    for (const auto& feed : feeds)
        folder.Add(feed.first, feed.second);
    return folder;
}

class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr))); }
    void TearDown() override { ::CoUninitialize(); }

    pkgtest::ScratchFolder scratch_;
};

struct FeedsCase {
    const char* what;
    std::vector<CFeedFolder> folders;
    int expectedCount;
    std::vector<std::string> expectedTree;
};

TEST_F(DataFilesTest, FeedsTreeHoldsTheFoldersThatHoldFeeds) {
    const FeedsCase cases[] = {
        {"all folders empty", {Folder("My Feeds", {}), Folder("Other", {})}, 0, {FolderLine(0, "All Feeds", 1)}},
        {"first folder empty: the second is written with 0, the third with 1",
         {Folder("My Feeds", {}), Folder("News", {{"N1", "http://n/1"}, {"N2", "http://n/2"}}),
          Folder("Tech", {{"T1", "http://t/1"}})},
         3,
         {FolderLine(0, "All Feeds", 1), FolderLine(1, "News", 0), FeedLine(2, "N1", "http://n/1"),
          FeedLine(2, "N2", "http://n/2"), FolderLine(1, "Tech", 1), FeedLine(2, "T1", "http://t/1")}},
        {"every feed counts, not only those of the last folder written",
         {Folder("A", {{"a1", "http://a/1"}, {"a2", "http://a/2"}, {"a3", "http://a/3"}}), Folder("Empty", {}),
          Folder("B", {{"b1", "http://b/1"}})},
         4,
         {FolderLine(0, "All Feeds", 1), FolderLine(1, "A", 0), FeedLine(2, "a1", "http://a/1"),
          FeedLine(2, "a2", "http://a/2"), FeedLine(2, "a3", "http://a/3"), FolderLine(1, "B", 1),
          FeedLine(2, "b1", "http://b/1")}},
        {"values kept as typed, markup characters included",
         {Folder("Q & A <1>", {{"Tom & \"Jerry\" <news>", "http://x/?a=1&b=2"}})},
         1,
         {FolderLine(0, "All Feeds", 1), FolderLine(1, "Q & A <1>", 0),
          FeedLine(2, "Tom & \"Jerry\" <news>", "http://x/?a=1&b=2")}},
    };
    for (const FeedsCase& c : cases) {
        CFeedFolderList list;
        for (const CFeedFolder& f : c.folders)
            list.AppendFolder(f);
        const std::string path = scratch_ / "feeds.xml";
        ::DeleteFileA(path.c_str());
        EXPECT_EQ(c.expectedCount, WriteFeedsFile(list, path)) << c.what;
        const std::vector<std::string> tree = xmltest::ReadTree(path);
        EXPECT_EQ(c.expectedTree, tree) << c.what << "\n" << xmltest::Difference(c.expectedTree, tree);
    }
}

TEST_F(DataFilesTest, WebPagesTreeHoldsOneFeedPerRow) {
    const std::string path = scratch_ / "webpages.xml";
    const std::vector<WebPageRow> rows = {{"Home", "http://h/"}, {"R&D <lab>", "http://r/?x=1&y=2"}};
    EXPECT_EQ(2, WriteWebPagesFile(rows, path));
    const std::vector<std::string> expected = {FolderLine(0, "All Pages", 1), FolderLine(1, "My WebPages", 0),
                                               FeedLine(2, "Home", "http://h/"),
                                               FeedLine(2, "R&D <lab>", "http://r/?x=1&y=2")};
    const std::vector<std::string> tree = xmltest::ReadTree(path);
    EXPECT_EQ(expected, tree) << xmltest::Difference(expected, tree);
}

TEST_F(DataFilesTest, NoWebPagesWritesNoFile) {
    const std::string path = scratch_ / "webpages.xml";
    EXPECT_EQ(0, WriteWebPagesFile({}, path));
    EXPECT_FALSE(pkgtest::Exists(path));
}

TEST_F(DataFilesTest, MarkupInValuesIsEscapedInTheFile) {
    CFeedFolderList list;
    list.AppendFolder(Folder("F", {{"A & B <c>", "http://x/?a=1&b=2"}}));
    const std::string path = scratch_ / "feeds.xml";
    ASSERT_EQ(1, WriteFeedsFile(list, path));
    const std::string text = pkgtest::ReadWhole(path);
    EXPECT_NE(std::string::npos, text.find("A &amp; B &lt;c")) << text;
    EXPECT_NE(std::string::npos, text.find("a=1&amp;b=2")) << text;
    EXPECT_EQ(std::string::npos, text.find("A & B")) << text;
}

TEST_F(DataFilesTest, FilesGoIntoTheCustomizationInputFolder) {
    const std::string folder = pkgtest::TempPath() + "RVLCustomizerInput";
    EXPECT_EQ(folder, CustomizationInputFolder());
    CFeedFolderList list;
    list.AppendFolder(Folder("F", {{"t", "http://t/"}}));
    const DataFiles files = WriteDataFiles(list, {{"p", "http://p/"}});
    EXPECT_EQ(folder + "\\feeds.xml", files.feedsPath);
    EXPECT_EQ(folder + "\\webpages.xml", files.webPagesPath);
    EXPECT_EQ(1, files.feedCount);
    EXPECT_EQ(1, files.webPageCount);
    EXPECT_TRUE(pkgtest::Exists(files.feedsPath));
    EXPECT_TRUE(pkgtest::Exists(files.webPagesPath));
    ::DeleteFileA(files.feedsPath.c_str());
    ::DeleteFileA(files.webPagesPath.c_str());
}

TEST_F(DataFilesTest, FileOfAnEarlierBuildIsNotLeftForPacking) {
    const std::string stale = CustomizationInputFolder() + "\\webpages.xml";
    ASSERT_TRUE(pkgtest::WriteWhole(stale, "<Folder/>"));
    const DataFiles files = WriteDataFiles(CFeedFolderList(), {});
    EXPECT_EQ(0, files.webPageCount);
    EXPECT_FALSE(pkgtest::Exists(stale));
    ::DeleteFileA(files.feedsPath.c_str());
}

TEST(DataFilesWithoutCom, ThreadWithoutComWritesNothingAndSaysSo) {
    // COM is the wizard's, held by its sheet; on a thread without it the writer fails cleanly and the
    // build that asked does not go on.
    DataFiles files;
    std::thread writer([&files] {
        CFeedFolderList list;
        list.AppendFolder(Folder("F", {{"t", "http://t/"}}));
        files = WriteDataFiles(list, {});
    });
    writer.join();
    EXPECT_EQ(0, files.feedCount);
    EXPECT_FALSE(files.complete);
}

} // namespace
