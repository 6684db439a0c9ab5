// Imports an OPML file of N feeds into a customization that already holds N feeds in N / 100 folders,
// through the import dialog on the real feeds page, run modally: the time of Import (reading the file
// and listing its feeds) and of Add (the merge into the feeds page), each beside the time that the DOM
// component alone takes to load the same file. Then the same at twice the sizes, with the ratios of the times.
// One in ten imported feeds is already present (in another spelling), so the merge skips it.
// Usage: opml_bench.exe [N] [rounds]   (default 5000 feeds, 3 rounds; the fastest round of each counts)
#include "feeds/import_feed_page.h"
#include "feeds/opml_reader.h"
#include "tests/app/wizard_test_support.h"

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Now() {
    LARGE_INTEGER t, frequency;
    ::QueryPerformanceCounter(&t);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string ExistingUrl(int i) {
    return "http://site" + std::to_string(i) + ".example.com/rss/feed.xml";
}

// The OPML file of n feeds; every tenth is an existing feed with "www." and capitals.
std::string WriteOpml(int n) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"1.1\">\n<head><title>Bench "
                       "</title></head>\n<body>\n";
    for (int i = 0; i < n; ++i) {
        if (i % 100 == 0)
            text += "<outline text=\"Category " + std::to_string(i / 100) + "\">\n";
        const std::string url = i % 10 == 0 ? "http://WWW.Site" + std::to_string(i) + ".example.com/rss/feed.xml"
                                            : "http://news" + std::to_string(i) + ".example.org/feeds/all.rss";
        text += "  <outline type=\"rss\" text=\"Feed " + std::to_string(i) + "\" title=\"Feed " + std::to_string(i) +
                "\" xmlUrl=\"" + url + "\" htmlUrl=\"http://news" + std::to_string(i) + ".example.org/\"/>\n";
        if (i % 100 == 99 || i == n - 1)
            text += "</outline>\n";
    }
    text += "</body>\n</opml>\n";
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "rvl-bench-" + std::to_string(n) + ".opml";
    fw::FileHandle file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return std::string();
    return path;
}

double DomRead(const std::string& path) {
    const double start = Now();
    fw::ComPtr<IXMLDOMDocument> document = CreateOpmlDocument();
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = fw::Bstr::FromAnsi(path).Detach();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (!document || FAILED(document->load(source, &loaded)) || loaded != VARIANT_TRUE)
        std::fprintf(stderr, "the DOM cannot load %s\n", path.c_str());
    ::VariantClear(&source);
    document.Reset();
    return Now() - start;
}

struct Times {
    double dom = 1e9;
    double import = 1e9;
    double merge = 1e9;
};

bool Press(CImportFeedPage& dialog, int id) {
    HWND button = dialog.Item(id);
    if (!::IsWindowEnabled(button))
        return false;
    ::SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

// One round on a new wizard: n existing feeds in n / 100 folders, then the import of the file.
bool Round(int n, const std::string& path, Times& best) {
    best.dom = std::min(best.dom, DomRead(path));
    ModelessWizard wizard;
    if (!wizard.Open(false))
        return false;
    wizard->PressButton(PSBTN_NEXT);
    uitest::flush_events();
    CCustomizationPage& page = wizard->feeds;
    for (int f = 0; f < n / 100; ++f) {
        CFeedFolder folder("Folder " + std::to_string(f));
        for (int i = f * 100; i < (f + 1) * 100; ++i)
            folder.Add("Existing " + std::to_string(i), ExistingUrl(i));
        page.Folders().AppendFolder(folder);
        page.AddFolderName(folder.Name());
    }
    page.RefreshList();

    // The dialog runs modally, as from the feeds page: Add ends the modal loop, and the dialog's windows
    // are destroyed after it, outside the time of the merge.
    CImportFeedPage dialog(page);
    bool pressed = false;
    uitest::ModalDriver driver(kImportCaption, [&](HWND window) {
        // Hidden first: without a window manager, Wine waits up to 2 s whenever a window is hidden, and
        // Add hides the dialog as it ends the modal loop.
        ::ShowWindow(window, SW_HIDE);
        dialog.ChooseFile(path);
        double start = Now();
        if (!Press(dialog, IDC_IMPORT) || dialog.ImportedCount() != n)
            return;
        best.import = std::min(best.import, Now() - start);
        start = Now();
        pressed = Press(dialog, IDOK);
        best.merge = std::min(best.merge, Now() - start);
    });
    if (dialog.DoModal(wizard->Handle()) != IDOK || !pressed)
        return false;
    const CFeedFolder* added = page.Folders().FindFolder("Bench");
    const int expected = n - (n + 9) / 10;
    if (!added || added->Count() != expected || page.FeedList().List().Count() != expected) {
        std::fprintf(stderr, "the merge added %d feeds, not %d\n", added ? added->Count() : -1, expected);
        return false;
    }
    return true;
}

bool Measure(int n, int rounds, Times& times) {
    const std::string path = WriteOpml(n);
    if (path.empty())
        return false;
    for (int r = 0; r < rounds; ++r) {
        if (!Round(n, path, times))
            return false;
    }
    ::DeleteFileA(path.c_str());
    std::printf("%5d feeds into %5d in %3d folders: DOM read %7.1f ms, import %7.1f ms (%.2fx), merge %7.1f ms "
                "(%.2fx)\n",
                n, n, n / 100, times.dom * 1e3, times.import * 1e3, times.import / times.dom, times.merge * 1e3,
                times.merge / times.dom);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(100, std::atoi(argv[1]) / 100 * 100) : 5000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (FAILED(::OleInitialize(nullptr)))
        return 1;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    Times single, doubled;
    if (!Measure(n, rounds, single) || !Measure(2 * n, rounds, doubled)) {
        std::fprintf(stderr, "the benchmark could not run\n");
        return 1;
    }
    std::printf("doubling the sizes: DOM read %.2fx, import %.2fx, merge %.2fx\n", doubled.dom / single.dom,
                doubled.import / single.import, doubled.merge / single.merge);
    ::OleUninitialize();
    return 0;
}
