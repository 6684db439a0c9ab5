// The URL equivalence behind every duplicate test of feeds and web pages.
#pragma once

#include <string>

// What CompareUrls found.
enum UrlComparison {
    kUrlsUnsplittable = 0, // one of the URLs cannot be split into scheme, host and object
    kUrlsEquivalent = 1,   // same scheme, host and object, ignoring case and a leading "www." of the host
    kUrlsDifferent = 2,    // both split, and they differ
};

// Each URL is canonicalised and cracked the way a browser does it (WinINet); a host without "www." is
// given it in front, so that "example.com" and "www.example.com" are the same site. The scheme, host and
// object part compare case-insensitively; the port is not compared.
int CompareUrls(const std::string& first, const std::string& second);

// A URL split the way CompareUrls splits it: the scheme, the host (with "www." in front when it has none)
// and the object part. CompareUrls(a, b) is kUrlsEquivalent exactly when both split and the three parts
// are equal under text::EqualNoCase, so a caller that compares one URL with many splits each URL once.
struct CSplitUrl {
    std::string scheme;
    std::string host;
    std::string object;
};
// false when the URL cannot be split (CompareUrls then answers kUrlsUnsplittable).
bool SplitUrlForComparison(const std::string& url, CSplitUrl& split);
// Whether two split URLs stand for the same feed: the three parts equal under text::EqualNoCase.
bool SameSplitUrl(const CSplitUrl& a, const CSplitUrl& b);
