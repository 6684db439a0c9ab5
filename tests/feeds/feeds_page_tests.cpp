#include "app/customizer_app.h"
#include "app/wizard_sheet.h"
#include "builder/data_files.h"
#include "feeds/dlg_rename_folder.h"
#include "framework/owners.h"
#include "resources/resource.h"
#include "tests/builder/win_files.h"
#include "tests/http/http_server.h"
#include "tests/ui/add_dialog_browse.h"
#include "tests/ui/ui.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kFeedOne[] = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed One</title>"
                        "<link>http://one.example/</link><description>First channel</description></channel></rss>";
const char kFeedTwo[] = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed Two</title>"
                        "<link>http://two.example/</link><description>Second channel</description></channel></rss>";
const char kFeedThree[] = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed Three</title>"
                          "<description>Third channel</description></channel></rss>";
const char kUntitled[] = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel></channel></rss>";
const char kOldFeedVersion[] = "<xml version=\"1.0\"><feed version=\"0.3\"><title>Atom</title></feed>";
const char kWebPage[] = "<html><head><title>Not a feed</title></head><body>Hello</body></html>";

class FeedsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start());
        server_.Route("/one.xml", {200, kFeedOne});
        server_.Route("/two.xml", {200, kFeedTwo});
        server_.Route("/three.xml", {200, kFeedThree});
        server_.Route("/untitled.xml", {200, kUntitled});
        server_.Route("/old.xml", {200, kOldFeedVersion});
        server_.Route("/page.html", {200, kWebPage});
        server_.Route("/missing.xml", {404, "gone"});

        header_.Reset(::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_HEADER)));
        watermark_.Reset(::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_WATERMARK)));
        sheet_ = std::make_unique<CWizardSheet>(kWizardCaption, watermark_.Get(), header_.Get());
        SetWizardSheet(sheet_.get());
        ASSERT_TRUE(sheet_->Create(nullptr));
        ::ShowWindow(sheet_->Handle(), SW_SHOW);
        uitest::flush_events();
        sheet_->PressButton(PSBTN_NEXT);
        uitest::flush_events();
        ASSERT_EQ(kFeedsPage, sheet_->ActiveIndex());
        page_ = sheet_->feeds.Handle();
        list_ = ::GetDlgItem(page_, IDL_FEEDS);
        ASSERT_NE(nullptr, list_);
    }
    void TearDown() override {
        if (sheet_) {
            sheet_->Destroy();
            SetWizardSheet(nullptr);
            sheet_.reset();
        }
        uitest::flush_events();
    }

    CCustomizationPage& Page() { return sheet_->feeds; }

    // Types url into the add-feed dialog and presses Add; a refused URL is recorded and the dialog is
    // then cancelled. Returns the message boxes shown.
    std::vector<uitest::MessageRecord> AddFeed(const std::string& url) {
        uitest::MessageBoxRecorder recorder;
        uitest::ModalDriver driver("Add New Feed", [&](HWND dialog) {
            uitest::set_item_text(dialog, IDE_URL, url);
            uitest::press_button(dialog, IDOK);
            if (!recorder.Records().empty()) {
                typedUrl_ = uitest::item_text(dialog, IDE_URL);
                uitest::press_button(dialog, IDCANCEL);
            }
        });
        EXPECT_TRUE(uitest::press_button(page_, IDC_ADD));
        EXPECT_EQ(1, driver.Runs()) << "the add-feed dialog did not open";
        uitest::flush_events();
        return recorder.Records();
    }

    // Each row as "title|URL".
    std::vector<std::string> Rows() const {
        fw::ListView list(list_);
        std::vector<std::string> rows;
        for (int i = 0; i < list.Count(); ++i)
            rows.push_back(list.Text(i, 0) + "|" + list.Text(i, 1));
        return rows;
    }
    std::vector<int> Selected() const { return fw::ListView(list_).SelectedRows(); }
    std::vector<std::string> Records(const std::string& folderName) const {
        std::vector<std::string> records;
        const CFeedFolder* folder = sheet_->feeds.Folders().FindFolder(folderName);
        for (int i = 0; folder && i < folder->Count(); ++i) {
            std::string title, url;
            folder->GetAt(i, title, url);
            records.push_back(title + "|" + url);
        }
        return records;
    }
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        const CFeedFolderList& folders = sheet_->feeds.Folders();
        for (int i = 0; i < folders.FolderCount(); ++i)
            names.push_back(folders.FolderAt(i).Name());
        return names;
    }
    std::vector<std::string> ComboEntries() const {
        HWND combo = ::GetDlgItem(page_, IDC_FOLDER_COMBO);
        std::vector<std::string> entries;
        const int count = static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            char buffer[256] = {};
            ::SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer));
            entries.push_back(buffer);
        }
        return entries;
    }
    void SelectRows(const std::vector<int>& rows) {
        fw::ListView list(list_);
        list.DeselectAll();
        for (int row : rows)
            list.Select(row);
        uitest::flush_events();
    }
    // A folder as the OPML import brings it: appended to the list, named in the combo box and selected.
    void AddFolder(const std::string& name, const std::vector<std::string>& paths) {
        CFeedFolder folder(name);
        for (const std::string& path : paths)
            folder.Add(path, server_.Url(path));
        Page().Folders().AppendFolder(folder);
        Page().AddFolderName(name);
        Page().RefreshList();
    }
    void ClickColumn(int column) {
        NMLISTVIEW info = {};
        info.hdr.hwndFrom = list_;
        info.hdr.idFrom = IDL_FEEDS;
        info.hdr.code = LVN_COLUMNCLICK;
        info.iItem = -1;
        info.iSubItem = column;
        ::SendMessageA(page_, WM_NOTIFY, IDL_FEEDS, reinterpret_cast<LPARAM>(&info));
    }
    POINT RowCentre(int row) const {
        RECT rect = {};
        rect.left = LVIR_BOUNDS;
        ::SendMessageA(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    // A drag as the mouse makes it: begins on row from, moves over the point, and is released there.
    void Drag(int from, POINT to) {
        NMLISTVIEW info = {};
        info.hdr.hwndFrom = list_;
        info.hdr.idFrom = IDL_FEEDS;
        info.hdr.code = LVN_BEGINDRAG;
        info.iItem = from;
        info.ptAction = RowCentre(from);
        ::SendMessageA(page_, WM_NOTIFY, IDL_FEEDS, reinterpret_cast<LPARAM>(&info));
        ::SendMessageA(list_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
        ::SendMessageA(list_, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
        uitest::flush_events();
    }
    // Rows A..E with the descriptions a..e.
    void FillLetters() {
        for (char c = 'A'; c <= 'E'; ++c)
            Page().FeedList().AddRow(std::string(1, c), std::string("http://") + c, "", std::string(1, c + 32));
    }
    std::string Letters() const {
        std::string letters;
        for (int i = 0; i < fw::ListView(list_).Count(); ++i)
            letters += fw::ListView(list_).Text(i, 0) + sheet_->feeds.FeedList().Description(i);
        return letters;
    }

    testhttp::Server server_;
    fw::Bitmap header_;
    fw::Bitmap watermark_;
    std::unique_ptr<CWizardSheet> sheet_;
    HWND page_ = nullptr;
    HWND list_ = nullptr;
    std::string typedUrl_;
};

TEST_F(FeedsPageTest, NewPageShowsTheDefaultFolderAndAnEmptyList) {
    EXPECT_EQ(std::vector<std::string>{"My Feeds"}, ComboEntries());
    EXPECT_EQ("My Feeds", Page().CurrentFolderName());
    EXPECT_EQ(std::vector<std::string>{"My Feeds"}, FolderNames());
    EXPECT_EQ(0, fw::ListView(list_).Count());
    EXPECT_FALSE(uitest::is_enabled(page_, IDC_REMOVE));
    EXPECT_FALSE(uitest::is_enabled(page_, IDC_PROPERTIES));
    EXPECT_TRUE(uitest::is_enabled(page_, IDC_ADD));
    EXPECT_EQ("BN-", uitest::wizard_buttons(sheet_->Handle()));
}

TEST_F(FeedsPageTest, EmptyListShowsItsNoteUnderTheHeader) {
    RECT client;
    ::GetClientRect(list_, &client);
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list_, LVM_GETHEADER, 0, 0));
    RECT headerItem = {};
    ::SendMessageA(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&headerItem));

    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT all = client;
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    EXPECT_NE(0, ::SendMessageA(list_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));

    // Text pixels only in the band of one line, 10 pixels under the header; the rest is window colour.
    const COLORREF window = ::GetPixel(dc, 1, client.bottom - 2);
    EXPECT_EQ(::GetSysColor(COLOR_WINDOW), window);
    int firstInk = -1;
    for (int y = 0; y < client.bottom && firstInk < 0; ++y) {
        for (int x = 0; x < client.right; ++x) {
            if (::GetPixel(dc, x, y) != window) {
                firstInk = y;
                break;
            }
        }
    }
    EXPECT_GE(firstInk, headerItem.bottom + 10);
    EXPECT_LT(firstInk, headerItem.bottom + 30);

    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

struct AcceptedFeed {
    const char* path;
    const char* title;
    const char* description;
};

TEST_F(FeedsPageTest, AcceptedFeedsBecomeRowsAndRecords) {
    const AcceptedFeed feeds[] = {
        {"/one.xml", "Feed One", "First channel"},
        {"/untitled.xml", "Untitled feed", "No Description Available"},
        {"/old.xml", "", ""}, // recognised by its version only: taken without title or description
    };
    std::vector<std::string> expected;
    for (const AcceptedFeed& feed : feeds) {
        const std::string url = server_.Url(feed.path);
        EXPECT_EQ(0u, AddFeed(url).size()) << url;
        expected.push_back(std::string(feed.title) + "|" + url);
        const int row = static_cast<int>(expected.size()) - 1;
        EXPECT_EQ(std::vector<int>{row}, Selected()) << "only the new row is selected";
        EXPECT_EQ(feed.description, Page().FeedList().Description(row)) << url;
    }
    EXPECT_EQ(expected, Rows());
    EXPECT_EQ(expected, Records("My Feeds"));
}

TEST_F(FeedsPageTest, UrlWithoutSchemeIsFetchedAsHttp) {
    const std::string url = server_.Url("/one.xml");
    const std::string bare = url.substr(std::string("http://").size());
    EXPECT_EQ(0u, AddFeed("  " + bare + "  ").size());
    EXPECT_EQ(std::vector<std::string>{"Feed One|" + url}, Rows());
}

TEST_F(FeedsPageTest, UrlWithASchemeKeepsItAsTyped) {
    // The upper-case scheme is fetched from the loopback server as it is.
    const std::string upper = "HTTP://" + server_.Url("/one.xml").substr(std::string("http://").size());
    EXPECT_EQ(0u, AddFeed(upper).size());
    EXPECT_EQ(std::vector<std::string>{"Feed One|" + upper}, Rows());

    // Nothing listens on that port: the fetch fails, and the URL stays as it was typed.
    const std::string secure = "https://127.0.0.1:" + std::to_string(testhttp::ClosedPort()) + "/two.xml";
    const std::vector<uitest::MessageRecord> shown = AddFeed(secure);
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Error occurred while downloading", shown[0].caption);
    EXPECT_EQ(0u, shown[0].text.find("Cannot add " + secure + " : ")) << shown[0].text;
    EXPECT_EQ(secure, typedUrl_);
    EXPECT_EQ(1u, Rows().size());
}

TEST_F(FeedsPageTest, BrowseHandsOnlyWebAddressesToTheShell) {
    uitest::ExpectBrowseOpensOnlyWebAddresses(page_, IDC_ADD, "Add New Feed");
    EXPECT_TRUE(Rows().empty());
}

struct Refusal {
    const char* path; // empty: the edit is left empty
    const char* caption;
    const char* reason; // the text after the URL
};

TEST_F(FeedsPageTest, RefusedFeedsAreReportedAndNotAdded) {
    const Refusal cases[] = {
        {"/page.html", "Invalid RSS feed", " : The URL you specified is not a feed. Enter a different URL."},
        {"/missing.xml", "Error occurred while downloading", " : Requested URL not found."},
    };
    for (const Refusal& c : cases) {
        const std::string url = server_.Url(c.path);
        const std::vector<uitest::MessageRecord> shown = AddFeed(url);
        ASSERT_EQ(1u, shown.size()) << url;
        EXPECT_EQ(c.caption, shown[0].caption);
        EXPECT_EQ("Cannot add " + url + c.reason, shown[0].text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), shown[0].Icon());
        EXPECT_EQ(url, typedUrl_) << "the URL stays in the edit";
    }
    const std::vector<uitest::MessageRecord> empty = AddFeed("   ");
    ASSERT_EQ(1u, empty.size());
    EXPECT_EQ("Error Adding Feed", empty[0].caption);
    EXPECT_EQ("Please Enter the URL of RSS Feed.", empty[0].text);

    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(Records("My Feeds").empty());
}

