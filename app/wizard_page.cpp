#include "app/wizard_page.h"

#include "app/wizard_sheet.h"

bool CWizardPage::OnSetActive() {
    if (Sheet())
        Sheet()->SetWizardButtons(buttons_);
    return true;
}

void CWizardPage::OnHelp() {
    ShowHelpTopic(helpTopic_);
}
