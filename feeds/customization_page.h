// The feeds page: the feed folders and the feeds of the customized reader.
#pragma once

#include "app/wizard_page.h"
#include "feeds/feed_folder.h"
#include "resources/resource.h"

class CCustomizationPage : public CWizardPage {
public:
    CCustomizationPage()
        : CWizardPage(IDD_FEEDS, IDS_FEEDS_TITLE, IDS_FEEDS_SUBTITLE, "addingFeeds.htm", PSWIZB_BACK | PSWIZB_NEXT),
          folders_(fw::LoadResourceString(fw::ThisModule(), IDS_DEFAULT_FOLDER)) {}

    // The folders and their feeds; the data-file writer reads them in place. The first folder, and the
    // one that takes the place of the last folder removed, is named by the string table.
    CFeedFolderList& Folders() { return folders_; }
    const CFeedFolderList& Folders() const { return folders_; }

private:
    CFeedFolderList folders_;
};
