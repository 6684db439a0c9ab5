// The moves of the pages that do not simply go to their neighbour.
#include "app/wizard_sheet.h"

LRESULT CInstructionPage::OnWizardBack() {
    return JumpTo(kWebPagesPage);
}

LRESULT CDestinationFolderPage::OnWizardBack() {
    return JumpTo(IsReaderInstalled() ? kInstructionPage : kWebPagesPage);
}
