// The download page in a modeless wizard on the test's thread: Pullwire is registered in the test
// prefix, and the maker's host reaches the loopback server through the prefix's proxy setting.
#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "builder/setup_file.h"
#include "download/page/download_setup_page.h"
#include "download/page/progress_text.h"
#include "fetch/fetch_session.h"
#include "framework/owners.h"
#include "resources/resource.h"
#include "tests/app/wizard_test_support.h"
#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kSetupPath[] = "/download/rvl/rvl.exe";
const char kMakerHost[] = "www.corvane.com";
const char kCaption[] = "Ravelin Customizer";

std::string InputFolderSetup() {
    char temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp, n) + "RVLCustomizerInput\\rvl.exe";
}

// A reply that WinINet does not keep in its cache, so that every attempt reaches the server.
testhttp::Reply NoStore(testhttp::Reply reply) {
    reply.headers.push_back({"Cache-Control", "no-store"});
    return reply;
}

// The maker's setup: the stand-in reader setup signed as the maker.
const std::string& MakersSetup() {
    static const std::string setup = pwtest::StandinSetup("signed");
    return setup;
}

testhttp::Reply SetupReply(const std::string& body = MakersSetup()) {
    testhttp::Reply reply;
    reply.body = body;
    return NoStore(reply);
}

// The setup in pieces of 1024 bytes; the first slowBytes come each after pieceDelayMs, the rest at once.
// After stallAfter bytes the server falls silent.
testhttp::Reply SetupInPieces(size_t slowBytes, unsigned pieceDelayMs, size_t stallAfter = SIZE_MAX) {
    testhttp::Reply reply = SetupReply();
    reply.chunkSize = 1024;
    reply.delayMs = pieceDelayMs;
    reply.delayedBytes = slowBytes;
    reply.stallAfter = stallAfter;
    return reply;
}

class DownloadPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Put back a component that a test which ended early left aside.
        ::MoveFileA(AsidePath().c_str(), pwtest::ModulePath().c_str());
        ASSERT_GT(MakersSetup().size(), 8192u) << "the signed stand-in reader setup beside the test";
        ::DeleteFileA(InputFolderSetup().c_str());
    }
    static std::string AsidePath() { return pwtest::ModulePath() + ".aside"; }
    void TearDown() override {
        CloseWizard();
        ::DeleteFileA(InputFolderSetup().c_str());
    }
    void CloseWizard() { sheet_.Close(); }
    // Registers Pullwire and routes every host to the loopback server.
    void StartServer() {
        registered_.emplace();
        ASSERT_TRUE(registered_->Ok());
        ASSERT_TRUE(server_.Start());
        proxy_.emplace(server_.ProxyAddress());
        ASSERT_TRUE(proxy_->Ok());
    }
    // StartServer, with the reply to the request for the setup.
    void ServeSetup(const testhttp::Reply& reply) {
        StartServer();
        server_.Route(kSetupPath, reply);
    }
    HWND OpenWizard() { return sheet_.Open(); }
    // Next on the web pages page, as the user reaches the download page.
    void NextFromWebPages() {
        sheet_->SetActivePage(kWebPagesPage);
        uitest::flush_events();
        sheet_->PressButton(PSBTN_NEXT);
    }
    bool WaitForPage(int index, DWORD timeoutMs = 20000) {
        return uitest::pump_until([&] { return sheet_->ActiveIndex() == index; }, timeoutMs);
    }
    size_t SetupRequests() const {
        size_t n = 0;
        for (const testhttp::Request& r : server_.Requests())
            if (r.path == kSetupPath)
                ++n;
        return n;
    }
    HWND Page() const { return sheet_->download.Handle(); }

    std::optional<pwtest::RegisteredServer> registered_;
    testhttp::Server server_;
    std::optional<testhttp::SystemProxy> proxy_;
    ModelessWizard sheet_;
};

