#include "framework/owners.h"

#include <cwchar>
#include <vector>

namespace fw {

std::wstring ToWide(const std::string& s) {
    if (s.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string ToAnsi(const wchar_t* s, int length) {
    if (!s || length == 0)
        return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, s, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string a(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, s, length, &a[0], n, nullptr, nullptr);
    // A length of -1 converts the terminator too.
    if (length < 0 && !a.empty() && a.back() == '\0')
        a.pop_back();
    return a;
}

namespace {

UINT ResolveCodePage(UINT codePage) {
    if (codePage == CP_ACP)
        return ::GetACP();
    if (codePage == CP_OEMCP)
        return ::GetOEMCP();
    return codePage;
}

// Code pages for which MultiByteToWideChar and WideCharToMultiByte accept no flags at all (the call fails
// with ERROR_INVALID_FLAGS otherwise); UTF-8 and GB18030 accept only the "invalid characters" flag.
bool TakesNoFlags(UINT cp) {
    switch (cp) {
    case 42:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case CP_UTF7:
        return true;
    default:
        return cp >= 57002 && cp <= 57011;
    }
}

bool TakesOnlyInvalidCharsFlag(UINT cp) {
    return cp == CP_UTF8 || cp == 54936;
}

bool MultiByteToWide(UINT cp, DWORD flags, const std::string& s, std::wstring* w) {
    int n = ::MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return false;
    w->assign(static_cast<size_t>(n), L'\0');
    return ::MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), &(*w)[0], n) == n;
}

} // namespace

bool ToMultiByteExact(UINT codePage, const wchar_t* s, int length, std::string* out) {
    if (length < 0)
        length = s ? static_cast<int>(wcslen(s)) : 0;
    if (!s || length == 0) {
        out->clear();
        return true;
    }
    UINT cp = ResolveCodePage(codePage);
    // UTF-8 (and UTF-7) reject lpUsedDefaultChar: the call fails unless it is NULL. Every character but an
    // unpaired surrogate has a UTF-8 form, and WC_ERR_INVALID_CHARS makes that one fail.
    DWORD flags = TakesOnlyInvalidCharsFlag(cp) ? WC_ERR_INVALID_CHARS : TakesNoFlags(cp) ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = (cp == CP_UTF8 || cp == CP_UTF7) ? nullptr : &usedDefault;
    int n = ::WideCharToMultiByte(cp, flags, s, length, nullptr, 0, nullptr, usedDefaultOut);
    if (n <= 0 || usedDefault)
        return false;
    std::string a(static_cast<size_t>(n), '\0');
    if (::WideCharToMultiByte(cp, flags, s, length, &a[0], n, nullptr, usedDefaultOut) != n || usedDefault)
        return false;
    if (cp != CP_UTF8) {
        // Where the flags cannot forbid best-fit mappings, only the way back shows that nothing was altered.
        std::wstring back;
        if (!MultiByteToWide(cp, 0, a, &back) ||
            back.compare(0, std::wstring::npos, s, static_cast<size_t>(length)) != 0)
            return false;
    }
    *out = std::move(a);
    return true;
}

bool ToWideExact(UINT codePage, const std::string& s, std::wstring* out) {
    if (s.empty()) {
        out->clear();
        return true;
    }
    UINT cp = ResolveCodePage(codePage);
    std::wstring w;
    if (!MultiByteToWide(cp, TakesNoFlags(cp) ? 0 : MB_ERR_INVALID_CHARS, s, &w))
        return false;
    *out = std::move(w);
    return true;
}

Bstr Bstr::FromAnsi(const std::string& s) {
    Bstr b;
    std::wstring w = ToWide(s);
    b.b_ = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return b;
}

} // namespace fw
