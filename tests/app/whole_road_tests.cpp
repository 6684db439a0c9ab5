// The whole job from outside: RVLCustomizer.exe runs as a process of its own (Pullwire registered, or
// found through the program's manifest alone in the prefix where it never is; the maker's host and
// every other host routed to this test's server) and is driven from this process only through window
// messages. The customized setup it writes is then run with the stand-in reader setup
// inside, which writes down what it received. The temporary folder of the test prefix, and so the
// download, the build and the run, is named in Greek and Japanese.
#include "app/wizard_sheet.h"
#include "builder/setup_file.h"
#include "tests/app/wizard_driver.h"
#include "tests/app/wizard_test_support.h"
#include "tests/builder/win_files.h"
#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Feed(const std::string& title) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
           "</title><link>http://example.com/</link><description>About " + title +
           "</description><item><title>One</title></item></channel></rss>";
}

// Counts the occurrences of needle in text.
size_t Count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// Runs a program, waits up to timeoutMs for it to end; false when it could not start or did not end.
bool RunAndWait(const std::string& program, PROCESS_INFORMATION& process, bool wait, DWORD timeoutMs = 60000) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program + "\"";
    if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::CloseHandle(process.hThread);
    return !wait || ::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

class WholeRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        // In the prefix where Pullwire is never registered, the program finds it through its manifest.
        if (pwtest::InUnregisteredPrefix()) {
            ASSERT_EQ(std::vector<std::string>(), pwtest::PullwireKeys());
        } else {
            registered_.emplace();
        }
        ASSERT_TRUE(!registered_ || registered_->Ok());
        testhttp::Reply setup;
        setup.body = pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\signed\\rvl.exe");
        ASSERT_FALSE(setup.body.empty()) << "the signed stand-in reader setup beside the test";
        server_.Route("/download/rvl/rvl.exe", setup);
        for (const char* path : {"/news/rss.xml", "/tech/rss.xml"}) {
            testhttp::Reply feed;
            feed.body = Feed(path[1] == 'n' ? "Daily News" : "Tech Weekly");
            server_.Route(path, feed);
        }
        testhttp::Reply page;
        page.body = "<html><head><title>Welcome</title></head><body>Hello</body></html>";
        server_.Route("/pages/welcome.html", page);
        server_.Route("/pages/jp.html", page);
        ASSERT_TRUE(server_.Start());
        proxy_.emplace(server_.ProxyAddress());
        ASSERT_TRUE(proxy_->Ok());
        folder_ = pkgtest::TempPath() + "rvl-whole-road";
        pkgtest::RemoveFolder(folder_);
        ::CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        if (customizer_.hProcess) {
            if (::WaitForSingleObject(customizer_.hProcess, 0) == WAIT_TIMEOUT)
                ::TerminateProcess(customizer_.hProcess, 1);
            ::CloseHandle(customizer_.hProcess);
        }
        ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", nullptr);
        pkgtest::RemoveFolder(folder_);
        if (pwtest::InUnregisteredPrefix()) {
            EXPECT_EQ(std::vector<std::string>(), pwtest::PullwireKeys()) << "nothing registered Pullwire";
        }
    }

    std::optional<pwtest::RegisteredServer> registered_;
    testhttp::Server server_;
    std::optional<testhttp::SystemProxy> proxy_;
    ReaderKeyScope noReader_{ReaderKey::None};
    std::string folder_;
    PROCESS_INFORMATION customizer_{};
};

