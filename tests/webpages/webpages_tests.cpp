#include "app/wizard_sheet.h"
#include "framework/owners.h"
#include "framework/propsheet.h"
#include "resources/resource.h"
#include "tests/http/http_server.h"
#include "tests/ui/add_dialog_browse.h"
#include "tests/ui/ui.h"
#include "webpages/webpage_customize_page.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

std::string Describe(const Rows& rows) {
    std::string s;
    for (const auto& row : rows)
        s += "  [" + row.first + " | " + row.second + "]\n";
    return s.empty() ? "  (none)\n" : s;
}

// The web pages page alone in a modeless wizard on this thread.
class WebPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        header_.Reset(::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_HEADER)));
        watermark_.Reset(::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_WATERMARK)));
        sheet_ =
            std::make_unique<fw::PropertySheet>(fw::ThisModule(), "Web pages test", watermark_.Get(), header_.Get());
        sheet_->AddPage(page_);
        ASSERT_TRUE(sheet_->Create(nullptr));
        ::ShowWindow(sheet_->Handle(), SW_SHOW);
        uitest::flush_events();
        ASSERT_NE(nullptr, page_.Handle());
    }
    void TearDown() override {
        if (sheet_)
            sheet_->Destroy();
        sheet_.reset();
        uitest::flush_events();
    }

    HWND Page() const { return page_.Handle(); }
    fw::ListView List() { return page_.List().List(); }
    void AddRows(const Rows& rows) {
        for (const auto& row : rows)
            ASSERT_TRUE(page_.List().AddWebPageRow(row.first, row.second));
    }
    std::vector<int> Selected() { return List().SelectedRows(); }

    // Presses Add; the add dialog gets title and URL and its Add button, then Cancel if it is still open.
    // Returns the URL edit's text as the dialog showed it after Add.
    std::string AddThroughDialog(const std::string& title, const std::string& url) {
        std::string shownUrl;
        bool stillOpen = false;
        uitest::ModalDriver driver("Add New Web Page", [&](HWND dialog) {
            uitest::set_item_text(dialog, IDE_WEBPAGE_TITLE, title);
            uitest::set_item_text(dialog, IDE_URL, url);
            uitest::press_button(dialog, IDOK);
            if (::IsWindow(dialog)) {
                shownUrl = uitest::item_text(dialog, IDE_URL);
                stillOpen = ::IsWindowVisible(dialog) != FALSE;
                focusAfterAdd_ = ::GetDlgCtrlID(::GetFocus());
                uitest::press_button(dialog, IDCANCEL);
            }
        });
        uitest::press_button(Page(), IDC_ADD);
        EXPECT_EQ(1, driver.Runs()) << "the add dialog did not appear";
        addDialogStayedOpen_ = stillOpen;
        return shownUrl;
    }

    fw::Bitmap header_;
    fw::Bitmap watermark_;
    CWebPageCustomizePage page_;
    std::unique_ptr<fw::PropertySheet> sheet_;
    bool addDialogStayedOpen_ = false;
    int focusAfterAdd_ = 0;
};

TEST_F(WebPagesTest, NewPageHasTwoColumnsAnEmptyListAndNoRowButtons) {
    HWND list = List().Handle();
    struct Column {
        std::string title;
        int width;
    };
    const Column expected[] = {{"Title", 200}, {"URL", 250}};
    for (int i = 0; i < 2; ++i) {
        char buffer[64] = {};
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = buffer;
        column.cchTextMax = sizeof buffer;
        ASSERT_TRUE(::SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(expected[i].title, buffer) << "column " << i;
        EXPECT_EQ(expected[i].width, column.cx) << "column " << i;
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK) << "column " << i;
    }
    EXPECT_EQ(0, List().Count());
    EXPECT_EQ(static_cast<COLORREF>(CLR_NONE), ListView_GetTextBkColor(list));
    DWORD styles = ListView_GetExtendedListViewStyle(list);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP),
              styles & (LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP));
    HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL);
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(1, ImageList_GetImageCount(images));
    EXPECT_FALSE(uitest::is_enabled(Page(), IDC_REMOVE));
    EXPECT_FALSE(uitest::is_enabled(Page(), IDC_PROPERTIES));
}

