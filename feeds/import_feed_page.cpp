#include "feeds/import_feed_page.h"

#include "feeds/customization_page.h"
#include "feeds/dlg_rename_folder.h"
#include "feeds/url_index.h"
#include "feeds/url_scheme.h"
#include "framework/message.h"
#include "framework/text.h"
#include "framework/window.h"
#include "resources/resource.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlwapi.h>

#include <vector>

const char kImportCaption[] = "Import feeds";
const char kImportFailedText[] =
    "Unable to import feeds from specified file. Please make sure that OPML directory is a valid.";
const char kSelectAFeedText[] = "Please Select a feed.";
const char kAllFeedsPresentText[] =
    "All the feeds in the selected OPML file have been already added. The OPML folder will not be added.";

std::string LeftOutText(int count) {
    static const char* const kWords[] = {"No",    "One",   "Two",  "Three", "Four",   "Five",  "Six",
                                         "Seven", "Eight", "Nine", "Ten",   "Eleven", "Twelve"};
    const std::string number = count >= 0 && count <= 12 ? kWords[count] : text::Format("%d", count);
    if (count == 1)
        return number + " entry of the file was left out because it is not a web address.";
    return number + " entries of the file were left out because they are not web addresses.";
}

namespace {

// The filter of the file-open dialog: pairs of (text shown, pattern), each ended by a zero, and a zero
// after the last pair.
const char kOpenFilter[] = "OPML Files (*.opml)\0*.opml\0RVL Files (*.rvl)\0*.rvl\0";
// The file-open dialog takes the default extension without its dot.
const char kDefaultExtension[] = "opml";
// Room for a long path in the file-open dialog.
constexpr DWORD kPathChars = 32768;

} // namespace

CImportFeedPage::CImportFeedPage(CCustomizationPage& feeds)
    : fw::Dialog(fw::ThisModule(), IDD_IMPORT_FEEDS), feeds_(feeds) {}

CImportFeedPage::~CImportFeedPage() = default;

bool CImportFeedPage::OnInitDialog() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    importList_.Subclass(Item(IDL_FEEDS));
    importList_.Initialize();
    EnableItem(IDC_SELECT_ALL, false);
    EnableItem(IDC_DESELECT_ALL, false);
    EnableItem(IDOK, false);
    EnableItem(IDC_IMPORT, false);
    return true;
}

void CImportFeedPage::OnDestroy() {
    // The DOM document of an import stays alive until the next import or the end of the dialog.
    document_.Reset();
}

bool CImportFeedPage::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_BROWSE:
        Browse();
        return true;
    case IDC_IMPORT:
        Import();
        return true;
    case IDC_SELECT_ALL:
        importList_.CheckAll(true);
        return true;
    case IDC_DESELECT_ALL:
        importList_.CheckAll(false);
        return true;
    }
    return fw::Dialog::OnCommand(id, code, control);
}

// The import list answers none of its notifications itself; offering each to it (one message per
// inserted or changed row) would only slow the filling of a long list.
bool CImportFeedPage::OnNotify(NMHDR* header, LRESULT& result) {
    if (header && header->idFrom == IDL_FEEDS)
        return false;
    return fw::Dialog::OnNotify(header, result);
}

void CImportFeedPage::ChooseFile(const std::string& path) {
    filePath_ = path;
    fileName_ = ::PathFindFileNameA(path.c_str());
    SetItemText(IDE_OPML_FILE, filePath_);
    importList_.Clear();
    opmlTitle_.clear();
    EnableItem(IDC_SELECT_ALL, false);
    EnableItem(IDC_DESELECT_ALL, false);
    EnableItem(IDOK, false);
    if (!filePath_.empty())
        EnableItem(IDC_IMPORT, true);
}

void CImportFeedPage::Browse() {
    std::vector<char> path(kPathChars);
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = kOpenFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathChars;
    dialog.lpstrTitle = "Open";
    dialog.lpstrDefExt = kDefaultExtension;
    // OFN_NOCHANGEDIR: the dialog would otherwise leave the file's folder as the program's current
    // folder, locked against deletion until the wizard ends.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameA(&dialog))
        return;
    ChooseFile(path.data());
}

