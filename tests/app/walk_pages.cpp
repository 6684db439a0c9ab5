// Shows every page of the wizard in turn, for scripts/screenshots. The sheet is created modeless and
// each page is made the current one with PSM_SETCURSEL, the way the sheet's own jumps do it; between
// pages the program hands over to the script, which takes the picture, through two files in DIR:
//
//   walk_pages.exe DIR
//   for each page index I (and then for the import dialog, numbered after the last page): DIR\ready-I holds "I ACTIVE
//   LEFT TOP RIGHT BOTTOM" (the current page after the activation and the sheet's window rectangle); the program then
//   waits for DIR\shot-I.
//
// The program keeps pumping messages while it waits, so a page that works in the background (the
// download page) goes on updating itself.
#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "feeds/import_feed_page.h"
#include "framework/owners.h"
#include "resources/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

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

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes DIR\ready-I for the window and waits for DIR\shot-I; false when that fails.
bool HandOver(const std::string& dir, int index, int active, HWND window) {
    RECT r;
    ::GetWindowRect(window, &r);
    std::string ready = dir + "\\ready-" + std::to_string(index);
    std::string partial = ready + ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "walk_pages: cannot write %s\n", partial.c_str());
        return false;
    }
    std::fprintf(f, "%d %d %ld %ld %ld %ld\n", index, active, r.left, r.top, r.right, r.bottom);
    std::fclose(f);
    // Renamed when complete, so that the script never reads half a line.
    ::MoveFileA(partial.c_str(), ready.c_str());

    std::string shot = dir + "\\shot-" + std::to_string(index);
    DWORD start = ::GetTickCount();
    while (!FileExists(shot)) {
        if (::GetTickCount() - start > 60000) {
            std::fprintf(stderr, "walk_pages: no picture of window %d was taken\n", index);
            return false;
        }
        PumpFor(50);
    }
    return true;
}

// The import dialog over the wizard, listing the feeds of a small OPML file, all checked.
bool ShowImportDialog(const std::string& dir, int index, CWizardSheet& sheet) {
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
    const bool handed = HandOver(dir, index, index, dialog.Handle());
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
            sheet.SetActivePage(index);
            // Long enough for the page to paint, and for the download page to show some progress.
            PumpFor(index == kDownloadPage ? 3000 : 700);
            ::RedrawWindow(sheet.Handle(), nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            PumpFor(300);

            if (!HandOver(dir, index, sheet.ActiveIndex(), sheet.Handle())) {
                result = 1;
                break;
            }
        }
        // After the pages, one more picture: the import dialog, numbered after the last page.
        if (!result && !ShowImportDialog(dir, sheet.PageCount(), sheet))
            result = 1;
        sheet.Destroy();
        PumpFor(200);
        SetWizardSheet(nullptr);
    }
    return result;
}
