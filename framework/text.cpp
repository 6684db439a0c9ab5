#include "framework/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <mbstring.h>
#endif

namespace text {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string& s) {
    size_t n = s.size();
    while (n > 0 && IsSpace(s[n - 1]))
        --n;
    return s.substr(0, n);
}

std::string Trim(const std::string& s) {
    return TrimRight(TrimLeft(s));
}

bool IsLeadByte(unsigned char c) {
#if defined(_WIN32)
    return IsDBCSLeadByte(c) != FALSE;
#else
    (void)c;
    return false;
#endif
}

namespace {

unsigned FoldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 32u : c;
}

bool IsAscii(const std::string& s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// The text's characters with every letter in upper case: the form that CompareNoCase compares and
// HashNoCase hashes. false when the text is no valid text of the process code page.
bool FoldedCharacters(const std::string& s, std::wstring& folded) {
#if defined(_WIN32)
    folded.clear();
    if (s.empty())
        return true;
    const int size = static_cast<int>(s.size());
    int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), size, nullptr, 0);
    if (n <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), size, &wide[0], n);
    // The invariant locale folds the same way whatever the user's language (no Turkish dotless i).
    n = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), n, nullptr, 0);
    if (n <= 0)
        return false;
    folded.assign(static_cast<size_t>(n), L'\0');
    ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()), &folded[0], n);
    // The system's table leaves the final sigma as it is; it is the same letter as the other one.
    for (wchar_t& unit : folded) {
        if (unit == 0x03C2)
            unit = 0x03A3;
    }
    return true;
#else
    (void)s;
    (void)folded;
    return false;
#endif
}

// Byte by byte, a-z folded to A-Z: the rule for ASCII (where it orders as the full one does), natively,
// and for bytes that are no valid text.
int CompareBytesNoCase(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned x = FoldAscii(static_cast<unsigned char>(a[i]));
        const unsigned y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t MixUnit(uint64_t hash, unsigned unit) {
    hash = (hash ^ (unit & 0xFF)) * kFnvPrime;
    return (hash ^ (unit >> 8)) * kFnvPrime;
}

} // namespace

int CompareNoCase(const std::string& a, const std::string& b) {
    // Only two ASCII texts take the short way: a character outside ASCII could fold into ASCII.
    std::wstring x, y;
    if ((IsAscii(a) && IsAscii(b)) || !FoldedCharacters(a, x) || !FoldedCharacters(b, y))
        return CompareBytesNoCase(a, b);
    const int order = x.compare(y);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

uint64_t HashNoCase(const std::string& s) {
    uint64_t hash = kFnvOffset;
    std::wstring folded;
    if (!IsAscii(s) && FoldedCharacters(s, folded)) {
        for (wchar_t unit : folded)
            hash = MixUnit(hash, static_cast<unsigned>(unit) & 0xFFFF);
    } else {
        // ASCII folds to the same units either way, so an ASCII text and an equal one outside ASCII
        // hash alike.
        for (char c : s)
            hash = MixUnit(hash, FoldAscii(static_cast<unsigned char>(c)));
    }
    return hash;
}

size_t Find(const std::string& hay, const std::string& needle) {
    const char* h = hay.c_str();
    const char* n = needle.c_str();
    size_t hlen = std::strlen(h);
    size_t nlen = std::strlen(n);
    if (nlen == 0)
        return 0;
    // A plain byte search: in UTF-8 no character's bytes hold another character, so a match of valid
    // text can only begin at a character boundary.
    const char* hit = std::search(h, h + hlen, n, n + nlen);
    return hit == h + hlen ? std::string::npos : static_cast<size_t>(hit - h);
}

std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
    if (from.empty())
        return s;
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = s.find(from, pos);
        if (hit == std::string::npos)
            break;
        out.append(s, pos, hit - pos);
        out += to;
        pos = hit + from.size();
    }
    out.append(s, pos, std::string::npos);
    return out;
}

std::string FormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = FormatV(fmt, args);
    va_end(args);
    return s;
}

} // namespace text