TEST_F(FeedsPageTest, DuplicatesOfTheFolderShownAreRefusedWithoutFetching) {
    const std::string url = server_.Url("/one.xml");
    ASSERT_EQ(0u, AddFeed(url).size());
    const size_t fetches = server_.Requests().size();
    const std::string port = std::to_string(server_.Port());
    const std::string variants[] = {
        url,
        "http://www.127.0.0.1:" + port + "/one.xml",
        "http://127.0.0.1:" + port + "/ONE.XML",
    };
    for (const std::string& variant : variants) {
        const std::vector<uitest::MessageRecord> shown = AddFeed(variant);
        ASSERT_EQ(1u, shown.size()) << variant;
        EXPECT_EQ("Error Adding Feed", shown[0].caption);
        EXPECT_EQ("Cannot add " + variant +
                      " : The feed with the URL you specified already exists. Please specify another URL.",
                  shown[0].text);
    }
    EXPECT_EQ(fetches, server_.Requests().size());
    EXPECT_EQ(1u, Rows().size());

    // The same feed is welcome in a folder that does not have it.
    AddFolder("Other", {"/two.xml"});
    EXPECT_EQ(0u, AddFeed(url).size());
    EXPECT_EQ((std::vector<std::string>{"/two.xml|" + server_.Url("/two.xml"), "Feed One|" + url}), Records("Other"));
}

