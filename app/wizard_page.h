// What every page of the wizard shares: its template and header, the wizard buttons it asks for on
// activation and the help topic of its Help button; and what the wizard offers its pages, so that a page
// reaches the others through the wizard without knowing their classes.
#pragma once

#include "feeds/feed_folder.h"
#include "framework/propsheet.h"
#include "framework/window.h"

#include <string>
#include <utility>
#include <vector>

// Positions of the pages in the sheet, the order the user sees.
enum WizardPageIndex {
    kWelcomePage = 0,
    kFeedsPage,
    kWebPagesPage,
    kDownloadPage,
    kInstructionPage,
    kDestinationPage,
    kFinishPage,
    kWizardPageCount
};

// The data that pages hand one another, read and written in place on the page that keeps it.
class CWizardLinks {
public:
    // The feed folders of the feeds page.
    virtual const CFeedFolderList& FeedFolders() const = 0;
    // The web pages as (title, URL) in display order; none before the web pages page was first shown.
    virtual std::vector<std::pair<std::string, std::string>> WebPageRows() const = 0;
    // The attributes of the element that the page of this URL was read from (an opened setup's); empty
    // for a page added here.
    virtual KeptAttributes KeptPageAttributes(const std::string& url) const = 0;
    // The downloaded reader setup, for the build; empty when there is none.
    virtual void SetReaderSetupPath(const std::string& path) = 0;
    // The reader setup failed its check at the build: the download page fetches it again when next shown.
    virtual void ForgetReaderSetup() = 0;
    // Where the customized setup goes (trimmed folder and name as entered), for the finish page.
    virtual void SetSetupLocation(const std::string& folder, const std::string& name) = 0;
    // The full path of the customized setup, for the finish page.
    virtual void SetOutputPath(const std::string& path) = 0;

protected:
    ~CWizardLinks() = default;
};

// The links of the running wizard; null while no wizard runs.
CWizardLinks* WizardLinks();

// The reader is installed when its uninstall key opens under HKEY_LOCAL_MACHINE or, failing that,
// under HKEY_CURRENT_USER, in the 32-bit registry view or, failing that, in the 64-bit one.
bool IsReaderInstalled();

class CWizardPage : public fw::PropertyPage {
public:
    // titleId and subtitleId 0 make an exterior page (no header, the watermark shown).
    CWizardPage(int templateId, UINT titleId, UINT subtitleId, const char* helpTopic, DWORD buttons)
        : fw::PropertyPage(fw::ThisModule(), templateId, titleId, subtitleId), helpTopic_(helpTopic),
          buttons_(buttons) {}

    const char* HelpTopic() const { return helpTopic_; }

protected:
    bool OnSetActive() override;
    void OnHelp() override;
    // Cancel, Esc, the close box and Alt+F4 all come here: the wizard asks before work would be lost.
    // A page that must answer Cancel itself overrides this and calls it where the general question
    // applies.
    bool OnQueryCancel() override;

private:
    const char* helpTopic_;
    DWORD buttons_;
};
