#include "app/wizard_page.h"

#include "app/wizard_sheet.h"

bool CWizardPage::OnSetActive() {
    if (Sheet())
        Sheet()->SetWizardButtons(buttons_);
    return true;
}

bool CWizardPage::OnQueryCancel() {
    CWizardSheet* sheet = GetWizardSheet();
    return !sheet || sheet->ConfirmClose();
}

void CWizardPage::OnHelp() {
    ShowHelpTopic(helpTopic_);
}
