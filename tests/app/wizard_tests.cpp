#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "framework/owners.h"
#include "resources/resource.h"
#include "tests/app/wizard_test_support.h"
#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

class WizardTest : public ::testing::Test {
protected:
    void TearDown() override { sheet_.Close(); }
    HWND OpenWizard() { return sheet_.Open(); }
    int ActiveIndex() const { return sheet_->ActiveIndex(); }
    void Press(int button) {
        sheet_->PressButton(button);
        uitest::flush_events();
    }

    ModelessWizard sheet_;
};

TEST_F(WizardTest, PagesAppearInTheirOrder) {
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    // The templates of the pages, read from the sheet itself.
    const std::vector<int> expected = {IDD_WELCOME, IDD_FEEDS,       IDD_WEBPAGES, IDD_DOWNLOAD,
                                       IDD_README,  IDD_DESTINATION, IDD_FINISH};
    std::vector<int> actual;
    for (int i = 0; i < 10; ++i) {
        LRESULT id = ::SendMessageA(sheet, PSM_INDEXTOID, i, 0);
        if (id == 0)
            break;
        actual.push_back(static_cast<int>(id));
    }
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(0, ActiveIndex());
}

TEST_F(WizardTest, CaptionIsInTheTitleBar) {
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ("Welcome to the Ravelin Customizer", uitest::window_text(sheet));
    Press(PSBTN_NEXT);
    Press(PSBTN_NEXT);
    EXPECT_EQ(2, ActiveIndex());
    EXPECT_EQ("Welcome to the Ravelin Customizer", uitest::window_text(sheet));
}

// The maker's host reaches a loopback server through the prefix's proxy setting, and Pullwire is
// registered, so the download page really downloads the reader's setup and moves on by itself.
class NavigationTest : public WizardTest {
public:
    struct Step {
        int button;          // PSBTN_BACK or PSBTN_NEXT
        int expectedIndex;   // the page that is active once the wizard has settled
        const char* buttons; // the usable wizard buttons there
    };

protected:
    void SetUp() override {
        WizardTest::SetUp();
        registered_.emplace();
        ASSERT_TRUE(registered_->Ok());
        testhttp::Reply setup;
        setup.body = pwtest::ProgramBytes(3000);
        server_.Route("/download/rvl/rvl.exe", setup);
        ASSERT_TRUE(server_.Start());
        proxy_.emplace(server_.ProxyAddress());
        ASSERT_TRUE(proxy_->Ok());
        char temp[MAX_PATH + 1] = {};
        DWORD n = ::GetTempPathA(MAX_PATH, temp);
        outputFolder_ = std::string(temp, n) + "rvl-navigation";
        ::CreateDirectoryA(outputFolder_.c_str(), nullptr);
    }
    void TearDown() override {
        WizardTest::TearDown();
        ::DeleteFileA((outputFolder_ + "\\MyNewRVL.exe").c_str());
        ::RemoveDirectoryA(outputFolder_.c_str());
    }

    void Walk(const std::vector<Step>& steps) {
        HWND sheet = OpenWizard();
        ASSERT_NE(nullptr, sheet);
        ASSERT_EQ(0, ActiveIndex());
        ASSERT_EQ("-N-", uitest::wizard_buttons(sheet));
        // The customized setup is built into a folder of the test's own.
        ::SetDlgItemTextA(sheet_->destination.Handle(), IDE_FOLDER, outputFolder_.c_str());
        int from = 0;
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& step = steps[i];
            const char* name = step.button == PSBTN_BACK ? "Back" : "Next";
            Press(step.button);
            uitest::pump_until([&] { return ActiveIndex() == step.expectedIndex; }, 20000);
            EXPECT_EQ(step.expectedIndex, ActiveIndex()) << "step " << i << ": " << name << " from page " << from;
            EXPECT_EQ(step.buttons, uitest::wizard_buttons(sheet))
                << "step " << i << ": " << name << " from page " << from;
            if (ActiveIndex() == kDestinationPage)
                ::SetDlgItemTextA(sheet_->destination.Handle(), IDE_FOLDER, outputFolder_.c_str());
            from = ActiveIndex();
        }
        EXPECT_TRUE(messages_.Records().empty()) << messages_.Records().front().text;
    }

    std::optional<pwtest::RegisteredServer> registered_;
    testhttp::Server server_;
    std::optional<testhttp::SystemProxy> proxy_;
    uitest::MessageBoxRecorder messages_;
    std::string outputFolder_;
};

