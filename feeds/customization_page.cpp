#include "feeds/customization_page.h"

#include "feeds/add_new_feed.h"
#include "feeds/dlg_rename_folder.h"
#include "feeds/feed_properties_dlg.h"
#include "feeds/import_feed_page.h"
#include "framework/message.h"
#include "framework/text.h"

#include <vector>

CCustomizationPage::CCustomizationPage()
    : CWizardPage(IDD_FEEDS, IDS_FEEDS_TITLE, IDS_FEEDS_SUBTITLE, "addingFeeds.htm", PSWIZB_BACK | PSWIZB_NEXT),
      folders_(fw::LoadResourceString(fw::ThisModule(), IDS_DEFAULT_FOLDER)) {}

bool CCustomizationPage::OnInitDialog() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    feedList_.Subclass(Item(IDL_FEEDS));
    feedList_.Send(LVM_SETTEXTBKCOLOR, 0, CLR_NONE);

    // The list's background picture is drawn through OLE, which the wizard's sheet holds for as long as
    // the list exists.
    {
        HBITMAP picture = ::LoadBitmapA(fw::ThisModule(), MAKEINTRESOURCEA(IDB_LIST_BACKGROUND));
        LVBKIMAGEA image = {};
        image.ulFlags = LVBKIF_SOURCE_HBITMAP | LVBKIF_STYLE_TILE;
        image.hbm = picture;
        // The list owns a bitmap it accepts and deletes it when it goes.
        if (picture && !feedList_.Send(LVM_SETBKIMAGEA, 0, reinterpret_cast<LPARAM>(&image)))
            ::DeleteObject(picture);
    }
    feedList_.Initialize();
    // The rows are the publisher's only view of the order: a drag or a sort sets the folder's order too,
    // and so the order of the feed file.
    feedList_.SetOrderChanged([this] { folders_.ArrangeCurrentFolder(CurrentFolderName(), feedList_.RecordIds()); });

    EnableItem(IDC_REMOVE, false);
    EnableItem(IDC_PROPERTIES, false);

    // Folders of an opened setup may have come before the window.
    if (folders_.FolderCount() == 0)
        folders_.AddDefaultFolder();
    ShowFolders();
    return true;
}

void CCustomizationPage::ReplaceFolders(const std::vector<CFeedFolder>& folders) {
    folders_ = CFeedFolderList(folders_.DefaultFolderName());
    // Names stay unique, as the folder combo box finds a folder by its name.
    folders_.AppendFoldersUnique(folders);
    if (!Handle())
        return;
    if (folders_.FolderCount() == 0)
        folders_.AddDefaultFolder();
    ShowFolders();
}

bool CCustomizationPage::HasFeeds() const {
    for (int i = 0; i < folders_.FolderCount(); ++i) {
        if (folders_.FolderAt(i).Count() != 0)
            return true;
    }
    return false;
}