TEST_F(DownloadPageTest, RequestsTheSetupFromTheMakersHost) {
    ServeSetup(SetupReply());
    ASSERT_NE(nullptr, OpenWizard());
    NextFromWebPages();
    ASSERT_TRUE(WaitForPage(kDestinationPage));
    std::vector<testhttp::Request> requests = server_.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ(kMakerHost, requests[0].host);
    EXPECT_EQ(kSetupPath, requests[0].path);
    EXPECT_EQ("http://www.corvane.com/download/rvl/rvl.exe", sheet_->download.DownloadAddress());
}

// A completed download lands in the customization input folder, hands its path to the destination
// page and moves the wizard on: past the read-me page unless the reader is installed.
TEST_F(DownloadPageTest, SuccessMovesOnWithTheSetupPath) {
    ServeSetup(SetupReply());
    const std::string& body = MakersSetup();
    const struct {
        ReaderKey reader;
        int expectedPage;
    } cases[] = {{ReaderKey::None, kDestinationPage}, {ReaderKey::CurrentUser, kInstructionPage}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expectedPage == kDestinationPage ? "reader not installed" : "reader installed");
        ReaderKeyScope reader(c.reader);
        ASSERT_NE(nullptr, OpenWizard());
        NextFromWebPages();
        EXPECT_TRUE(WaitForPage(c.expectedPage)) << "active page " << sheet_->ActiveIndex();
        EXPECT_EQ(InputFolderSetup(), sheet_->destination.ReaderSetupPath());
        EXPECT_EQ(InputFolderSetup(), sheet_->download.ReaderSetupPath());
        EXPECT_EQ(body, pwtest::ReadFileBytes(InputFolderSetup()));
        CloseWizard();
    }
}

// The page moves on by itself; until then no wizard button but Cancel can be used.
TEST_F(DownloadPageTest, WizardButtonsAreOffWhileDownloading) {
    ServeSetup(SetupInPieces(4096, 300));
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return SetupRequests() == 1; }));
    uitest::flush_events();
    EXPECT_EQ(kDownloadPage, sheet_->ActiveIndex());
    EXPECT_EQ("---", uitest::wizard_buttons(sheet));
    EXPECT_TRUE(uitest::is_enabled(sheet, IDCANCEL));
    ASSERT_TRUE(WaitForPage(kDestinationPage));
}

// Before the first progress event only the status line and the progress bar show; the event brings
// the rate label and the three texts.
TEST_F(DownloadPageTest, ProgressEventShowsTheTexts) {
    ServeSetup(SetupInPieces(2048, 700));
    ASSERT_NE(nullptr, OpenWizard());
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return SetupRequests() == 1; }));
    uitest::flush_events();
    HWND page = Page();
    EXPECT_EQ("Downloading setup of Ravelin...", uitest::item_text(page, IDT_STATUS));
    EXPECT_TRUE(uitest::is_visible(page, IDC_PROGRESS));
    EXPECT_FALSE(uitest::is_visible(page, IDT_RATE_LABEL));
    EXPECT_EQ("", uitest::item_text(page, IDT_SIZES));

    // The page keeps the texts of the last progress event when it moves on.
    ASSERT_TRUE(WaitForPage(kDestinationPage));
    const long size = static_cast<long>(MakersSetup().size());
    EXPECT_EQ(FormatSizesText(size, size), uitest::item_text(page, IDT_SIZES));
    EXPECT_EQ("100% downloading completed", uitest::item_text(page, IDT_PERCENT));
    std::string rate = uitest::item_text(page, IDT_RATE);
    EXPECT_NE(std::string::npos, rate.find(" KB/Sec")) << rate;
    EXPECT_EQ(100, ::SendDlgItemMessageA(page, IDC_PROGRESS, PBM_GETPOS, 0, 0));
    // The page itself is hidden now: the label's own style tells.
    EXPECT_NE(0, ::GetWindowLongA(::GetDlgItem(page, IDT_RATE_LABEL), GWL_STYLE) & WS_VISIBLE);
}

