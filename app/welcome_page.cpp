#include "app/welcome_page.h"

#include "app/page_fonts.h"
#include "app/shell_open.h"
#include "app/version_info.h"
#include "app/wizard_sheet.h"
#include "builder/setup_file.h"
#include "builder/version_resource.h"
#include "feeds/url_scheme.h"
#include "fetch/code_page_charsets.h"
#include "framework/message.h"
#include "framework/owners.h"
#include "framework/text.h"

#include <commdlg.h>

#include <new>
#include <vector>

const char kArticleUrl[] = "http://www.corvane.com/Resources/articles/rvlc_makeyourown_customversion.aspx";
const char kNotCustomizedSetup[] = "This file is not a customized setup of Ravelin.";
const char kDamagedSetup[] = "This customized setup is damaged.";
const char kNestedFolder[] = "The folder \"%s\" of this customized setup holds another folder, which the wizard "
                             "cannot show. Nothing was loaded.\n\nrvlc keeps folders inside folders: use \"rvlc "
                             "update\" to make a new setup from this one.";
const char kSecondPageFolder[] = "The web pages of this customized setup stand in more than one folder (the second "
                                 "is \"%s\"), and the wizard shows one list of pages. Nothing was loaded.\n\nrvlc "
                                 "keeps every folder: use \"rvlc update\" to make a new setup from this one.";
const char kLooseFeed[] = "The feed \"%s\" of this customized setup stands outside every folder, which the wizard "
                          "cannot show. Nothing was loaded.\n\nrvlc keeps such feeds: use \"rvlc update\" to make a "
                          "new setup from this one.";
const char kLegacyCodePage[] = "This customized setup holds text that the system's code page cannot show exactly. "
                               "Nothing was loaded.\n\nrvlc reads it whole: use \"rvlc update\" to make a new "
                               "setup from this one.";
const char kReplaceEnteredData[] = "The feeds and web pages that you have entered will be replaced by those of the "
                                   "customized setup.\n\nDo you want to replace them?";

namespace {

const char kCaption[] = "Ravelin Customizer";
const char kSetupFilter[] = "Customized setups (*.exe)\0*.exe\0All files (*.*)\0*.*\0";
constexpr DWORD kPathChars = 32768;
// Posted from the initialisation, so that a setup named on the command line is opened once the sheet
// shows the page.
constexpr UINT kMsgOpenSetupToOpen = WM_APP + 0x171;
// The left-out records that the message names one by one; the rest are counted.
constexpr size_t kListedRecords = 10;

// The data files are UTF-8; the wizard's text is of the process code page. Where that is a legacy code
// page, every text is converted exactly, or the setup is refused.
bool ToProcessCodePage(std::string& text) {
    if (::GetACP() == CP_UTF8)
        return true;
    std::wstring wide;
    return fw::ToWideExact(CP_UTF8, text, &wide) &&
           fw::ToMultiByteExact(CP_ACP, wide.c_str(), static_cast<int>(wide.size()), &text);
}

bool ToProcessCodePage(DataElement& element) {
    for (auto& attribute : element.attributes) {
        if (!ToProcessCodePage(attribute.second))
            return false;
    }
    for (DataElement& child : element.children) {
        if (!ToProcessCodePage(child))
            return false;
    }
    return true;
}

// Whether the web pages page can show every page of webpages.xml: its one list holds the pages of one
// folder under the document element, no folder deeper. nested, loose or second names what it cannot show.
bool PagesCanBeShown(const DataElement& root, std::string& nested, std::string& loose, std::string& second) {
    bool folderSeen = false;
    for (const DataElement& child : root.children) {
        if (!child.IsFolder()) {
            loose = child.Value("Name");
            return false;
        }
        // The list would merge the pages of two folders and write them back in one: that folder is lost.
        if (folderSeen) {
            second = child.Value("Name");
            return false;
        }
        folderSeen = true;
        for (const DataElement& page : child.children) {
            if (page.IsFolder()) {
                nested = page.Value("Name");
                return false;
            }
        }
    }
    return true;
}

// "N folders, feeds or web pages ... were left out", then up to ten of them by title and URL.
std::string LeftOutText(const std::vector<SetupProblem>& problems) {
    std::string message = text::Format("%u folders, feeds or web pages of this setup were left out: each had an "
                                       "empty name or title, or a URL that is not an http or https address of at "
                                       "most %u characters.\n",
                                       static_cast<unsigned>(problems.size()), static_cast<unsigned>(kMaxUrlChars));
    for (size_t i = 0; i < problems.size() && i < kListedRecords; ++i) {
        const SetupProblem& problem = problems[i];
        message += "\n\"" + problem.title + "\"";
        if (!problem.url.empty())
            message += " <" + problem.url + ">";
    }
    if (problems.size() > kListedRecords)
        message += text::Format("\n... and %u more.", static_cast<unsigned>(problems.size() - kListedRecords));
    return message;
}

} // namespace