void CCustomizationPage::ShowFolders() {
    ::SendMessageA(Combo(), CB_RESETCONTENT, 0, 0);
    feedList_.DeleteAllRows();
    for (int i = 0; i < folders_.FolderCount(); ++i)
        ::SendMessageA(Combo(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folders_.FolderAt(i).Name().c_str()));
    // The combo box sorts the names; the first folder of the list is the one shown.
    const LRESULT first = ::SendMessageA(Combo(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(folders_.FolderAt(0).Name().c_str()));
    ::SendMessageA(Combo(), CB_SETCURSEL, first >= 0 ? static_cast<WPARAM>(first) : 0, 0);
    RefreshList();
}

std::string CCustomizationPage::CurrentFolderName() const {
    const int index = static_cast<int>(::SendMessageA(Combo(), CB_GETCURSEL, 0, 0));
    if (index < 0)
        return std::string();
    const int length = static_cast<int>(::SendMessageA(Combo(), CB_GETLBTEXTLEN, index, 0));
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    ::SendMessageA(Combo(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data());
}

void CCustomizationPage::AddFolderName(const std::string& name) {
    const LRESULT index = ::SendMessageA(Combo(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (index >= 0)
        ::SendMessageA(Combo(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CCustomizationPage::RefreshList() {
    const CFeedFolder* folder = folders_.FindFolder(CurrentFolderName());
    if (!folder)
        return;
    feedList_.DeleteAllRows();
    std::vector<FeedRow> rows(static_cast<size_t>(folder->Count()));
    for (int i = 0; i < folder->Count(); ++i) {
        FeedRow& row = rows[static_cast<size_t>(i)];
        folder->GetAt(i, row.title, row.url);
        row.description = kRowDescriptionUnknown;
        row.recordId = folder->IdAt(i);
    }
    feedList_.AddRows(rows);
    UpdateButtons();
}

bool CCustomizationPage::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_ADD:
        AddFeed();
        return true;
    case IDC_REMOVE:
        RemoveFeeds();
        return true;
    case IDC_PROPERTIES:
        EditProperties();
        return true;
    case IDC_RENAME:
        RenameFolder();
        return true;
    case IDC_IMPORT_OPML:
        ImportOpml();
        return true;
    case IDC_FOLDER_COMBO:
        if (code == CBN_SELCHANGE) {
            RefreshList();
            return true;
        }
        break;
    }
    return CWizardPage::OnCommand(id, code, control);
}

bool CCustomizationPage::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom == IDL_FEEDS && header->code == LVN_ITEMCHANGED) {
        UpdateButtons();
        result = 0;
        return true;
    }
    // The list takes only the notifications of its drag and drop and its sorting; offering it the others
    // (a message for every row inserted or deleted) would only slow the filling of a long list.
    if (header->idFrom == IDL_FEEDS && header->code != LVN_BEGINDRAG && header->code != LVN_COLUMNCLICK)
        return false;
    return CWizardPage::OnNotify(header, result);
}

// Remove needs a selected row, Properties exactly one. The whole selection counts, not only the row of
// the notification: with several rows selected, deselecting one of them leaves the others to act on.
void CCustomizationPage::UpdateButtons() {
    const int selected = feedList_.Handle() ? feedList_.List().SelectedCount() : 0;
    EnableItem(IDC_REMOVE, selected > 0);
    EnableItem(IDC_PROPERTIES, selected == 1);
}

void CCustomizationPage::AddFeed() {
    CAddNewFeed dialog(feedList_.List());
    if (dialog.DoModal(Handle()) != IDOK)
        return;
    const std::string title = dialog.Title();
    const std::string url = dialog.Url();
    CFeedFolder* folder = folders_.FindFolder(CurrentFolderName());
    const int id = folder ? folder->Add(title, url) : 0;
    if (!feedList_.AddRow(title, url, dialog.Link(), dialog.Description(), id)) {
        if (folder)
            folder->RemoveAt(folder->IndexOf(id));
        fw::ShowMessage(Handle(),
                        text::Format("%s %s %s", kCannotAdd, url.c_str(),
                                     ": Error occurred while adding a feed. Please try again."),
                        kAddFeedErrorCaption, MB_OK | MB_ICONWARNING);
    }
}

// Everything the import changes on this page, the dialog does itself.
void CCustomizationPage::ImportOpml() {
    CImportFeedPage dialog(*this);
    dialog.DoModal(Handle());
}

void CCustomizationPage::RemoveFeeds() {
    fw::ListView list = feedList_.List();
    const std::vector<int> selected = list.SelectedRows();
    if (selected.empty())
        return;
    const std::string current = CurrentFolderName();
    FeedRemoval folderGone = FeedRemoval::RecordRemoved;
    for (size_t i = selected.size(); i-- > 0;) {
        const int row = selected[i];
        const FeedRemoval removal = folders_.RemoveFeedFromCurrentFolder(current, feedList_.RecordId(row));
        if (removal == FeedRemoval::FolderRemoved || removal == FeedRemoval::FolderReplaced)
            folderGone = removal;
        feedList_.DeleteRow(row);
    }
    list.DeselectAll();
    if (list.Count() > 0)
        list.SetState(0, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
    if (folderGone != FeedRemoval::RecordRemoved)
        FolderRemoved(folderGone);
    UpdateButtons();
    ::SetFocus(feedList_.Handle());
}

void CCustomizationPage::FolderRemoved(FeedRemoval removal) {
    const LRESULT selected = ::SendMessageA(Combo(), CB_GETCURSEL, 0, 0);
    if (selected >= 0)
        ::SendMessageA(Combo(), CB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    if (removal == FeedRemoval::FolderReplaced) {
        // The last folder went and the list made a new default folder: the combo box names it.
        AddFolderName(folders_.DefaultFolderName());
        return;
    }
    ::SendMessageA(Combo(), CB_SETCURSEL, 0, 0);
    // The rows follow the folder now selected, so that the duplicate test of the next feed added to it
    // sees its feeds.
    RefreshList();
}

void CCustomizationPage::EditProperties() {
    fw::ListView list = feedList_.List();
    if (list.SelectedCount() != 1)
        return;
    const int row = list.FirstSelected();
    const std::string title = list.Text(row, 0);
    CFeedPropertiesDlg dialog;
    dialog.SetCaption(title + " Properties");
    dialog.SetTitle(title);
    dialog.SetUrl(list.Text(row, 1));
    dialog.SetDescription(feedList_.Description(row));
    if (dialog.DoModal(Handle()) == IDOK) {
        const std::string newTitle = dialog.Title();
        // The row shows what the folder keeps, also when only the letter case changed.
        list.SetText(row, 0, newTitle);
        list.SetState(row, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
        folders_.SetFeedTitle(CurrentFolderName(), feedList_.RecordId(row), newTitle);
    }
    ::SetFocus(feedList_.Handle());
}

void CCustomizationPage::RenameFolder() {
    const std::string oldName = CurrentFolderName();
    CDlgRenameFolder dialog;
    dialog.SetName(oldName);
    if (dialog.DoModal(Handle()) != IDOK)
        return;
    const std::string newName = dialog.Name();
    if (folders_.FolderExists(newName)) {
        fw::ShowMessage(Handle(), "A folder with the same name already exists. The folder will not be renamed.",
                        kApplicationTitle, MB_OK | MB_ICONWARNING);
        return;
    }
    const LRESULT selected = ::SendMessageA(Combo(), CB_GETCURSEL, 0, 0);
    if (selected >= 0)
        ::SendMessageA(Combo(), CB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    AddFolderName(newName);
    folders_.RenameFolder(oldName, newName);
}