// A download that fails, or that brings anything but the maker's signed setup, is reported and goes back
// to the web pages page; nothing of it is left for a build to pack, and Next there starts a new download.
TEST_F(DownloadPageTest, OnlyTheMakersIntactSetupIsAccepted) {
    StartServer();
    const std::string& setup = MakersSetup();
    std::string changed = setup;
    changed[changed.size() / 2] ^= 0x20;
    // Cut short at 6000 bytes by an orderly close: with the full Content-Length announced, without any,
    // and as a chunked body without its last chunk.
    testhttp::Reply announced = SetupReply();
    announced.closeAfter = 6000;
    testhttp::Reply unannounced = announced;
    unannounced.contentLength = false;
    testhttp::Reply chunked = announced;
    chunked.chunked = true;
    chunked.chunkSize = 1024;
    testhttp::Reply dropped = SetupReply();
    dropped.dropAfter = 1500;
    testhttp::Reply notFound = SetupReply("<html>Not Found</html>");
    notFound.status = 404;
    uitest::MessageBoxRecorder messages;
    ASSERT_NE(nullptr, OpenWizard());

    const std::string failed = "The setup of Ravelin could not be downloaded.\n\n";
    const std::string again = "\n\nPlease try again.";
    const std::string notSigned = failed + "The downloaded file is not signed by Corvane." + again;
    const std::string damaged = failed + "The downloaded file is damaged." + again;
    const std::string notAProgram = failed + "What the server sent is not a Windows program." + again;
    const struct {
        const char* what;
        testhttp::Reply reply;
        std::string message; // empty: any text after the first line
    } attempts[] = {
        {"unsigned", SetupReply(pwtest::StandinSetup("")), notSigned},
        {"signed by another name", SetupReply(pwtest::StandinSetup("foreign")), notSigned},
        {"another product of the maker's", SetupReply(pwtest::StandinSetup("other-product")),
         failed + "The downloaded file is not the setup of Ravelin: it says it is \"Corvane Notes\"." + again},
        {"one byte changed", SetupReply(changed), damaged},
        {"cut short, length announced", announced,
         failed + "The transfer was cut short: 6000 of " + std::to_string(setup.size()) + " bytes arrived." + again},
        {"cut short, no length", unannounced, damaged},
        {"chunked, cut short", chunked, damaged},
        {"connection dropped", dropped, ""},
        {"HTML page", SetupReply("<html><body>Our downloads have moved.</body></html>" + std::string(2000, ' ')),
         notAProgram},
        {"404 page", notFound, notAProgram},
    };
    size_t attempt = 0;
    for (const auto& a : attempts) {
        SCOPED_TRACE(a.what);
        server_.Route(kSetupPath, a.reply);
        NextFromWebPages();
        ++attempt;
        ASSERT_TRUE(uitest::pump_until([&] { return SetupRequests() == attempt; }, 20000));
        ASSERT_TRUE(uitest::pump_until([&] { return messages.Records().size() == attempt; }, 20000));
        uitest::flush_events();
        EXPECT_EQ(kWebPagesPage, sheet_->ActiveIndex());
        const uitest::MessageRecord& message = messages.Records().back();
        if (a.message.empty())
            EXPECT_EQ(0u, message.text.rfind(failed, 0)) << message.text;
        else
            EXPECT_EQ(a.message, message.text);
        EXPECT_GT(message.text.size(), failed.size() + strlen("Please try again.")) << "no reason given";
        EXPECT_EQ(kCaption, message.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), message.Icon());
        EXPECT_FALSE(pwtest::FileExists(InputFolderSetup())) << "a build could pack what arrived";
        EXPECT_EQ("", sheet_->destination.ReaderSetupPath());
        EXPECT_FALSE(sheet_->download.Done());
    }

    server_.Route(kSetupPath, SetupReply());
    NextFromWebPages();
    ASSERT_TRUE(WaitForPage(kDestinationPage));
    EXPECT_EQ(attempt, messages.Records().size());
    EXPECT_EQ(InputFolderSetup(), sheet_->destination.ReaderSetupPath());
    EXPECT_EQ(setup, pwtest::ReadFileBytes(InputFolderSetup()));
}

