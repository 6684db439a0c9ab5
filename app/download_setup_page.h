// Downloads the reader's setup. Until the download runs here, Back and Next let the user walk on.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"

class CDownloadSetupPage : public CWizardPage {
public:
    CDownloadSetupPage()
        : CWizardPage(IDD_DOWNLOAD, IDS_DOWNLOAD_TITLE, IDS_DOWNLOAD_SUBTITLE, "downloadingSetup.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}

protected:
    // After the download: to the read-me page when the reader is installed, else to the destination.
    LRESULT OnWizardNext() override;
};
