// The URLs of many feeds, each split once, for the question whether one more URL stands for a feed
// among them. The answer is the one that comparing the URL with every member through CompareUrls would
// give (equivalent, or unsplittable and equal as text), in time that does not grow with the members.
#pragma once

#include "feeds/compare_urls.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CUrlIndex {
public:
    void Add(const std::string& url);
    bool Contains(const std::string& url) const;

private:
    struct Member {
        std::string text;
        bool split = false;
        CSplitUrl parts;
    };
    // A member is found through a hash that texts equal under text::EqualNoCase always share; the
    // members of a hash are then compared for real, so a shared hash never makes a false match.
    static uint64_t TextHash(const std::string& text);
    static uint64_t PartsHash(const CSplitUrl& split);
    bool HasText(const std::unordered_multimap<uint64_t, size_t>& byText, const std::string& text) const;

    std::vector<Member> members_;
    std::unordered_multimap<uint64_t, size_t> byParts_;      // members that split
    std::unordered_multimap<uint64_t, size_t> unsplittable_; // members that do not, by text
    std::unordered_multimap<uint64_t, size_t> byText_;       // every member, by text
};