// With the reader installed, the read-me page follows the download page, and Back from the read-me
// and destination pages never lands on the download page. Next on the web pages page shows the download
// page, which moves on by itself once the setup has arrived (at once when it already has).
const std::vector<NavigationTest::Step> kInstalledWalk = {
    {PSBTN_NEXT, kFeedsPage, "BN-"},       {PSBTN_BACK, kWelcomePage, "-N-"},     {PSBTN_NEXT, kFeedsPage, "BN-"},
    {PSBTN_NEXT, kWebPagesPage, "BN-"},    {PSBTN_BACK, kFeedsPage, "BN-"},       {PSBTN_NEXT, kWebPagesPage, "BN-"},
    {PSBTN_NEXT, kInstructionPage, "BN-"}, {PSBTN_BACK, kWebPagesPage, "BN-"},    {PSBTN_NEXT, kInstructionPage, "BN-"},
    {PSBTN_NEXT, kDestinationPage, "BN-"}, {PSBTN_BACK, kInstructionPage, "BN-"}, {PSBTN_NEXT, kDestinationPage, "BN-"},
    {PSBTN_NEXT, kFinishPage, "B-F"},      {PSBTN_BACK, kDestinationPage, "BN-"}, {PSBTN_NEXT, kFinishPage, "B-F"},
};

// Without the reader, the read-me page is never shown.
const std::vector<NavigationTest::Step> kNotInstalledWalk = {
    {PSBTN_NEXT, kFeedsPage, "BN-"},       {PSBTN_NEXT, kWebPagesPage, "BN-"},    {PSBTN_NEXT, kDestinationPage, "BN-"},
    {PSBTN_BACK, kWebPagesPage, "BN-"},    {PSBTN_NEXT, kDestinationPage, "BN-"}, {PSBTN_NEXT, kFinishPage, "B-F"},
    {PSBTN_BACK, kDestinationPage, "BN-"}, {PSBTN_NEXT, kFinishPage, "B-F"},
};

TEST_F(NavigationTest, ReaderInstalledUnderLocalMachine) {
    ReaderKeyScope key(ReaderKey::LocalMachine, outputFolder_.c_str());
    ASSERT_TRUE(key.Created());
    Walk(kInstalledWalk);
}

TEST_F(NavigationTest, ReaderInstalledOnlyUnderCurrentUser) {
    ReaderKeyScope key(ReaderKey::CurrentUser, outputFolder_.c_str());
    ASSERT_TRUE(key.Created());
    Walk(kInstalledWalk);
}

TEST_F(NavigationTest, ReaderNotInstalled) {
    ReaderKeyScope key(ReaderKey::None);
    Walk(kNotInstalledWalk);
}

TEST_F(WizardTest, FinishClosesTheWizard) {
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    sheet_->SetActivePage(kFinishPage);
    uitest::flush_events();
    ASSERT_EQ(kFinishPage, ActiveIndex());
    Press(PSBTN_FINISH);
    EXPECT_TRUE(sheet_->IsClosed());
}

