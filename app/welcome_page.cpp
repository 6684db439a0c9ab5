#include "app/welcome_page.h"

#include "app/page_fonts.h"
#include "app/shell_open.h"
#include "app/version_info.h"

const char kArticleUrl[] = "http://www.corvane.com/Resources/articles/rvlc_makeyourown_customversion.aspx";

bool CWelcomePage::OnInitDialog() {
    SetItemText(IDT_VERSION, "Ravelin Customizer " + DisplayVersion(ReadVersionValue(Module(), "FileVersion")));
    SetItemText(IDT_COPYRIGHT, ReadVersionValue(Module(), "LegalCopyright"));

    SetTitleFont(Handle(), IDT_TITLE, titleFont_);

    ReplaceArticleTextByLink();

    SetBoldFont(Handle(), IDT_VERSION, versionFont_);
    SetBoldFont(Handle(), IDT_COPYRIGHT, copyrightFont_);
    return true;
}

void CWelcomePage::ReplaceArticleTextByLink() {
    HWND placeholder = Item(IDC_ARTICLE_LINK);
    if (!placeholder)
        return;
    RECT r;
    ::GetWindowRect(placeholder, &r);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&r), 2);
    ::DestroyWindow(placeholder);
    if (!articleLink_.Create(Handle(), r, IDC_ARTICLE_LINK, "Learn More about Ravelin Customizer..."))
        return;
    const std::string text = fw::LoadResourceString(Module(), IDS_ARTICLE_LINK);
    if (!text.empty())
        articleLink_.SetText(text);
}

bool CWelcomePage::OnCommand(int id, int code, HWND control) {
    if (id == IDC_ARTICLE_LINK && code == BN_CLICKED) {
        OpenArticle();
        return true;
    }
    return CWizardPage::OnCommand(id, code, control);
}

INT_PTR CWelcomePage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DRAWITEM && wp == IDC_ARTICLE_LINK && articleLink_) {
        articleLink_.Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        SetResult(TRUE);
        return TRUE;
    }
    return CWizardPage::OnMessage(msg, wp, lp);
}

void CWelcomePage::OpenArticle() const {
    // A failure to start the browser is not reported: the page goes on as before.
    OpenWithShell(Handle(), "Open", kArticleUrl, SW_SHOWMAXIMIZED);
}
