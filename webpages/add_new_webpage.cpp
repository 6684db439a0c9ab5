#include "webpages/add_new_webpage.h"

#include "fetch/feed_encoding.h"
#include "feeds/compare_urls.h"
#include "feeds/url_scheme.h"
#include "fetch/url_fetcher.h"
#include "framework/message.h"
#include "framework/text.h"
#include "framework/window.h"
#include "resources/resource.h"

#include <shellapi.h>

#include <utility>

namespace {

const char kAddCaption[] = "Error Adding WebPage";
const char kInvalidCaption[] = "Invalid Web Page Address";

std::string CannotAdd(const std::string& url, const char* why) {
    return text::Format("%s %s %s", "Cannot add", url.c_str(), why);
}

} // namespace

CAddNewWebPage::CAddNewWebPage(std::vector<std::string> listedUrls)
    : fw::Dialog(fw::ThisModule(), IDD_ADD_WEBPAGE), listedUrls_(std::move(listedUrls)) {}

bool CAddNewWebPage::OnInitDialog() {
    ExchangeText(IDE_WEBPAGE_TITLE, title_, false, kMaxChars);
    // No limit of the edit's own: a pasted URL that is too long is refused whole, not cut.
    ExchangeText(IDE_URL, url_, false);
    EnableItem(IDC_BROWSE, false);
    FocusItem(IDE_WEBPAGE_TITLE);
    return false;
}

bool CAddNewWebPage::OnCommand(int id, int code, HWND control) {
    if (id == IDE_URL && code == EN_CHANGE) {
        EnableItem(IDC_BROWSE, !text::Trim(ItemText(IDE_URL)).empty());
        return true;
    }
    if (id == IDC_BROWSE && code == BN_CLICKED) {
        Browse();
        return true;
    }
    return fw::Dialog::OnCommand(id, code, control);
}

void CAddNewWebPage::Browse() const {
    const std::string typed = text::Trim(ItemText(IDE_URL));
    if (typed.empty())
        return;
    // The shell opens whatever it is given: a file: or other address could start a program or open a
    // file. Only web addresses go out.
    const std::string url = WithHttpPrefix(typed);
    if (!IsWebUrl(url)) {
        Refuse(kOnlyWebUrlsBrowse, fw::GetWindowTextString(Handle()), IDE_URL);
        return;
    }
    HWND owner = ::GetAncestor(Handle(), GA_ROOTOWNER);
    ::ShellExecuteA(owner ? owner : Handle(), "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool CAddNewWebPage::IsListed(const std::string& url) const {
    for (const std::string& listed : listedUrls_) {
        int same = CompareUrls(listed, url);
        if (same == kUrlsEquivalent || (same == kUrlsUnsplittable && text::EqualNoCase(listed, url)))
            return true;
    }
    return false;
}

void CAddNewWebPage::Refuse(const std::string& text, const std::string& caption, int field) const {
    fw::ShowMessage(Handle(), text, caption, MB_OK | MB_ICONWARNING);
    if (field)
        FocusAndSelect(field);
}

void CAddNewWebPage::OnOK() {
    // A title pasted with a line break or another control character keeps only what a data file can carry.
    std::string title = feedtext::OneLineText(ItemText(IDE_WEBPAGE_TITLE));
    std::string url = text::Trim(ItemText(IDE_URL));
    if (title.empty()) {
        Refuse("Please Enter the title of WebPage.", kAddCaption, IDE_WEBPAGE_TITLE);
        return;
    }
    if (url.empty()) {
        Refuse("Please Enter the URL of WebPage.", kAddCaption, IDE_URL);
        return;
    }
    const std::string prefixed = WithHttpPrefix(url);
    if (prefixed != url) {
        url = prefixed;
        SetItemText(IDE_URL, url);
    }
    if (url.size() > kMaxUrlChars) {
        Refuse(kUrlTooLong, kAddCaption, IDE_URL);
        return;
    }
    if (IsListed(url)) {
        Refuse(CannotAdd(url, ": The web page with the URL you specified already exists. Please specify another URL."),
               kAddCaption, 0);
        return;
    }

    ProbeResult probe;
    {
        fw::WaitCursor wait;
        probe = ProbeUrl(url);
    }
    switch (probe.outcome) {
    case ProbeOutcome::Opened:
        title_ = title;
        url_ = url;
        End(IDOK);
        return;
    case ProbeOutcome::NotOpenable:
        Refuse(CannotAdd(url, ": The URL you specified is not a valid WebPage. Enter a different URL."),
               kInvalidCaption, IDE_URL);
        return;
    case ProbeOutcome::Failed:
        Refuse(probe.errorText.empty()
                   ? CannotAdd(url, ": The URL you have specified is invalid. Please specify a valid URL.")
                   : text::Format("%s%s", probe.errorText.c_str(), ". Please try again"),
               kInvalidCaption, IDE_URL);
        return;
    }
}
