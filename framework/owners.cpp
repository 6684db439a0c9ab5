#include "framework/owners.h"

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

Bstr Bstr::FromAnsi(const std::string& s) {
    Bstr b;
    std::wstring w = ToWide(s);
    b.b_ = ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return b;
}

} // namespace fw
