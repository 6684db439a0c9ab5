// The read-me page, shown only when the reader is installed: the installation will be replaced. Next
// closes a running reader and puts its feed and web page files aside, so that the custom reader does
// not take them over.
#pragma once

#include "app/wizard_page.h"
#include "framework/owners.h"
#include "resources/resource.h"

#include <string>

class CInstructionPage : public CWizardPage {
public:
    CInstructionPage()
        : CWizardPage(IDD_README, IDS_README_TITLE, IDS_README_SUBTITLE, "InstructionScreen.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}

protected:
    bool OnInitDialog() override;
    // Back skips the download page, which has done its work.
    LRESULT OnWizardBack() override;
    LRESULT OnWizardNext() override;

private:
    std::string note_;
    fw::Font noteFont_;
    fw::Font headingFont_;
};

// The reader's installation folder with a trailing "\", from the "Inno Setup: App Path" value of its
// uninstall key; empty when there is no such value.
std::string ReaderInstallFolder();
// Asks a running reader to quit. True when none runs or its window was told to quit; false when one runs
// but its window cannot be found.
bool CloseRunningReader();
// Moves file to file + ".bak", or to file + ".2.bak", ".3.bak"... when that name is taken: no backup is
// ever replaced. Nothing happens when file is absent.
void BackUpReaderFile(const std::string& file);