TEST_F(FeedsPageTest, RemoveTakesTheSelectedRowsAndTheirRecords) {
    for (const char* path : {"/one.xml", "/two.xml", "/three.xml"})
        ASSERT_EQ(0u, AddFeed(server_.Url(path)).size());
    SelectRows({0, 2});
    EXPECT_TRUE(uitest::is_enabled(page_, IDC_REMOVE));
    EXPECT_TRUE(uitest::press_button(page_, IDC_REMOVE));
    const std::vector<std::string> left = {"Feed Two|" + server_.Url("/two.xml")};
    EXPECT_EQ(left, Rows());
    EXPECT_EQ(left, Records("My Feeds"));
    EXPECT_EQ(std::vector<int>{0}, Selected());
}

TEST_F(FeedsPageTest, RemovingTheLastFeedOfAFolderRemovesTheFolder) {
    ASSERT_EQ(0u, AddFeed(server_.Url("/one.xml")).size());
    AddFolder("Zeta", {"/two.xml"});
    EXPECT_EQ((std::vector<std::string>{"My Feeds", "Zeta"}), ComboEntries());
    SelectRows({0});
    EXPECT_TRUE(uitest::press_button(page_, IDC_REMOVE));
    EXPECT_EQ(std::vector<std::string>{"My Feeds"}, FolderNames());
    EXPECT_EQ(std::vector<std::string>{"My Feeds"}, ComboEntries());
    EXPECT_EQ("My Feeds", Page().CurrentFolderName());
    // The rows follow the folder that the combo box selects now.
    EXPECT_EQ(std::vector<std::string>{"Feed One|" + server_.Url("/one.xml")}, Rows());

    // The last feed of the last folder: the default folder takes its place, empty.
    SelectRows({0});
    EXPECT_TRUE(uitest::press_button(page_, IDC_REMOVE));
    EXPECT_EQ(std::vector<std::string>{"My Feeds"}, FolderNames());
    EXPECT_EQ(std::vector<std::string>{"My Feeds"}, ComboEntries());
    EXPECT_EQ("My Feeds", Page().CurrentFolderName());
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(uitest::is_enabled(page_, IDC_REMOVE));
    EXPECT_EQ(0u, AddFeed(server_.Url("/two.xml")).size());
    EXPECT_EQ(std::vector<std::string>{"Feed Two|" + server_.Url("/two.xml")}, Records("My Feeds"));
}

