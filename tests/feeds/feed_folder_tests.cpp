#include "feeds/feed_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const CFeedFolderList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.FolderCount(); ++i)
        names.push_back(list.FolderAt(i).Name());
    return names;
}

std::vector<std::string> Records(const CFeedFolder& folder) {
    std::vector<std::string> records;
    for (int i = 0; i < folder.Count(); ++i) {
        std::string title, url;
        folder.GetAt(i, title, url);
        records.push_back(title + "|" + url);
    }
    return records;
}

CFeedFolderList ListOf(const std::vector<std::string>& names) {
    CFeedFolderList list;
    for (const std::string& name : names)
        list.AppendFolder(CFeedFolder(name));
    return list;
}

TEST(FeedFolder, RecordsKeepTheOrderOfAdding) {
    CFeedFolder folder("News");
    folder.Add("B", "http://b/");
    folder.Add("A", "http://a/");
    folder.Add("C", "http://c/");
    EXPECT_EQ((std::vector<std::string>{"B|http://b/", "A|http://a/", "C|http://c/"}), Records(folder));
}

TEST(FeedFolder, GetAtCountReturnsCountAndLeavesOutputs) {
    CFeedFolder folder("News");
    folder.Add("A", "http://a/");
    folder.Add("B", "http://b/");
    std::string title = "untouched", url = "untouched too";
    EXPECT_EQ(2, folder.GetAt(2, title, url));
    EXPECT_EQ("untouched", title);
    EXPECT_EQ("untouched too", url);
    EXPECT_EQ(2, folder.GetAt(-1, title, url));
    EXPECT_EQ("untouched", title);
    EXPECT_EQ(1, folder.GetAt(1, title, url));
    EXPECT_EQ("B", title);
    EXPECT_EQ("http://b/", url);
}

TEST(FeedFolder, RemoveAtCountChangesNothing) {
    CFeedFolder folder("News");
    folder.Add("A", "http://a/");
    EXPECT_FALSE(folder.RemoveAt(1));
    EXPECT_FALSE(folder.RemoveAt(-1));
    EXPECT_EQ((std::vector<std::string>{"A|http://a/"}), Records(folder));
    EXPECT_TRUE(folder.RemoveAt(0));
    EXPECT_EQ(0, folder.Count());
}

TEST(FeedFolder, SetTitleAtKeepsIndexAndUrl) {
    CFeedFolder folder("News");
    folder.Add("A", "http://a/");
    folder.Add("B", "http://b/");
    folder.SetTitleAt(0, "Renamed");
    folder.SetTitleAt(5, "Ignored");
    EXPECT_EQ((std::vector<std::string>{"Renamed|http://a/", "B|http://b/"}), Records(folder));
}

TEST(FeedFolder, CopyIsIndependent) {
    CFeedFolder folder("News");
    folder.Add("A", "http://a/");
    CFeedFolder copy = folder;
    copy.SetName("Copy");
    copy.Add("B", "http://b/");
    EXPECT_EQ("News", folder.Name());
    EXPECT_EQ((std::vector<std::string>{"A|http://a/"}), Records(folder));
    EXPECT_EQ((std::vector<std::string>{"A|http://a/", "B|http://b/"}), Records(copy));
}

TEST(FeedFolderList, UniqueFolderNameCounts) {
    struct Case {
        std::vector<std::string> existing;
        std::string name;
        std::string expected;
    } cases[] = {
        {{"My Feeds"}, "My Feeds", "My Feeds (1)"},
        {{"My Feeds", "My Feeds (1)"}, "My Feeds", "My Feeds (2)"},
        {{"My Feeds", "my feeds (1)"}, "My Feeds", "My Feeds (2)"},
        {{"My Feeds", "My Feeds (2)"}, "My Feeds", "My Feeds (1)"},
        {{}, "News", "News (1)"},
        {{"Tech (1)", "Tech (2)", "Tech (3)"}, "Tech", "Tech (4)"},
    };
    for (const Case& c : cases) {
        CFeedFolderList list = ListOf(c.existing);
        EXPECT_EQ(c.expected, list.UniqueFolderName(c.name)) << "name " << c.name;
    }
}

