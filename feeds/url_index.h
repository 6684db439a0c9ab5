// The URLs of many feeds, each split once, for the question whether one more URL stands for a feed
// among them. The answer is the one that comparing the URL with every member through CompareUrls would
// give (equivalent, or unsplittable and equal as text), in time that does not grow with the members.
#pragma once

#include "feeds/compare_urls.h"

#include <string>
#include <unordered_map>
#include <vector>

class CUrlIndex {
public:
    void Add(const std::string& url);
    bool Contains(const std::string& url) const;

private:
    // A member is found through a bucket key that equal texts (under text::EqualNoCase) always share;
    // the candidates of a bucket are then compared for real, so a shared key never makes a false match.
    static std::string BucketKey(const std::string& text);
    static std::string BucketKey(const CSplitUrl& split);
    static bool SameParts(const CSplitUrl& a, const CSplitUrl& b);
    static bool HasText(const std::unordered_multimap<std::string, std::string>& texts, const std::string& text);

    std::unordered_multimap<std::string, CSplitUrl> split_;          // members that split
    std::unordered_multimap<std::string, std::string> unsplittable_; // members that do not, as texts
    std::unordered_multimap<std::string, std::string> all_;          // every member, as text
};
