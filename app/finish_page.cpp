#include "app/finish_page.h"

#include "app/page_fonts.h"
#include "app/shell_open.h"

std::string CFinishPage::ShownPath() const {
    if (destinationFolder_.empty())
        return setupName_;
    // A folder that is a drive's root ("C:\") already ends in the separator.
    if (!destinationFolder_.empty() && destinationFolder_.back() == '\\')
        return destinationFolder_ + setupName_;
    return destinationFolder_ + "\\" + setupName_;
}

bool CFinishPage::OnInitDialog() {
    SetTitleFont(Handle(), IDT_TITLE, titleFont_);
    SetItemText(IDT_TITLE, "Completed Ravelin’s Customization");
    SetCheck(IDX_OPEN_FOLDER, true);
    return true;
}

bool CFinishPage::OnSetActive() {
    SetItemText(IDE_SETUP_PATH, ShownPath());
    return CWizardPage::OnSetActive();
}

bool CFinishPage::OnWizardFinish() {
    // Failures of the shell are not reported: the wizard closes in any case.
    if (IsChecked(IDX_OPEN_FOLDER))
        OpenWithShell(Handle(), "explore", destinationFolder_, SW_SHOWMAXIMIZED);
    if (IsChecked(IDX_RUN_SETUP))
        OpenWithShell(Handle(), "Open", outputPath_, SW_HIDE);
    return true;
}
