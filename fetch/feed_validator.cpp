#include "fetch/feed_validator.h"

#include "fetch/code_page_charsets.h"
#include "fetch/feed_encoding.h"
#include "framework/owners.h"

namespace {

// UTF-8 text in the process code page, exactly or not at all.
bool ToProcessCodePage(const std::string& utf8, std::string* out) {
    std::wstring wide;
    return fw::ToWideExact(CP_UTF8, utf8, &wide) && fw::ToAnsiExact(wide.data(), static_cast<int>(wide.size()), out);
}

} // namespace

CFeedValidator::CFeedValidator(const std::string& url, DWORD timeout) : url_(url), timeout_(timeout) {}

int CFeedValidator::Validate() {
    // The fetcher, and with it its session, lives for this one validation.
    CUrlFetcher fetcher;
    fetcher.SetTimeout(timeout_);
    if (fetcher.Fetch(url_, content_) != 1) {
        message_ = fetcher.LastStatus();
        return feedtext::kFetchFailed;
    }
    const CCodePageCharsets charsets;
    // A block as long as the fetch reads may end inside a character.
    const feedtext::FeedDocument doc =
        feedtext::ReadFeed(content_, fetcher.ContentType(), content_.size() == CUrlFetcher::kBlockSize, &charsets);
    if (doc.result == feedtext::kValidFeed) {
        std::string title, link, description;
        exact_ = ToProcessCodePage(doc.channel.title, &title) && ToProcessCodePage(doc.channel.link, &link) &&
                 ToProcessCodePage(doc.channel.description, &description);
        if (exact_) {
            title_ = title;
            link_ = link;
            description_ = description;
        }
        message_ = "Valid Feed";
    } else {
        message_ = "InValid Feed";
    }
    return doc.result;
}
