// Feeds arbitrary bytes to the recognition and the extraction: neither may read outside the text,
// the result is always one of the three for fetched text, and the undecoded values are pieces of it.
#include "fetch/feed_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    int result = feedtext::Classify(content);
    if (result != feedtext::kValidFeed && result != feedtext::kInvalidFeed && result != feedtext::kInvalidFeedVersion)
        abort();
    if ((result == feedtext::kValidFeed) != feedtext::IsFeed(content))
        abort();
    feedtext::Channel channel = feedtext::ExtractChannel(content);
    if (content.find(channel.link) == std::string::npos || content.find(channel.description) == std::string::npos)
        abort();
    // Decoding only shortens the title.
    if (channel.title.size() > content.size())
        abort();
    return 0;
}