TEST_F(FeedsPageTest, SwitchingFoldersRebuildsTheRows) {
    ASSERT_EQ(0u, AddFeed(server_.Url("/one.xml")).size());
    AddFolder("Other", {"/two.xml", "/three.xml"});
    EXPECT_EQ(2u, Rows().size());
    HWND combo = ::GetDlgItem(page_, IDC_FOLDER_COMBO);
    ::SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("My Feeds"));
    ::SendMessageA(page_, WM_COMMAND, MAKEWPARAM(IDC_FOLDER_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(std::vector<std::string>{"Feed One|" + server_.Url("/one.xml")}, Rows());
    EXPECT_EQ("Unknown Description", Page().FeedList().Description(0));
}

struct RenameCase {
    const char* typed;
    const char* message; // empty: accepted
    const char* caption;
    const char* folderAfter;
};

TEST_F(FeedsPageTest, RenameRefusesEmptyAndTakenNames) {
    const RenameCase cases[] = {
        {"MY FEEDS", "A folder with the same name already exists. The folder will not be renamed.", "RVLCustomizer",
         "My Feeds"},
        {"   ", "Please specify a folder name.", "RVLCustomizer", "My Feeds"},
        {"  News  ", "", "", "News"},
    };
    for (const RenameCase& c : cases) {
        uitest::MessageBoxRecorder recorder;
        std::string shownName;
        uitest::ModalDriver driver("Rename Folder", [&](HWND dialog) {
            shownName = uitest::item_text(dialog, IDE_FOLDER_NAME);
            uitest::set_item_text(dialog, IDE_FOLDER_NAME, c.typed);
            uitest::press_button(dialog, IDOK);
            if (!recorder.Records().empty())
                uitest::press_button(dialog, IDCANCEL);
        });
        const std::string before = Page().CurrentFolderName();
        EXPECT_TRUE(uitest::press_button(page_, IDC_RENAME));
        EXPECT_EQ(before, shownName) << "the dialog opens with the folder's name";
        if (*c.message) {
            ASSERT_EQ(1u, recorder.Records().size()) << c.typed;
            EXPECT_EQ(c.message, recorder.Records()[0].text);
            EXPECT_EQ(c.caption, recorder.Records()[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), recorder.Records()[0].Icon());
        } else {
            EXPECT_TRUE(recorder.Records().empty()) << c.typed;
        }
        EXPECT_EQ(std::vector<std::string>{c.folderAfter}, ComboEntries()) << c.typed;
        EXPECT_EQ(std::vector<std::string>{c.folderAfter}, FolderNames()) << c.typed;
        EXPECT_EQ(c.folderAfter, Page().CurrentFolderName());
    }
}

TEST_F(FeedsPageTest, PropertiesRetitleTheRowAndTheRecord) {
    ASSERT_EQ(0u, AddFeed(server_.Url("/one.xml")).size());
    ASSERT_EQ(0u, AddFeed(server_.Url("/two.xml")).size());

    // Two rows selected: the button is disabled, and the command (as a keyboard could still send it)
    // opens no dialog.
    SelectRows({0, 1});
    {
        EXPECT_FALSE(uitest::is_enabled(page_, IDC_PROPERTIES));
        uitest::ModalDriver driver(
            "", [](HWND dialog) { ::EndDialog(dialog, IDCANCEL); }, "#32770", 60000);
        ::SendMessageA(page_, WM_COMMAND, MAKEWPARAM(IDC_PROPERTIES, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(page_, IDC_PROPERTIES)));
        uitest::flush_events(100);
        EXPECT_EQ(0, driver.Runs()) << driver.LastCaption();
    }

    SelectRows({1});
    std::string caption, url, description;
    uitest::ModalDriver driver("Feed Two Properties", [&](HWND dialog) {
        caption = uitest::window_text(dialog);
        url = uitest::item_text(dialog, IDE_PROPERTY_URL);
        description = uitest::item_text(dialog, IDE_DESCRIPTION);
        uitest::set_item_text(dialog, IDE_PROPERTY_TITLE, "  Renamed  ");
        uitest::press_button(dialog, IDOK);
    });
    EXPECT_TRUE(uitest::press_button(page_, IDC_PROPERTIES));
    EXPECT_EQ(1, driver.Runs());
    EXPECT_EQ("Feed Two Properties", caption);
    EXPECT_EQ(server_.Url("/two.xml"), url);
    EXPECT_EQ("Second channel", description);
    const std::vector<std::string> expected = {"Feed One|" + server_.Url("/one.xml"),
                                               "Renamed|" + server_.Url("/two.xml")};
    EXPECT_EQ(expected, Rows());
    EXPECT_EQ(expected, Records("My Feeds"));
}

TEST_F(FeedsPageTest, PropertiesRefuseAnEmptyTitle) {
    ASSERT_EQ(0u, AddFeed(server_.Url("/one.xml")).size());
    uitest::MessageBoxRecorder recorder;
    uitest::ModalDriver driver("Feed One Properties", [&](HWND dialog) {
        uitest::set_item_text(dialog, IDE_PROPERTY_TITLE, "   ");
        uitest::press_button(dialog, IDOK);
        uitest::press_button(dialog, IDCANCEL);
    });
    EXPECT_TRUE(uitest::press_button(page_, IDC_PROPERTIES));
    ASSERT_EQ(1u, recorder.Records().size());
    EXPECT_EQ("Please Enter the title of Feed.", recorder.Records()[0].text);
    EXPECT_EQ("Properties", recorder.Records()[0].caption);
    EXPECT_EQ(0u, recorder.Records()[0].Icon());
    EXPECT_EQ(std::vector<std::string>{"Feed One|" + server_.Url("/one.xml")}, Records("My Feeds"));
}

TEST_F(FeedsPageTest, ColumnClicksAlternateTheSortOrder) {
    CFeedListCtrl& list = Page().FeedList();
    list.AddRow("beta", "http://c/", "", "b");
    list.AddRow("Alpha", "http://a/", "", "a");
    list.AddRow("gamma", "http://B/", "", "g");
    auto column = [&](int c) {
        std::string texts;
        for (int i = 0; i < fw::ListView(list_).Count(); ++i)
            texts += fw::ListView(list_).Text(i, c) + list.Description(i) + " ";
        return texts;
    };
    const std::vector<std::pair<int, std::string>> steps = {
        {0, "Alphaa betab gammag "},
        {0, "gammag betab Alphaa "},
        {1, "http://a/a http://B/g http://c/b "}, // the URL column keeps its own direction
        {0, "Alphaa betab gammag "},
        {1, "http://c/b http://B/g http://a/a "},
    };
    for (const auto& step : steps) {
        ClickColumn(step.first);
        EXPECT_EQ(step.second, column(step.first)) << "after a click on column " << step.first;
    }
    EXPECT_TRUE(Records("My Feeds").empty()) << "sorting changes only the rows";
}

struct DragCase {
    std::vector<int> selected;
    int from;
    int onto; // -1: below the last row
    const char* expected;
};

TEST_F(FeedsPageTest, DraggedRowsMoveWithTheirData) {
    const DragCase cases[] = {
        {{1}, 1, 3, "AaCcDdBbEe"},
        {{1, 2}, 1, 3, "AaDdBbCcEe"},
        {{3, 4}, 3, 1, "AaDdEeBbCc"},
        {{0}, 0, -1, "BbCcDdEeAa"},
    };
    for (const DragCase& c : cases) {
        Page().FeedList().DeleteAllRows();
        FillLetters();
        SelectRows(c.selected);
        POINT to = RowCentre(c.onto < 0 ? 4 : c.onto);
        if (c.onto < 0) {
            RECT client;
            ::GetClientRect(list_, &client);
            to.y = client.bottom - 3; // below the rows, inside the list
        }
        Drag(c.from, to);
        EXPECT_EQ(c.expected, Letters()) << "dragging from " << c.from << " onto " << c.onto;
        EXPECT_EQ(c.selected.size(), Selected().size());
        EXPECT_FALSE(Page().FeedList().IsDragging());
        EXPECT_EQ(nullptr, ::GetCapture());
    }
}

TEST_F(FeedsPageTest, DragReleasedOutsideTheListChangesNothing) {
    FillLetters();
    SelectRows({1});
    RECT client;
    ::GetClientRect(list_, &client);
    Drag(1, POINT{client.right / 2, client.bottom + 40});
    EXPECT_EQ("AaBbCcDdEe", Letters());
    EXPECT_FALSE(Page().FeedList().IsDragging());
}

TEST_F(FeedsPageTest, BrowseIsEnabledByTextInTheUrlEdit) {
    std::vector<std::pair<std::string, bool>> seen;
    HWND focusAtOpening = nullptr;
    uitest::ModalDriver driver("Add New Feed", [&](HWND dialog) {
        focusAtOpening = ::GetFocus();
        seen.push_back({"", uitest::is_enabled(dialog, IDC_BROWSE)});
        for (const char* typed : {"x", "   ", " example.com ", ""}) {
            uitest::set_item_text(dialog, IDE_URL, typed);
            seen.push_back({typed, uitest::is_enabled(dialog, IDC_BROWSE)});
        }
        uitest::press_button(dialog, IDCANCEL);
        EXPECT_EQ(::GetDlgItem(dialog, IDE_URL), focusAtOpening) << "the URL edit has the focus at opening";
    });
    EXPECT_TRUE(uitest::press_button(page_, IDC_ADD));
    const std::vector<std::pair<std::string, bool>> expected = {
        {"", false}, {"x", true}, {"   ", false}, {" example.com ", true}, {"", false}};
    EXPECT_EQ(expected, seen);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(FeedsPageTest, LongTitlesSurviveADrag) {
    const std::string title(300, 'T');
    FillLetters();
    Page().FeedList().AddRow(title, "http://long/", "", "long");
    SelectRows({5});
    fw::ListView list(list_);
    list.EnsureVisible(0);
    Drag(5, RowCentre(0));
    EXPECT_EQ(title, list.Text(0, 0));
    EXPECT_EQ("http://long/", list.Text(0, 1));
    EXPECT_EQ("long", Page().FeedList().Description(0));
}

TEST_F(FeedsPageTest, SelectionEnablesRemoveAndProperties) {
    FillLetters();
    fw::ListView list(list_);
    // Each step changes the state of one row, as a click with the control key does. Remove acts on any
    // selection, Properties on exactly one row.
    const struct {
        int row;
        bool select;
        bool remove;
        bool properties;
    } steps[] = {{2, false, false, false}, {2, true, true, true},  {3, true, true, false},  {4, true, true, false},
                 {2, false, true, false},  {3, false, true, true}, {4, false, false, false}};
    list.DeselectAll();
    for (const auto& step : steps) {
        list.Select(step.row, step.select);
        uitest::flush_events();
        EXPECT_EQ(step.remove, uitest::is_enabled(page_, IDC_REMOVE)) << "row " << step.row << " " << step.select;
        EXPECT_EQ(step.properties, uitest::is_enabled(page_, IDC_PROPERTIES))
            << "row " << step.row << " " << step.select;
    }
}

// Two rows of one URL, as a file that lists a feed under two categories brings them: each row acts on
// its own record, and the order the rows show is the order the feed file gets.
TEST_F(FeedsPageTest, EachRowActsOnItsOwnRecordAndTheRowsSetTheOrder) {
    CFeedFolder twice("Twice");
    for (const char* title : {"Alpha", "Beta", "Gamma"})
        twice.Add(title, title[0] == 'G' ? "http://gamma.example/" : "http://same.example/");
    Page().Folders().AppendFolder(twice);
    Page().AddFolderName("Twice");
    Page().RefreshList();
    HWND combo = ::GetDlgItem(page_, IDC_FOLDER_COMBO);
    const std::string same = "|http://same.example/", gamma = "Gamma|http://gamma.example/";
    const struct {
        const char* step;
        std::function<void()> act;
        std::vector<std::string> rows;
    } steps[] = {
        {"Properties on the second row",
         [&] {
             SelectRows({1});
             uitest::ModalDriver driver("Beta Properties", [](HWND dialog) {
                 uitest::set_item_text(dialog, IDE_PROPERTY_TITLE, "Beta 2");
                 uitest::press_button(dialog, IDOK);
             });
             uitest::press_button(page_, IDC_PROPERTIES);
         },
         {"Alpha" + same, "Beta 2" + same, gamma}},
        {"title sorted twice", [&] { ClickColumn(0), ClickColumn(0); }, {gamma, "Beta 2" + same, "Alpha" + same}},
        {"last row dragged onto the first",
         [&] {
             SelectRows({2});
             Drag(2, RowCentre(0));
         },
         {"Alpha" + same, gamma, "Beta 2" + same}},
        {"another folder and back",
         [&] {
             for (const char* name : {"My Feeds", "Twice"}) {
                 ::SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
                 Page().RefreshList();
             }
         },
         {"Alpha" + same, gamma, "Beta 2" + same}},
        {"Remove on the second row of the URL",
         [&] {
             SelectRows({2});
             uitest::press_button(page_, IDC_REMOVE);
         },
         {"Alpha" + same, gamma}},
    };
    for (const auto& step : steps) {
        step.act();
        uitest::flush_events();
        EXPECT_EQ(step.rows, Rows()) << step.step;
        EXPECT_EQ(step.rows, Records("Twice")) << step.step;
    }
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "rvl-order-feeds.xml";
    ASSERT_EQ(2, WriteFeedsFile(Page().Folders(), path));
    const std::string xml = pkgtest::ReadWhole(path);
    ::DeleteFileA(path.c_str());
    const size_t alpha = xml.find("Alpha"), gammaAt = xml.find("Gamma");
    EXPECT_TRUE(alpha != std::string::npos && gammaAt != std::string::npos && alpha < gammaAt) << xml;
    EXPECT_EQ(std::string::npos, xml.find("Beta")) << xml;
}

} // namespace
