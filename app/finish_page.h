// The last page: where the customized setup was written; Finish can open its folder and run it.
#pragma once

#include "app/wizard_page.h"
#include "framework/owners.h"
#include "resources/resource.h"

#include <string>

class CFinishPage : public CWizardPage {
public:
    CFinishPage() : CWizardPage(IDD_FINISH, 0, 0, "selectingFolder.htm", PSWIZB_BACK | PSWIZB_NEXT | PSWIZB_FINISH) {}

    // Set by the destination page: the folder and the name as validated (trimmed), and the full path
    // of the customized setup as the build writes it.
    void SetDestinationFolder(const std::string& folder) { destinationFolder_ = folder; }
    void SetSetupName(const std::string& name) { setupName_ = name; }
    void SetOutputPath(const std::string& path) { outputPath_ = path; }
    const std::string& DestinationFolder() const { return destinationFolder_; }
    const std::string& SetupName() const { return setupName_; }
    const std::string& OutputPath() const { return outputPath_; }

    // The path the page shows: the folder and the name as entered, without the ".exe" the build adds.
    std::string ShownPath() const;

protected:
    bool OnInitDialog() override;
    bool OnSetActive() override;
    bool OnWizardFinish() override;

private:
    std::string destinationFolder_;
    std::string setupName_;
    std::string outputPath_;
    fw::Font titleFont_;
};
