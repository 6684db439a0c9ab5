// Shows every page of the wizard in turn, for scripts/screenshots. The sheet is created modeless and
// each page is made the current one with PSM_SETCURSEL, the way the sheet's own jumps do it; between
// pages the program hands over to the script, which takes the picture, through two files in DIR:
//
//   walk_pages.exe DIR
//   for each page index I: DIR\ready-I holds "I ACTIVE LEFT TOP RIGHT BOTTOM" (the current page after
//   the activation and the sheet's window rectangle); the program then waits for DIR\shot-I. After the
//   feeds page the add-feed dialog follows the same way, as ready-add-feed and shot-add-feed, with the
//   dialog's rectangle. After the last page the import dialog follows as ready-import and shot-import.
//
// The program keeps pumping messages while it waits, so a page that works in the background (the
// download page) goes on updating itself.
#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "feeds/add_new_feed.h"
#include "feeds/import_feed_page.h"
#include "framework/owners.h"
#include "resources/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

void PumpFor(DWORD milliseconds) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        DWORD spent = ::GetTickCount() - start;
        if (spent >= milliseconds)
            return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

// What a publisher would have entered by the time each page is shown: two folders of feeds, a few web
// pages, and a built setup on the finish page.
void FillPage(CWizardSheet& sheet, int index) {
    if (index == kFeedsPage) {
        CCustomizationPage& feeds = sheet.feeds;
        const char* const myFeeds[][2] = {{"Daily News", "http://news.example.com/news/rss.xml"},
                                          {"Science Notes", "http://science.example.org/science/index.rdf"}};
        for (const auto& feed : myFeeds)
            feeds.Folders().AddFeedToCurrentFolder(feeds.CurrentFolderName(), feed[0], feed[1]);
        CFeedFolder tech("Tech");
        const char* const techFeeds[][2] = {{"Tech Weekly", "http://tech.example.com/tech/rss.xml"},
                                            {"Open Source Digest", "http://oss.example.net/digest/rss.xml"},
                                            {"Hardware Today", "http://hw.example.com/feed.xml"}};
        for (const auto& feed : techFeeds)
            tech.Add(feed[0], feed[1]);
        feeds.Folders().AppendFolder(tech);
        feeds.AddFolderName("Tech");
        feeds.RefreshList();
    } else if (index == kWebPagesPage) {
        sheet.webPages.List().AddWebPageRow("Welcome to our readers", "http://www.example.com/pages/welcome.html");
        sheet.webPages.List().AddWebPageRow("Support", "http://www.example.com/pages/support.html");
        sheet.webPages.List().AddWebPageRow("Product news", "http://www.example.com/news/");
    } else if (index == kFinishPage) {
        sheet.finish.SetDestinationFolder("C:\\users\\Publisher\\Documents");
        sheet.finish.SetSetupName("MyNewRVL");
        sheet.finish.SetOutputPath("C:\\users\\Publisher\\Documents\\MyNewRVL.exe");
    }
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Tells the script that window is ready for its picture (DIR\ready-TAG) and waits for DIR\shot-TAG.
bool HandOver(const std::string& dir, const std::string& tag, int active, HWND window) {
    RECT r;
    ::GetWindowRect(window, &r);
    const std::string ready = dir + "\\ready-" + tag;
    const std::string partial = ready + ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "walk_pages: cannot write %s\n", partial.c_str());
        return false;
    }
    std::fprintf(f, "%s %d %ld %ld %ld %ld\n", tag.c_str(), active, r.left, r.top, r.right, r.bottom);
    std::fclose(f);
    // Renamed when complete, so that the script never reads half a line.
    ::MoveFileA(partial.c_str(), ready.c_str());

    const std::string shot = dir + "\\shot-" + tag;
    const DWORD start = ::GetTickCount();
    while (!FileExists(shot)) {
        if (::GetTickCount() - start > 60000) {
            std::fprintf(stderr, "walk_pages: no picture of %s was taken\n", tag.c_str());
            return false;
        }
        PumpFor(50);
    }
    return true;
}

// The modal dialog runs its own message loop: a thread timer inside that loop fills it in, hands it
// over for its picture and closes it.
struct DialogShot {
    CWizardSheet* sheet;
    std::string dir;
    bool taken;
};
DialogShot* pendingShot = nullptr;

