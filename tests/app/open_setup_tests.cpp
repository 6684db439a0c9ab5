// Open Setup on the welcome page: a setup that the wizard's own writers made comes back into the pages
// exactly, and files that are no good setup are refused with their message, changing nothing.
#include "builder/data_files.h"
#include "builder/setup_file.h"
#include "builder/sfx_packager.h"
#include "framework/message.h"
#include "framework/text.h"
#include "tests/app/wizard_test_support.h"
#include "tests/builder/win_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

CFeedFolder Folder(const std::string& name, const Rows& feeds) {
    CFeedFolder folder(name);
    for (const auto& feed : feeds)
        folder.Add(feed.first, feed.second);
    return folder;
}

// Every folder as name, then title and URL of each feed.
std::vector<std::string> Flatten(const CFeedFolderList& folders) {
    std::vector<std::string> out;
    for (int i = 0; i < folders.FolderCount(); ++i) {
        const CFeedFolder& folder = folders.FolderAt(i);
        out.push_back("folder " + folder.Name());
        for (int j = 0; j < folder.Count(); ++j) {
            std::string title, url;
            folder.GetAt(j, title, url);
            out.push_back(title + " <" + url + ">");
        }
    }
    return out;
}

std::vector<WebPageRow> PageRows(const Rows& rows) {
    std::vector<WebPageRow> out;
    for (const auto& row : rows)
        out.push_back({row.first, row.second});
    return out;
}

class OpenSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        previous_ = fw::SetMessageHook([this](HWND, const std::string& text, const std::string&, UINT) {
            messages_.push_back(text);
            return answer_;
        });
        ASSERT_NE(nullptr, sheet_.Open());
        folders_.AppendFolder(Folder("News & Views", {{"Daily", "http://news.example.com/rss"},
                                                      {"Weekly <digest>", "https://news.example.com/week"}}));
        folders_.AppendFolder(Folder("Tech", {{"Gadgets", "http://tech.example.com/feed?x=1&y=2"}}));
        pages_ = {{"Welcome", "http://www.example.com/"}, {"Help \"desk\"", "https://help.example.com/a?b=c"}};
        // The wizard's own writers: the DOM component's data files and the package writer.
        const DataFiles files = WriteDataFiles(folders_, PageRows(pages_));
        ASSERT_TRUE(files.complete);
        feedsXml_ = pkgtest::ReadWhole(files.feedsPath);
        pagesXml_ = pkgtest::ReadWhole(files.webPagesPath);
        CSfxPackager packager;
        ASSERT_TRUE(packager.AddFile((pkgtest::ProgramFolder() + "standin\\rvl.exe").c_str()));
        ASSERT_TRUE(packager.AddFile(files.feedsPath.c_str()));
        ASSERT_TRUE(packager.AddFile(files.webPagesPath.c_str()));
        setup_ = scratch_ / "Custom.exe";
        ASSERT_EQ(pkg::kSuccess, packager.BuildPackage(IDR_SFX_EXE, setup_.c_str(), nullptr, nullptr));
    }
    void TearDown() override {
        sheet_.Close();
        fw::SetMessageHook(previous_);
        ::CoUninitialize();
    }
    Rows ShownPages() {
        sheet_->SetActivePage(kWebPagesPage);
        uitest::flush_events();
        return sheet_->webPages.Rows();
    }

    pkgtest::ScratchFolder scratch_;
    ModelessWizard sheet_;
    fw::MessageHook previous_;
    std::vector<std::string> messages_;
    int answer_ = IDYES;
    CFeedFolderList folders_;
    Rows pages_;
    std::string feedsXml_, pagesXml_, setup_;
};

TEST_F(OpenSetupTest, SetupMadeByTheWizardComesBackExactlyAndRebuildsTheSameFiles) {
    ASSERT_TRUE(sheet_->welcome.OpenSetup(setup_));
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    EXPECT_EQ(Flatten(folders_), Flatten(sheet_->feeds.Folders()));
    EXPECT_EQ(pages_, ShownPages());
    EXPECT_EQ(scratch_.Path(), sheet_->destination.DestinationFolder());
    EXPECT_EQ("Custom", sheet_->destination.SetupName());

    const DataFiles again = WriteDataFiles(sheet_->feeds.Folders(), PageRows(sheet_->webPages.Rows()));
    EXPECT_EQ(feedsXml_, pkgtest::ReadWhole(again.feedsPath));
    EXPECT_EQ(pagesXml_, pkgtest::ReadWhole(again.webPagesPath));
}

