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

int CompareNoCase(const std::string& a, const std::string& b) {
#if defined(_WIN32)
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str()));
#else
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a.c_str());
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b.c_str());
    for (;; ++p, ++q) {
        int x = (*p >= 'A' && *p <= 'Z') ? *p + 32 : *p;
        int y = (*q >= 'A' && *q <= 'Z') ? *q + 32 : *q;
        if (x != y || x == 0)
            return x - y;
    }
#endif
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
