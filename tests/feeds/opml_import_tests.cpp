#include "builder/data_files.h"
#include "feeds/dlg_rename_folder.h"
#include "feeds/import_feed_page.h"
#include "tests/app/wizard_test_support.h"
#include "tests/builder/win_files.h"
#include "tests/builder/xml_tree.h"
#include "tests/http/http_server.h"

#include <gtest/gtest.h>
#include <dlgs.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kHead[] = "<?xml version=\"1.0\"?>\n<opml version=\"1.0\">";

std::string Opml(const std::string& head, const std::string& body) {
    return std::string(kHead) + "<head>" + head + "</head><body>" + body + "</body></opml>";
}
std::string Outline(const std::string& attributes) {
    return "<outline " + attributes + "/>";
}
std::string Feed(const char* title, const char* url) {
    return Outline(std::string("text=\"") + title + "\" xmlUrl=\"" + url + "\"");
}

// ASCII text as UTF-16 in either byte order, behind its byte-order mark.
std::string Utf16(const std::string& ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

// "Café" in the ANSI code page, as the wizard keeps text.
std::string AnsiCafe() {
    return fw::ToAnsi(L"Caf\x00E9");
}

std::string BillionLaughs() {
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE opml [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        text += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            text += "&l" + std::to_string(i - 1) + ";";
        text += "\">";
    }
    return text + "]>\n<opml><head><title>&l9;</title></head><body>" + Feed("A", "http://a.example/") +
           "</body></opml>";
}

SIZE_T CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

class OpmlImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, wizard_.Open(false));
        wizard_->PressButton(PSBTN_NEXT);
        uitest::flush_events();
        ASSERT_EQ(kFeedsPage, wizard_->ActiveIndex());
        page_ = wizard_->feeds.Handle();
    }
    void TearDown() override { wizard_.Close(); }

    CCustomizationPage& Page() { return wizard_->feeds; }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = folder_ / name;
        EXPECT_TRUE(pkgtest::WriteWhole(path, bytes));
        return path;
    }

    // The import dialog on the feeds page, modeless and hidden: its buttons are pressed as clicks would
    // press them, and the message boxes it shows are recorded.
    void Press(CImportFeedPage& dialog, int id) {
        HWND button = dialog.Item(id);
        ASSERT_TRUE(::IsWindowEnabled(button)) << "button " << id << " is disabled";
        ::SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    void Import(CImportFeedPage& dialog, const std::string& path) {
        dialog.ChooseFile(path);
        Press(dialog, IDC_IMPORT);
    }

    // Each row as "title|URL", with "+" in front when it is checked.
    static std::vector<std::string> ImportRows(CImportFeedPage& dialog) {
        std::vector<std::string> rows;
        fw::ListView list = dialog.ImportList().List();
        for (int i = 0; i < list.Count(); ++i) {
            const CImportedFeed* feed = dialog.ImportList().Feed(i);
            EXPECT_TRUE(feed && feed->title == list.Text(i, 0) && feed->url == list.Text(i, 1)) << "row " << i;
            rows.push_back((dialog.ImportList().IsChecked(i) ? "+" : "") + list.Text(i, 0) + "|" + list.Text(i, 1));
        }
        return rows;
    }
    std::vector<std::string> FeedRows() {
        std::vector<std::string> rows;
        fw::ListView list = Page().FeedList().List();
        for (int i = 0; i < list.Count(); ++i)
            rows.push_back(list.Text(i, 0) + "|" + list.Text(i, 1) + "|" + Page().FeedList().Description(i));
        return rows;
    }
    std::vector<std::string> Records(const std::string& name) {
        std::vector<std::string> records;
        const CFeedFolder* folder = Page().Folders().FindFolder(name);
        for (int i = 0; folder && i < folder->Count(); ++i) {
            std::string title, url;
            folder->GetAt(i, title, url);
            records.push_back(title + "|" + url);
        }
        return records;
    }
    std::vector<std::string> FolderNames() {
        std::vector<std::string> names;
        for (int i = 0; i < Page().Folders().FolderCount(); ++i)
            names.push_back(Page().Folders().FolderAt(i).Name());
        return names;
    }
    void AddFolder(const std::string& name, const std::vector<std::string>& urls) {
        CFeedFolder folder(name);
        for (const std::string& url : urls)
            folder.Add(url, url);
        Page().Folders().AppendFolder(folder);
        Page().AddFolderName(name);
        Page().RefreshList();
    }

    pkgtest::ScratchFolder folder_;
    ModelessWizard wizard_;
    HWND page_ = nullptr;
};

