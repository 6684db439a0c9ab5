// The last page: where the customized setup was written; Finish can open its folder and run it.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"

class CFinishPage : public CWizardPage {
public:
    CFinishPage() : CWizardPage(IDD_FINISH, 0, 0, "selectingFolder.htm", PSWIZB_BACK | PSWIZB_NEXT | PSWIZB_FINISH) {}
};
