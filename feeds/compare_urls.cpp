#include "feeds/compare_urls.h"

#include "fetch/fetch_session.h"
#include "framework/owners.h"
#include "framework/text.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The escapes of characters outside ASCII (%XX runs of their UTF-8 bytes) shown as the characters, so
// that such characters fold like the others ("CAF%C3%89" is "CAFÉ" and equals "café"). A run that is no
// UTF-8, or a character the process code page cannot hold, keeps its escapes.
std::string ShowEncodedCharacters(const std::string& object) {
    std::string out;
    for (size_t i = 0; i < object.size();) {
        std::string bytes;
        size_t end = i;
        while (end + 2 < object.size() && object[end] == '%' && HexValue(object[end + 1]) >= 8 &&
               HexValue(object[end + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(object[end + 1]) * 16 + HexValue(object[end + 2]));
            end += 3;
        }
        std::wstring wide;
        std::string shown;
        if (!bytes.empty() && fw::ToWideExact(CP_UTF8, bytes, &wide) &&
            fw::ToAnsiExact(wide.c_str(), static_cast<int>(wide.size()), &shown)) {
            out += shown;
            i = end;
        } else {
            out.append(object, i, end > i ? end - i : 1);
            i = end > i ? end : i + 1;
        }
    }
    return out;
}

} // namespace

// Canonicalises url in the form a request sends it and cracks it into its parts; false when WinINet
// cannot do either.
bool SplitUrlForComparison(const std::string& typed, CSplitUrl& parts) {
    // A URL as written ("café") and as sent ("caf%C3%A9") are one feed: both are compared as sent.
    const std::string url = CFetchSession::RequestUrl(typed);
    // InternetCanonicalizeUrlA reports the size it needs (ERROR_INSUFFICIENT_BUFFER) when the buffer is
    // too small; escaping can make the URL up to three times longer.
    std::vector<char> canonical(url.size() * 3 + INTERNET_MAX_URL_LENGTH);
    DWORD length = static_cast<DWORD>(canonical.size());
    if (!::InternetCanonicalizeUrlA(url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        canonical.resize(static_cast<size_t>(length) + 1);
        length = static_cast<DWORD>(canonical.size());
        if (!::InternetCanonicalizeUrlA(url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE))
            return false;
    }
    const std::string text(canonical.data(), length);

    // Lengths without buffers make InternetCrackUrlA point into the text instead of copying; any
    // length of the URL then fits.
    URL_COMPONENTSA components = {};
    components.dwStructSize = sizeof(components);
    components.dwSchemeLength = 1;
    components.dwHostNameLength = 1;
    components.dwUrlPathLength = 1;
    components.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlA(text.c_str(), static_cast<DWORD>(text.size()), 0, &components))
        return false;
    auto piece = [](const char* start, DWORD count) { return start ? std::string(start, count) : std::string(); };
    parts.scheme = piece(components.lpszScheme, components.dwSchemeLength);
    parts.host = piece(components.lpszHostName, components.dwHostNameLength);
    // The object part is the path with its query and fragment, as a request would send it.
    parts.object = ShowEncodedCharacters(piece(components.lpszUrlPath, components.dwUrlPathLength) +
                                         piece(components.lpszExtraInfo, components.dwExtraInfoLength));
    // The hosts are compared ignoring case, so "WWW." counts as the prefix too: otherwise
    // "WWW.example.com" would become "www.WWW.example.com" and differ from "example.com".
    std::string folded = parts.host;
    for (char& c : folded)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (!text::Contains(folded, "www."))
        parts.host = "www." + parts.host;
    return true;
}

int CompareUrls(const std::string& first, const std::string& second) {
    CSplitUrl a, b;
    if (!SplitUrlForComparison(first, a) || !SplitUrlForComparison(second, b))
        return kUrlsUnsplittable;
    return SameSplitUrl(a, b) ? kUrlsEquivalent : kUrlsDifferent;
}

bool SameSplitUrl(const CSplitUrl& a, const CSplitUrl& b) {
    return text::EqualNoCase(a.scheme, b.scheme) && text::EqualNoCase(a.host, b.host) &&
           text::EqualNoCase(a.object, b.object);
}