TEST_F(WholeRoadTest, FeedsAndPagesTypedIntoTheProgramReachTheReaderSetup) {
    std::ostringstream log;
    drive::WizardDriver wizard([&](const std::string& line) { log << line << "\n"; });
    ASSERT_TRUE(RunAndWait(pkgtest::ProgramFolder() + "RVLCustomizer.exe", customizer_, false));
    ASSERT_TRUE(wizard.Attach(30000)) << log.str();

    ASSERT_TRUE(wizard.Press(PSBTN_NEXT, kFeedsPage)) << log.str();
    EXPECT_EQ("", wizard.AddFeed("http://news.example.com/news/rss.xml")) << log.str();
    EXPECT_EQ("", wizard.AddFeed("tech.example.com/tech/rss.xml")) << log.str();
    // Names and titles typed in any script are kept exactly, through to the data files and the file name.
    EXPECT_EQ("", wizard.RenameFolder("日本語のフォルダ")) << log.str();
    // A web page is no feed: refused with its message, and nothing is added.
    EXPECT_EQ("Invalid RSS feed: Cannot add http://www.example.com/pages/welcome.html : The URL you specified is not "
              "a feed. Enter a different URL.",
              wizard.AddFeed("http://www.example.com/pages/welcome.html"));
    ASSERT_TRUE(wizard.Press(PSBTN_NEXT, kWebPagesPage)) << log.str();
    EXPECT_EQ("", wizard.AddWebPage("Домашняя страница", "http://www.example.com/pages/welcome.html")) << log.str();
    EXPECT_EQ("", wizard.AddWebPage("ホームページ", "http://www.example.com/pages/jp.html")) << log.str();
    wizard.Press(PSBTN_NEXT, -1);
    ASSERT_EQ(kDestinationPage, wizard.WaitForPage(kDestinationPage, kDestinationPage, 60000)) << log.str();
    wizard.SetPageText(IDE_FOLDER, folder_);
    wizard.SetPageText(IDE_SETUP_NAME, "Настройка");
    ASSERT_TRUE(wizard.Press(PSBTN_NEXT, kFinishPage, 60000)) << log.str();
    EXPECT_EQ(folder_ + "\\Настройка", wizard.PageText(IDE_SETUP_PATH));
    wizard.SetPageCheck(IDX_OPEN_FOLDER, false);
    ASSERT_TRUE(wizard.Finish(20000)) << log.str();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(customizer_.hProcess, 20000)) << "the program ends with its wizard";

    const std::string setup = folder_ + "\\Настройка.exe";
    ASSERT_TRUE(pkgtest::Exists(setup));
    const std::string recordPath = folder_ + "\\record.txt";
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath.c_str());
    PROCESS_INFORMATION run{};
    ASSERT_TRUE(RunAndWait(setup, run, true));
    ::CloseHandle(run.hProcess);
    std::map<std::string, std::string> record;
    std::istringstream lines(pkgtest::ReadWhole(recordPath));
    for (std::string line; std::getline(lines, line);)
        record[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);

    EXPECT_EQ("/RVLC", record["arguments"]);
    const std::string feeds = FromHex(record["FeedsFilePath.data"]);
    EXPECT_EQ(2u, Count(feeds, "<Feed ")) << feeds;
    EXPECT_EQ(1u, Count(feeds, "<Folder Name=\"日本語のフォルダ\"")) << feeds;
    EXPECT_EQ(1u, Count(feeds, "Name=\"Daily News\" URL=\"http://news.example.com/news/rss.xml\"")) << feeds;
    EXPECT_EQ(1u, Count(feeds, "Name=\"Tech Weekly\" URL=\"http://tech.example.com/tech/rss.xml\"")) << feeds;
    const std::string pages = FromHex(record["WebPagesFilePath.data"]);
    EXPECT_EQ(2u, Count(pages, "<Feed ")) << pages;
    EXPECT_EQ(1u, Count(pages, "Name=\"Домашняя страница\" URL=\"http://www.example.com/pages/welcome.html\""))
        << pages;
    EXPECT_EQ(1u, Count(pages, "Name=\"ホームページ\" URL=\"http://www.example.com/pages/jp.html\"")) << pages;
}

