// How the wizard reads the scheme of a URL that the user typed. No <windows.h>: the rule builds and is
// tested natively too.
#pragma once

#include <string>

// The scheme name of url when url begins with one followed by "://": a letter, then letters, digits,
// "+", "-" or ".", in any case ("https" of "https://example.org/feed", "HTTP" of "HTTP://example.org").
// Empty when url begins with no scheme ("example.org/feed", "localhost:8080/feed", "mailto:x").
std::string UrlScheme(const std::string& url);

// The URL as the wizard fetches it: a URL that begins with a scheme is kept as typed; one without a
// scheme is taken as an HTTP address and gets "http://" in front.
std::string WithHttpPrefix(const std::string& url);

// Whether url is an http or https address (scheme in any case), and nothing the shell would run as a
// program or open as a file, with no quote or control character that could break out of the browser's
// command line: only such a URL is handed to the user's browser.
bool IsWebUrl(const std::string& url);

// What Browse says instead of opening an address that is not a web address.
extern const char kOnlyWebUrlsBrowse[];

// The longest URL, with its scheme, that the add dialogs take: browsers and servers commonly go no
// further. A longer text is refused with kUrlTooLong rather than cut and fetched cut.
constexpr size_t kMaxUrlChars = 2048;
extern const char kUrlTooLong[];