bool CWelcomePage::OnInitDialog() {
    SetItemText(IDT_VERSION, "Ravelin Customizer " + DisplayVersion(ReadVersionValue(Module(), "FileVersion")));
    SetItemText(IDT_COPYRIGHT, ReadVersionValue(Module(), "LegalCopyright"));

    SetTitleFont(Handle(), IDT_TITLE, titleFont_);

    ReplaceArticleTextByLink();

    SetBoldFont(Handle(), IDT_VERSION, versionFont_);
    SetBoldFont(Handle(), IDT_COPYRIGHT, copyrightFont_);
    if (!setupToOpen_.empty())
        ::PostMessageA(Handle(), kMsgOpenSetupToOpen, 0, 0);
    return true;
}

bool CWelcomePage::OpenSetup(const std::string& path) {
    // No exception leaves a message handler: a setup too large for the memory is refused like a damaged one.
    try {
        return OpenSetupFile(path);
    } catch (const std::bad_alloc&) {
        fw::ShowMessage(::GetParent(Handle()),
                        std::string(kDamagedSetup) + "\n\nThere is not enough memory to read it.", kCaption,
                        MB_OK | MB_ICONWARNING);
        return false;
    }
}

bool CWelcomePage::OpenSetupFile(const std::string& path) {
    const HWND owner = ::GetParent(Handle());
    pkg::StdioSource source;
    SetupContents contents;
    if (!source.Open(path)) {
        fw::ShowMessage(owner, text::Format("%s\n\nThe file cannot be opened.", path.c_str()), kCaption,
                        MB_OK | MB_ICONWARNING);
        return false;
    }
    const CCodePageCharsets charsets;
    switch (ReadSetup(source, contents, &charsets)) {
    case SetupRead::NotSetup:
        fw::ShowMessage(owner, kNotCustomizedSetup, kCaption, MB_OK | MB_ICONWARNING);
        return false;
    case SetupRead::Damaged:
        fw::ShowMessage(owner, std::string(kDamagedSetup) + "\n\n" + contents.cause, kCaption,
                        MB_OK | MB_ICONWARNING);
        return false;
    case SetupRead::Read:
        break;
    }
    const std::vector<SetupProblem> leftOut = contents.problems;
    DropProblems(contents);
    // The pages show one level of folders; flattening a deeper one would lose it silently.
    std::vector<CFeedFolder> folders;
    std::string nested, loose, second;
    if (!FlatFolders(contents.customization.feeds, folders, nested, loose) ||
        !PagesCanBeShown(contents.customization.pages, nested, loose, second)) {
        fw::ShowMessage(owner,
                        !second.empty()                     ? text::Format(kSecondPageFolder, second.c_str())
                        : loose.empty() && !nested.empty() ? text::Format(kNestedFolder, nested.c_str())
                                                            : text::Format(kLooseFeed, loose.c_str()),
                        kCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    if (!ToProcessCodePage(contents.customization.feeds) || !ToProcessCodePage(contents.customization.pages)) {
        fw::ShowMessage(owner, kLegacyCodePage, kCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    FlatFolders(contents.customization.feeds, folders, nested, loose);
    CWizardSheet* sheet = GetWizardSheet();
    if (!sheet)
        return false;
    if ((sheet->feeds.HasFeeds() || sheet->webPages.HasPages()) &&
        fw::ShowMessage(owner, kReplaceEnteredData, kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;

    sheet->feeds.ReplaceFolders(folders);
    std::vector<std::pair<std::string, std::string>> pages;
    std::vector<std::pair<std::string, KeptAttributes>> kept;
    for (const WebPageRow& page : PageRows(contents.customization.pages)) {
        pages.emplace_back(page.title, page.url);
        kept.emplace_back(page.url, page.kept);
    }
    sheet->webPages.ReplacePages(pages, std::move(kept));
    // A new reader setup for this setup may not be older than the one it holds unless the user says so.
    pkg::VersionResource readerVersion;
    for (const pkg::Entry& entry : contents.entries) {
        pkg::MemoryOutput reader;
        if (text::EqualNoCase(entry.name, kReaderSetupName) && ExtractEntry(source, entry, reader) == pkg::kSuccess) {
            pkg::MemorySource bytes(reader.bytes);
            if (pkg::ReadVersionResource(bytes, readerVersion) != pkg::VersionRead::kRead)
                readerVersion = pkg::VersionResource();
        }
    }
    sheet->download.SetOpenedReader(readerVersion.hasVersion, readerVersion.file);
    // The new setup goes where the old one is, under its name: the build then replaces it.
    const size_t slash = path.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\';
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 4 && text::EqualNoCase(name.substr(name.size() - 4), ".exe"))
        name.erase(name.size() - 4);
    sheet->destination.ProposeOutput(folder, name);

    if (!leftOut.empty())
        fw::ShowMessage(owner, LeftOutText(leftOut), kCaption, MB_OK | MB_ICONINFORMATION);
    return true;
}

void CWelcomePage::OpenAndMoveOn(const std::string& path) {
    if (OpenSetup(path))
        ::PostMessageA(::GetParent(Handle()), PSM_PRESSBUTTON, PSBTN_NEXT, 0);
}

void CWelcomePage::BrowseForSetup() {
    std::vector<char> path(kPathChars);
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = ::GetParent(Handle());
    dialog.lpstrFilter = kSetupFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathChars;
    dialog.lpstrDefExt = "exe";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (::GetOpenFileNameA(&dialog))
        OpenAndMoveOn(path.data());
}

void CWelcomePage::ReplaceArticleTextByLink() {
    HWND placeholder = Item(IDC_ARTICLE_LINK);
    if (!placeholder)
        return;
    RECT r;
    ::GetWindowRect(placeholder, &r);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&r), 2);
    ::DestroyWindow(placeholder);
    if (!articleLink_.Create(Handle(), r, IDC_ARTICLE_LINK, "Learn More about Ravelin Customizer..."))
        return;
    const std::string text = fw::LoadResourceString(Module(), IDS_ARTICLE_LINK);
    if (!text.empty())
        articleLink_.SetText(text);
}

bool CWelcomePage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_ARTICLE_LINK && code == BN_CLICKED) {
        OpenArticle();
        return true;
    }
    if (id == IDC_OPEN_SETUP && code == BN_CLICKED) {
        BrowseForSetup();
        return true;
    }
    return CWizardPage::OnCommand(id, code, control);
}

INT_PTR CWelcomePage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgOpenSetupToOpen) {
        const std::string path = setupToOpen_;
        setupToOpen_.clear();
        OpenAndMoveOn(path);
        return TRUE;
    }
    if (msg == WM_DRAWITEM && wp == IDC_ARTICLE_LINK && articleLink_) {
        articleLink_.Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        SetResult(TRUE);
        return TRUE;
    }
    return CWizardPage::OnMessage(msg, wp, lp);
}

void CWelcomePage::OpenArticle() const {
    // A failure to start the browser is not reported: the page goes on as before.
    OpenWithShell(Handle(), "Open", kArticleUrl, SW_SHOWMAXIMIZED);
}