TEST_F(WebPagesTest, RowButtonsFollowTheSelection) {
    AddRows({{"A", "http://a.test/"}, {"B", "http://b.test/"}, {"C", "http://c.test/"}});
    struct Step {
        std::vector<int> select;
        bool remove, properties;
    };
    const Step steps[] = {
        {{0}, true, true}, {{0, 2}, true, false}, {{2}, true, true}, {{}, false, false}, {{1}, true, true}};
    for (const Step& step : steps) {
        List().DeselectAll();
        for (int row : step.select)
            List().Select(row);
        uitest::flush_events(10);
        EXPECT_EQ(step.remove, uitest::is_enabled(Page(), IDC_REMOVE)) << "rows selected: " << step.select.size();
        EXPECT_EQ(step.properties, uitest::is_enabled(Page(), IDC_PROPERTIES))
            << "rows selected: " << step.select.size();
    }
}

TEST_F(WebPagesTest, AddDialogOpensOnTheTitleAndEnablesBrowseForAUrl) {
    int focus = 0;
    bool browseAtOpening = true;
    LRESULT titleLimit = 0, urlLimit = 0;
    std::vector<std::pair<std::string, bool>> browse;
    uitest::ModalDriver driver("Add New Web Page", [&](HWND dialog) {
        focus = ::GetDlgCtrlID(::GetFocus());
        browseAtOpening = uitest::is_enabled(dialog, IDC_BROWSE);
        titleLimit = ::SendDlgItemMessageA(dialog, IDE_WEBPAGE_TITLE, EM_GETLIMITTEXT, 0, 0);
        urlLimit = ::SendDlgItemMessageA(dialog, IDE_URL, EM_GETLIMITTEXT, 0, 0);
        for (const char* typed : {"x", " \t ", "www.example.test", ""}) {
            uitest::set_item_text(dialog, IDE_URL, typed);
            browse.emplace_back(typed, uitest::is_enabled(dialog, IDC_BROWSE));
        }
        uitest::press_button(dialog, IDCANCEL);
    });
    ASSERT_TRUE(uitest::press_button(Page(), IDC_ADD));
    ASSERT_EQ(1, driver.Runs());
    EXPECT_EQ(IDE_WEBPAGE_TITLE, focus);
    EXPECT_FALSE(browseAtOpening);
    EXPECT_EQ(260, titleLimit);
    EXPECT_LT(2048, urlLimit) << "a URL longer than the limit is refused with a message, not cut by the edit";
    const std::vector<std::pair<std::string, bool>> expected = {
        {"x", true}, {" \t ", false}, {"www.example.test", true}, {"", false}};
    EXPECT_EQ(expected, browse);
    EXPECT_EQ(0, List().Count()) << "Cancel added a row";
}

TEST_F(WebPagesTest, AddRefusesMissingFieldsAndListedUrls) {
    AddRows({{"Listed", "http://www.example.test/News/Index.html"}});
    struct Case {
        std::string title, url;
        std::string message;
        int focus; // a duplicate leaves the focus where it was: on the title, from the opening
    };
    const std::string duplicate =
        ": The web page with the URL you specified already exists. Please specify another URL.";
    const Case cases[] = {
        {"   ", "http://a.test/", "Please Enter the title of WebPage.", IDE_WEBPAGE_TITLE},
        {"Title", " \t ", "Please Enter the URL of WebPage.", IDE_URL},
        {"Same", "http://www.example.test/News/Index.html",
         "Cannot add http://www.example.test/News/Index.html " + duplicate, IDE_WEBPAGE_TITLE},
        {"No www and other case", "http://example.test/news/index.HTML",
         "Cannot add http://example.test/news/index.HTML " + duplicate, IDE_WEBPAGE_TITLE},
        {"Other port", "http://www.example.test:8080/News/Index.html",
         "Cannot add http://www.example.test:8080/News/Index.html " + duplicate, IDE_WEBPAGE_TITLE},
        {"No scheme", "  www.example.test/News/Index.html ",
         "Cannot add http://www.example.test/News/Index.html " + duplicate, IDE_WEBPAGE_TITLE},
    };
    for (const Case& c : cases) {
        uitest::MessageBoxRecorder boxes;
        AddThroughDialog(c.title, c.url);
        SCOPED_TRACE("url \"" + c.url + "\"");
        EXPECT_TRUE(addDialogStayedOpen_);
        ASSERT_EQ(1u, boxes.Records().size());
        EXPECT_EQ(c.message, boxes.Records()[0].text);
        EXPECT_EQ("Error Adding WebPage", boxes.Records()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Records()[0].Icon());
        EXPECT_EQ(static_cast<UINT>(MB_OK), boxes.Records()[0].Buttons());
        EXPECT_EQ(c.focus, focusAfterAdd_);
        EXPECT_EQ(1, List().Count());
    }
}

