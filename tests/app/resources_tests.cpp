// The wizard's resources as the running program sees them: each template is created with
// CreateDialogParamA and looked at through its windows (class, text, position in dialog units), the
// strings through LoadStringA, the pictures through LoadImageA, the version through the version API.
// The test program links resources/RVLCustomizer.rc itself.
#include "resources/resource.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

INT_PTR CALLBACK QuietDialogProc(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

// A dialog created from one template of this program, destroyed with its parent at the end of the test.
class TemplateWindow {
public:
    explicit TemplateWindow(int templateId) {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        parent_ = ::CreateWindowExA(0, "Static", "parent", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
        hwnd_ = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), parent_,
                                     QuietDialogProc, 0);
    }
    ~TemplateWindow() {
        if (hwnd_)
            ::DestroyWindow(hwnd_);
        if (parent_)
            ::DestroyWindow(parent_);
    }
    TemplateWindow(const TemplateWindow&) = delete;
    TemplateWindow& operator=(const TemplateWindow&) = delete;

    HWND Handle() const { return hwnd_; }

private:
    HWND parent_ = nullptr;
    HWND hwnd_ = nullptr;
};

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    ::GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

std::string TextOf(HWND hwnd) {
    char text[1024] = {};
    ::GetWindowTextA(hwnd, text, sizeof(text));
    return text;
}