TEST(FeedFolderList, AppendingManyFoldersOfOneNameNumbersThemInOnePass) {
    // Names already taken, and taken again by folders that come later, are each passed over.
    CFeedFolderList list = ListOf({"News (2)"});
    std::vector<CFeedFolder> folders;
    for (const char* name : {"News", "NEWS", "News (1)", "news", "Other"})
        folders.emplace_back(name);
    for (int i = 0; i < 4000; ++i)
        folders.emplace_back("News");
    list.AppendFoldersUnique(folders);
    std::vector<std::string> names;
    for (int i = 0; i < 7; ++i)
        names.push_back(list.FolderAt(i).Name());
    EXPECT_EQ((std::vector<std::string>{"News (2)", "News", "NEWS (1)", "News (1) (1)", "news (3)", "Other", "News (4)"}),
              names);
    EXPECT_EQ("News (4003)", list.FolderAt(list.FolderCount() - 1).Name());
}

TEST(FeedFolderList, FolderExistsIgnoresCaseButNotBlanks) {
    CFeedFolderList list = ListOf({"My Feeds"});
    struct Case {
        const char* name;
        bool exists;
    } cases[] = {
        {"My Feeds", true},   {"my feeds", true}, {"MY FEEDS", true}, {" My Feeds", false},
        {"My Feeds ", false}, {"My Feed", false}, {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.exists, list.FolderExists(c.name)) << "name '" << c.name << "'";
}

TEST(FeedFolderList, AddGoesToTheNamedFolderOnly) {
    CFeedFolderList list = ListOf({"A", "B"});
    list.AddFeedToCurrentFolder("b", "T", "http://t/");
    list.AddFeedToCurrentFolder("Missing", "U", "http://u/");
    EXPECT_EQ(0, list.FolderAt(0).Count());
    EXPECT_EQ((std::vector<std::string>{"T|http://t/"}), Records(list.FolderAt(1)));
}

TEST(FeedFolderList, RemoveTakesTheRecordOfItsIdentityAmongEqualUrls) {
    CFeedFolderList list = ListOf({"A"});
    list.AddFeedToCurrentFolder("A", "One", "http://x/feed");
    const int two = list.AddFeedToCurrentFolder("A", "Two", "http://x/feed");
    list.AddFeedToCurrentFolder("A", "Three", "http://y/");
    EXPECT_EQ(FeedRemoval::RecordRemoved, list.RemoveFeedFromCurrentFolder("A", two));
    EXPECT_EQ((std::vector<std::string>{"One|http://x/feed", "Three|http://y/"}), Records(list.FolderAt(0)));
    EXPECT_EQ(FeedRemoval::NotFound, list.RemoveFeedFromCurrentFolder("A", two));
    EXPECT_EQ(FeedRemoval::NotFound, list.RemoveFeedFromCurrentFolder("B", 1));
    EXPECT_EQ(0, list.AddFeedToCurrentFolder("B", "Four", "http://z/"));
    EXPECT_EQ(2, list.FolderAt(0).Count());
}

TEST(FeedFolderList, RemovingTheLastRecordRemovesTheFolder) {
    CFeedFolderList list = ListOf({"A", "B", "C"});
    list.AddFeedToCurrentFolder("A", "a", "http://a/");
    const int b = list.AddFeedToCurrentFolder("B", "b", "http://b/");
    list.AddFeedToCurrentFolder("C", "c", "http://c/");
    EXPECT_EQ(FeedRemoval::FolderRemoved, list.RemoveFeedFromCurrentFolder("B", b));
    EXPECT_EQ((std::vector<std::string>{"A", "C"}), Names(list));
}

TEST(FeedFolderList, RemovingTheLastRecordOfTheLastFolderRecreatesTheDefault) {
    CFeedFolderList list("My Feeds");
    list.AppendFolder(CFeedFolder("Imported"));
    const int a = list.AddFeedToCurrentFolder("Imported", "a", "http://a/");
    EXPECT_EQ(FeedRemoval::FolderReplaced, list.RemoveFeedFromCurrentFolder("Imported", a));
    EXPECT_EQ((std::vector<std::string>{"My Feeds"}), Names(list));
    EXPECT_EQ(0, list.FolderAt(0).Count());
    // Feeds can be added again.
    list.AddFeedToCurrentFolder("My Feeds", "b", "http://b/");
    EXPECT_EQ(1, list.FolderAt(0).Count());
}

TEST(FeedFolderList, SetFeedTitleKeepsIndexAndUrl) {
    CFeedFolderList list = ListOf({"A"});
    list.AddFeedToCurrentFolder("A", "One", "http://1/");
    const int two = list.AddFeedToCurrentFolder("A", "Two", "http://1/");
    list.SetFeedTitle("a", two, "Second");
    list.SetFeedTitle("A", 99, "Nothing");
    EXPECT_EQ((std::vector<std::string>{"One|http://1/", "Second|http://1/"}), Records(list.FolderAt(0)));
}

TEST(FeedFolderList, ArrangeFollowsTheIdentitiesGiven) {
    const struct {
        std::vector<int> ids;
        const char* expected;
    } cases[] = {
        {{3, 1, 2}, "CAB"},
        {{2}, "BAC"},          // records not named keep their order after the named ones
        {{2, 2, 9, 1}, "BAC"}, // repeated and unknown identities are passed over
        {{}, "ABC"},
    };
    for (const auto& c : cases) {
        CFeedFolderList list = ListOf({"F"});
        for (const char* title : {"A", "B", "C"})
            list.AddFeedToCurrentFolder("F", title, std::string("http://") + title + "/");
        list.ArrangeCurrentFolder("F", c.ids);
        std::string titles;
        for (const std::string& record : Records(list.FolderAt(0)))
            titles += record.substr(0, 1);
        EXPECT_EQ(c.expected, titles);
        // Identities stay with their records: removing B's removes B.
        list.RemoveFeedFromCurrentFolder("F", 2);
        for (const std::string& record : Records(list.FolderAt(0)))
            EXPECT_NE("B|http://B/", record);
    }
}

TEST(FeedFolderList, RenameKeepsPosition) {
    CFeedFolderList list = ListOf({"A", "B", "C"});
    EXPECT_TRUE(list.RenameFolder("b", "Bee"));
    EXPECT_FALSE(list.RenameFolder("Missing", "X"));
    EXPECT_EQ((std::vector<std::string>{"A", "Bee", "C"}), Names(list));
}

TEST(FeedFolderList, CopyFoldersCopiesEveryFolderInOrder) {
    CFeedFolderList list = ListOf({"A", "B"});
    list.AddFeedToCurrentFolder("B", "b", "http://b/");
    std::vector<CFeedFolder> copy = {CFeedFolder("stale")};
    list.CopyFolders(copy);
    ASSERT_EQ(2u, copy.size());
    EXPECT_EQ("A", copy[0].Name());
    EXPECT_EQ("B", copy[1].Name());
    EXPECT_EQ((std::vector<std::string>{"b|http://b/"}), Records(copy[1]));
    copy[1].Add("c", "http://c/");
    EXPECT_EQ(1, list.FolderAt(1).Count());
}

TEST(FeedFolderList, AppendFolderCopiesAtTheEnd) {
    CFeedFolderList list = ListOf({"A"});
    CFeedFolder imported("Imported");
    imported.Add("x", "http://x/");
    list.AppendFolder(imported);
    imported.Add("y", "http://y/");
    EXPECT_EQ((std::vector<std::string>{"A", "Imported"}), Names(list));
    EXPECT_EQ(1, list.FolderAt(1).Count());
}

} // namespace