// After Open Setup, a download older than the reader setup inside the opened setup is asked about, No by
// default: No counts as a failed download, Yes takes it.
TEST_F(DownloadPageTest, AfterOpenSetupAnOlderSetupIsTakenOnlyWhenTheUserSaysYes) {
    const std::string older = pwtest::StandinSetup("older");
    ASSERT_FALSE(older.empty());
    ServeSetup(SetupReply(older));
    pkg::MemoryInput reader(MakersSetup());
    pkg::MemoryOutput package;
    ASSERT_EQ(pkg::kSuccess,
              pkg::WritePackage("MZ stand-in extractor", {{"rvl.exe", &reader, MakersSetup().size()}}, package));
    const pwtest::TempFolder folder;
    const std::string opened = folder.Path("opened.exe");
    FILE* file = std::fopen(opened.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fwrite(package.bytes.data(), 1, package.bytes.size(), file);
    std::fclose(file);
    uitest::MessageBoxRecorder messages(IDNO);
    ASSERT_NE(nullptr, OpenWizard());
    ASSERT_TRUE(sheet_->welcome.OpenSetup(opened));

    const std::string versions = "The downloaded setup of Ravelin is version 2.9.1.0, older than version 2.10.0.0 in "
                                 "the opened setup.";
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return messages.Records().size() == 2; }, 20000));
    uitest::flush_events();
    const uitest::MessageRecord& question = messages.Records()[0];
    EXPECT_EQ(versions + "\n\nBuild the customized setup with the older version?", question.text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), question.Buttons());
    EXPECT_EQ(static_cast<UINT>(MB_DEFBUTTON2), question.flags & MB_DEFMASK);
    EXPECT_EQ("The setup of Ravelin could not be downloaded.\n\n" + versions + "\n\nPlease try again.",
              messages.Records()[1].text);
    EXPECT_EQ(kWebPagesPage, sheet_->ActiveIndex());
    EXPECT_FALSE(pwtest::FileExists(InputFolderSetup())) << "a build could pack what was refused";

    messages.SetAnswer(IDYES);
    NextFromWebPages();
    ASSERT_TRUE(WaitForPage(kDestinationPage));
    EXPECT_EQ(3u, messages.Records().size());
    EXPECT_EQ(older, pwtest::ReadFileBytes(InputFolderSetup()));
    EXPECT_EQ(InputFolderSetup(), sheet_->destination.ReaderSetupPath());
}

// A server that stops sending cannot hold the wizard: after a minute without data the download fails.
TEST_F(DownloadPageTest, StalledServerIsReportedAfterAMinute) {
    ServeSetup(SetupInPieces(8192, 0, 2048));
    uitest::MessageBoxRecorder messages;
    ASSERT_NE(nullptr, OpenWizard());
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return !messages.Records().empty(); }, 90000));
    uitest::flush_events();
    EXPECT_EQ(kWebPagesPage, sheet_->ActiveIndex());
    ASSERT_EQ(1u, messages.Records().size());
    EXPECT_EQ("The setup of Ravelin could not be downloaded.\n\nNo data arrived for 60 seconds: the transfer was "
              "stopped.\n\nPlease try again.",
              messages.Records()[0].text);
    EXPECT_FALSE(pwtest::FileExists(InputFolderSetup()));
}