void CImportFeedPage::Import() {
    if (filePath_.empty())
        return;
    fw::WaitCursor wait;
    importList_.Clear();
    int leftOut = 0;
    const bool read = Parse(leftOut);
    if (read && importList_.Count() != 0) {
        EnableItem(IDC_SELECT_ALL, true);
        EnableItem(IDC_DESELECT_ALL, true);
        EnableItem(IDOK, true);
        importList_.CheckAll(true);
    }
    // A file whose every entry was left out is told as such, not as a file that cannot be read.
    if (read && leftOut > 0)
        fw::ShowMessage(Handle(), LeftOutText(leftOut), kImportCaption, MB_OK | MB_ICONINFORMATION);
    else if (!read || importList_.Count() == 0)
        fw::ShowMessage(Handle(), kImportFailedText, kImportCaption, MB_OK | MB_ICONWARNING);
}

// Every reader that installs the customized setup subscribes to these addresses: only web addresses are
// listed (a file: URL, a UNC path or a script would reach every customer unchecked), trimmed, and a feed
// that the file names twice is listed once, where it first stands.
bool CImportFeedPage::Parse(int& leftOut) {
    opmlTitle_.clear();
    leftOut = 0;
    OpmlContent content;
    if (!ReadOpmlFile(filePath_, document_, content))
        return false;
    opmlTitle_ = content.title;
    std::vector<CImportedFeed> feeds;
    CUrlIndex listed;
    for (CImportedFeed& feed : content.feeds) {
        feed.url = text::Trim(feed.url);
        if (!IsWebUrl(feed.url)) {
            ++leftOut;
            continue;
        }
        if (listed.Contains(feed.url))
            continue;
        listed.Add(feed.url);
        feeds.push_back(std::move(feed));
    }
    importList_.AppendRows(feeds);
    return true;
}

void CImportFeedPage::OnOK() {
    if (importList_.Count() == 0 || importList_.CheckedCount() == 0) {
        fw::ShowMessage(Handle(), kSelectAFeedText, kImportCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    fw::WaitCursor wait;
    Merge();
    End(IDOK);
}

// The head title, or else the file's name without its extension ("feeds.opml" gives "feeds"). A title of
// blanks only counts as none; a file named only by an extension keeps it, so the folder has a name.
std::string CImportFeedPage::FolderName() const {
    const std::string title = text::Trim(opmlTitle_);
    if (!title.empty())
        return title;
    const std::string file = ::PathFindFileNameA(filePath_.c_str());
    const char* extension = ::PathFindExtensionA(file.c_str());
    const std::string stem(file.c_str(), static_cast<size_t>(extension - file.c_str()));
    return stem.empty() ? file : stem;
}

void CImportFeedPage::Merge() {
    const std::string name = FolderName();
    CFeedFolder folder(name);
    CFeedFolderList& folders = feeds_.Folders();
    CFeedListCtrl& rows = feeds_.FeedList();
    rows.DeleteAllRows();

    // Every URL of every folder is split once; each checked feed is then looked up, not compared with
    // them all. The import list names each feed once already.
    CUrlIndex present;
    for (int i = 0; i < folders.FolderCount(); ++i) {
        const CFeedFolder& existing = folders.FolderAt(i);
        for (int j = 0; j < existing.Count(); ++j) {
            std::string title, url;
            existing.GetAt(j, title, url);
            present.Add(url);
        }
    }
    std::vector<FeedRow> added;
    const std::vector<bool> checked = importList_.CheckedRows();
    for (int row = 0; row < importList_.Count(); ++row) {
        const CImportedFeed* feed = importList_.Feed(row);
        if (!feed || !checked[static_cast<size_t>(row)] || present.Contains(feed->url))
            continue;
        const int id = folder.Add(feed->title, feed->url);
        added.push_back(FeedRow{feed->title, feed->url, kRowDescriptionUnknown, id});
    }
    rows.AddRows(added);

    if (folder.Count() == 0) {
        fw::ShowMessage(Handle(), kAllFeedsPresentText, kApplicationTitle, MB_OK | MB_ICONWARNING);
        feeds_.RefreshList();
        return;
    }
    if (folders.FolderExists(name))
        folder.SetName(folders.UniqueFolderName(name));
    folders.AppendFolder(folder);
    feeds_.AddFolderName(folder.Name());
}