// The loopback server answers every host as the system's proxy, so the names below never leave the
// machine.
class WebPagesServedTest : public WebPagesTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start());
        server_.Route("/page", {200, "<html><body>page</body></html>"});
        server_.Route("/missing", {404, "not here"});
        proxy_ = std::make_unique<testhttp::SystemProxy>(server_.ProxyAddress());
        ASSERT_TRUE(proxy_->Ok());
        WebPagesTest::SetUp();
    }
    void TearDown() override {
        WebPagesTest::TearDown();
        proxy_.reset();
        server_.Stop();
    }

    testhttp::Server server_;
    std::unique_ptr<testhttp::SystemProxy> proxy_;
};

TEST_F(WebPagesServedTest, AddPutsHttpInFrontOfUrlsWithoutASchemeOnly) {
    struct Case {
        std::string typed, stored;
    };
    const Case cases[] = {
        {"site.test/page", "http://site.test/page"},
        {"  http://plain.test/page  ", "http://plain.test/page"},
        // A scheme is kept as typed, in any letter case; the loopback proxy answers https too.
        {"https://secure.test/page", "https://secure.test/page"},
        {"HTTP://upper.test/page", "HTTP://upper.test/page"},
    };
    for (const Case& c : cases) {
        uitest::MessageBoxRecorder boxes;
        AddThroughDialog("  Title  ", c.typed);
        SCOPED_TRACE("typed \"" + c.typed + "\"");
        EXPECT_FALSE(addDialogStayedOpen_);
        EXPECT_TRUE(boxes.Records().empty()) << boxes.Records()[0].text;
        ASSERT_GT(List().Count(), 0);
        int last = List().Count() - 1;
        EXPECT_EQ("Title", List().Text(last, 0));
        EXPECT_EQ(c.stored, List().Text(last, 1));
    }
    EXPECT_EQ(4, List().Count());
}

TEST_F(WebPagesTest, BrowseHandsOnlyWebAddressesToTheShell) {
    uitest::ExpectBrowseOpensOnlyWebAddresses(Page(), IDC_ADD, "Add New Web Page");
    EXPECT_EQ(0, List().Count());
}

TEST_F(WebPagesServedTest, AddAppendsTheRowSelectedAloneEvenWhenThePageAnswers404) {
    AddRows({{"First", "http://first.test/"}, {"Second", "http://second.test/"}});
    List().Select(0);
    uitest::MessageBoxRecorder boxes;
    AddThroughDialog("Missing", "http://gone.test/missing");
    EXPECT_TRUE(boxes.Records().empty()) << boxes.Records()[0].text;
    Rows expected = {
        {"First", "http://first.test/"}, {"Second", "http://second.test/"}, {"Missing", "http://gone.test/missing"}};
    Rows actual = page_.Rows();
    EXPECT_EQ(expected, actual) << "expected\n" << Describe(expected) << "actual\n" << Describe(actual);
    EXPECT_EQ(std::vector<int>{2}, Selected());
    bool found = false;
    for (const auto& request : server_.Requests())
        found = found || request.path == "/missing";
    EXPECT_TRUE(found) << "the page was not opened";
}

TEST_F(WebPagesTest, AddReportsTheSystemTextWhenTheServerRefuses) {
    std::string url = "http://127.0.0.1:" + std::to_string(testhttp::ClosedPort()) + "/page";
    uitest::MessageBoxRecorder boxes;
    AddThroughDialog("Refused", url);
    EXPECT_TRUE(addDialogStayedOpen_);
    EXPECT_EQ(IDE_URL, focusAfterAdd_);
    ASSERT_EQ(1u, boxes.Records().size());
    const std::string suffix = ". Please try again";
    const std::string& text = boxes.Records()[0].text;
    ASSERT_GT(text.size(), suffix.size()) << text;
    EXPECT_EQ(suffix, text.substr(text.size() - suffix.size())) << text;
    EXPECT_EQ(std::string::npos, text.find("Cannot add")) << text;
    EXPECT_EQ("Invalid Web Page Address", boxes.Records()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), boxes.Records()[0].Icon());
    EXPECT_EQ(0, List().Count());
}