TEST_F(DownloadPageTest, UnreachableHostWarnsAndGoesBack) {
    registered_.emplace();
    ASSERT_TRUE(registered_->Ok());
    proxy_.emplace("127.0.0.1:" + std::to_string(testhttp::ClosedPort()));
    ASSERT_TRUE(proxy_->Ok());
    uitest::MessageBoxRecorder messages;
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return !messages.Records().empty(); }, 30000));
    uitest::flush_events();
    EXPECT_EQ(kWebPagesPage, sheet_->ActiveIndex());
    ASSERT_EQ(1u, messages.Records().size());
    // The warning names the cause in WinINet's words.
    EXPECT_EQ("The setup of Ravelin could not be downloaded.\n\n" +
                  CFetchSession::ErrorText(ERROR_INTERNET_CANNOT_CONNECT) + "\n\nPlease try again.",
              messages.Records()[0].text);
    EXPECT_EQ("BN-", uitest::wizard_buttons(sheet));
    EXPECT_FALSE(sheet_->download.Done());
}

// Without the component nothing would ever end the wait: the page says so and goes back. The program's
// manifest names the Pullwire.dll beside it, so the component is missing when that file is.
TEST_F(DownloadPageTest, MissingComponentIsReportedAndGoesBack) {
    ASSERT_TRUE(::MoveFileA(pwtest::ModulePath().c_str(), AsidePath().c_str())) << ::GetLastError();
    struct PutBack {
        ~PutBack() { ::MoveFileA(AsidePath().c_str(), pwtest::ModulePath().c_str()); }
    } putBack;
    uitest::MessageBoxRecorder messages;
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return !messages.Records().empty(); }));
    uitest::flush_events();
    EXPECT_EQ(kWebPagesPage, sheet_->ActiveIndex());
    EXPECT_EQ("BN-", uitest::wizard_buttons(sheet));
    ASSERT_EQ(1u, messages.Records().size());
    EXPECT_EQ("Customizer could not start the download of the latest setup of Ravelin.\nPlease try again.",
              messages.Records()[0].text);
    EXPECT_EQ(kCaption, messages.Records()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), messages.Records()[0].Icon());
}

// Cancel while the setup downloads asks whether to stop: No lets the download go on; Yes stops it, also
// while the server sends nothing at all, removes the file and closes the wizard. After the download,
// Cancel closes without that question.
TEST_F(DownloadPageTest, CancelAsksWhetherToStopTheDownload) {
    StartServer();
    uitest::MessageBoxRecorder messages;
    const struct {
        const char* what;
        testhttp::Reply reply;
        int answer;
    } cases[] = {
        {"No", SetupInPieces(4096, 300), IDNO},
        {"Yes, between two pieces", SetupInPieces(SIZE_MAX, 300), IDYES},
        {"Yes, the server silent", SetupInPieces(0, 0, 2048), IDYES},
    };
    size_t attempt = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server_.Route(kSetupPath, c.reply);
        ASSERT_NE(nullptr, OpenWizard());
        NextFromWebPages();
        ++attempt;
        ASSERT_TRUE(uitest::pump_until([&] { return SetupRequests() == attempt; }));
        ASSERT_TRUE(uitest::pump_until([&] { return pwtest::ReadFileBytes(InputFolderSetup()).size() >= 1024; }));
        messages.SetAnswer(c.answer);
        sheet_->PressButton(PSBTN_CANCEL);
        uitest::flush_events();
        ASSERT_EQ(attempt, messages.Records().size());
        const uitest::MessageRecord& question = messages.Records().back();
        EXPECT_EQ("Stop the download and close the Ravelin Customizer?", question.text);
        EXPECT_EQ(kCaption, question.caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), question.flags);
        if (c.answer == IDNO) {
            EXPECT_FALSE(sheet_->IsClosed());
            ASSERT_TRUE(WaitForPage(kDestinationPage));
            sheet_->PressButton(PSBTN_CANCEL);
            EXPECT_TRUE(uitest::pump_until([&] { return sheet_->IsClosed(); }));
            EXPECT_EQ(attempt, messages.Records().size());
        } else {
            EXPECT_TRUE(uitest::pump_until([&] { return sheet_->IsClosed(); }));
            EXPECT_FALSE(pwtest::FileExists(InputFolderSetup()));
        }
        CloseWizard();
    }
}