TEST_F(OpenSetupTest, RefusedFilesAndAnsweredNoChangeNothing) {
    ASSERT_TRUE(sheet_->welcome.OpenSetup(setup_));
    messages_.clear();
    std::string damaged = pkgtest::ReadWhole(setup_);
    damaged[damaged.size() - 110] ^= 0x55; // in the stream of webpages.xml, before the 94 bytes of directory
    const std::string dtd = "<!DOCTYPE x [<!ENTITY e SYSTEM \"http://example.com/\">]><Folder Name=\"All Feeds\"/>";
    pkg::MemoryInput data(dtd);
    pkg::MemoryOutput withDtd;
    const std::string stub = pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLExtractor.exe");
    ASSERT_EQ(pkg::kSuccess, pkg::WritePackage(stub, {{"feeds.xml", &data, dtd.size()}}, withDtd));
    const struct {
        const char* what;
        std::string path;
        int answer;
        std::string message;
    } cases[] = {
        {"a program that is no setup", pkgtest::ProgramFolder() + "standin\\rvl.exe", IDYES, kNotCustomizedSetup},
        {"a damaged package", scratch_.Add("damaged.exe", damaged), IDYES,
         std::string(kDamagedSetup) + "\n\nthe stream of webpages.xml is damaged"},
        {"a data file with a DTD", scratch_.Add("dtd.exe", withDtd.bytes), IDYES,
         std::string(kDamagedSetup) + "\n\nfeeds.xml, line 1, column 1: the file declares a document type"},
        {"No to replacing what was entered", setup_, IDNO, kReplaceEnteredData},
    };
    const std::vector<std::string> before = Flatten(sheet_->feeds.Folders());
    for (const auto& c : cases) {
        messages_.clear();
        answer_ = c.answer;
        EXPECT_FALSE(sheet_->welcome.OpenSetup(c.path)) << c.what;
        EXPECT_EQ(std::vector<std::string>{c.message}, messages_) << c.what;
        EXPECT_EQ(before, Flatten(sheet_->feeds.Folders())) << c.what;
    }
    EXPECT_EQ(pages_, ShownPages());
}

TEST_F(OpenSetupTest, RecordsThatBreakTheDialogsRulesAreLeftOutInOneMessage) {
    CFeedFolder kept("Kept"), nameless(" ");
    kept.Add("Daily", "http://news.example.com/rss");
    kept.Add("Files", "file:///c:/feed.xml");
    nameless.Add("Lost", "http://lost.example.com/rss");
    int count = 0;
    const std::string feeds = FeedsXmlText({kept, nameless}, count);
    const std::string pages = WebPagesXmlText({{"", "http://www.example.com/"}, {"Ok", "https://ok.example.com/"}});
    pkg::MemoryInput feedsInput(feeds), pagesInput(pages);
    pkg::MemoryOutput package;
    ASSERT_EQ(pkg::kSuccess,
              pkg::WritePackage("MZ",
                                {{"feeds.xml", &feedsInput, feeds.size()}, {"webpages.xml", &pagesInput, pages.size()}},
                                package));
    ASSERT_TRUE(sheet_->welcome.OpenSetup(scratch_.Add("rules.exe", package.bytes)));
    ASSERT_EQ(1u, messages_.size());
    EXPECT_EQ(0u, messages_[0].find("3 folders, feeds or web pages of this setup were left out")) << messages_[0];
    EXPECT_EQ((std::vector<std::string>{"folder Kept", "Daily <http://news.example.com/rss>"}),
              Flatten(sheet_->feeds.Folders()));
    EXPECT_EQ((Rows{{"Ok", "https://ok.example.com/"}}), ShownPages());
}

// A setup as rvlc may have made it: one data file (feeds.xml unless named) given as text.
std::string SetupWithDataFile(pkgtest::ScratchFolder& scratch, const char* name, const std::string& text,
                           const char* file = "feeds.xml") {
    pkg::MemoryInput input(text);
    pkg::MemoryOutput package;
    EXPECT_EQ(pkg::kSuccess, pkg::WritePackage("MZ", {{file, &input, text.size()}}, package));
    return scratch.Add(name, package.bytes);
}

