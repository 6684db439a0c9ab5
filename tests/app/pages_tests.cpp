// The welcome, read-me and finish pages in a modeless wizard: what they show, and what Next and
// Finish do to the reader's files, to a running reader and through the shell.
#include "app/hyperlink_button.h"
#include "app/shell_open.h"
#include "app/version_info.h"
#include "app/welcome_page.h"
#include "tests/app/wizard_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct ShellCall {
    std::string verb;
    std::string file;
    int show;
    bool operator==(const ShellCall& o) const { return verb == o.verb && file == o.file && show == o.show; }
};
std::ostream& operator<<(std::ostream& os, const ShellCall& c) {
    return os << "{" << c.verb << ", " << c.file << ", " << c.show << "}";
}

// Records the shell calls of the pages instead of starting anything.
class ShellRecorder {
public:
    ShellRecorder() {
        previous_ = SetShellOpenHook([this](HWND, const std::string& verb, const std::string& file, int show) {
            calls.push_back({verb, file, show});
            return true;
        });
    }
    ~ShellRecorder() { SetShellOpenHook(previous_); }
    std::vector<ShellCall> calls;

private:
    ShellOpenHook previous_;
};

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, sheet_.Open()); }
    void Show(int index) {
        sheet_->SetActivePage(index);
        uitest::flush_events();
        ASSERT_EQ(index, sheet_->ActiveIndex());
    }
    void Press(int button) {
        sheet_->PressButton(button);
        uitest::flush_events();
    }
    HWND Page(int index) const { return sheet_->Page(index)->Handle(); }

    ModelessWizard sheet_;
};

TEST(DisplayVersion, JoinsThePartsAfterTheFirstAndDropsTrailingZeros) {
    const struct {
        const char* fileVersion;
        const char* shown;
    } cases[] = {
        {"2, 10, 0, 0", "2.1"},
        {"1, 2, 3, 0", "1.23"},
        {"1, 0, 0, 0", "1.0"},
        {"  1, 2, 0, 0  ", "1.2"},
        {"3,4,5,6", "3.456"},
        {"1.2.3.0", ""},
        {"", ""},
        {"7, 0", "7.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shown, DisplayVersion(c.fileVersion)) << "FileVersion \"" << c.fileVersion << "\"";
}

// The version values as the platform's own reader of version resources finds them in this program.
std::string PlatformVersionValue(const char* name) {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    DWORD ignored = 0;
    std::vector<char> block(::GetFileVersionInfoSizeA(module, &ignored));
    if (block.empty() || !::GetFileVersionInfoA(module, 0, static_cast<DWORD>(block.size()), block.data()))
        return std::string();
    WORD* translation = nullptr;
    UINT size = 0;
    if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size) ||
        size < 4)
        return std::string();
    char path[128];
    snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
    char* value = nullptr;
    if (!::VerQueryValueA(block.data(), path, reinterpret_cast<void**>(&value), &size) || !value)
        return std::string();
    return value;
}

