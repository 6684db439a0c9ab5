#include "fetch/feed_text.h"

#include "framework/text.h"

namespace feedtext {

namespace {

// Both strings anywhere in the text, in either order.
bool ContainsBoth(const std::string& content, const char* a, const char* b) {
    return text::Contains(content, a) && text::Contains(content, b);
}

} // namespace

bool IsFeed(const std::string& content) {
    if (content.empty())
        return false;
    // "version=" is met by an XML declaration as well, so "<rss" and a declaration are enough.
    return text::Contains(content, "<rss version=") || ContainsBoth(content, "<rss", "version=") ||
           ContainsBoth(content, "<rss", "<channel>=") || ContainsBoth(content, "<rdf:RDF", "<?xml version=") ||
           ContainsBoth(content, "<rdf:RDF", "channel rdf:about=");
}

int Classify(const std::string& content) {
    if (IsFeed(content))
        return kValidFeed;
    if (ContainsBoth(content, "<xml version", "feed version="))
        return kInvalidFeedVersion;
    return kInvalidFeed;
}

std::string ExtractElement(const std::string& content, const std::string& name) {
    const std::string startTag = "<" + name + ">";
    const std::string endTag = "</" + name + ">";
    size_t start = text::Find(content, startTag);
    if (start == std::string::npos)
        return std::string();
    start += startTag.size();
    // The end tag is searched from the beginning of the text, not from the start tag: an end tag
    // before the start tag gives the empty value.
    size_t end = text::Find(content, endTag);
    if (end == std::string::npos || end < start)
        return std::string();
    return text::Trim(content.substr(start, end - start));
}

Channel ExtractChannel(const std::string& content) {
    Channel c;
    c.title = ExtractElement(content, "title");
    c.link = ExtractElement(content, "link");
    c.description = ExtractElement(content, "description");
    return c;
}

} // namespace feedtext