// A setup dropped on the wizard's icon: the one argument opens it, the rows are its feeds and pages, the
// destination page proposes its place, and building again writes the same data files there.
TEST_F(WholeRoadTest, SetupGivenAsTheArgumentOpensAndBuildsTheSameDataFilesAgain) {
    CFeedFolder news("News");
    news.Add("Daily News", "http://news.example.com/news/rss.xml");
    news.Add("Tech Weekly", "http://tech.example.com/tech/rss.xml");
    int count = 0;
    const std::string feeds = FeedsXmlText({news}, count);
    const std::string pages = WebPagesXmlText({{"Our welcome", "http://www.example.com/pages/welcome.html"}});
    const std::string reader = pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\rvl.exe");
    pkg::MemoryInput readerInput(reader), feedsInput(feeds), pagesInput(pages);
    pkg::MemoryOutput package;
    ASSERT_EQ(pkg::kSuccess, pkg::WritePackage(pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLExtractor.exe"),
                                               {{"rvl.exe", &readerInput, reader.size()},
                                                {"feeds.xml", &feedsInput, feeds.size()},
                                                {"webpages.xml", &pagesInput, pages.size()}},
                                               package));
    const std::string setup = folder_ + "\\Old.exe";
    ASSERT_TRUE(pkgtest::WriteWhole(setup, package.bytes));

    std::ostringstream log;
    drive::WizardDriver wizard([&](const std::string& line) { log << line << "\n"; });
    const std::string program = pkgtest::ProgramFolder() + "RVLCustomizer.exe";
    std::string commandLine = "\"" + program + "\" \"" + setup + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &customizer_));
    ::CloseHandle(customizer_.hThread);
    // The wizard opens the setup and moves on to the feeds page by itself.
    ASSERT_TRUE(wizard.Attach(30000, kFeedsPage)) << log.str();
    const auto rows = [&](int list) {
        return ::SendMessageA(::GetDlgItem(wizard.ActivePageWindow(), list), LVM_GETITEMCOUNT, 0, 0);
    };
    EXPECT_EQ(2, rows(IDL_FEEDS));
    ASSERT_TRUE(wizard.Press(PSBTN_NEXT, kWebPagesPage)) << log.str();
    EXPECT_EQ(1, rows(IDL_WEBPAGES));
    wizard.Press(PSBTN_NEXT, -1);
    ASSERT_EQ(kDestinationPage, wizard.WaitForPage(kDestinationPage, kDestinationPage, 60000)) << log.str();
    EXPECT_EQ(folder_, wizard.PageText(IDE_FOLDER));
    EXPECT_EQ("Old", wizard.PageText(IDE_SETUP_NAME));
    // The proposed file is the opened setup itself, which this run did not write: replaced only on Yes.
    wizard.Press(PSBTN_NEXT, -1);
    EXPECT_EQ("Old.exe already exists.\nDo you want to replace it?", wizard.AnswerMessage(IDYES, 20000)) << log.str();
    ASSERT_EQ(kFinishPage, wizard.WaitForPage(kFinishPage, kFinishPage, 60000)) << log.str();
    wizard.SetPageCheck(IDX_OPEN_FOLDER, false);
    ASSERT_TRUE(wizard.Finish(20000)) << log.str();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(customizer_.hProcess, 20000));

    pkg::StdioSource source;
    SetupContents contents;
    ASSERT_TRUE(source.Open(setup));
    ASSERT_EQ(SetupRead::Read, ReadSetup(source, contents));
    for (const pkg::Entry& entry : contents.entries) {
        pkg::MemoryOutput bytes;
        ASSERT_EQ(pkg::kSuccess, ExtractEntry(source, entry, bytes));
        if (entry.name == "feeds.xml") {
            EXPECT_EQ(feeds, bytes.bytes);
        } else if (entry.name == "webpages.xml") {
            EXPECT_EQ(pages, bytes.bytes);
        }
    }
    EXPECT_EQ(3u, contents.entries.size());
}

} // namespace
