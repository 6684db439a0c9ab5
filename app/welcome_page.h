// The first page: what the wizard makes, with the product's version.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"

class CWelcomePage : public CWizardPage {
public:
    CWelcomePage() : CWizardPage(IDD_WELCOME, 0, 0, "index.htm", PSWIZB_NEXT) {}
};
