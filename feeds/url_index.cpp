#include "feeds/url_index.h"

#include "framework/text.h"

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

// The ANSI comparison folds the letters A-Z and may fold characters beyond ASCII as well (by code page,
// double-byte characters as units). The key therefore takes the ASCII letters up to the first byte
// outside ASCII, folded, and the length: two texts equal under the comparison have the same key.
std::string CUrlIndex::BucketKey(const std::string& text) {
    std::string key = std::to_string(text.size());
    key += ':';
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            break;
        key += FoldAscii(c);
    }
    return key;
}

std::string CUrlIndex::BucketKey(const CSplitUrl& split) {
    return BucketKey(split.scheme) + '\n' + BucketKey(split.host) + '\n' + BucketKey(split.object);
}

bool CUrlIndex::SameParts(const CSplitUrl& a, const CSplitUrl& b) {
    return text::EqualNoCase(a.scheme, b.scheme) && text::EqualNoCase(a.host, b.host) &&
           text::EqualNoCase(a.object, b.object);
}

bool CUrlIndex::HasText(const std::unordered_multimap<std::string, std::string>& texts, const std::string& text) {
    const auto range = texts.equal_range(BucketKey(text));
    for (auto it = range.first; it != range.second; ++it) {
        if (text::EqualNoCase(it->second, text))
            return true;
    }
    return false;
}

void CUrlIndex::Add(const std::string& url) {
    CSplitUrl split;
    if (SplitUrlForComparison(url, split))
        split_.emplace(BucketKey(split), std::move(split));
    else
        unsplittable_.emplace(BucketKey(url), url);
    all_.emplace(BucketKey(url), url);
}

bool CUrlIndex::Contains(const std::string& url) const {
    CSplitUrl split;
    // A URL that cannot be split is compared as text with every member (CompareUrls answers 0 for each).
    if (!SplitUrlForComparison(url, split))
        return HasText(all_, url);
    // A URL that splits matches a member that splits into the same parts, or one that cannot be split
    // and has the same text.
    const auto range = split_.equal_range(BucketKey(split));
    for (auto it = range.first; it != range.second; ++it) {
        if (SameParts(it->second, split))
            return true;
    }
    return HasText(unsplittable_, url);
}
