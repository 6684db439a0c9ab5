// The destination page in a modeless wizard: the name rules, the output path, the refusals of Next, and
// one whole build whose package, run under Wine, hands feeds.xml to the stand-in reader setup.
#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "builder/destination_folder_page.h"
#include "framework/listview.h"
#include "framework/owners.h"
#include "resources/resource.h"
#include "tests/app/wizard_test_support.h"
#include "tests/builder/win_files.h"
#include "tests/builder/xml_tree.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>
#include <utility>
#include <vector>
#include <memory>

namespace {

struct NameCase {
    const char* name;
    int expected;
};

TEST(CheckSetupName, RefusesForbiddenCharactersAndDeviceNames) {
    const std::string longName(300, 'a');
    // The limit counts characters: 255 in Japanese (765 bytes) are taken, 256 are not.
    std::string japanese, longerJapanese;
    for (int i = 0; i < 255; ++i)
        japanese += "名";
    longerJapanese = japanese + "前";
    const NameCase cases[] = {
        {japanese.c_str(), 0},
        {longerJapanese.c_str(), kSetupNameTooLongOrEmpty},
        {"Настройка", 0},
        {"con", kSetupNameDevice},
        {"Con.txt", kSetupNameDevice},
        {"lpt1", kSetupNameDevice},
        {"clock$.x", kSetupNameDevice},
        {"AUX", kSetupNameDevice},
        {"com9.exe", kSetupNameDevice},
        {"Comp", 0},
        {"COM0", 0},
        {"console", 0},
        {".con", 0},
        {"a.b.c", 0},
        {"MyNewRVL", 0},
        {"Setup äö", 0},
        {"a?b", '?'},
        {"a/b", '/'},
        {"...", '.'},
        {"a\\b", '\\'},
        {"a\"b", '"'},
        {"a|b", '|'},
        {"tab\there", '\t'},
        {"", kSetupNameTooLongOrEmpty},
        {longName.c_str(), kSetupNameTooLongOrEmpty},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(c.expected, CheckSetupName(c.name)) << "name \"" << c.name << "\"";
    // A forbidden character past the 256th is refused as well.
    EXPECT_EQ('*', CheckSetupName(longName + "*"));
}

struct OutputCase {
    const char* folder;
    const char* name;
    const char* expected;
};

TEST(MakeOutputPath, AddsExeUnlessTheExtensionIsExactlyExe) {
    const OutputCase cases[] = {
        {"C:\\Out", "Setup", "C:\\Out\\Setup.exe"},
        {"C:\\Out", "Setup.exe", "C:\\Out\\Setup.exe"},
        {"C:\\Out", "Setup.EXE", "C:\\Out\\Setup.EXE.exe"},
        {"C:\\Out", "my.setup", "C:\\Out\\my.setup.exe"},
        {"C:\\", "Setup", "C:\\\\Setup.exe"},
        {"C:\\Out", ".exe", "C:\\Out\\.exe"},
    };
    for (const OutputCase& c : cases)
        EXPECT_EQ(c.expected, MakeOutputPath(c.folder, c.name)) << c.folder << " + " << c.name;
}

class DestinationPageTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveExtraction(); }
    void TearDown() override {
        CloseWizard();
        RemoveExtraction();
    }

