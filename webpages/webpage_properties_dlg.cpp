#include "webpages/webpage_properties_dlg.h"

#include "fetch/feed_encoding.h"
#include "framework/message.h"
#include "framework/text.h"
#include "framework/window.h"
#include "resources/resource.h"

CWebPagePropertiesDlg::CWebPagePropertiesDlg() : fw::Dialog(fw::ThisModule(), IDD_WEBPAGE_PROPERTIES) {}

bool CWebPagePropertiesDlg::OnInitDialog() {
    ::SetWindowTextA(Handle(), caption_.c_str());
    ExchangeText(IDE_PROPERTY_TITLE, title_, false, kMaxChars);
    ExchangeText(IDE_PROPERTY_URL, url_, false);
    openingTitle_ = title_;
    FocusItem(IDE_PROPERTY_TITLE);
    return false;
}

void CWebPagePropertiesDlg::OnOK() {
    std::string title = feedtext::OneLineText(ItemText(IDE_PROPERTY_TITLE));
    if (title.empty()) {
        fw::ShowMessage(Handle(), "Please Enter the title of WebPage.", "Properties", MB_OK);
        FocusAndSelect(IDE_PROPERTY_TITLE);
        return;
    }
    title_ = title;
    titleChanged_ = !text::EqualNoCase(title_, openingTitle_);
    End(IDOK);
}