struct ParseCase {
    const char* name;
    std::string bytes;
    std::string title;
    std::vector<std::string> rows; // empty: the import fails with its message
};

TEST_F(OpmlImportTest, ImportListsTheLeavesThatNameAFeed) {
    const std::string cafe = AnsiCafe();
    ASSERT_EQ(4u, cafe.size()) << "the ANSI code page has no single byte for e acute";
    const std::string cafeFeed = "<outline text=\"Caf\xC3\xA9\" xmlUrl=\"http://cafe.example/\"/>";
    const std::string tech =
        Opml("<title>Tech</title>", "<outline text=\"Category\">" + Feed("One", "http://one/") +
                                        Feed("Two", "http://two/") + Feed("Three", "http://three/") + "</outline>");
    const std::string encodings = "<head><title>Caf\xE9</title></head><body>"
                                  "<outline text=\"Caf\xE9\" xmlUrl=\"http://cafe.example/\"/></body></opml>";
    const ParseCase cases[] = {
        {"tech.opml", tech, "Tech", {"+One|http://one/", "+Two|http://two/", "+Three|http://three/"}},
        {"spellings.opml",
         Opml("<title>First</title><title>Last</title>",
              Outline("title=\"a\" xmlUrl=\"http://a/\"") + Outline("title=\"b\" XMLURL=\"http://b/\"") +
                  Outline("title=\"c\" xmlurl=\"http://c/\"") +
                  Outline("xmlns:x=\"urn:x\" x:title=\"d\" x:xmlUrl=\"http://d/\"") +
                  Outline("TEXT=\"e\" type=\"link\" xmlUrl=\"http://e/\"")),
         "Last",
         {"+a|http://a/", "+b|http://b/", "+c|http://c/", "+d|http://d/", "+e|http://e/"}},
        {"shapes.opml",
         Opml("", "<outline text=\"parent\" xmlUrl=\"http://parent/\">" + Feed("child", "http://child/") +
                      "<outline text=\"deeper\"><outline text=\"deepest\" xmlUrl=\"http://deepest/\"/></outline>"
                      "</outline>" +
                      Outline("xmlUrl=\"http://untitled/\"") + Outline("title=\"no url\"") +
                      Outline("title=\"\" text=\"by text\" xmlUrl=\"http://text/\"") + Feed("twice", "http://twice/") +
                      Feed("twice", "http://twice/")),
         "",
         {"+child|http://child/", "+deepest|http://deepest/", "+by text|http://text/", "+twice|http://twice/"}},
        {"case.opml",
         std::string(kHead) + "<HEAD><Title>Upper</Title></HEAD><Body>" + Feed("up", "http://up/") + "</Body></opml>",
         "Upper",
         {"+up|http://up/"}},
        // The outer element is found by its exact tag name only.
        {"outer.opml", "<OPML><head/><body>" + Feed("x", "http://x/") + "</body></OPML>", "", {}},
        {"nofeeds.opml", Opml("<title>Empty</title>", "<outline text=\"folder\"/>"), "", {}},
        {"notxml.opml", "This is not XML at all.", "", {}},
        {"broken.opml", Opml("<title>Broken</title>", "<outline text=\"a\" xmlUrl=\"http://a/\">"), "", {}},
        {"rss.opml", "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title></channel></rss>", "", {}},
        // Encodings: the titles reach the list in the ANSI code page.
        {"utf8.opml", Opml("<title>Caf\xC3\xA9</title>", cafeFeed), cafe, {"+" + cafe + "|http://cafe.example/"}},
        {"utf8bom.opml",
         "\xEF\xBB\xBF" + Opml("<title>Caf\xC3\xA9</title>", cafeFeed),
         cafe,
         {"+" + cafe + "|http://cafe.example/"}},
        {"latin1.opml",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><opml>" + encodings,
         cafe,
         {"+" + cafe + "|http://cafe.example/"}},
        {"utf16le.opml", Utf16(tech, false), "Tech", {"+One|http://one/", "+Two|http://two/", "+Three|http://three/"}},
        {"utf16be.opml", Utf16(Opml("<title>BE</title>", Feed("be", "http://be/")), true), "BE", {"+be|http://be/"}},
    };
    CImportFeedPage dialog(Page());
    uitest::MessageBoxRecorder recorder;
    ASSERT_TRUE(dialog.Create(wizard_->Handle()));

    // Opening: nothing chosen, so only Browse and Cancel act; the list has check boxes and two columns.
    for (int id : {IDC_SELECT_ALL, IDC_DESELECT_ALL, IDOK, IDC_IMPORT})
        EXPECT_FALSE(::IsWindowEnabled(dialog.Item(id))) << id;
    EXPECT_TRUE(::IsWindowEnabled(dialog.Item(IDC_BROWSE)));
    HWND list = dialog.ImportList().Handle();
    EXPECT_TRUE(::SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES);
    EXPECT_EQ(200, ::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_EQ(250, ::SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0));

    for (const ParseCase& c : cases) {
        const size_t messages = recorder.Records().size();
        Import(dialog, Write(c.name, c.bytes));
        EXPECT_EQ(folder_ / c.name, uitest::item_text(dialog.Handle(), IDE_OPML_FILE));
        // A later import replaces the rows of the earlier one.
        EXPECT_EQ(c.rows, ImportRows(dialog)) << c.name;
        EXPECT_EQ(static_cast<int>(c.rows.size()), dialog.ImportedCount()) << c.name;
        if (c.rows.empty()) {
            ASSERT_EQ(messages + 1, recorder.Records().size()) << c.name;
            const uitest::MessageRecord& shown = recorder.Records().back();
            EXPECT_EQ(kImportFailedText, shown.text);
            EXPECT_EQ("Import feeds", shown.caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), shown.Icon());
        } else {
            EXPECT_EQ(messages, recorder.Records().size()) << c.name;
            EXPECT_EQ(c.title, dialog.OpmlTitle()) << c.name;
        }
        // Add acts only on the feeds of the file last imported.
        EXPECT_EQ(!c.rows.empty(), ::IsWindowEnabled(dialog.Item(IDOK)) != FALSE) << c.name;
    }
    // A missing file fails the same way; the list is then empty and shows its note.
    Import(dialog, folder_ / "missing.opml");
    EXPECT_EQ(kImportFailedText, recorder.Records().back().text);
    EXPECT_EQ(0, fw::ListView(list).Count());
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 8, 8);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    EXPECT_NE(0, ::SendMessageA(list, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
    EXPECT_EQ(::GetSysColor(COLOR_WINDOW), ::GetPixel(dc, 1, 1));
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

TEST_F(OpmlImportTest, HostileFilesFailWithoutFetchingOrExpanding) {
    testhttp::Server server;
    ASSERT_TRUE(server.Start());
    server.Route("/x.dtd", {200, "<!ENTITY e 'external'>"});
    server.Route("/e.txt", {200, "external"});
    const std::string dtd = server.Url("/x.dtd");
    const std::string entity = server.Url("/e.txt");
    const std::string body = "<body>" + Feed("A", "http://a.example/") + "</body></opml>";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"dtd.opml", "<?xml version=\"1.0\"?>\n<!DOCTYPE opml SYSTEM \"" + dtd + "\">\n<opml>" + body},
        {"public.opml", "<!DOCTYPE opml PUBLIC \"-//X//DTD X//EN\" \"" + dtd + "\"><opml>" + body},
        {"entity.opml",
         "<!DOCTYPE opml [<!ENTITY e SYSTEM \"" + entity + "\">]><opml><head><title>&e;</title></head>" + body},
        {"parameter.opml", "<!DOCTYPE opml [<!ENTITY % p SYSTEM \"" + dtd + "\"> %p;]><opml>" + body},
        {"utf16dtd.opml", Utf16("<!DOCTYPE opml SYSTEM \"" + dtd + "\"><opml>" + body, false)},
        {"laughs.opml", BillionLaughs()},
    };
    CImportFeedPage dialog(Page());
    uitest::MessageBoxRecorder recorder;
    ASSERT_TRUE(dialog.Create(wizard_->Handle()));
    const SIZE_T before = CommittedBytes();
    for (const auto& c : cases) {
        const size_t messages = recorder.Records().size();
        Import(dialog, Write(c.name, c.bytes));
        ASSERT_EQ(messages + 1, recorder.Records().size()) << c.name;
        EXPECT_EQ(kImportFailedText, recorder.Records().back().text) << c.name;
        EXPECT_TRUE(ImportRows(dialog).empty()) << c.name;
    }
    EXPECT_EQ(0u, server.Requests().size()) << "the loopback server was asked for " << server.Requests()[0].target;
    EXPECT_LT(CommittedBytes(), before + 64 * 1024 * 1024) << "the entities were expanded";

    // A long prolog (a comment of 8 MiB before the first element) is read on to the first element.
    Import(dialog, Write("comment.opml", "<?xml version=\"1.0\"?><!--" + std::string(8 << 20, 'c') + "--><opml><body>" +
                                             Feed("c", "http://c/") + "</body></opml>"));
    EXPECT_EQ(std::vector<std::string>{"+c|http://c/"}, ImportRows(dialog));

    // Nesting ever so deep costs no stack: the file is read, or refused by the DOM, and nothing breaks.
    std::string deep = std::string(kHead) + "<body>";
    const int depth = 20000;
    for (int i = 0; i < depth; ++i)
        deep += "<outline text=\"f\">";
    deep += Feed("leaf", "http://leaf/");
    for (int i = 0; i < depth; ++i)
        deep += "</outline>";
    Import(dialog, Write("deep.opml", deep + "</body></opml>"));
    const std::vector<std::string> rows = ImportRows(dialog);
    EXPECT_TRUE(rows.empty() || rows == std::vector<std::string>{"+leaf|http://leaf/"});
}