TEST_F(PagesTest, WelcomeShowsVersionLegalNoticeAndTheArticleLink) {
    const std::string fileVersion = PlatformVersionValue("FileVersion");
    ASSERT_NE(std::string::npos, fileVersion.find(',')) << fileVersion;
    HWND page = Page(kWelcomePage);
    const std::string line = uitest::item_text(page, IDT_VERSION);
    EXPECT_EQ("Ravelin Customizer " + DisplayVersion(fileVersion), line);
    EXPECT_NE("Ravelin Customizer ", line);
    EXPECT_EQ(PlatformVersionValue("LegalCopyright"), uitest::item_text(page, IDT_COPYRIGHT));
    EXPECT_EQ(0u, uitest::item_text(page, IDT_COPYRIGHT).find("Copyright"));

    HWND link = ::GetDlgItem(page, IDC_ARTICLE_LINK);
    ASSERT_NE(nullptr, link);
    char className[32] = {};
    ::GetClassNameA(link, className, sizeof className);
    EXPECT_STREQ("Button", className);
    EXPECT_EQ(static_cast<LONG_PTR>(BS_OWNERDRAW), ::GetWindowLongPtrA(link, GWL_STYLE) & BS_TYPEMASK);
    EXPECT_EQ("Read a detailed article on how to create a custom version...", uitest::window_text(link));
    // Without the old help program's cursor, the link shows the system's hand.
    ASSERT_NE(nullptr, CHyperlinkButton::HandCursor());
    ::SendMessageA(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(CHyperlinkButton::HandCursor(), ::GetCursor());

    ShellRecorder shell;
    ::SendMessageA(link, BM_CLICK, 0, 0);
    uitest::flush_events();
    const std::vector<ShellCall> expected = {
        {"Open", "http://www.corvane.com/Resources/articles/rvlc_makeyourown_customversion.aspx", SW_SHOWMAXIMIZED}};
    EXPECT_EQ(expected, shell.calls);
    EXPECT_EQ(kWelcomePage, sheet_->ActiveIndex());
}

// A reader on a thread of its own: its mutex and a window of its instance class, until it is told to quit.
class RunningReader {
public:
    explicit RunningReader(bool withWindow) {
        thread_ = std::thread([this, withWindow] {
            HANDLE mutex = ::CreateMutexA(nullptr, FALSE, kReaderInstanceName);
            HWND window = nullptr;
            if (withWindow) {
                WNDCLASSA wc = {};
                wc.lpfnWndProc = ::DefWindowProcA;
                wc.hInstance = ::GetModuleHandleA(nullptr);
                wc.lpszClassName = kReaderInstanceName;
                ::RegisterClassA(&wc);
                window = ::CreateWindowExA(0, kReaderInstanceName, "Ravelin", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                           nullptr, wc.hInstance, nullptr);
            }
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            threadId_ = ::GetCurrentThreadId();
            ::SetEvent(ready_);
            while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
                ::DispatchMessageA(&msg);
            quit_ = msg.message == WM_QUIT && msg.wParam == 0 && !stopping_;
            if (window)
                ::DestroyWindow(window);
            ::UnregisterClassA(kReaderInstanceName, ::GetModuleHandleA(nullptr));
            ::CloseHandle(mutex);
        });
        ::WaitForSingleObject(ready_, 5000);
    }
    ~RunningReader() {
        stopping_ = true;
        ::PostThreadMessageA(threadId_, WM_QUIT, 1, 0);
        thread_.join();
        ::CloseHandle(ready_);
    }
    // Whether the reader was told to quit (rather than stopped by the test).
    bool WasToldToQuit() {
        for (int i = 0; i < 100 && !quit_; ++i)
            ::Sleep(20);
        return quit_;
    }

private:
    HANDLE ready_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread thread_;
    DWORD threadId_ = 0;
    volatile bool quit_ = false;
    volatile bool stopping_ = false;
};

std::string TempFolder(const char* name) {
    char temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp, n) + name;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}
