// The wizard: one Wizard97 property sheet that owns its seven pages, and the helpers that every page
// uses to reach the others (the sheet pointer), to ask whether the reader is installed and to open a
// help topic.
#pragma once

#include "app/finish_page.h"
#include "app/instruction_page.h"
#include "app/welcome_page.h"
#include "builder/destination_folder_page.h"
#include "download/page/download_setup_page.h"
#include "feeds/customization_page.h"
#include "framework/owners.h"
#include "framework/propsheet.h"
#include "webpages/webpage_customize_page.h"

#include <string>

class CWizardSheet : public fw::PropertySheet, public CWizardLinks {
public:
    // The caption is set in the title bar; the bitmaps stay owned by the caller.
    CWizardSheet(const std::string& caption, HBITMAP watermark, HBITMAP header);
    ~CWizardSheet() override;

    // Opens one topic of the help file; does nothing without HTML Help.
    void ShowHelpTopic(const char* topic) const;

    // Whether the publisher has added feeds or web pages that no written setup holds yet.
    bool HoldsUnsavedWork() const;
    // Asks whether to close while HoldsUnsavedWork; true when the wizard may close.
    bool ConfirmClose() const;

    const CFeedFolderList& FeedFolders() const override { return feeds.Folders(); }
    std::vector<std::pair<std::string, std::string>> WebPageRows() const override { return webPages.Rows(); }
    KeptAttributes KeptPageAttributes(const std::string& url) const override { return webPages.KeptAttributesOf(url); }
    void SetReaderSetupPath(const std::string& path) override { destination.SetReaderSetupPath(path); }
    void ForgetReaderSetup() override { download.ForgetSetup(); }
    void SetSetupLocation(const std::string& folder, const std::string& name) override {
        finish.SetDestinationFolder(folder);
        finish.SetSetupName(name);
    }
    void SetOutputPath(const std::string& path) override { finish.SetOutputPath(path); }

private:
    // COM and OLE for the whole wizard (the list backgrounds, the XML DOM of the import, the download
    // component): first in, last out, so that every page and control has gone before it ends.
    fw::OleScope ole_;

public:
    // The pages, for the pages that read one another's data in place. Declared in the order of
    // construction; the sheet shows them in the order of WizardPageIndex.
    CWelcomePage welcome;
    CCustomizationPage feeds;
    CWebPageCustomizePage webPages;
    CDownloadSetupPage download;
    CDestinationFolderPage destination;
    CInstructionPage instruction;
    CFinishPage finish;

private:
    // Declared after the pages: freed before the pages are destroyed.
    fw::Library helpLibrary_;
};

// Asked before the wizard closes while it holds unsaved work (Yes/No, No by default).
extern const char kCloseQuestion[];

// The one wizard of the process; null while no wizard runs.
CWizardSheet* GetWizardSheet();
void SetWizardSheet(CWizardSheet* sheet);

// Opens that key for reading into key; false (and key empty) when there is none.
bool OpenReaderUninstallKey(fw::RegKey& key);
extern const char kReaderUninstallKey[];

// The help file: "Help\RVLCustomizer.chm" in the program's own folder, whatever the current folder.
std::string HelpFilePath();
// Opens a topic through the wizard's help library (nothing when no wizard runs).
void ShowHelpTopic(const char* topic);