TEST_F(OpmlImportTest, AddMakesAFolderOfTheCheckedFeedsNotYetPresent) {
    AddFolder("Other", {"http://example.com/one", "not a url"});
    const std::string tech =
        Write("tech.opml",
              Opml("<title> Tech </title>",
                   "<outline text=\"Category\">" + Feed("One", "http://WWW.Example.com/one") +
                       Feed("Two", "http://two.example/") + Feed("Two", "http://two.example/") +
                       Feed("Three", "http://three.example/") + Feed("Four", "http://four.example/") + "</outline>"));
    uitest::MessageBoxRecorder recorder;
    {
        CImportFeedPage dialog(Page());
        ASSERT_TRUE(dialog.Create(wizard_->Handle()));
        Import(dialog, tech);
        // Nothing checked: the dialog stays open.
        Press(dialog, IDC_DESELECT_ALL);
        EXPECT_EQ(0, dialog.ImportList().CheckedCount());
        Press(dialog, IDOK);
        ASSERT_EQ(1u, recorder.Records().size());
        EXPECT_EQ(kSelectAFeedText, recorder.Records()[0].text);
        EXPECT_EQ("Import feeds", recorder.Records()[0].caption);
        ASSERT_TRUE(::IsWindow(dialog.Handle()));
        Press(dialog, IDC_SELECT_ALL);
        dialog.ImportList().List().SetState(2, INDEXTOSTATEIMAGEMASK(1), LVIS_STATEIMAGEMASK); // Three
        Press(dialog, IDOK);
        EXPECT_FALSE(::IsWindow(dialog.Handle())) << "Add closes the dialog";
    }
    EXPECT_EQ(1u, recorder.Records().size());
    // Feeds of other folders are skipped, the same feed twice in the file is added once.
    const std::vector<std::string> added = {"Two|http://two.example/", "Four|http://four.example/"};
    EXPECT_EQ((std::vector<std::string>{"My Feeds", "Other", "Tech"}), FolderNames());
    EXPECT_EQ(added, Records("Tech"));
    EXPECT_EQ("Tech", Page().CurrentFolderName());
    std::vector<std::string> rows;
    for (const std::string& feed : added)
        rows.push_back(feed + "|Unknown Description");
    EXPECT_EQ(rows, FeedRows());
    EXPECT_EQ(std::vector<int>{1}, Page().FeedList().List().SelectedRows());

    // A second folder of a name already taken is numbered.
    {
        CImportFeedPage dialog(Page());
        ASSERT_TRUE(dialog.Create(wizard_->Handle()));
        Import(dialog, Write("tech2.opml", Opml("<title>TECH</title>", Feed("Five", "http://five.example/"))));
        Press(dialog, IDOK);
    }
    EXPECT_EQ((std::vector<std::string>{"My Feeds", "Other", "Tech", "TECH (1)"}), FolderNames());
    EXPECT_EQ("TECH (1)", Page().CurrentFolderName());
    EXPECT_EQ(std::vector<std::string>{"Five|http://five.example/|Unknown Description"}, FeedRows());

    // Every checked feed present already: no folder, the message, and the rows of the selected folder again.
    {
        CImportFeedPage dialog(Page());
        ASSERT_TRUE(dialog.Create(wizard_->Handle()));
        Import(dialog, Write("again.opml", Opml("<title>Again</title>", Feed("x", "http://www.five.example/") +
                                                                            Feed("y", "http://example.com/one"))));
        Press(dialog, IDOK);
    }
    ASSERT_EQ(2u, recorder.Records().size());
    EXPECT_EQ(kAllFeedsPresentText, recorder.Records()[1].text);
    EXPECT_EQ(kApplicationTitle, recorder.Records()[1].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), recorder.Records()[1].Icon());
    EXPECT_EQ(4u, FolderNames().size());
    EXPECT_EQ(std::vector<std::string>{"Five|http://five.example/|Unknown Description"}, FeedRows());

    // Cancel changes nothing.
    {
        CImportFeedPage dialog(Page());
        ASSERT_TRUE(dialog.Create(wizard_->Handle()));
        Import(dialog, Write("new.opml", Opml("<title>New</title>", Feed("n", "http://new.example/"))));
        Press(dialog, IDCANCEL);
    }
    EXPECT_EQ(4u, FolderNames().size());
    EXPECT_EQ(std::vector<std::string>{"Five|http://five.example/|Unknown Description"}, FeedRows());
}