// The control's rectangle in the dialog's client coordinates.
RECT PlaceOf(HWND dialog, HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The dialog manager converts a control's position and its size each on its own, so the size is not
// the difference of the converted corners.
RECT DialogUnits(HWND dialog, int x, int y, int w, int h) {
    RECT r = {x, y, w, h};
    ::MapDialogRect(dialog, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ") - (" + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

std::vector<HWND> ChildrenOf(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// The wide form of a text of the process code page, for GDI, whose 8-bit calls use the system's.
std::wstring Wide(const std::string& text) {
    wchar_t wide[1024];
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
    return n > 0 ? std::wstring(wide, static_cast<size_t>(n - 1)) : std::wstring();
}

// One control of a template: its id (IDC_STATIC for unnamed ones, then found by its order among the
// dialog's children), its window class, its text (not for pictures, whose text is the picture's
// resource id), and its position in dialog units; a size of 0 is not compared (pictures size
// themselves, etched lines add their edge).
struct ExpectedControl {
    int id;
    const char* windowClass;
    const char* text;
    int x, y, w, h;
};

struct ExpectedTemplate {
    int templateId;
    int w, h;
    std::vector<ExpectedControl> controls;
};

const std::vector<ExpectedTemplate>& FixedTemplates() {
    static const std::vector<ExpectedTemplate> templates = {
        {IDD_WELCOME,
         317,
         193,
         {
             {IDT_TITLE, "Static", "Welcome to the Ravelin Customizer", 115, 7, 197, 25},
             {IDT_INTRO, "Static",
              "This wizard guides you through the process of preparing a customized setup of Ravelin. You can add "
              "your own feeds and web pages using this wizard and then distribute the customized setup.",
              115, 40, 197, 32},
             {IDT_HINT, "Static", "Click Next to continue or Cancel to exit this wizard.", 115, 80, 197, 8},
             {IDT_OPEN_SETUP, "Static", "To update a customized setup that you made before, click Open Setup.", 115, 93,
              197, 16},
             {IDC_OPEN_SETUP, "Button", "&Open Setup...", 115, 111, 60, 14},
             {IDC_ARTICLE_LINK, "Static", "Read an article explaining how to create a custom version...", 115, 131, 197,
              9},
             {IDT_VERSION, "Static", "", 115, 166, 197, 8},
             {IDT_COPYRIGHT, "Static", "", 115, 177, 197, 8},
         }},
        {IDD_README,
         319,
         142,
         {
             {IDT_IMPORTANT, "Static", "Important", 21, 1, 40, 11},
             {IDC_STATIC, "Static", "", 67, 5, 0, 0},
             {IDC_NOTE_ICON, "Static", "", 20, 13, 0, 0},
             {IDT_NOTE, "Static", "Put the information here at runtime...", 54, 11, 244, 86},
             {IDC_STATIC, "Static", "Click Next to continue.", 54, 102, 74, 8},
         }},
        {IDD_FINISH,
         317,
         193,
         {
             {IDT_TITLE, "Static", "Completed Ravelin’s Customization.", 114, 7, 196, 25},
             {IDT_INTRO, "Static",
              "You have successfully customized Ravelin. You can now run the customized setup present at:", 114, 36,
              196, 20},
             {IDE_SETUP_PATH, "Edit", "", 114, 61, 169, 12},
             {IDX_OPEN_FOLDER, "Button", "&Open folder containing customized setup ", 114, 83, 170, 10},
             {IDX_RUN_SETUP, "Button", "&Run Ravelin's customized setup", 114, 98, 150, 10},
             {IDT_HINT, "Static", "Click Finish to exit. ", 114, 120, 100, 8},
         }},
        {IDD_DOWNLOAD,
         319,
         142,
         {
             {IDT_STATUS, "Static", "Downloading setup of Ravelin...", 21, 1, 183, 8},
             {IDC_PROGRESS, "msctls_progress32", "", 21, 13, 277, 11},
             {IDT_PERCENT, "Static", "", 21, 30, 138, 8},
             {IDC_CANCEL_DOWNLOAD, "Button", "&Cancel", 248, 29, 50, 14},
             {IDT_SIZES, "Static", "", 21, 50, 217, 8},
             {IDT_RATE_LABEL, "Static", "Transfer Rate:", 21, 67, 48, 8},
             {IDT_RATE, "Static", "", 78, 67, 170, 8},
         }},
        {IDD_DESTINATION,
         319,
         142,
         {
             {IDC_STATIC, "Static", "Destination Folder", 21, 1, 60, 8},
             {IDC_STATIC, "Static", "", 84, 5, 0, 0},
             {IDC_STATIC, "Static", "", 20, 13, 0, 0},
             {IDT_INTRO, "Static",
              "Click Browse to select a folder where you want the customizer to place Ravelin’s customized setup.", 49,
              14, 249, 16},
             {IDC_STATIC, "Static", "&Folder:", 49, 34, 24, 8},
             {IDE_FOLDER, "Edit", "", 49, 45, 192, 14},
             {IDC_BROWSE, "Button", "B&rowse...", 248, 45, 50, 14},
             {IDC_STATIC, "Static", "Name of setup", 21, 65, 57, 8},
             {IDC_STATIC, "Static", "", 84, 69, 0, 0},
             {IDC_STATIC, "Static", "", 20, 80, 0, 0},
             {IDT_HINT, "Static",
              "You can change the name of the customized setup. The customized setup will be placed in the "
              "destination folder you have specified.",
              49, 78, 249, 16},
             {IDC_STATIC, "Static", "Na&me:", 50, 98, 22, 8},
             {IDE_SETUP_NAME, "Edit", "", 49, 110, 192, 14},
             {IDC_STATIC, "Static", "Click Next to create the customized setup.", 21, 133, 180, 8},
         }},
    };
    return templates;
}

TEST(PageTemplates, ShowTheirControlsWhereTheWizardPlacesThem) {
    for (const ExpectedTemplate& t : FixedTemplates()) {
        SCOPED_TRACE("template " + std::to_string(t.templateId));
        TemplateWindow dialog(t.templateId);
        ASSERT_NE(dialog.Handle(), nullptr);
        RECT client;
        ::GetClientRect(dialog.Handle(), &client);
        RECT size = DialogUnits(dialog.Handle(), 0, 0, t.w, t.h);
        EXPECT_EQ(Describe(size), Describe(client));

        std::vector<HWND> children = ChildrenOf(dialog.Handle());
        ASSERT_EQ(t.controls.size(), children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            const ExpectedControl& c = t.controls[i];
            SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id));
            HWND child = children[i];
            EXPECT_EQ(c.id, ::GetDlgCtrlID(child));
            EXPECT_STRCASEEQ(c.windowClass, ClassOf(child).c_str());
            LONG_PTR type = ::GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK;
            if (!(::lstrcmpiA(c.windowClass, "Static") == 0 && (type == SS_BITMAP || type == SS_ICON))) {
                EXPECT_EQ(c.text, TextOf(child));
            }
            RECT expected = DialogUnits(dialog.Handle(), c.x, c.y, c.w, c.h);
            RECT actual = PlaceOf(dialog.Handle(), child);
            if (c.w == 0) {
                expected.right = actual.right;
                expected.bottom = actual.bottom;
            }
            EXPECT_EQ(Describe(expected), Describe(actual));
        }
    }
}

// The controls that the pages and dialogs reach by id, with the texts they are known by.
struct NamedControl {
    int templateId;
    int id;
    const char* windowClass;
    const char* text; // nullptr: not compared
};

TEST(Templates, HoldTheControlsTheirCodeReachesById) {
    const NamedControl table[] = {
        {IDD_FEEDS, IDC_FOLDER_COMBO, "ComboBox", nullptr},
        {IDD_FEEDS, IDC_RENAME, "Button", "R&ename"},
        {IDD_FEEDS, IDL_FEEDS, "SysListView32", nullptr},
        {IDD_FEEDS, IDC_ADD, "Button", "&Add RSS..."},
        {IDD_FEEDS, IDC_REMOVE, "Button", "&Remove"},
        {IDD_FEEDS, IDC_PROPERTIES, "Button", "&Properties"},
        {IDD_FEEDS, IDC_IMPORT_OPML, "Button", "&Import OPML..."},
        {IDD_WEBPAGES, IDL_WEBPAGES, "SysListView32", nullptr},
        {IDD_WEBPAGES, IDC_ADD, "Button", "&Add..."},
        {IDD_WEBPAGES, IDC_REMOVE, "Button", "&Remove"},
        {IDD_WEBPAGES, IDC_PROPERTIES, "Button", "&Properties"},
        {IDD_ADD_FEED, IDE_URL, "Edit", ""},
        {IDD_ADD_FEED, IDC_BROWSE, "Button", "&Browse"},
        {IDD_ADD_FEED, IDOK, "Button", "&Add"},
        {IDD_ADD_FEED, IDCANCEL, "Button", "Cancel"},
        {IDD_FEED_PROPERTIES, IDE_PROPERTY_TITLE, "Edit", ""},
        {IDD_FEED_PROPERTIES, IDE_PROPERTY_URL, "Edit", ""},
        {IDD_FEED_PROPERTIES, IDE_DESCRIPTION, "Edit", ""},
        {IDD_FEED_PROPERTIES, IDOK, "Button", "OK"},
        {IDD_FEED_PROPERTIES, IDCANCEL, "Button", "Cancel"},
        {IDD_RENAME_FOLDER, IDE_FOLDER_NAME, "Edit", ""},
        {IDD_RENAME_FOLDER, IDOK, "Button", "&OK"},
        {IDD_RENAME_FOLDER, IDCANCEL, "Button", "Cancel"},
        {IDD_IMPORT_FEEDS, IDC_IMPORT_LINE, "Static", ""},
        {IDD_IMPORT_FEEDS, IDC_OPML_PICTURE, "Static", nullptr},
        {IDD_IMPORT_FEEDS, IDT_INTRO, "Static",
         "Please select a OPML directory from where you want to import your feeds and click Import to view list of "
         "feeds."},
        {IDD_IMPORT_FEEDS, IDE_OPML_FILE, "Edit", ""},
        {IDD_IMPORT_FEEDS, IDC_BROWSE, "Button", "&Browse..."},
        {IDD_IMPORT_FEEDS, IDC_IMPORT, "Button", "&Import"},
        {IDD_IMPORT_FEEDS, IDT_IMPORTED_FEEDS, "Static", "Imported &feeds:"},
        {IDD_IMPORT_FEEDS, IDL_FEEDS, "SysListView32", nullptr},
        {IDD_IMPORT_FEEDS, IDC_SELECT_ALL, "Button", "Select A&ll"},
        {IDD_IMPORT_FEEDS, IDC_DESELECT_ALL, "Button", "&Deselect All"},
        {IDD_IMPORT_FEEDS, IDOK, "Button", "&Add"},
        {IDD_IMPORT_FEEDS, IDCANCEL, "Button", "&Cancel"},
        {IDD_ADD_WEBPAGE, IDE_WEBPAGE_TITLE, "Edit", ""},
        {IDD_ADD_WEBPAGE, IDE_URL, "Edit", ""},
        {IDD_ADD_WEBPAGE, IDC_BROWSE, "Button", "&Browse"},
        {IDD_ADD_WEBPAGE, IDOK, "Button", "&Add"},
        {IDD_ADD_WEBPAGE, IDCANCEL, "Button", "Cancel"},
        {IDD_WEBPAGE_PROPERTIES, IDE_PROPERTY_TITLE, "Edit", ""},
        {IDD_WEBPAGE_PROPERTIES, IDE_PROPERTY_URL, "Edit", ""},
        {IDD_WEBPAGE_PROPERTIES, IDOK, "Button", "OK"},
        {IDD_WEBPAGE_PROPERTIES, IDCANCEL, "Button", "Cancel"},
    };
    for (const NamedControl& c : table) {
        SCOPED_TRACE("template " + std::to_string(c.templateId) + " control " + std::to_string(c.id));
        TemplateWindow dialog(c.templateId);
        ASSERT_NE(dialog.Handle(), nullptr);
        HWND control = ::GetDlgItem(dialog.Handle(), c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_STRCASEEQ(c.windowClass, ClassOf(control).c_str());
        if (c.text) {
            EXPECT_EQ(std::string(c.text), TextOf(control));
        }
    }
}

// The styles the pages and dialogs rely on: lists are multi-select report views whose selection stays
// visible without the focus; fields the user must not type into are read-only; the finish page's
// check boxes check themselves; the download page's progress bar is smooth and its Cancel hidden.
TEST(Templates, ControlsHaveTheStylesTheirCodeExpects) {
    const LONG_PTR kListMask = LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    const LONG_PTR kList = LVS_REPORT | LVS_SHOWSELALWAYS;
    const struct {
        int templateId;
        int id;
        LONG_PTR mask;
        LONG_PTR style;
    } table[] = {
        {IDD_FEEDS, IDL_FEEDS, kListMask, kList},
        {IDD_WEBPAGES, IDL_WEBPAGES, kListMask, kList},
        {IDD_IMPORT_FEEDS, IDL_FEEDS, kListMask, kList},
        {IDD_FINISH, IDE_SETUP_PATH, ES_READONLY, ES_READONLY},
        {IDD_DESTINATION, IDE_FOLDER, ES_READONLY, ES_READONLY},
        {IDD_DESTINATION, IDE_SETUP_NAME, ES_READONLY, 0},
        {IDD_IMPORT_FEEDS, IDE_OPML_FILE, ES_READONLY, ES_READONLY},
        {IDD_FEED_PROPERTIES, IDE_PROPERTY_URL, ES_READONLY, ES_READONLY},
        {IDD_FEED_PROPERTIES, IDE_DESCRIPTION, ES_READONLY, ES_READONLY},
        {IDD_FEED_PROPERTIES, IDE_PROPERTY_TITLE, ES_READONLY, 0},
        {IDD_WEBPAGE_PROPERTIES, IDE_PROPERTY_URL, ES_READONLY, ES_READONLY},
        {IDD_WEBPAGE_PROPERTIES, IDE_PROPERTY_TITLE, ES_READONLY, 0},
        {IDD_ADD_FEED, IDE_URL, ES_READONLY, 0},
        {IDD_FINISH, IDX_OPEN_FOLDER, BS_TYPEMASK, BS_AUTOCHECKBOX},
        {IDD_FINISH, IDX_RUN_SETUP, BS_TYPEMASK, BS_AUTOCHECKBOX},
        {IDD_DOWNLOAD, IDC_PROGRESS, PBS_SMOOTH, PBS_SMOOTH},
        {IDD_DOWNLOAD, IDC_CANCEL_DOWNLOAD, WS_VISIBLE, 0},
    };
    for (const auto& c : table) {
        TemplateWindow dialog(c.templateId);
        LONG_PTR style = ::GetWindowLongPtrA(::GetDlgItem(dialog.Handle(), c.id), GWL_STYLE);
        EXPECT_EQ(c.style, style & c.mask) << "template " << c.templateId << " control " << c.id;
    }
}

// Whether text drawn with font fits the client area of control: a static text wraps at its width and
// must not need more lines than its height holds; a button's text stays on one line beside its check
// box or inside its margins. Empty when it fits, else what is wrong.
std::string TextFitProblem(HWND control, HFONT font, const std::string& text) {
    RECT inner;
    ::GetClientRect(control, &inner);
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, font);
    std::string problem;
    std::string cls = ClassOf(control);
    LONG_PTR style = ::GetWindowLongPtrA(control, GWL_STYLE);
    if (::lstrcmpiA(cls.c_str(), "Static") == 0) {
        RECT need = {0, 0, inner.right, 0};
        ::DrawTextW(dc, Wide(text).c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        if (need.right > inner.right || need.bottom > inner.bottom)
            problem = "needs " + std::to_string(need.right) + " x " + std::to_string(need.bottom) + ", has " +
                      std::to_string(inner.right) + " x " + std::to_string(inner.bottom);
    } else if (::lstrcmpiA(cls.c_str(), "Button") == 0) {
        RECT need = {0, 0, 0, 0};
        ::DrawTextW(dc, Wide(text).c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
        // A check box draws its box and a gap before the text; a push button keeps a margin each side.
        bool checkBox = (style & BS_TYPEMASK) == BS_AUTOCHECKBOX || (style & BS_TYPEMASK) == BS_CHECKBOX;
        int room = checkBox ? inner.right - ::GetSystemMetrics(SM_CXMENUCHECK) - 4 : inner.right - 6;
        if (need.right > room)
            problem = "needs " + std::to_string(need.right) + " wide, has " + std::to_string(room);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return problem;
}

HFONT FontOf(HWND control) {
    return reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
}

const int kAllTemplates[] = {
    IDD_WELCOME,      IDD_FEEDS,       IDD_WEBPAGES,          IDD_DOWNLOAD,        IDD_README,
    IDD_DESTINATION,  IDD_FINISH,      IDD_ADD_FEED,          IDD_FEED_PROPERTIES, IDD_RENAME_FOLDER,
    IDD_IMPORT_FEEDS, IDD_ADD_WEBPAGE, IDD_WEBPAGE_PROPERTIES};

// Every text of the templates and the string table reads back wide without a replacement character.
TEST(Templates, TextsReadBackWideWithoutReplacementCharacters) {
    for (int templateId : kAllTemplates) {
        TemplateWindow dialog(templateId);
        ASSERT_NE(dialog.Handle(), nullptr);
        std::vector<HWND> windows = ChildrenOf(dialog.Handle());
        windows.push_back(dialog.Handle());
        for (HWND window : windows) {
            wchar_t text[1024] = {};
            ::GetWindowTextW(window, text, 1024);
            EXPECT_EQ(nullptr, wcschr(text, 0xFFFD))
                << "template " << templateId << " control " << ::GetDlgCtrlID(window);
        }
    }
    int strings = 0;
    for (UINT id = 0; id < 0x10000; ++id) {
        const wchar_t* text = nullptr;
        const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
        if (length > 0) {
            ++strings;
            EXPECT_EQ(std::wstring::npos, std::wstring(text, static_cast<size_t>(length)).find(L'\xFFFD')) << id;
        }
    }
    EXPECT_GT(strings, 0);
}

TEST(Templates, VisibleControlsStayInsideAndDoNotOverlap) {
    // The read-me heading's rectangle reaches into the note's; its one word ends long before the note
    // begins, so nothing is drawn over anything.
    const struct { int templateId, first, second; } harmless[] = {{IDD_README, IDT_IMPORTANT, IDT_NOTE}};
    for (int templateId : kAllTemplates) {
        SCOPED_TRACE("template " + std::to_string(templateId));
        TemplateWindow dialog(templateId);
        ASSERT_NE(dialog.Handle(), nullptr);
        RECT client;
        ::GetClientRect(dialog.Handle(), &client);
        std::vector<HWND> visible;
        for (HWND child : ChildrenOf(dialog.Handle()))
            if (::GetWindowLongPtrA(child, GWL_STYLE) & WS_VISIBLE)
                visible.push_back(child);
        for (size_t i = 0; i < visible.size(); ++i) {
            RECT a = PlaceOf(dialog.Handle(), visible[i]);
            std::string name = ClassOf(visible[i]) + " \"" + TextOf(visible[i]) + "\" " + Describe(a);
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= client.right && a.bottom <= client.bottom)
                << name << " outside " << Describe(client);
            for (size_t j = i + 1; j < visible.size(); ++j) {
                bool allowed = false;
                for (const auto& h : harmless)
                    allowed |= h.templateId == templateId && h.first == ::GetDlgCtrlID(visible[i]) &&
                               h.second == ::GetDlgCtrlID(visible[j]);
                RECT b = PlaceOf(dialog.Handle(), visible[j]), overlap;
                EXPECT_TRUE(allowed || !::IntersectRect(&overlap, &a, &b))
                    << name << " overlaps " << ClassOf(visible[j]) << " \"" << TextOf(visible[j]) << "\" "
                    << Describe(b);
            }
        }
    }
}

TEST(Templates, TextsFitTheirControlsInTheDialogFont) {
    for (int templateId : kAllTemplates) {
        SCOPED_TRACE("template " + std::to_string(templateId));
        TemplateWindow dialog(templateId);
        ASSERT_NE(dialog.Handle(), nullptr);
        for (HWND child : ChildrenOf(dialog.Handle())) {
            std::string text = TextOf(child);
            if (text.empty() || !(::GetWindowLongPtrA(child, GWL_STYLE) & WS_VISIBLE))
                continue;
            EXPECT_EQ("", TextFitProblem(child, FontOf(child), text)) << ClassOf(child) << " \"" << text << "\"";
        }
    }
}

// The texts the pages put into their controls at run time, in the fonts they give them: the Verdana
// titles of the welcome and finish pages, and the bold copies of the dialog font.
TEST(Templates, RunTimeTextsFitTheirControlsInTheirFonts) {
    char note[1024] = {};
    ::LoadStringA(::GetModuleHandleA(nullptr), IDS_README_NOTE, note, sizeof(note));
    const struct {
        int templateId;
        int id;
        bool title; // the title font, else a bold copy of the control's font
        const char* text;
    } table[] = {
        {IDD_WELCOME, IDT_TITLE, true, "Welcome to the Ravelin Customizer"},
        {IDD_FINISH, IDT_TITLE, true, "Completed Ravelin’s Customization"},
        {IDD_WELCOME, IDT_VERSION, false, "Ravelin Customizer 1.23"},
        {IDD_WELCOME, IDT_COPYRIGHT, false, "Copyright © 2026 Corvane. All rights reserved."},
        {IDD_README, IDT_IMPORTANT, false, "Important"},
        {IDD_README, IDT_NOTE, false, note},
        {IDD_DOWNLOAD, IDT_STATUS, false, "Downloading setup of Ravelin..."},
    };
    for (const auto& t : table) {
        SCOPED_TRACE("template " + std::to_string(t.templateId) + " control " + std::to_string(t.id));
        TemplateWindow dialog(t.templateId);
        HWND control = ::GetDlgItem(dialog.Handle(), t.id);
        ASSERT_NE(control, nullptr);
        LOGFONTA face = {};
        if (t.title) {
            face.lfHeight = 20;
            face.lfWeight = FW_NORMAL;
            face.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
            ::lstrcpyA(face.lfFaceName, "Verdana");
        } else {
            ::GetObjectA(FontOf(control), sizeof(face), &face);
            face.lfWeight = FW_BOLD;
        }
        HFONT font = ::CreateFontIndirectA(&face);
        EXPECT_EQ("", TextFitProblem(control, font, t.text)) << t.text;
        ::DeleteObject(font);
    }
}

TEST(Templates, PagePicturesAreShown) {
    const struct {
        int templateId;
        int picture;
    } pictures[] = {{IDD_FEEDS, IDB_FEED},       {IDD_DESTINATION, IDB_FOLDER},   {IDD_DESTINATION, IDB_SETUP_NAME},
                    {IDD_ADD_FEED, IDB_FEED},    {IDD_FEED_PROPERTIES, IDB_FEED}, {IDD_RENAME_FOLDER, IDB_FEED},
                    {IDD_IMPORT_FEEDS, IDB_OPML}};
    for (const auto& p : pictures) {
        SCOPED_TRACE("template " + std::to_string(p.templateId) + " bitmap " + std::to_string(p.picture));
        TemplateWindow dialog(p.templateId);
        // The static control loads its bitmap itself; compare its size with the resource's.
        HBITMAP expected = static_cast<HBITMAP>(
            ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(p.picture), IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(expected, nullptr);
        BITMAP want = {};
        ::GetObjectA(expected, sizeof(want), &want);
        ::DeleteObject(expected);
        int shown = 0;
        for (HWND child : ChildrenOf(dialog.Handle())) {
            if ((::GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
                continue;
            auto bitmap = reinterpret_cast<HBITMAP>(::SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
            BITMAP have = {};
            if (bitmap && ::GetObjectA(bitmap, sizeof(have), &have) && have.bmWidth == want.bmWidth &&
                have.bmHeight == want.bmHeight)
                ++shown;
        }
        EXPECT_GE(shown, 1);
    }
    for (int templateId : {IDD_WEBPAGES, IDD_ADD_WEBPAGE, IDD_WEBPAGE_PROPERTIES}) {
        SCOPED_TRACE("template " + std::to_string(templateId));
        TemplateWindow dialog(templateId);
        int icons = 0;
        for (HWND child : ChildrenOf(dialog.Handle()))
            if ((::GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                ::SendMessageA(child, STM_GETICON, 0, 0) != 0)
                ++icons;
        EXPECT_EQ(1, icons);
    }
}

TEST(Strings, HoldTheHeaderTextsTheNoteTheLinkAndTheFirstFolder) {
    const struct {
        UINT id;
        const char* text;
    } table[] = {
        {IDS_FEEDS_TITLE, "Add RSS Feeds"},
        {IDS_FEEDS_SUBTITLE, "Add the URL of RSS Feeds that you want to include in Ravelin."},
        {IDS_DOWNLOAD_TITLE, "Download Setup"},
        {IDS_DOWNLOAD_SUBTITLE, "Please wait while the customizer downloads the latest setup of Ravelin."},
        {IDS_DESTINATION_TITLE, "Customized Setup Properties"},
        {IDS_DESTINATION_SUBTITLE, "Specify the location and name of the customized setup."},
        {IDS_WEBPAGES_TITLE, "Add Web Pages"},
        {IDS_WEBPAGES_SUBTITLE, "Add the URL of Web Pages that you want to include in Ravelin."},
        {IDS_README_TITLE, "Read me"},
        {IDS_README_SUBTITLE, "Please read the note before moving to next step."},
        {IDS_README_NOTE,
         "The RVL Customizer has detected that you have Ravelin installed on this system.\n\nYour existing version "
         "of Ravelin will be uninstalled and replaced by your custom Ravelin.\n\nAny personal feeds that you had in "
         "your previous version of Ravelin will be replaced by the feeds in the custom version. "},
        {IDS_ARTICLE_LINK, "Read a detailed article on how to create a custom version..."},
        {IDS_DEFAULT_FOLDER, "My Feeds"},
    };
    for (const auto& s : table) {
        char text[1024] = {};
        EXPECT_GT(::LoadStringA(::GetModuleHandleA(nullptr), s.id, text, sizeof(text)), 0) << "string " << s.id;
        EXPECT_EQ(std::string(s.text), text) << "string " << s.id;
    }
}

TEST(Pictures, BitmapsHaveTheirSizes) {
    const struct {
        int id;
        int w, h;
    } table[] = {
        {IDB_WATERMARK, 164, 314}, {IDB_HEADER, 49, 49},          {IDB_DRAG_MANY, 88, 16},
        {IDB_DRAG_ONE, 88, 16},    {IDB_LIST_BACKGROUND, 32, 32}, {IDB_FEED, 32, 32},
        {IDB_SETUP_NAME, 32, 32},  {IDB_FOLDER, 32, 32},          {IDB_OPML, 32, 32},
    };
    for (const auto& b : table) {
        HBITMAP bitmap = ::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(b.id));
        ASSERT_NE(bitmap, nullptr) << "bitmap " << b.id;
        BITMAP info = {};
        ::GetObjectA(bitmap, sizeof(info), &info);
        EXPECT_EQ(b.w, info.bmWidth) << "bitmap " << b.id;
        EXPECT_EQ(b.h, info.bmHeight) << "bitmap " << b.id;
        ::DeleteObject(bitmap);
    }
}

// The sizes an icon resource offers, read from its group directory.
std::vector<int> IconSizes(int id) {
    std::vector<int> sizes;
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    if (!found)
        return sizes;
    auto data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
    DWORD size = ::SizeofResource(module, found);
    if (!data || size < 6)
        return sizes;
    WORD count = static_cast<WORD>(data[4] | data[5] << 8);
    // Each entry: width, height, colours, reserved, planes, bit count, bytes, id (14 bytes).
    for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= size; ++i) {
        const BYTE* entry = data + 6 + 14 * i;
        EXPECT_EQ(entry[0], entry[1]) << "icon " << id << " image " << i << " is not square";
        EXPECT_EQ(32, entry[6] | entry[7] << 8) << "icon " << id << " image " << i << " bit count";
        sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
    }
    return sizes;
}

TEST(Pictures, IconsHaveTheirSizes) {
    EXPECT_EQ((std::vector<int>{16, 32, 48}), IconSizes(IDI_APP));
    EXPECT_EQ((std::vector<int>{16}), IconSizes(IDI_WEBPAGE_ROW));
    EXPECT_EQ((std::vector<int>{16}), IconSizes(IDI_FEED_ROW));
    EXPECT_EQ((std::vector<int>{32}), IconSizes(IDI_WEBPAGE));
}

// The list rows' image lists take the 16 x 16 icons with their masks.
TEST(Pictures, RowIconsLoadIntoASmallImageList) {
    HIMAGELIST list = ::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
    for (int id : {IDI_FEED_ROW, IDI_WEBPAGE_ROW}) {
        HICON icon =
            static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        ASSERT_NE(icon, nullptr) << "icon " << id;
        EXPECT_GE(::ImageList_AddIcon(list, icon), 0) << "icon " << id;
        ::DestroyIcon(icon);
    }
    EXPECT_EQ(2, ::ImageList_GetImageCount(list));
    ::ImageList_Destroy(list);
}

std::string VersionValue(const std::vector<BYTE>& block, const char* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), path, &value, &length) || !value)
        return std::string();
    return std::string(static_cast<const char*>(value));
}

// The project's version as the build passes it, "1.2.3.0", in its four numbers.
std::vector<unsigned> ProjectVersion() {
    std::vector<unsigned> parts;
    std::string text = RVL_PROJECT_VERSION;
    for (size_t start = 0; start <= text.size();) {
        size_t dot = text.find('.', start);
        parts.push_back(static_cast<unsigned>(std::stoul(text.substr(start, dot - start))));
        start = dot == std::string::npos ? text.size() + 1 : dot + 1;
    }
    return parts;
}

// The wizard's FileVersion text, "1, 2, 3, 0": the welcome page reads its display version from it.
std::string CommaVersion() {
    std::string text;
    for (unsigned part : ProjectVersion())
        text += (text.empty() ? "" : ", ") + std::to_string(part);
    return text;
}

TEST(Version, NamesTheProductItsMakerAndItsVersionInUsEnglish) {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, block.data()));

    void* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length));
    ASSERT_EQ(4u, length);
    const WORD* words = static_cast<const WORD*>(translation);
    EXPECT_EQ(0x0409, words[0]);
    EXPECT_EQ(1252, words[1]);

    const std::string commas = CommaVersion();
    const struct {
        const char* name;
        const char* value;
    } table[] = {
        {"CompanyName", "Corvane"},
        {"ProductName", "Ravelin Customizer"},
        {"FileDescription", "Ravelin Customizer"},
        {"FileVersion", commas.c_str()},
        {"ProductVersion", commas.c_str()},
        {"InternalName", "RVLCustomizer.exe"},
        {"OriginalFilename", "RVLCustomizer.exe"},
    };
    for (const auto& v : table)
        EXPECT_EQ(std::string(v.value),
                  VersionValue(block, (std::string("\\StringFileInfo\\040904E4\\") + v.name).c_str()))
            << v.name;
    std::string copyright = VersionValue(block, "\\StringFileInfo\\040904E4\\LegalCopyright");
    EXPECT_NE(std::string::npos, copyright.find("Corvane")) << copyright;
}

