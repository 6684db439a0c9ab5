#include "feeds/url_index.h"

#include "framework/text.h"

uint64_t CUrlIndex::TextHash(const std::string& text) {
    return text::HashNoCase(text);
}

uint64_t CUrlIndex::PartsHash(const CSplitUrl& split) {
    uint64_t hash = TextHash(split.scheme);
    hash = hash * 31 + TextHash(split.host);
    return hash * 31 + TextHash(split.object);
}

bool CUrlIndex::HasText(const std::unordered_multimap<uint64_t, size_t>& byText, const std::string& text) const {
    const auto range = byText.equal_range(TextHash(text));
    for (auto it = range.first; it != range.second; ++it) {
        if (text::EqualNoCase(members_[it->second].text, text))
            return true;
    }
    return false;
}

void CUrlIndex::Add(const std::string& url) {
    Member member;
    member.text = url;
    member.split = SplitUrlForComparison(url, member.parts);
    const size_t index = members_.size();
    const uint64_t textHash = TextHash(url);
    if (member.split)
        byParts_.emplace(PartsHash(member.parts), index);
    else
        unsplittable_.emplace(textHash, index);
    byText_.emplace(textHash, index);
    members_.push_back(std::move(member));
}

bool CUrlIndex::Contains(const std::string& url) const {
    CSplitUrl split;
    // A URL that cannot be split is compared as text with every member (CompareUrls answers 0 for each).
    if (!SplitUrlForComparison(url, split))
        return HasText(byText_, url);
    // A URL that splits matches a member that splits into the same parts, or one that cannot be split
    // and has the same text.
    const auto range = byParts_.equal_range(PartsHash(split));
    for (auto it = range.first; it != range.second; ++it) {
        if (SameSplitUrl(members_[it->second].parts, split))
            return true;
    }
    return HasText(unsplittable_, url);
}