    // A modeless wizard showing the destination page.
    HWND OpenAtDestination() {
        if (!sheet_.Open())
            return nullptr;
        sheet_->SetActivePage(kDestinationPage);
        uitest::flush_events();
        return sheet_->destination.Handle();
    }
    void CloseWizard() { sheet_.Close(); }
    void PressNext(HWND page, const std::string& folder, const std::string& name) {
        uitest::set_item_text(page, IDE_FOLDER, folder);
        uitest::set_item_text(page, IDE_SETUP_NAME, name);
        sheet_->PressButton(PSBTN_NEXT);
        uitest::flush_events();
    }
    // The reader setup of the build: a copy of the stand-in signed as the maker, since the page deletes it
    // at the end.
    std::string ReaderSetup() {
        const std::string input = scratch_ / "download";
        ::CreateDirectoryA(input.c_str(), nullptr);
        const std::string path = input + "\\rvl.exe";
        pkgtest::WriteWhole(path, pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\signed\\rvl.exe"));
        return path;
    }
    // Rows of the web pages page's list, put in as that page shows them: title, then URL.
    void AddWebPageRows(const std::vector<std::pair<std::string, std::string>>& pages) {
        sheet_->SetActivePage(kWebPagesPage);
        uitest::flush_events();
        fw::ListView list(::GetDlgItem(sheet_->webPages.Handle(), IDL_WEBPAGES));
        ASSERT_NE(nullptr, list.Handle());
        HWND header = reinterpret_cast<HWND>(::SendMessageA(list.Handle(), LVM_GETHEADER, 0, 0));
        for (int column = header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0; column < 2;
             ++column)
            list.InsertColumn(column, column == 0 ? "Title" : "URL", 100);
        for (const auto& page : pages) {
            const int row = list.InsertRow(list.Count(), page.first.c_str());
            ASSERT_LE(0, row);
            ASSERT_TRUE(list.SetText(row, 1, page.second.c_str()));
        }
        sheet_->SetActivePage(kDestinationPage);
        uitest::flush_events();
    }
    // The setup removes its own folder; its announcements go even when a failed test left them.
    static void RemoveExtraction() {
        const char* const subkeys[] = {"FeedsFilePath", "WebPagesFilePath", "AdRSSInfoFilePath", "DataFilePath"};
        for (const char* subkey : subkeys)
            ::RegDeleteKeyA(HKEY_CURRENT_USER,
                            (std::string("Software\\Corvane\\Ravelin Customizer\\") + subkey).c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Corvane\\Ravelin Customizer");
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Corvane");
    }

    ModelessWizard sheet_;
    pkgtest::ScratchFolder scratch_;
};

TEST_F(DestinationPageTest, StartsWithTheDocumentsFolderAndMyNewRVL) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    char documents[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE));
    EXPECT_EQ(documents, uitest::item_text(page, IDE_FOLDER));
    EXPECT_EQ("MyNewRVL", uitest::item_text(page, IDE_SETUP_NAME));
    EXPECT_EQ(260, ::SendDlgItemMessageA(page, IDE_SETUP_NAME, EM_GETLIMITTEXT, 0, 0));
    DWORD start = 0, end = 0;
    ::SendDlgItemMessageA(page, IDE_SETUP_NAME, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                          reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(0u, start);
    EXPECT_EQ(8u, end);
}

TEST_F(DestinationPageTest, FolderBrowserIsOwnedByTheSheetWhichItDisables) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    const std::string before = uitest::item_text(page, IDE_FOLDER);
    HWND owner = nullptr;
    bool sheetEnabled = true;
    uitest::ModalDriver driver("", [&](HWND browser) {
        owner = ::GetWindow(browser, GW_OWNER);
        sheetEnabled = ::IsWindowEnabled(sheet_->Handle()) != FALSE;
        ::SendMessageA(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_TRUE(uitest::press_button(page, IDC_BROWSE));
    ASSERT_EQ(1, driver.Runs()) << "the folder browser did not open";
    EXPECT_EQ(sheet_->Handle(), owner);
    EXPECT_FALSE(sheetEnabled) << "Next and Cancel of the wizard could run under the open browser";
    EXPECT_TRUE(::IsWindowEnabled(sheet_->Handle()));
    EXPECT_EQ(before, uitest::item_text(page, IDE_FOLDER)) << "a cancelled browser changes nothing";
}

struct RefusalCase {
    const char* folder;
    const char* name;
    const char* text;
    int focus;
};

TEST_F(DestinationPageTest, NextRefusesAnIncompleteOrForbiddenEntry) {
    const char kNames[] = "Please specify another name for setup. A file name cannot contain any of the following "
                          "characters:\\/:*?<>|\"";
    const RefusalCase cases[] = {
        {"", "Setup", "Please select the desination location of customizable setup.", IDE_FOLDER},
        {"   ", "Setup", "Please select the desination location of customizable setup.", IDE_FOLDER},
        {"C:\\", "", "Please specify the name of the customized setup.", IDE_SETUP_NAME},
        {"C:\\", "  \t ", "Please specify the name of the customized setup.", IDE_SETUP_NAME},
        {"C:\\", "a?b", kNames, IDE_SETUP_NAME},
        {"C:\\", "a/b", kNames, IDE_SETUP_NAME},
        {"C:\\", "...", kNames, IDE_SETUP_NAME},
        {"C:\\", " con ", "Please specify another name for setup. A device name cannot be used.", IDE_SETUP_NAME},
        {"C:\\", "Con.txt", "Please specify another name for setup. A device name cannot be used.", IDE_SETUP_NAME},
    };
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    for (const RefusalCase& c : cases) {
        uitest::MessageBoxRecorder boxes;
        PressNext(page, c.folder, c.name);
        ASSERT_EQ(1u, boxes.Records().size()) << "folder \"" << c.folder << "\" name \"" << c.name << "\"";
        EXPECT_EQ(c.text, boxes.Records()[0].text) << c.name;
        EXPECT_EQ("Ravelin Customizer", boxes.Records()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Records()[0].Icon());
        EXPECT_EQ(::GetDlgItem(page, c.focus), ::GetFocus()) << c.name;
        EXPECT_EQ(kDestinationPage, sheet_->ActiveIndex()) << c.name;
    }
}

TEST_F(DestinationPageTest, FailedBuildLeavesNoOutputAndStays) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    sheet_->destination.SetReaderSetupPath(ReaderSetup());
    const std::string missing = scratch_ / "no such folder";
    uitest::MessageBoxRecorder boxes;
    PressNext(page, missing, "Setup");
    ASSERT_EQ(1u, boxes.Records().size());
    EXPECT_EQ("Error occurred. Please try again.", boxes.Records()[0].text);
    EXPECT_EQ("Error", boxes.Records()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes.Records()[0].flags);
    EXPECT_EQ(kDestinationPage, sheet_->ActiveIndex());

    // A setup that is not whole never takes the output's name; an earlier good one stays as it was.
    ::CreateDirectoryA(missing.c_str(), nullptr);
    const std::string earlier = missing + "\\Setup.exe";
    ASSERT_TRUE(pkgtest::WriteWhole(earlier, "earlier setup"));
    // With a feed to pack but no reader setup, the build fails too: such a setup would install nothing.
    CFeedFolder news("News");
    news.Add("Daily", "http://news.example/rss");
    sheet_->feeds.Folders().AppendFolder(news);
    sheet_->destination.SetReaderSetupPath(scratch_ / "no reader setup.exe");
    boxes.SetAnswer(IDYES); // to replacing the earlier setup, which this run did not write
    PressNext(page, missing, "Setup");
    ASSERT_EQ(3u, boxes.Records().size());
    EXPECT_EQ("Error occurred. Please try again.", boxes.Records()[2].text);
    EXPECT_EQ("earlier setup", pkgtest::ReadWhole(earlier));
    EXPECT_FALSE(pkgtest::Exists(earlier + ".part"));
}

// The build checks the reader setup's signature and product again just before it packs it: a file changed
// since the download is refused with the cause, deleted, and the download page fetches the setup again.
TEST_F(DestinationPageTest, ReaderSetupThatFailsItsSignatureIsNotPacked) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    std::string changed = pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\signed\\rvl.exe");
    changed[changed.size() / 2] ^= 0x01;
    const struct {
        const char* what;
        std::string data;
        const char* cause;
    } cases[] = {
        {"unsigned", pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\rvl.exe"),
         "The downloaded file is not signed by Corvane."},
        {"one byte changed", changed, "The downloaded file is damaged."},
        {"another product of the maker's",
         pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\other-product\\rvl.exe"),
         "The downloaded file is not the setup of Ravelin: it says it is \"Corvane Notes\"."},
    };
    const std::string output = scratch_ / "Setup.exe";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string reader = ReaderSetup();
        ASSERT_TRUE(pkgtest::WriteWhole(reader, c.data));
        sheet_->destination.SetReaderSetupPath(reader);
        uitest::MessageBoxRecorder boxes;
        PressNext(page, scratch_.Path(), "Setup");
        ASSERT_EQ(1u, boxes.Records().size());
        EXPECT_EQ(std::string("The setup of Ravelin cannot be packed.\n\n") + c.cause +
                      "\n\nPlease go back and download it again.",
                  boxes.Records()[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Records()[0].Icon());
        EXPECT_EQ(kDestinationPage, sheet_->ActiveIndex());
        EXPECT_FALSE(pkgtest::Exists(output));
        EXPECT_FALSE(pkgtest::Exists(reader));
        EXPECT_EQ("", sheet_->destination.ReaderSetupPath());
    }
}

// A data file that is to be packed but cannot be saved (here a folder of its name stands in its way)
// fails the build: a setup without the publisher's feeds or pages is never written.
TEST_F(DestinationPageTest, DataFileThatCannotBeSavedFailsTheBuild) {
    const std::string input = pkgtest::TempPath() + "RVLCustomizerInput";
    ::CreateDirectoryA(input.c_str(), nullptr);
    const char* const files[] = {"feeds.xml", "webpages.xml"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const std::string blocker = input + "\\" + file;
        ::DeleteFileA(blocker.c_str()); // a file of that name from another build
        ASSERT_TRUE(::CreateDirectoryA(blocker.c_str(), nullptr));
        HWND page = OpenAtDestination();
        ASSERT_NE(nullptr, page);
        if (std::string(file) == "feeds.xml") {
            CFeedFolder news("News");
            news.Add("Daily", "http://news.example/rss");
            sheet_->feeds.Folders().AppendFolder(news);
        } else {
            AddWebPageRows({{"Home", "http://home.example/"}});
        }
        sheet_->destination.SetReaderSetupPath(ReaderSetup());
        const std::string output = scratch_ / "out";
        ::CreateDirectoryA(output.c_str(), nullptr);
        uitest::MessageBoxRecorder boxes;
        PressNext(page, output, "Setup");
        ::RemoveDirectoryA(blocker.c_str());
        ASSERT_EQ(1u, boxes.Records().size());
        EXPECT_EQ("Error occurred. Please try again.", boxes.Records()[0].text);
        EXPECT_EQ("Error", boxes.Records()[0].caption);
        EXPECT_EQ(kDestinationPage, sheet_->ActiveIndex());
        EXPECT_FALSE(pkgtest::Exists(output + "\\Setup.exe"));
        EXPECT_FALSE(pkgtest::Exists(output + "\\Setup.exe.part"));
        CloseWizard();
    }
}

TEST_F(DestinationPageTest, OutputNamedLikeTheReaderSetupIsRefused) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    const std::string reader = ReaderSetup();
    const std::string bytes = pkgtest::ReadWhole(reader);
    sheet_->destination.SetReaderSetupPath(reader);
    uitest::MessageBoxRecorder boxes(IDYES);
    PressNext(page, scratch_ / "download", "RVL.exe");
    ASSERT_EQ(2u, boxes.Records().size());
    EXPECT_EQ("RVL.exe already exists.\nDo you want to replace it?", boxes.Records()[0].text);
    EXPECT_EQ("Error occurred. Please try again.", boxes.Records()[1].text);
    EXPECT_EQ(bytes, pkgtest::ReadWhole(reader));
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

std::map<std::string, std::string> RunSetup(const std::string& program, const std::string& recordPath) {
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + program + "\"";
    const BOOL started = ::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                          nullptr, &startup, &process);
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", nullptr);
    if (!started) {
        ADD_FAILURE() << "cannot start " << program << ": error " << ::GetLastError();
        return {};
    }
    if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << program << " did not end";
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return pkgtest::ReadStandinRecord(recordPath);
}

