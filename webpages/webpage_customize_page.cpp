#include "webpages/webpage_customize_page.h"

#include "framework/message.h"
#include "framework/text.h"
#include "webpages/add_new_webpage.h"
#include "webpages/webpage_properties_dlg.h"

#include <commctrl.h>

bool CWebPageCustomizePage::OnInitDialog() {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&classes);
    list_.Attach(Item(IDL_WEBPAGES));
    EnableItem(IDC_REMOVE, false);
    EnableItem(IDC_PROPERTIES, false);
    for (const auto& page : pending_)
        list_.AddWebPageRow(page.first, page.second);
    pending_.clear();
    UpdateButtons();
    return CWizardPage::OnInitDialog();
}

KeptAttributes CWebPageCustomizePage::KeptAttributesOf(const std::string& url) const {
    const auto found = kept_.find(url);
    return found == kept_.end() ? KeptAttributes() : found->second;
}

void CWebPageCustomizePage::ReplacePages(const std::vector<std::pair<std::string, std::string>>& pages,
                                         std::vector<std::pair<std::string, KeptAttributes>> kept) {
    kept_.clear();
    for (auto& page : kept)
        kept_.emplace(std::move(page.first), std::move(page.second));
    if (!Handle()) {
        pending_ = pages;
        return;
    }
    list_.Send(LVM_DELETEALLITEMS, 0, 0);
    for (const auto& page : pages)
        list_.AddWebPageRow(page.first, page.second);
    UpdateButtons();
}

bool CWebPageCustomizePage::OnCommand(int id, int code, HWND control) {
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_ADD:
            Add();
            return true;
        case IDC_REMOVE:
            Remove();
            return true;
        case IDC_PROPERTIES:
            ShowProperties();
            return true;
        }
    }
    return CWizardPage::OnCommand(id, code, control);
}

bool CWebPageCustomizePage::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom == IDL_WEBPAGES && header->code == LVN_ITEMCHANGED)
        UpdateButtons();
    return CWizardPage::OnNotify(header, result);
}

// The buttons follow the whole selection rather than the one row a notification names: otherwise
// deselecting one row of several would disable Remove while rows are still selected.
void CWebPageCustomizePage::UpdateButtons() const {
    int selected = list_.List().SelectedCount();
    EnableItem(IDC_REMOVE, selected > 0);
    EnableItem(IDC_PROPERTIES, selected == 1);
}

void CWebPageCustomizePage::Add() {
    CAddNewWebPage dialog(list_.Urls());
    if (dialog.DoModal(Handle()) != IDOK)
        return;
    if (!list_.AddWebPageRow(dialog.Title(), dialog.URL())) {
        fw::ShowMessage(Handle(),
                        text::Format("%s %s %s", "Cannot add", dialog.URL().c_str(),
                                     ": Error occurred while adding a WebPage. Please try again."),
                        "Error Adding WebPage", MB_OK | MB_ICONWARNING);
    }
}

void CWebPageCustomizePage::Remove() {
    fw::ListView list = list_.List();
    std::vector<int> rows = list.SelectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        list_.DeleteRow(*it);
    if (list.Count() > 0)
        list.SetState(0, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(list.Handle());
}

void CWebPageCustomizePage::ShowProperties() {
    fw::ListView list = list_.List();
    if (list.SelectedCount() == 1) {
        int row = list.FirstSelected();
        std::string title = list.Text(row, CWebPageListCtrl::kTitleColumn);
        CWebPagePropertiesDlg dialog;
        dialog.SetCaption(title + " Properties");
        dialog.SetTitle(title);
        dialog.SetURL(list.Text(row, CWebPageListCtrl::kUrlColumn));
        if (dialog.DoModal(Handle()) == IDOK) {
            // The row takes the title as confirmed, also when only its letter case changed.
            list.SetText(row, CWebPageListCtrl::kTitleColumn, text::Trim(dialog.Title()));
            list.SetState(row, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    ::SetFocus(list.Handle());
}