TEST_F(WebPagesTest, RemoveDeletesEverySelectedRowAndSelectsTheFirstLeft) {
    AddRows({{"A", "http://a.test/"},
             {"B", "http://b.test/"},
             {"C", "http://c.test/"},
             {"D", "http://d.test/"},
             {"E", "http://e.test/"}});
    List().DeselectAll();
    for (int row : {0, 2, 3})
        List().Select(row);
    List().SetState(3, LVIS_FOCUSED, LVIS_FOCUSED);
    ASSERT_TRUE(uitest::press_button(Page(), IDC_REMOVE));
    Rows expected = {{"B", "http://b.test/"}, {"E", "http://e.test/"}};
    Rows actual = page_.Rows();
    EXPECT_EQ(expected, actual) << "expected\n" << Describe(expected) << "actual\n" << Describe(actual);
    EXPECT_EQ(std::vector<int>{0}, Selected());
    EXPECT_EQ(0u, List().State(0, LVIS_FOCUSED));
    EXPECT_EQ(List().Handle(), ::GetFocus());
}

TEST_F(WebPagesTest, PropertiesRetitlesTheRowAlsoForACaseChangeOnly) {
    struct Case {
        std::string typed, shown;
    };
    const Case cases[] = {{"  News of the day ", "News of the day"}, {"NEWS", "NEWS"}, {"News", "News"},
                          // Pasted controls never reach a data file: tabs become spaces, the rest goes.
                          {"News\x1b[1m\tof\x01 the day", "News[1m of the day"}};
    for (const Case& c : cases) {
        page_.List().List().DeleteAll();
        AddRows({{"Other", "http://other.test/"}, {"News", "http://news.test/"}});
        std::string caption, url;
        uitest::ModalDriver driver("News Properties", [&](HWND dialog) {
            caption = uitest::window_text(dialog);
            url = uitest::item_text(dialog, IDE_PROPERTY_URL);
            uitest::set_item_text(dialog, IDE_PROPERTY_TITLE, c.typed);
            uitest::press_button(dialog, IDOK);
        });
        ASSERT_TRUE(uitest::press_button(Page(), IDC_PROPERTIES));
        SCOPED_TRACE("typed \"" + c.typed + "\"");
        EXPECT_EQ(1, driver.Runs());
        EXPECT_EQ("News Properties", caption);
        EXPECT_EQ("http://news.test/", url);
        Rows expected = {{"Other", "http://other.test/"}, {c.shown, "http://news.test/"}};
        Rows actual = page_.Rows();
        EXPECT_EQ(expected, actual) << "expected\n" << Describe(expected) << "actual\n" << Describe(actual);
        EXPECT_EQ(std::vector<int>{1}, Selected());
    }
}

TEST_F(WebPagesTest, PropertiesRefusesAnEmptyTitleWithoutIcon) {
    AddRows({{"News", "http://news.test/"}});
    uitest::MessageBoxRecorder boxes;
    bool stayedOpen = false;
    uitest::ModalDriver driver("News Properties", [&](HWND dialog) {
        uitest::set_item_text(dialog, IDE_PROPERTY_TITLE, "   ");
        uitest::press_button(dialog, IDOK);
        stayedOpen = ::IsWindow(dialog) && ::IsWindowVisible(dialog);
        uitest::press_button(dialog, IDCANCEL);
    });
    ASSERT_TRUE(uitest::press_button(Page(), IDC_PROPERTIES));
    EXPECT_EQ(1, driver.Runs());
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(1u, boxes.Records().size());
    EXPECT_EQ("Please Enter the title of WebPage.", boxes.Records()[0].text);
    EXPECT_EQ("Properties", boxes.Records()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes.Records()[0].flags);
    EXPECT_EQ("News", List().Text(0, 0));
}