void CALLBACK TakeDialogShot(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    DialogShot* shot = std::exchange(pendingShot, nullptr);
    HWND dialog = shot ? ::FindWindowA("#32770", "Add New Feed") : nullptr;
    if (!dialog)
        return;
    ::SetDlgItemTextA(dialog, IDE_URL, "http://news.example.com/news/rss.xml");
    PumpFor(500);
    shot->taken = HandOver(shot->dir, "add-feed", shot->sheet->ActiveIndex(), dialog);
    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

bool ShowAddFeedDialog(CWizardSheet& sheet, const std::string& dir) {
    DialogShot shot = {&sheet, dir, false};
    pendingShot = &shot;
    ::SetTimer(nullptr, 0, 300, TakeDialogShot);
    CAddNewFeed dialog(sheet.feeds.FeedList().List());
    dialog.DoModal(sheet.feeds.Handle());
    pendingShot = nullptr;
    if (!shot.taken)
        std::fprintf(stderr, "walk_pages: the add-feed dialog was not shown\n");
    return shot.taken;
}

// The import dialog over the wizard, listing the feeds of a small OPML file, all checked.
bool ShowImportDialog(const std::string& dir, CWizardSheet& sheet) {
    const std::string path = dir + "\\Technology.opml";
    const char opml[] = "<?xml version=\"1.0\"?>\n<opml version=\"1.1\"><head><title>Technology</title></head><body>"
                        "<outline text=\"News\">"
                        "<outline text=\"Ravelin Blog\" xmlUrl=\"http://blog.ravelin.example/rss.xml\"/>"
                        "<outline text=\"Open Source Weekly\" xmlUrl=\"http://oss-weekly.example/feed\"/>"
                        "<outline text=\"Windows Developer News\" xmlUrl=\"http://windev.example/news.rss\"/>"
                        "<outline text=\"Science Daily\" xmlUrl=\"http://science.example/daily.xml\"/>"
                        "</outline></body></opml>";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fputs(opml, f);
    std::fclose(f);
    CImportFeedPage dialog(sheet.feeds);
    if (!dialog.Create(sheet.Handle()))
        return false;
    dialog.ChooseFile(path);
    ::SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_IMPORT, BN_CLICKED),
                   reinterpret_cast<LPARAM>(dialog.Item(IDC_IMPORT)));
    ::ShowWindow(dialog.Handle(), SW_SHOW);
    ::SetForegroundWindow(dialog.Handle());
    PumpFor(700);
    ::RedrawWindow(dialog.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(300);
    const bool handed = HandOver(dir, "import", sheet.ActiveIndex(), dialog.Handle());
    ::DeleteFileA(path.c_str());
    return handed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: walk_pages DIR\n");
        return 2;
    }
    const std::string dir = argv[1];

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
    HINSTANCE module = ::GetModuleHandleA(nullptr);
    fw::Bitmap header(::LoadBitmapA(module, MAKEINTRESOURCEA(IDB_HEADER)));
    fw::Bitmap watermark(::LoadBitmapA(module, MAKEINTRESOURCEA(IDB_WATERMARK)));

    int result = 0;
    {
        CWizardSheet sheet(kWizardCaption, watermark.Get(), header.Get());
        SetWizardSheet(&sheet);
        if (!sheet.Create(nullptr)) {
            std::fprintf(stderr, "walk_pages: the wizard could not be created\n");
            return 1;
        }
        ::ShowWindow(sheet.Handle(), SW_SHOW);
        ::SetForegroundWindow(sheet.Handle());
        for (int index = 0; index < sheet.PageCount(); ++index) {
            // The finish page shows its path on activation: its data comes first. The lists need their
            // page's window: their rows come after.
            if (index == kFinishPage)
                FillPage(sheet, index);
            sheet.SetActivePage(index);
            if (index != kFinishPage)
                FillPage(sheet, index);
            // Long enough for the page to paint, and for the download page to show some progress.
            PumpFor(index == kDownloadPage ? 3000 : 700);
            ::RedrawWindow(sheet.Handle(), nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            PumpFor(300);

            if (!HandOver(dir, std::to_string(index), sheet.ActiveIndex(), sheet.Handle())) {
                result = 1;
                break;
            }
            // The add-feed dialog over the feeds page, with an address typed in.
            if (index == kFeedsPage && !ShowAddFeedDialog(sheet, dir)) {
                result = 1;
                break;
            }
        }
        // After the pages, one more picture: the import dialog over the last page.
        if (!result && !ShowImportDialog(dir, sheet))
            result = 1;
        sheet.Destroy();
        PumpFor(200);
        SetWizardSheet(nullptr);
    }
    return result;
}
