// The decision whether a fetched text is an RSS feed, and the channel's title, link and description.
// Plain substring tests on at most the first block of the document, nothing is parsed. No
// <windows.h>: builds natively too.
#pragma once

#include <string>

namespace feedtext {

// The results of a feed validation.
enum ValidationResult {
    kFetchFailed = 0,        // the fetch failed; the message is the fetcher's last-status text
    kValidFeed = 1,          // "Valid Feed"
    kInvalidFeed = 2,        // "InValid Feed"
    kInvalidFeedVersion = 3, // "InValid Feed", and the text holds "<xml version" and "feed version="
};

// Whether the text is an RSS 2.0, 0.9x or RSS 1.0 (RDF) document, by the fixed substring tests.
bool IsFeed(const std::string& content);

// The result for a text that was fetched: kValidFeed, kInvalidFeedVersion or kInvalidFeed.
int Classify(const std::string& content);

// The text between the first "<name>" and the first "</name>" of the whole text, trimmed of white
// space; empty when either tag is missing or the end tag comes first.
std::string ExtractElement(const std::string& content, const std::string& name);

struct Channel {
    std::string title, link, description;
};
// The three values as they stand in the text, markup and all (see feed_encoding.h for their decoding).
Channel ExtractChannel(const std::string& content);

} // namespace feedtext
