// The first page: what the wizard makes, with the product's version and a link to an article.
#pragma once

#include "app/hyperlink_button.h"
#include "app/wizard_page.h"
#include "framework/owners.h"
#include "resources/resource.h"

#include <string>

// The article on the maker's web site that the welcome page's link opens.
extern const char kArticleUrl[];

class CWelcomePage : public CWizardPage {
public:
    CWelcomePage() : CWizardPage(IDD_WELCOME, 0, 0, "index.htm", PSWIZB_NEXT) {}

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void ReplaceArticleTextByLink();
    void OpenArticle() const;

    fw::Font titleFont_;
    fw::Font versionFont_;
    fw::Font copyrightFont_;
    CHyperlinkButton articleLink_;
};
