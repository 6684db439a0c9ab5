// The web pages page: the web pages of the customized reader.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"

class CWebPageCustomizePage : public CWizardPage {
public:
    CWebPageCustomizePage()
        : CWizardPage(IDD_WEBPAGES, IDS_WEBPAGES_TITLE, IDS_WEBPAGES_SUBTITLE, "addingWebpages.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}
};