// Once the setup is there, coming back to the page moves on again without a new download.
TEST_F(DownloadPageTest, ReturnAfterSuccessMovesOnWithoutDownloading) {
    ServeSetup(SetupReply());
    HWND sheet = OpenWizard();
    ASSERT_NE(nullptr, sheet);
    NextFromWebPages();
    ASSERT_TRUE(WaitForPage(kDestinationPage));
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return sheet_->ActiveIndex() == kDestinationPage; }));
    uitest::flush_events();
    EXPECT_EQ(kDestinationPage, sheet_->ActiveIndex());
    EXPECT_EQ(1u, SetupRequests());
    EXPECT_TRUE(sheet_->download.Done());
}

// The sink converts each argument to the type its handler takes, whatever variant type comes, and
// refuses calls that do not match an event.
TEST_F(DownloadPageTest, SinkConvertsTheArguments) {
    // One piece, four seconds late.
    ServeSetup(SetupInPieces(1024, 4000));
    ASSERT_NE(nullptr, OpenWizard());
    NextFromWebPages();
    ASSERT_TRUE(uitest::pump_until([&] { return SetupRequests() == 1; }));
    IDispatch* sink = sheet_->download.EventSink();

    // OnData(nReadBytes, nTotalBytes, nMaxBytes, rate, percent, elapsed), last argument first.
    VARIANT args[6];
    for (VARIANT& v : args)
        ::VariantInit(&v);
    V_VT(&args[5]) = VT_I2, V_I2(&args[5]) = 1024;
    V_VT(&args[4]) = VT_BSTR, V_BSTR(&args[4]) = ::SysAllocString(L"1048576");
    V_VT(&args[3]) = VT_R8, V_R8(&args[3]) = 5242880.0;
    V_VT(&args[2]) = VT_I4, V_I4(&args[2]) = 42;
    V_VT(&args[1]) = VT_UI1, V_UI1(&args[1]) = 20;
    V_VT(&args[0]) = VT_R8, V_R8(&args[0]) = 3.0;
    DISPPARAMS params = {args, nullptr, 6, 0};
    UINT argError = 99;
    EXPECT_EQ(S_OK, sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argError));
    HWND page = Page();
    EXPECT_EQ("1.00 MB of 5.00 MB copied", uitest::item_text(page, IDT_SIZES));
    EXPECT_EQ("20% downloading completed", uitest::item_text(page, IDT_PERCENT));
    EXPECT_EQ("42.0 KB/Sec", uitest::item_text(page, IDT_RATE));

    // Wrong count, a text that is no number, an unknown member.
    DISPPARAMS two = {args, nullptr, 2, 0};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &two, nullptr, nullptr, nullptr));
    ::SysFreeString(V_BSTR(&args[4]));
    V_BSTR(&args[4]) = ::SysAllocString(L"many");
    EXPECT_EQ(DISP_E_TYPEMISMATCH, sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argError));
    EXPECT_EQ(4u, argError);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, sink->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &two, nullptr, nullptr, nullptr));
    EXPECT_EQ("1.00 MB of 5.00 MB copied", uitest::item_text(page, IDT_SIZES));
    for (VARIANT& v : args)
        ::VariantClear(&v);

    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"OnData", 1}, {L"OnFinish", 2}, {L"onstart", 3}};
    for (const auto& n : names) {
        LPOLESTR name = const_cast<LPOLESTR>(n.name);
        DISPID id = 0;
        EXPECT_EQ(S_OK, sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
        EXPECT_EQ(n.id, id);
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"StartDownload");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, sink->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
    ASSERT_TRUE(WaitForPage(kDestinationPage));
}

} // namespace