TEST_F(OpenSetupTest, WhatThePagesDoNotShowIsWrittenBackAndNothingIsFlattened) {
    const std::string kept =
        "<Folder Name=\"All Feeds\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\">"
        "<Folder Name=\"News\" Status=\"2\" UpdateCount=\"7\" SpecialData=\"0\" Color=\"red\"><Feed Name=\"Daily\" "
        "URL=\"http://news.example.com/rss\" Status=\"1\" XMLFileName=\"d.xml\" AutoUpdateFreq=\"3\" "
        "AutoUpdateUnit=\"hours\" Time=\"x\" httpLastModified=\"y\" SpecialData=\"0\" Color=\"blue\"/></Folder></Folder>\n";
    const std::string keptPages = "<Folder Name=\"All Pages\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\">"
                                  "<Folder Name=\"My WebPages\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"0\">"
                                  "<Feed Name=\"Home\" URL=\"http://www.example.com/\" Status=\"0\" Pinned=\"yes\"/>"
                                  "</Folder></Folder>\n";
    pkg::MemoryInput feedsInput(kept), pagesInput(keptPages);
    pkg::MemoryOutput package;
    ASSERT_EQ(pkg::kSuccess, pkg::WritePackage("MZ",
                                               {{"feeds.xml", &feedsInput, kept.size()},
                                                {"webpages.xml", &pagesInput, keptPages.size()}},
                                               package));
    ASSERT_TRUE(sheet_->welcome.OpenSetup(scratch_.Add("kept.exe", package.bytes)));
    EXPECT_TRUE(messages_.empty());
    // Written as a build writes them: the pages as the destination page reads them from the sheet.
    std::vector<WebPageRow> rows;
    for (const auto& row : ShownPages())
        rows.push_back({row.first, row.second, sheet_->KeptPageAttributes(row.second)});
    const DataFiles files = WriteDataFiles(sheet_->feeds.Folders(), rows);
    DataElement expected, written;
    ASSERT_TRUE(ReadDataFile(kept, "All Feeds", expected).Ok());
    ASSERT_TRUE(ReadDataFile(pkgtest::ReadWhole(files.feedsPath), "All Feeds", written).Ok());
    EXPECT_EQ(expected, written) << pkgtest::ReadWhole(files.feedsPath);
    ASSERT_TRUE(ReadDataFile(keptPages, "All Pages", expected).Ok());
    ASSERT_TRUE(ReadDataFile(pkgtest::ReadWhole(files.webPagesPath), "All Pages", written).Ok());
    EXPECT_EQ(expected, written) << pkgtest::ReadWhole(files.webPagesPath);

    const std::string before = pkgtest::ReadWhole(files.feedsPath);
    messages_.clear();
    EXPECT_FALSE(sheet_->welcome.OpenSetup(SetupWithDataFile(
        scratch_, "nested.exe",
        "<Folder Name=\"All Feeds\"><Folder Name=\"Outer\"><Folder Name=\"Inner\"><Feed Name=\"A\" "
        "URL=\"http://a.example.com/\"/></Folder></Folder></Folder>")));
    EXPECT_EQ(std::vector<std::string>{text::Format(kNestedFolder, "Inner")}, messages_);
    EXPECT_EQ(before, pkgtest::ReadWhole(WriteDataFiles(sheet_->feeds.Folders(), {}).feedsPath)) << "nothing loaded";

    messages_.clear();
    EXPECT_FALSE(sheet_->welcome.OpenSetup(SetupWithDataFile(
        scratch_, "pages.exe",
        "<Folder Name=\"All Pages\"><Folder Name=\"My WebPages\"><Folder Name=\"Deeper\"/></Folder></Folder>",
        "webpages.xml")));
    EXPECT_EQ(std::vector<std::string>{text::Format(kNestedFolder, "Deeper")}, messages_);

    // The page shows one list: a second folder of pages would be merged into the first and lost.
    messages_.clear();
    EXPECT_FALSE(sheet_->welcome.OpenSetup(SetupWithDataFile(
        scratch_, "two.exe", "<Folder Name=\"All Pages\"><Folder Name=\"My WebPages\"/><Folder Name=\"Work\"/></Folder>",
        "webpages.xml")));
    EXPECT_EQ(std::vector<std::string>{text::Format(kSecondPageFolder, "Work")}, messages_);
}

TEST_F(OpenSetupTest, TheLeftOutRecordsAreListedUpToTenThenCounted) {
    CFeedFolder folder("F");
    for (int i = 0; i < 12; ++i)
        folder.Add("Bad " + std::to_string(i), "ftp://f.example.com/" + std::to_string(i));
    folder.Add("Good", "http://g.example.com/");
    int count = 0;
    ASSERT_TRUE(sheet_->welcome.OpenSetup(SetupWithDataFile(scratch_, "bad.exe", FeedsXmlText({folder}, count))));
    ASSERT_EQ(1u, messages_.size());
    const std::string& message = messages_[0];
    EXPECT_EQ(0u, message.find("12 folders, feeds or web pages of this setup were left out")) << message;
    EXPECT_NE(std::string::npos, message.find("\n\"Bad 0\" <ftp://f.example.com/0>\n")) << message;
    EXPECT_NE(std::string::npos, message.find("\n\"Bad 9\" <ftp://f.example.com/9>\n... and 2 more.")) << message;
    EXPECT_EQ(std::string::npos, message.find("Bad 10")) << message;
    EXPECT_EQ((std::vector<std::string>{"folder F", "Good <http://g.example.com/>"}), Flatten(sheet_->feeds.Folders()));
}

} // namespace