TEST_F(DestinationPageTest, BuiltSetupHandsTheFeedsToTheReaderSetup) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    CFeedFolderList& folders = sheet_->feeds.Folders();
    CFeedFolder news("News & Views");
    news.Add("Daily <1>", "http://news.example/rss");
    news.Add("Weekly", "http://news.example/weekly");
    folders.AppendFolder(news);
    CFeedFolder tech("Tech");
    tech.Add("Gadgets", "http://tech.example/feed");
    folders.AppendFolder(tech);
    const std::string reader = ReaderSetup();
    sheet_->destination.SetReaderSetupPath(reader);

    const std::string output = scratch_ / "out";
    ::CreateDirectoryA(output.c_str(), nullptr);
    uitest::MessageBoxRecorder boxes;
    PressNext(page, "  " + output + " ", "  Setup  ");
    EXPECT_TRUE(boxes.Records().empty()) << boxes.Records()[0].text;
    EXPECT_EQ(kFinishPage, sheet_->ActiveIndex());
    EXPECT_EQ(output, sheet_->finish.DestinationFolder());
    EXPECT_EQ("Setup", sheet_->finish.SetupName());
    EXPECT_EQ(output + "\\Setup.exe", sheet_->finish.OutputPath());
    ASSERT_TRUE(pkgtest::Exists(output + "\\Setup.exe"));
    // The data files are gone after a good build; the folder that held them stays.
    const std::string input = pkgtest::TempPath() + "RVLCustomizerInput";
    EXPECT_FALSE(pkgtest::Exists(input + "\\feeds.xml"));
    EXPECT_FALSE(pkgtest::Exists(input + "\\webpages.xml"));
    EXPECT_TRUE(pkgtest::Exists(input));

    std::map<std::string, std::string> record = RunSetup(output + "\\Setup.exe", scratch_ / "record.txt");
    ASSERT_EQ(1u, record.count("FeedsFilePath")) << "feeds.xml was not announced";
    EXPECT_EQ(0u, record.count("WebPagesFilePath"));
    const std::string feeds = scratch_ / "announced-feeds.xml";
    ASSERT_TRUE(pkgtest::WriteWhole(feeds, Unhex(record["FeedsFilePath.data"])));
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    const std::vector<std::string> tree = xmltest::ReadTree(feeds);
    ::CoUninitialize();
    const std::string feedTail =
        "\" Status=\"0\" XMLFileName=\"\" AutoUpdateFreq=\"1\" AutoUpdateUnit=\"days\" Time=\"\" "
        "httpLastModified=\"\" SpecialData=\"0\"";
    const std::vector<std::string> expected = {
        "Folder Name=\"All Feeds\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\"",
        "  Folder Name=\"News & Views\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"0\"",
        "    Feed Name=\"Daily <1>\" URL=\"http://news.example/rss" + feedTail,
        "    Feed Name=\"Weekly\" URL=\"http://news.example/weekly" + feedTail,
        "  Folder Name=\"Tech\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\"",
        "    Feed Name=\"Gadgets\" URL=\"http://tech.example/feed" + feedTail,
    };
    EXPECT_EQ(expected, tree) << xmltest::Difference(expected, tree);
}

