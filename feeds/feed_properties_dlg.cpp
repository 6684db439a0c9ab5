#include "feeds/feed_properties_dlg.h"

#include "fetch/feed_encoding.h"
#include "framework/message.h"
#include "framework/text.h"
#include "framework/window.h"
#include "resources/resource.h"

namespace {
constexpr int kMaxTitleChars = 260;
}

CFeedPropertiesDlg::CFeedPropertiesDlg() : fw::Dialog(fw::ThisModule(), IDD_FEED_PROPERTIES) {}

std::string CFeedPropertiesDlg::Title() const {
    return text::Trim(title_);
}

bool CFeedPropertiesDlg::OnInitDialog() {
    ::SetWindowTextA(Handle(), caption_.c_str());
    ExchangeText(IDE_PROPERTY_TITLE, title_, false, kMaxTitleChars);
    ExchangeText(IDE_PROPERTY_URL, url_, false);
    ExchangeText(IDE_DESCRIPTION, description_, false);
    titleAtOpening_ = title_;
    FocusItem(IDE_PROPERTY_TITLE);
    return false;
}

void CFeedPropertiesDlg::OnOK() {
    ExchangeText(IDE_PROPERTY_TITLE, title_, true);
    ExchangeText(IDE_PROPERTY_URL, url_, true);
    ExchangeText(IDE_DESCRIPTION, description_, true);
    // A typed or pasted title keeps only what a data file can carry, as a fetched one does.
    title_ = feedtext::OneLineText(title_);
    if (title_.empty()) {
        fw::ShowMessage(Handle(), "Please Enter the title of Feed.", "Properties", MB_OK);
        FocusAndSelect(IDE_PROPERTY_TITLE);
        return;
    }
    titleChanged_ = text::EqualNoCase(title_, titleAtOpening_) ? FALSE : TRUE;
    End(IDOK);
}
