// The feeds page: the feed folders and the feeds of the customized reader.
#pragma once

#include "app/wizard_page.h"
#include "feeds/feed_folder.h"
#include "feeds/feed_list_ctrl.h"
#include "resources/resource.h"

#include <string>

class CCustomizationPage : public CWizardPage {
public:
    CCustomizationPage();

    // The folders and their feeds; the data-file writer reads them in place. The first folder, and the
    // one that takes the place of the last folder removed, is named by the string table.
    CFeedFolderList& Folders() { return folders_; }
    const CFeedFolderList& Folders() const { return folders_; }

    // The rows: the feeds of the folder shown.
    CFeedListCtrl& FeedList() { return feedList_; }
    // The name of the folder selected in the folder combo box; empty when none is.
    std::string CurrentFolderName() const;
    // Adds name to the folder combo box and selects it (the rows are not rebuilt).
    void AddFolderName(const std::string& name);
    // Rebuilds the rows from the folder selected in the combo box; without such a folder the rows stay.
    void RefreshList();
    // Replaces every folder by folders (the default folder when there are none) and shows the first.
    // Before the page's window exists, the page starts with them instead of the default folder.
    void ReplaceFolders(const std::vector<CFeedFolder>& folders);
    // Whether any folder holds a feed.
    bool HasFeeds() const;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;

private:
    void AddFeed();
    void RemoveFeeds();
    void EditProperties();
    void RenameFolder();
    void ImportOpml();
    void UpdateButtons();
    // Keeps the combo box in step when removing a feed took its folder out of the list.
    void FolderRemoved(FeedRemoval removal);
    // Fills the combo box with the folders' names and shows the first folder.
    void ShowFolders();
    HWND Combo() const { return Item(IDC_FOLDER_COMBO); }

    CFeedListCtrl feedList_;
    CFeedFolderList folders_;
};