TEST(Manifest, AsksForCommonControls6PerMonitorDpiAndNoElevation) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
    ASSERT_NE(found, nullptr);
    std::string text(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                     ::SizeofResource(module, found));
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
                             ">true/pm<", ">PerMonitorV2, PerMonitor<"})
        EXPECT_NE(std::string::npos, text.find(part)) << part;
}

struct Deliverable {
    const char* file;
    const char* translation; // the StringFileInfo block
    std::string fileVersion; // the FileVersion and ProductVersion texts
    const char* assembly;    // the name in the manifest's assemblyIdentity
};

// The built wizard and extractor carry the project's version in their version resources and manifests.
TEST(Version, TheWizardAndTheExtractorCarryTheProjectVersion) {
    const std::vector<unsigned> version = ProjectVersion();
    ASSERT_EQ(4u, version.size()) << RVL_PROJECT_VERSION;
    const Deliverable deliverables[] = {
        {"RVLCustomizer.exe", "040904E4", CommaVersion(), "Corvane.Ravelin.Customizer"},
        {"RVLExtractor.exe", "040904B0", RVL_PROJECT_VERSION, "Corvane.Ravelin.RVLExtractor"},
    };
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string folder = std::string(self).substr(0, std::string(self).rfind('\\') + 1);
    for (const Deliverable& d : deliverables) {
        SCOPED_TRACE(d.file);
        const std::string path = folder + d.file;
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_GT(size, 0u) << path;
        std::vector<BYTE> block(size);
        ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        const DWORD ms = MAKELONG(version[1], version[0]), ls = MAKELONG(version[3], version[2]);
        EXPECT_EQ(ms, fixed->dwFileVersionMS);
        EXPECT_EQ(ls, fixed->dwFileVersionLS);
        EXPECT_EQ(ms, fixed->dwProductVersionMS);
        EXPECT_EQ(ls, fixed->dwProductVersionLS);
        const std::string strings = std::string("\\StringFileInfo\\") + d.translation + "\\";
        EXPECT_EQ(d.fileVersion, VersionValue(block, (strings + "FileVersion").c_str()));
        EXPECT_EQ(d.fileVersion, VersionValue(block, (strings + "ProductVersion").c_str()));

        HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module);
        HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
        std::string manifest;
        if (found)
            manifest.assign(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                            ::SizeofResource(module, found));
        ::FreeLibrary(module);
        const std::string identity = std::string("name=\"") + d.assembly + "\" version=\"" + RVL_PROJECT_VERSION + "\"";
        EXPECT_NE(std::string::npos, manifest.find(identity)) << "no " << identity << " in\n" << manifest;
        const char utf8[] = "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8<";
        EXPECT_NE(std::string::npos, manifest.find(utf8)) << "no UTF-8 code page in\n" << manifest;
    }
}

} // namespace