TEST_F(DestinationPageTest, AFileThatThisRunDidNotWriteIsReplacedOnlyWhenThePublisherSaysSo) {
    HWND page = OpenAtDestination();
    ASSERT_NE(nullptr, page);
    CFeedFolder news("News");
    news.Add("Daily", "http://news.example/rss");
    sheet_->feeds.Folders().AppendFolder(news);
    const std::string output = scratch_ / "Release.exe";
    ASSERT_TRUE(pkgtest::WriteWhole(output, "the shipped, signed release"));

    uitest::MessageBoxRecorder boxes(IDNO);
    sheet_->destination.SetReaderSetupPath(ReaderSetup());
    PressNext(page, scratch_.Path(), "Release");
    ASSERT_EQ(1u, boxes.Records().size());
    EXPECT_EQ("Release.exe already exists.\nDo you want to replace it?", boxes.Records()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2), boxes.Records()[0].flags & (MB_TYPEMASK | MB_DEFMASK));
    EXPECT_EQ(kDestinationPage, sheet_->ActiveIndex()) << "No leaves the page as it is";
    EXPECT_EQ("the shipped, signed release", pkgtest::ReadWhole(output));

    boxes.SetAnswer(IDYES);
    PressNext(page, scratch_.Path(), "Release");
    EXPECT_EQ(2u, boxes.Records().size());
    EXPECT_EQ(kFinishPage, sheet_->ActiveIndex());
    EXPECT_NE("the shipped, signed release", pkgtest::ReadWhole(output));

    // Back from the finish page, a rebuild of what this run wrote goes on without the question.
    sheet_->SetActivePage(kDestinationPage);
    uitest::flush_events();
    sheet_->destination.SetReaderSetupPath(ReaderSetup());
    PressNext(page, scratch_.Path(), "Release");
    EXPECT_EQ(2u, boxes.Records().size()) << boxes.Records().back().text;
    EXPECT_EQ(kFinishPage, sheet_->ActiveIndex());
}