// Every page but the download page, which refuses while its download runs.
TEST_F(WizardTest, CancelClosesTheWizardFromAnyOtherPage) {
    ReaderKeyScope key(ReaderKey::None);
    for (int page : {kWelcomePage, kFeedsPage, kWebPagesPage, kInstructionPage, kDestinationPage, kFinishPage}) {
        HWND sheet = OpenWizard();
        ASSERT_NE(nullptr, sheet);
        sheet_->SetActivePage(page);
        uitest::flush_events();
        ASSERT_EQ(page, ActiveIndex());
        Press(PSBTN_CANCEL);
        EXPECT_TRUE(sheet_->IsClosed()) << "Cancel on page " << page;
        sheet_->Destroy();
    }
}

// Cancel and every other way of closing ask first while feeds or web pages would be lost; a close request
// that reaches the hidden main window takes the same path.
TEST_F(WizardTest, ClosingAsksOnlyWhileAddedFeedsOrPagesWouldBeLost) {
    ASSERT_TRUE(fw::Window::RegisterWindowClass(fw::ThisModule(), "RvlTestMainWindow"));
    enum Data { Nothing, Feed, WebPage };
    enum Way { CancelButton, CloseBox, MainWindowClose };
    const struct {
        const char* name;
        Data data;
        Way way;
        int answer;
        bool asked, closed;
    } cases[] = {
        {"Cancel, nothing added", Nothing, CancelButton, IDNO, false, true},
        {"Cancel with a feed, No", Feed, CancelButton, IDNO, true, false},
        {"Cancel with a web page, Yes", WebPage, CancelButton, IDYES, true, true},
        {"close box with a feed, No", Feed, CloseBox, IDNO, true, false},
        {"main window asked to close, nothing added", Nothing, MainWindowClose, IDNO, false, true},
        {"main window asked to close with a feed, No", Feed, MainWindowClose, IDNO, true, false},
        {"main window asked to close with a feed, Yes", Feed, MainWindowClose, IDYES, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMainWindow main;
        ASSERT_TRUE(main.Create(fw::ThisModule(), "RvlTestMainWindow", "", WS_POPUP));
        HWND sheet = OpenWizard();
        ASSERT_NE(nullptr, sheet);
        sheet_->SetActivePage(kWebPagesPage);
        uitest::flush_events();
        if (c.data == Feed) {
            CFeedFolder folder("Added");
            folder.Add("One", "http://one.example/");
            sheet_->feeds.Folders().AppendFolder(folder);
        } else if (c.data == WebPage) {
            ASSERT_TRUE(sheet_->webPages.List().AddWebPageRow("Page", "http://page.example/"));
        }
        uitest::MessageBoxRecorder boxes(c.answer);
        if (c.way == CancelButton)
            Press(PSBTN_CANCEL);
        else
            ::SendMessageA(c.way == CloseBox ? sheet : main.Handle(), WM_CLOSE, 0, 0);
        uitest::flush_events();
        ASSERT_EQ(c.asked ? 1u : 0u, boxes.Records().size());
        if (c.asked) {
            EXPECT_EQ(kCloseQuestion, boxes.Records()[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2),
                      boxes.Records()[0].flags & (MB_TYPEMASK | MB_DEFMASK));
        }
        EXPECT_EQ(c.closed, sheet_->IsClosed());
        EXPECT_TRUE(::IsWindow(main.Handle())) << "the main window outlives the wizard's own end";
        sheet_.Close();
        main.Destroy();
    }
    fw::Window::UnregisterWindowClass(fw::ThisModule(), "RvlTestMainWindow");
}

TEST_F(WizardTest, EndingTheSheetObjectTakesItsWindowsAlong) {
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    Press(PSBTN_NEXT);
    HWND page = reinterpret_cast<HWND>(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(nullptr, page);
    sheet_.Release();
    uitest::flush_events();
    EXPECT_FALSE(::IsWindow(sheet));
    EXPECT_FALSE(::IsWindow(page));
}

TEST_F(WizardTest, EveryPageHasItsHelpTopic) {
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    const std::vector<std::string> expected = {"index.htm",
                                               "addingFeeds.htm",
                                               "addingWebpages.htm",
                                               "downloadingSetup.htm",
                                               "InstructionScreen.htm",
                                               "selectingFolder.htm",
                                               "selectingFolder.htm"};
    std::vector<std::string> actual;
    for (int i = 0; i < sheet_->PageCount(); ++i)
        actual.push_back(static_cast<CWizardPage*>(sheet_->Page(i))->HelpTopic());
    EXPECT_EQ(expected, actual);
}

TEST_F(WizardTest, HelpWithoutTheHelpFileLeavesTheWizardWorking) {
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    Press(PSBTN_NEXT);
    EXPECT_TRUE(uitest::press_button(sheet, IDHELP));
    uitest::flush_events();
    EXPECT_EQ(kFeedsPage, ActiveIndex());
    Press(PSBTN_NEXT);
    EXPECT_EQ(kWebPagesPage, ActiveIndex());
}

TEST(FeedsPage, NamesItsFirstFolderFromTheStringTable) {
    CCustomizationPage page;
    EXPECT_EQ("My Feeds", page.Folders().DefaultFolderName());
}

bool KeyInView(HKEY root, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, kReaderUninstallKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// A 32-bit reader setup writes its key in the 32-bit registry view and a 64-bit one in the 64-bit view;
// HKEY_CURRENT_USER\Software is one key in both views. The wizard of either width finds each.
TEST(ReaderInstalled, FollowsTheUninstallKey) {
    struct Case {
        ReaderKey key;
        REGSAM view;
        bool installed;
        bool in32;
        bool in64;
        const char* name;
    } cases[] = {
        {ReaderKey::None, 0, false, false, false, "no key"},
        {ReaderKey::LocalMachine, 0, true, sizeof(void*) == 4, sizeof(void*) == 8, "HKEY_LOCAL_MACHINE"},
        {ReaderKey::LocalMachine, KEY_WOW64_32KEY, true, true, false, "HKEY_LOCAL_MACHINE, 32-bit view only"},
        {ReaderKey::LocalMachine, KEY_WOW64_64KEY, true, false, true, "HKEY_LOCAL_MACHINE, 64-bit view only"},
        {ReaderKey::CurrentUser, 0, true, true, true, "HKEY_CURRENT_USER only"},
        {ReaderKey::CurrentUser, KEY_WOW64_32KEY, true, true, true, "HKEY_CURRENT_USER by a 32-bit setup"},
        {ReaderKey::CurrentUser, KEY_WOW64_64KEY, true, true, true, "HKEY_CURRENT_USER by a 64-bit setup"},
    };
    for (const Case& c : cases) {
        ReaderKeyScope key(c.key, nullptr, c.view);
        ASSERT_EQ(c.key != ReaderKey::None, key.Created()) << c.name;
        const HKEY root = c.key == ReaderKey::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        // Where the key really is: the cases are worth something only if the views are apart.
        EXPECT_EQ(c.in32, KeyInView(root, KEY_WOW64_32KEY)) << c.name;
        EXPECT_EQ(c.in64, KeyInView(root, KEY_WOW64_64KEY)) << c.name;
        EXPECT_EQ(c.installed, IsReaderInstalled()) << c.name;
    }
    EXPECT_FALSE(IsReaderInstalled()) << "the keys are removed again";
}

TEST(HelpFile, IsBesideTheProgramWhateverTheCurrentFolder) {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string folder(module);
    folder.resize(folder.rfind('\\'));
    const std::string expected = folder + "\\Help\\RVLCustomizer.chm";

    char saved[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, saved);
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    for (std::string current : {std::string(temp), std::string("C:\\")}) {
        ASSERT_TRUE(::SetCurrentDirectoryA(current.c_str()));
        EXPECT_EQ(expected, HelpFilePath()) << "current folder " << current;
    }
    ::SetCurrentDirectoryA(saved);
}

} // namespace