// Every customer's reader subscribes to what the file names: only web addresses are listed, trimmed and
// once each, the others are counted, and Add names the folder after the file it took the feeds from.
TEST_F(OpmlImportTest, OnlyWebAddressesAreListedOnceEach) {
    const std::string mixed = "<?xml version=\"1.0\"?>\n<!DOCTYPE opml>\n<opml><head/><body>" +
                              Feed("Rep", "http://Rep.example/feed") + Feed("Again", "http://www.rep.example/feed") +
                              Feed("File", "file:///C:/feeds/x.xml") + Feed("Unc", "\\\\server\\share\\x.xml") +
                              Feed("Script", "javascript:alert(1)") + Feed("Padded", " \t http://padded.example/ ") +
                              Feed("Upper", "HTTPS://upper.example/") + Feed("Relative", "feeds/x.xml") +
                              "</body></opml>";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> rows;
        std::string message; // empty: none
    } cases[] = {
        {"mixed.opml",
         mixed,
         {"+Rep|http://Rep.example/feed", "+Padded|http://padded.example/", "+Upper|HTTPS://upper.example/"},
         "Four entries of the file were left out because they are not web addresses."},
        {"one.opml",
         Opml("", Feed("Ok", "http://ok.example/") + Feed("Bad", "ftp://bad.example/")),
         {"+Ok|http://ok.example/"},
         "One entry of the file was left out because it is not a web address."},
        {"none.opml",
         Opml("", Feed("Bad", "mailto:x@example.com")),
         {},
         "One entry of the file was left out because it is not a web address."},
    };
    CImportFeedPage dialog(Page());
    uitest::MessageBoxRecorder recorder;
    ASSERT_TRUE(dialog.Create(wizard_->Handle()));
    for (const auto& c : cases) {
        const size_t before = recorder.Records().size();
        Import(dialog, Write(c.name, c.bytes));
        EXPECT_EQ(c.rows, ImportRows(dialog)) << c.name;
        ASSERT_EQ(before + 1, recorder.Records().size()) << c.name;
        EXPECT_EQ(c.message, recorder.Records().back().text) << c.name;
        EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), recorder.Records().back().Icon()) << c.name;
    }
    // Browse to another file after an import: the list empties and Add waits for Import of that file.
    Import(dialog, Write("first.opml", Opml("", Feed("First", "http://first.example/"))));
    dialog.ChooseFile(Write("second.opml", Opml("", Feed("Second", "http://second.example/"))));
    EXPECT_TRUE(ImportRows(dialog).empty());
    EXPECT_FALSE(::IsWindowEnabled(dialog.Item(IDOK)));
    Press(dialog, IDC_IMPORT);
    Press(dialog, IDOK);
    EXPECT_EQ("second", Page().CurrentFolderName());
    EXPECT_EQ(std::vector<std::string>{"Second|http://second.example/"}, Records("second"));
}