TEST_F(DestinationPageTest, RowsOfTheWebPagesListArePacked) {
    ASSERT_NE(nullptr, OpenAtDestination());
    AddWebPageRows({{"Home & Garden", "http://home.example/"}, {"Search", "http://search.example/?q=a&b"}});
    HWND page = sheet_->destination.Handle();
    sheet_->destination.SetReaderSetupPath(ReaderSetup());
    const std::string output = scratch_ / "out";
    ::CreateDirectoryA(output.c_str(), nullptr);
    uitest::MessageBoxRecorder boxes;
    PressNext(page, output, "Pages");
    ASSERT_TRUE(boxes.Records().empty()) << boxes.Records()[0].text;
    ASSERT_TRUE(pkgtest::Exists(output + "\\Pages.exe"));

    std::map<std::string, std::string> record = RunSetup(output + "\\Pages.exe", scratch_ / "record.txt");
    // No folder holds a feed: feeds.xml is written but not packed.
    EXPECT_EQ(0u, record.count("FeedsFilePath"));
    ASSERT_EQ(1u, record.count("WebPagesFilePath")) << "webpages.xml was not announced";
    const std::string announced = scratch_ / "announced-webpages.xml";
    ASSERT_TRUE(pkgtest::WriteWhole(announced, Unhex(record["WebPagesFilePath.data"])));
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    const std::vector<std::string> tree = xmltest::ReadTree(announced);
    ::CoUninitialize();
    const std::string tail = "\" Status=\"0\" XMLFileName=\"\" AutoUpdateFreq=\"1\" AutoUpdateUnit=\"days\" Time=\"\" "
                             "httpLastModified=\"\" SpecialData=\"0\"";
    const std::vector<std::string> expected = {
        "Folder Name=\"All Pages\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\"",
        "  Folder Name=\"My WebPages\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"0\"",
        "    Feed Name=\"Home & Garden\" URL=\"http://home.example/" + tail,
        "    Feed Name=\"Search\" URL=\"http://search.example/?q=a&b" + tail,
    };
    EXPECT_EQ(expected, tree) << xmltest::Difference(expected, tree);
}

TEST_F(DestinationPageTest, ReaderSetupIsDeletedOnlyWhenThePageWasShown) {
    // Shown: closing the wizard deletes the downloaded setup.
    ASSERT_NE(nullptr, OpenAtDestination());
    const std::string shown = ReaderSetup();
    sheet_->destination.SetReaderSetupPath(shown);
    CloseWizard();
    EXPECT_FALSE(pkgtest::Exists(shown));

    // Never shown: the file stays.
    ASSERT_NE(nullptr, sheet_.Open(false));
    const std::string unshown = ReaderSetup();
    sheet_->destination.SetReaderSetupPath(unshown);
    CloseWizard();
    EXPECT_TRUE(pkgtest::Exists(unshown));
}

} // namespace