void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
// The file's text, or "(absent)".
std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "(absent)";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(PagesTest, ReadMeNextBacksUpTheReaderFilesAndClosesTheReader) {
    const std::string folder = TempFolder("rvl-reader");
    const std::string feeds = folder + "\\Ravelin.xml", pages = folder + "\\WebPages.xml";
    enum Reader { NotRunning, Running, RunningWithoutWindow };
    const struct {
        const char* name;
        std::string appPath; // empty: no value
        Reader reader;
        bool files;     // the reader's two files exist
        bool oldBackup; // an older Ravelin.xml.bak exists
        int page;       // where Next leads
    } cases[] = {
        {"folder without backslash, files, older backup", folder, NotRunning, true, true, kDestinationPage},
        {"folder with backslash, files", folder + "\\", NotRunning, true, false, kDestinationPage},
        {"no files", folder, NotRunning, false, true, kDestinationPage},
        {"reader running", folder, Running, true, false, kDestinationPage},
        {"reader running, no window", folder, RunningWithoutWindow, true, false, kInstructionPage},
        {"no installation folder", "", NotRunning, true, false, kInstructionPage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileA((feeds + ".bak").c_str());
        ::DeleteFileA((feeds + ".2.bak").c_str());
        ::DeleteFileA((pages + ".bak").c_str());
        ::DeleteFileA(feeds.c_str());
        ::DeleteFileA(pages.c_str());
        if (c.files) {
            Write(feeds, "publisher's feeds");
            Write(pages, "publisher's pages");
        }
        if (c.oldBackup)
            Write(feeds + ".bak", "older feeds");
        ReaderKeyScope key(ReaderKey::LocalMachine, c.appPath.empty() ? nullptr : c.appPath.c_str());
        ASSERT_TRUE(key.Created());
        std::unique_ptr<RunningReader> reader;
        if (c.reader != NotRunning)
            reader = std::make_unique<RunningReader>(c.reader == Running);
        uitest::MessageBoxRecorder messages;

        Show(kInstructionPage);
        Press(PSBTN_NEXT);
        EXPECT_EQ(c.page, sheet_->ActiveIndex());
        EXPECT_TRUE(messages.Records().empty());
        const bool moved = c.page == kDestinationPage;
        if (c.reader == Running) {
            EXPECT_TRUE(reader->WasToldToQuit());
        }
        const std::string feedsAfter = moved ? "(absent)" : (c.files ? "publisher's feeds" : "(absent)");
        const std::string pagesAfter = moved ? "(absent)" : (c.files ? "publisher's pages" : "(absent)");
        EXPECT_EQ(feedsAfter, Read(feeds));
        EXPECT_EQ(pagesAfter, Read(pages));
        // An older backup is never replaced: the new one takes the next number.
        const std::string feedsBackup =
            c.oldBackup ? "older feeds" : (moved && c.files ? "publisher's feeds" : "(absent)");
        EXPECT_EQ(feedsBackup, Read(feeds + ".bak"));
        EXPECT_EQ(moved && c.files && c.oldBackup ? "publisher's feeds" : "(absent)", Read(feeds + ".2.bak"));
        EXPECT_EQ(moved && c.files ? "publisher's pages" : "(absent)", Read(pages + ".bak"));
    }
    // Two more runs of the wizard after the first backup: each keeps the backups before it.
    Write(feeds + ".bak", "older feeds");
    for (const char* run : {"second run", "third run"}) {
        Write(feeds, run);
        BackUpReaderFile(feeds);
    }
    EXPECT_EQ("(absent)", Read(feeds));
    EXPECT_EQ("older feeds", Read(feeds + ".bak"));
    EXPECT_EQ("second run", Read(feeds + ".2.bak"));
    EXPECT_EQ("third run", Read(feeds + ".3.bak"));
    for (const char* suffix : {".bak", ".2.bak", ".3.bak"}) {
        ::DeleteFileA((feeds + suffix).c_str());
        ::DeleteFileA((pages + suffix).c_str());
    }
    ::RemoveDirectoryA(folder.c_str());
}

TEST_F(PagesTest, ReadMeShowsTheNote) {
    Show(kInstructionPage);
    EXPECT_EQ(0u, uitest::item_text(Page(kInstructionPage), IDT_NOTE)
                      .find("The RVL Customizer has detected that you have Ravelin installed on this system.\n\n"));
}

TEST_F(PagesTest, FinishShowsTheTitleAndThePathWithoutExe) {
    sheet_->finish.SetDestinationFolder("C:\\Out");
    sheet_->finish.SetSetupName("Setup");
    sheet_->finish.SetOutputPath("C:\\Out\\Setup.exe");
    Show(kFinishPage);
    HWND page = Page(kFinishPage);
    EXPECT_EQ("Completed Ravelin\x92s Customization", uitest::item_text(page, IDT_TITLE));
    EXPECT_EQ("C:\\Out\\Setup", uitest::item_text(page, IDE_SETUP_PATH));
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(page, IDX_OPEN_FOLDER));
    EXPECT_EQ(BST_UNCHECKED, ::IsDlgButtonChecked(page, IDX_RUN_SETUP));

    // The boxes keep what the user chose across Back and Next.
    ::SendDlgItemMessageA(page, IDX_OPEN_FOLDER, BM_CLICK, 0, 0);
    ::SendDlgItemMessageA(page, IDX_RUN_SETUP, BM_CLICK, 0, 0);
    Press(PSBTN_BACK);
    ASSERT_EQ(kDestinationPage, sheet_->ActiveIndex());
    Show(kFinishPage);
    EXPECT_EQ(BST_UNCHECKED, ::IsDlgButtonChecked(page, IDX_OPEN_FOLDER));
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(page, IDX_RUN_SETUP));
}

TEST(FinishPage, FinishOpensTheFolderAndRunsTheSetupAsChecked) {
    const struct {
        bool open, run;
        std::vector<ShellCall> calls;
    } cases[] = {
        {false, false, {}},
        {true, false, {{"explore", "C:\\Out", SW_SHOWMAXIMIZED}}},
        {false, true, {{"Open", "C:\\Out\\Setup.exe", SW_HIDE}}},
        {true, true, {{"explore", "C:\\Out", SW_SHOWMAXIMIZED}, {"Open", "C:\\Out\\Setup.exe", SW_HIDE}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "open " << c.open << ", run " << c.run);
        ModelessWizard sheet;
        ASSERT_NE(nullptr, sheet.Open());
        sheet->finish.SetDestinationFolder("C:\\Out");
        sheet->finish.SetSetupName("Setup");
        sheet->finish.SetOutputPath("C:\\Out\\Setup.exe");
        sheet->SetActivePage(kFinishPage);
        uitest::flush_events();
        HWND page = sheet->finish.Handle();
        ::CheckDlgButton(page, IDX_OPEN_FOLDER, c.open ? BST_CHECKED : BST_UNCHECKED);
        ::CheckDlgButton(page, IDX_RUN_SETUP, c.run ? BST_CHECKED : BST_UNCHECKED);
        ShellRecorder shell;
        sheet->PressButton(PSBTN_FINISH);
        uitest::flush_events();
        EXPECT_EQ(c.calls, shell.calls);
        EXPECT_TRUE(sheet->IsClosed());
    }
}

} // namespace