// Through the feeds page's button and the system's file-open dialog, as a user imports a file.
TEST_F(OpmlImportTest, BrowseOpensTheSystemDialogAndTheTitleReachesFeedsXml) {
    ::ShowWindow(wizard_->Handle(), SW_SHOW);
    const std::string path = Write("news.opml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><opml><head/><body>"
                                                "<outline text=\"Caf\xE9\" xmlUrl=\"http://cafe.example/\"/>"
                                                "</body></opml>");
    std::vector<std::string> filters;
    bool readOnlyShown = true;
    HWND openOwner = nullptr, importDialog = nullptr;
    std::string shownPath;
    std::vector<std::string> rows;
    uitest::ModalDriver import("Import feeds", [&](HWND dialog) {
        importDialog = dialog;
        uitest::ModalDriver open("Open", [&](HWND chooser) {
            openOwner = ::GetWindow(chooser, GW_OWNER);
            HWND types = ::GetDlgItem(chooser, cmb1);
            for (int i = 0; i < ::SendMessageA(types, CB_GETCOUNT, 0, 0); ++i) {
                char text[256] = {};
                ::SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                filters.push_back(text);
            }
            readOnlyShown = uitest::is_visible(chooser, chx1);
            uitest::set_item_text(chooser, cmb13, path);
            uitest::press_button(chooser, IDOK);
        });
        uitest::press_button(dialog, IDC_BROWSE);
        EXPECT_EQ(1, open.Runs()) << "the file-open dialog did not open";
        shownPath = uitest::item_text(dialog, IDE_OPML_FILE);
        uitest::press_button(dialog, IDC_IMPORT);
        fw::ListView list(::GetDlgItem(dialog, IDL_FEEDS));
        for (int i = 0; i < list.Count(); ++i)
            rows.push_back(list.Text(i, 0) + "|" + list.Text(i, 1));
        uitest::press_button(dialog, IDOK);
    });
    EXPECT_TRUE(uitest::press_button(page_, IDC_IMPORT_OPML));
    ASSERT_EQ(1, import.Runs()) << "the import dialog did not open";
    EXPECT_EQ(importDialog, openOwner) << "the import dialog owns the file-open dialog";
    EXPECT_EQ((std::vector<std::string>{"OPML Files (*.opml)", "RVL Files (*.rvl)"}), filters);
    EXPECT_FALSE(readOnlyShown);
    EXPECT_EQ(path, shownPath);
    const std::string cafe = AnsiCafe();
    EXPECT_EQ(std::vector<std::string>{cafe + "|http://cafe.example/"}, rows);

    // No head title: the folder is named after the file.
    EXPECT_EQ("news", Page().CurrentFolderName());
    EXPECT_EQ(std::vector<std::string>{cafe + "|http://cafe.example/|Unknown Description"}, FeedRows());
    const std::string feeds = folder_ / "feeds.xml";
    ASSERT_EQ(1, WriteFeedsFile(Page().Folders(), feeds));
    const std::vector<std::string> tree = xmltest::ReadTree(feeds);
    const std::string feed = "    Feed Name=\"" + cafe + "\" URL=\"http://cafe.example/\"";
    EXPECT_TRUE(std::any_of(tree.begin(), tree.end(), [&](const std::string& line) {
        return line.rfind(feed, 0) == 0;
    })) << xmltest::Difference({feed}, tree);
}

} // namespace