// The list's own notifications, as the list view would send them to the page.
void NotifyPage(HWND page, HWND list, UINT code, int item, int subItem, POINT at = {}) {
    NMLISTVIEW info = {};
    info.hdr.hwndFrom = list;
    info.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    info.hdr.code = code;
    info.iItem = item;
    info.iSubItem = subItem;
    info.ptAction = at;
    ::SendMessageA(page, WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
}

POINT RowCentre(HWND list, int row) {
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    ::SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

TEST_F(WebPagesTest, DraggedRowsLandAfterARowBelowBeforeARowAboveAndAtTheEndBelowTheRows) {
    // target -1: dropped inside the list under its last row.
    const struct {
        std::vector<int> selected;
        int target;
        const char* order;
    } drags[] = {{{0}, 3, "12304"}, {{3}, 0, "30124"}, {{1}, -1, "02341"}, {{1, 2}, 3, "03124"}, {{3, 4}, 1, "03412"}};
    for (const auto& drag : drags) {
        List().DeleteAll();
        for (char c : std::string("01234"))
            AddRows({{std::string(1, c), std::string("http://") + c + ".test/"}});
        List().DeselectAll();
        for (int row : drag.selected)
            List().Select(row);
        HWND list = List().Handle();
        POINT from = RowCentre(list, drag.selected[0]);
        POINT to = RowCentre(list, drag.target < 0 ? 4 : drag.target);
        if (drag.target < 0) {
            RECT client;
            ::GetClientRect(list, &client);
            to.y = client.bottom - 4;
        }
        NotifyPage(Page(), list, LVN_BEGINDRAG, drag.selected[0], 0, from);
        ::SendMessageA(list, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
        ::SendMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
        std::string order;
        for (const auto& row : page_.Rows())
            order += row.first;
        EXPECT_EQ(drag.order, order) << "rows from " << drag.selected[0] << " dropped on row " << drag.target;
        ASSERT_EQ(5u, page_.Rows().size());
        for (const auto& row : page_.Rows())
            EXPECT_EQ("http://" + row.first + ".test/", row.second) << "the URL did not travel with its title";
    }
}

TEST_F(WebPagesTest, ColumnClicksSortByThatColumnAlternatingItsDirection) {
    AddRows({{"beta", "http://c.test/"}, {"Alpha", "http://b.test/"}, {"gamma", "http://A.test/"}});
    HWND list = List().Handle();
    struct Click {
        int column;
        const char* titles;
    };
    const Click clicks[] = {{0, "Alpha beta gamma "},
                            {0, "gamma beta Alpha "},
                            {1, "gamma Alpha beta "},
                            {1, "beta Alpha gamma "},
                            {0, "Alpha beta gamma "}};
    for (const Click& click : clicks) {
        NotifyPage(Page(), list, LVN_COLUMNCLICK, -1, click.column);
        std::string titles;
        for (const auto& row : page_.Rows())
            titles += row.first + " ";
        EXPECT_EQ(click.titles, titles) << "after a click on column " << click.column;
    }
}

TEST_F(WebPagesTest, EmptyListDrawsItsTextBelowTheHeader) {
    HWND list = List().Handle();
    RECT client;
    ::GetClientRect(list, &client);
    RECT headerRect = {};
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    ::GetClientRect(header, &headerRect);
    HDC screen = ::GetDC(list);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    ::ReleaseDC(list, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT all = client;
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    EXPECT_NE(0, ::SendMessageA(list, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));

    const COLORREF window = ::GetPixel(dc, 2, client.bottom - 2);
    EXPECT_EQ(::GetSysColor(COLOR_WINDOW), window) << "the list is not filled with the window colour";
    auto inkRows = [&](int top, int bottom) {
        int rows = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < client.right; ++x)
                if (::GetPixel(dc, x, y) != window) {
                    ++rows;
                    break;
                }
        return rows;
    };
    const int textTop = headerRect.bottom + 10;
    EXPECT_EQ(0, inkRows(headerRect.bottom, textTop)) << "drawn in the gap under the header";
    EXPECT_GT(inkRows(textTop, textTop + 20), 3) << "no text under the header";
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

// A long URL is taken whole up to its limit, and a longer one is refused with a message, not cut.
TEST_F(WebPagesTest, UrlsLongerThanTheLimitAreRefusedWhole) {
    const std::string path(300, 'p');
    const struct {
        std::string url;
        bool refused;
    } cases[] = {
        {"http://127.0.0.1:1/" + path, false}, // taken whole: the probe's refusal shows all of it
        {"http://127.0.0.1:1/" + std::string(2048, 'q'), true},
    };
    for (const auto& c : cases) {
        uitest::MessageBoxRecorder boxes;
        const std::string shown = AddThroughDialog("Long", c.url);
        EXPECT_EQ(c.url, shown);
        ASSERT_EQ(1u, boxes.Records().size());
        EXPECT_EQ(c.refused, boxes.Records()[0].text == "The URL is too long. A URL can have at most 2048 characters.")
            << boxes.Records()[0].text;
        EXPECT_EQ(0, List().Count());
    }
}

} // namespace
