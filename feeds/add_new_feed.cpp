#include "feeds/add_new_feed.h"

#include "feeds/compare_urls.h"
#include "feeds/url_scheme.h"
#include "fetch/feed_validator.h"
#include "framework/message.h"
#include "framework/owners.h"
#include "framework/text.h"
#include "framework/window.h"
#include "resources/resource.h"

#include <shellapi.h>
#include <urlmon.h>

const char kAddFeedErrorCaption[] = "Error Adding Feed";
const char kCannotAdd[] = "Cannot add";

namespace {

// Only S_FALSE ("not valid") refuses the URL; an error of the check itself lets it through to the fetch.
bool PassesSyntaxCheck(const std::string& url) {
    const std::wstring wide = fw::ToWide(url);
    return ::IsValidURL(nullptr, wide.c_str(), 0) != S_FALSE;
}

} // namespace

CAddNewFeed::CAddNewFeed(const fw::ListView& existing)
    : fw::Dialog(fw::ThisModule(), IDD_ADD_FEED), existing_(existing) {}

std::string CAddNewFeed::Url() {
    url_ = text::Trim(url_);
    return url_;
}
std::string CAddNewFeed::Title() {
    title_ = text::Trim(title_);
    return title_;
}
std::string CAddNewFeed::Link() {
    link_ = text::Trim(link_);
    return link_;
}
std::string CAddNewFeed::Description() {
    description_ = text::Trim(description_);
    return description_;
}

bool CAddNewFeed::IsDuplicate(const fw::ListView& list, const std::string& url) {
    if (!list.Handle())
        return false;
    for (int row = 0; row < list.Count(); ++row) {
        const std::string existing = list.Text(row, 1);
        const int r = CompareUrls(existing, url);
        if (r == kUrlsEquivalent)
            return true;
        // URLs that cannot be split are the same feed only when the texts are.
        if (r == kUrlsUnsplittable && text::EqualNoCase(existing, url))
            return true;
    }
    return false;
}

bool CAddNewFeed::OnInitDialog() {
    // No limit of the edit's own: a pasted URL that is too long is refused whole, not cut.
    ExchangeText(IDE_URL, url_, false);
    EnableItem(IDC_BROWSE, false);
    FocusItem(IDE_URL);
    // The focus is set: the dialog manager must not move it to the first control.
    return false;
}

bool CAddNewFeed::OnCommand(int id, int code, HWND control) {
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

void CAddNewFeed::Browse() {
    const std::string url = WithHttpPrefix(text::Trim(ItemText(IDE_URL)));
    // The shell opens whatever it is given: a file: or other address could start a program or open a
    // file. Only web addresses go out, and the dialog owns whatever the shell shows on failure.
    if (!IsWebUrl(url)) {
        fw::ShowMessage(Handle(), kOnlyWebUrlsBrowse, fw::GetWindowTextString(Handle()), MB_OK | MB_ICONWARNING);
        FocusAndSelect(IDE_URL);
        return;
    }
    ::ShellExecuteA(Handle(), "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CAddNewFeed::Refuse(const std::string& text, const char* caption, bool selectUrl) {
    fw::ShowMessage(Handle(), text, caption, MB_OK | MB_ICONWARNING);
    if (selectUrl)
        FocusAndSelect(IDE_URL);
}

void CAddNewFeed::OnOK() {
    ExchangeText(IDE_URL, url_, true);
    url_ = text::Trim(url_);
    if (url_.empty()) {
        Refuse("Please Enter the URL of RSS Feed.", kAddFeedErrorCaption, true);
        return;
    }
    const std::string prefixed = WithHttpPrefix(url_);
    if (prefixed != url_) {
        url_ = prefixed;
        SetItemText(IDE_URL, url_);
    }
    if (url_.size() > kMaxUrlChars) {
        Refuse(kUrlTooLong, kAddFeedErrorCaption, true);
        return;
    }
    if (!PassesSyntaxCheck(url_)) {
        Refuse(text::Format("%s %s %s", kCannotAdd, url_.c_str(),
                            ": The URL you specified is not valid. Enter a valid URL."),
               kAddFeedErrorCaption, true);
        return;
    }
    if (IsDuplicate(existing_, url_)) {
        Refuse(text::Format("%s %s %s", kCannotAdd, url_.c_str(),
                            ": The feed with the URL you specified already exists. Please specify another URL."),
               kAddFeedErrorCaption, false);
        return;
    }

    int result;
    std::string message;
    {
        fw::WaitCursor wait;
        CFeedValidator validator(url_);
        result = validator.Validate();
        message = validator.Message();
        if (result == feedtext::kValidFeed) {
            title_ = validator.Title();
            link_ = validator.Link();
            description_ = validator.Description();
        }
    }
    switch (result) {
    case feedtext::kValidFeed:
        if (text::Trim(title_).empty())
            title_ = "Untitled feed";
        if (text::Trim(description_).empty())
            description_ = "No Description Available";
        End(IDOK);
        return;
    case feedtext::kInvalidFeedVersion:
        End(IDOK);
        return;
    case feedtext::kInvalidFeed:
        Refuse(text::Format("%s %s %s", kCannotAdd, url_.c_str(),
                            ": The URL you specified is not a feed. Enter a different URL."),
               "Invalid RSS feed", true);
        return;
    default:
        Refuse(text::Format("%s %s : %s", kCannotAdd, url_.c_str(), message.c_str()),
               "Error occurred while downloading", true);
        return;
    }
}
