// Feeds arbitrary bytes to the recognition, the extraction and the decoding: none may read outside the
// text, the result is always one of the three for fetched text, the undecoded values are pieces of it,
// and whatever the bytes, the decoded values are valid UTF-8 without control characters or white space
// at either end, ready for an XML attribute.
#include "fetch/feed_encoding.h"
#include "fetch/feed_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Valid UTF-8 comes through the UTF-8 conversion unchanged; the leading "a" keeps a U+FEFF at the start
// from being taken for a byte order mark.
bool IsUtf8(const std::string& s) {
    return feedtext::ToUtf8("a" + s, feedtext::kUtf8, false, nullptr) == "a" + s;
}

bool IsCleanText(const std::string& s) {
    if (!IsUtf8(s))
        return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return false;
    return s.empty() || (s.front() != ' ' && s.back() != ' ');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    int result = feedtext::Classify(content);
    if (result != feedtext::kValidFeed && result != feedtext::kInvalidFeed && result != feedtext::kInvalidFeedVersion)
        abort();
    if ((result == feedtext::kValidFeed) != feedtext::IsFeed(content))
        abort();
    feedtext::Channel channel = feedtext::ExtractChannel(content);
    if (content.find(channel.title) == std::string::npos || content.find(channel.link) == std::string::npos ||
        content.find(channel.description) == std::string::npos)
        abort();

    // The first byte chooses the response's charset and whether the block was cut at the fetch's limit.
    static const char* const kContentTypes[] = {"", "text/xml; charset=utf-16", "text/xml; charset=\"UTF-32BE\"",
                                                "text/xml;charset=utf-8"};
    const unsigned char pick = size ? data[0] : 0;
    const bool cut = (pick & 4) != 0;
    for (const char* encoding : {feedtext::kUtf8, feedtext::kUtf16Le, feedtext::kUtf16Be, feedtext::kUtf32Be})
        if (!IsUtf8(feedtext::ToUtf8(content, encoding, cut, nullptr)))
            abort();
    feedtext::FeedDocument doc = feedtext::ReadFeed(content, kContentTypes[pick & 3], cut, nullptr);
    if (doc.result != feedtext::Classify(doc.text))
        abort();
    if (!IsCleanText(doc.channel.title) || !IsCleanText(doc.channel.link) || !IsCleanText(doc.channel.description))
        abort();
    if (!IsCleanText(feedtext::DecodeCharacterData(content)))
        abort();
    return 0;
}
