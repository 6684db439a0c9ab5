// The read-me page, shown only when the reader is installed: the installation will be replaced.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"

class CInstructionPage : public CWizardPage {
public:
    CInstructionPage()
        : CWizardPage(IDD_README, IDS_README_TITLE, IDS_README_SUBTITLE, "InstructionScreen.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}

protected:
    // Back skips the download page, which has done its work.
    LRESULT OnWizardBack() override;
};
