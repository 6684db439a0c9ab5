#include "fetch/feed_validator.h"

CFeedValidator::CFeedValidator(const std::string& url, DWORD timeout) : url_(url), timeout_(timeout) {}

int CFeedValidator::Validate() {
    // The fetcher, and with it its session, lives for this one validation.
    CUrlFetcher fetcher;
    fetcher.SetTimeout(timeout_);
    if (fetcher.Fetch(url_, content_) != 1) {
        message_ = fetcher.LastStatus();
        return feedtext::kFetchFailed;
    }
    int result = feedtext::Classify(content_);
    if (result == feedtext::kValidFeed) {
        feedtext::Channel channel = feedtext::ExtractChannel(content_);
        title_ = channel.title;
        link_ = channel.link;
        description_ = channel.description;
        message_ = "Valid Feed";
    } else {
        message_ = "InValid Feed";
    }
    return result;
}
