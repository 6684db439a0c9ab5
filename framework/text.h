// Text helpers for the 8-bit strings of the ANSI code page. No <windows.h>: the same code builds
// natively, where the text is treated as single-byte (no lead bytes) and letters fold as ASCII.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace text {

// The white space that the wizard trims from what the user typed: space, \t, \n, \v, \f, \r.
bool IsSpace(char c);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string Trim(const std::string& s);

// Case-insensitive comparison. On Windows both texts are read as characters of the process code page
// and every letter folds, not only A-Z ("CAFÉ" equals "café"); a text whose bytes are no valid text of
// that code page is compared byte by byte with A-Z folded. Natively the text is taken as bytes and only
// A-Z fold. Returns <0, 0, >0.
int CompareNoCase(const std::string& a, const std::string& b);
inline bool EqualNoCase(const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) == 0;
}
// A hash that texts equal under CompareNoCase always share.
uint64_t HashNoCase(const std::string& s);

// Case-sensitive byte search of needle in hay. Both are searched as zero-terminated strings: a zero
// byte ends the searchable text.
// Returns the byte position of the first match, or std::string::npos.
size_t Find(const std::string& hay, const std::string& needle);
inline bool Contains(const std::string& hay, const std::string& needle) {
    return Find(hay, needle) != std::string::npos;
}

// Replaces every occurrence of from by to in one pass from left to right.
std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to);

// printf-style formatting into a string of any length.
std::string Format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatV(const char* fmt, va_list args);

// Whether c is the lead byte of a double-byte character in the ANSI code page.
bool IsLeadByte(unsigned char c);

} // namespace text
