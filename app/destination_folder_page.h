// Where and under which name the customized setup is written.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"

class CDestinationFolderPage : public CWizardPage {
public:
    CDestinationFolderPage()
        : CWizardPage(IDD_DESTINATION, IDS_DESTINATION_TITLE, IDS_DESTINATION_SUBTITLE, "selectingFolder.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}

protected:
    // Back skips the download page: to the read-me page when the reader is installed, else to the
    // web pages page.
    LRESULT OnWizardBack() override;
};
