#include "feeds/url_scheme.h"

#include "framework/text.h"

const char kOnlyWebUrlsBrowse[] = "Only http and https addresses can be opened in the browser.";
const char kUrlTooLong[] = "The URL is too long. A URL can have at most 2048 characters.";

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsSchemeChar(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

} // namespace

std::string UrlScheme(const std::string& url) {
    if (url.empty() || !IsAsciiLetter(url[0]))
        return std::string();
    size_t end = 1;
    while (end < url.size() && IsSchemeChar(url[end]))
        ++end;
    if (url.compare(end, 3, "://") != 0)
        return std::string();
    return url.substr(0, end);
}

std::string WithHttpPrefix(const std::string& url) {
    return UrlScheme(url).empty() ? "http://" + url : url;
}

bool IsWebUrl(const std::string& url) {
    const std::string scheme = UrlScheme(url);
    if (!text::EqualNoCase(scheme, "http") && !text::EqualNoCase(scheme, "https"))
        return false;
    // The shell puts the address into the browser's command line in quotes: a quote or a line break
    // in it would end the address there and hand the rest to the browser as further arguments.
    for (char c : url) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}
