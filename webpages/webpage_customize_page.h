// The web pages page: the web pages of the customized reader.
#pragma once

#include "app/wizard_page.h"
#include "resources/resource.h"
#include "webpages/webpage_list_ctrl.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CWebPageCustomizePage : public CWizardPage {
public:
    CWebPageCustomizePage()
        : CWizardPage(IDD_WEBPAGES, IDS_WEBPAGES_TITLE, IDS_WEBPAGES_SUBTITLE, "addingWebpages.htm",
                      PSWIZB_BACK | PSWIZB_NEXT) {}

    // The web pages as (title, URL) in display order; the data-file writer reads them here. Empty before
    // the page was first shown.
    std::vector<std::pair<std::string, std::string>> Rows() const { return list_.Rows(); }
    CWebPageListCtrl& List() { return list_; }
    // Replaces every row by pages. Before the page's window exists, the page starts with them. kept: the
    // attributes of each page's element by URL, for pages read from an opened setup.
    void ReplacePages(const std::vector<std::pair<std::string, std::string>>& pages,
                      std::vector<std::pair<std::string, KeptAttributes>> kept = {});
    // The kept attributes of the page of that URL; empty for a page added here. A page whose URL is
    // edited loses them, as it is another page then.
    KeptAttributes KeptAttributesOf(const std::string& url) const;
    // Whether there is a row, or rows waiting for the window.
    bool HasPages() const { return !pending_.empty() || !list_.Rows().empty(); }
    const CWebPageListCtrl& List() const { return list_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;

private:
    void Add();
    void Remove();
    void ShowProperties();
    void UpdateButtons() const;

    CWebPageListCtrl list_;
    // The pages of an opened setup while the window does not exist yet.
    std::vector<std::pair<std::string, std::string>> pending_;
    // By URL: a build looks up every row.
    std::unordered_map<std::string, KeptAttributes> kept_;
};
