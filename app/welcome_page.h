// The first page: what the wizard makes, with the product's version and a link to an article.
#pragma once

#include "app/hyperlink_button.h"
#include "app/wizard_page.h"
#include "framework/owners.h"
#include "resources/resource.h"

#include <string>

// The article on the maker's web site that the welcome page's link opens.
extern const char kArticleUrl[];

// The messages of opening a customized setup.
extern const char kNotCustomizedSetup[];
extern const char kDamagedSetup[]; // followed by an empty line and the cause
extern const char kNestedFolder[];  // a format with the folder's name
extern const char kSecondPageFolder[];  // a format with the second page folder's name
extern const char kLooseFeed[];     // a format with the feed's title
extern const char kLegacyCodePage[];
extern const char kReplaceEnteredData[];

class CWelcomePage : public CWizardPage {
public:
    CWelcomePage() : CWizardPage(IDD_WELCOME, 0, 0, "index.htm", PSWIZB_NEXT) {}

    // A setup to open as soon as the page is shown: the program's command-line argument.
    void SetSetupToOpen(const std::string& path) { setupToOpen_ = path; }
    // Reads the customized setup at path and loads its feed folders and web pages into the pages, asking
    // first when data has been entered; the destination page then proposes its folder and name. Shows
    // why a file is refused, changing nothing. True when the setup was loaded.
    bool OpenSetup(const std::string& path);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void ReplaceArticleTextByLink();
    void OpenArticle() const;
    // The file-open dialog, owned by the sheet; opens the setup chosen and moves on to the feeds page.
    void BrowseForSetup();
    void OpenAndMoveOn(const std::string& path);
    bool OpenSetupFile(const std::string& path);

    std::string setupToOpen_;

    fw::Font titleFont_;
    fw::Font versionFont_;
    fw::Font copyrightFont_;
    CHyperlinkButton articleLink_;
};
