#include "fetch/code_page_charsets.h"

#include "framework/owners.h"

#include <cstdlib>
#include <cstring>

namespace {

// The names in use for the code pages Windows converts (the labels of the encodings that browsers
// know, among them the aliases that servers send). ISO-8859-1 and US-ASCII are read as windows-1252,
// as browsers read them: documents so labelled use its characters in 0x80-0x9F.
const struct {
    const char* name;
    UINT codePage;
} kCharsets[] = {
    {"iso-8859-1", 1252},
    {"iso8859-1", 1252},
    {"latin1", 1252},
    {"l1", 1252},
    {"us-ascii", 1252},
    {"ascii", 1252},
    {"iso_8859-1", 1252},
    {"cp819", 1252},
    {"ibm819", 1252},
    {"x-cp1252", 1252},
    {"iso-8859-2", 28592},
    {"latin2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"greek", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-8-i", 38598},
    {"iso-8859-9", 28599},
    {"latin5", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"latin9", 28605},
    {"koi8-r", 20866},
    {"koi8r", 20866},
    {"koi8-u", 21866},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"ms_kanji", 932},
    {"windows-31j", 932},
    {"csshiftjis", 932},
    {"euc-jp", 20932},
    {"x-euc-jp", 20932},
    {"iso-2022-jp", 50220},
    {"gb2312", 936},
    {"gbk", 936},
    {"x-gbk", 936},
    {"euc-cn", 936},
    {"csgb2312", 936},
    {"chinese", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cn-big5", 950},
    {"x-x-big5", 950},
    {"euc-kr", 949},
    {"ks_c_5601-1987", 949},
    {"korean", 949},
    {"windows-949", 949},
    {"tis-620", 874},
    {"iso-8859-11", 874},
    {"windows-874", 874},
    {"ibm866", 866},
    {"cp866", 866},
    {"macintosh", 10000},
    {"x-mac-roman", 10000},
    {"x-mac-cyrillic", 10007},
};

// "windows-1251", "cp1251", "ibm850", "x-cp1250": the number is the code page.
UINT NumberedCodePage(const std::string& name) {
    for (const char* prefix : {"windows-", "x-cp", "cp", "ibm"}) {
        const size_t n = std::strlen(prefix);
        if (name.compare(0, n, prefix) == 0 && name.size() > n && name.size() <= n + 5 &&
            name.find_first_not_of("0123456789", n) == std::string::npos)
            return static_cast<UINT>(std::strtoul(name.c_str() + n, nullptr, 10));
    }
    return 0;
}

// Appends one character's conversion; false, with nothing appended, when the bytes are invalid.
bool AppendWide(std::wstring* w, UINT cp, const char* p, int n) {
    const int size = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, p, n, nullptr, 0);
    if (size <= 0)
        return false;
    const size_t at = w->size();
    w->resize(at + static_cast<size_t>(size));
    ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, p, n, &(*w)[at], size);
    return true;
}

// Whether MultiByteToWideChar tells invalid bytes of the code page: some code pages take no flags.
bool ReportsInvalidBytes(UINT cp) {
    const char a = 'a';
    wchar_t w;
    return ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, &a, 1, &w, 1) == 1;
}

// The bytes as UTF-16, invalid sequences as U+FFFD. A whole block that converts cleanly is converted in
// one call; otherwise character by character, so that the system's substitute for an invalid byte (a
// "?" or a code page's own default) never stands in the text. Code pages whose characters can be longer
// than two bytes (ISO-2022, GB18030), or whose invalid bytes the system does not tell, are converted by
// the system as they are.
std::wstring ToWideReplacing(UINT cp, const std::string& bytes, bool cut) {
    std::wstring w;
    CPINFO info = {};
    if (!::GetCPInfo(cp, &info) || info.MaxCharSize > 2 || !ReportsInvalidBytes(cp)) {
        const int size = ::MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        if (size > 0) {
            w.resize(static_cast<size_t>(size));
            ::MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), &w[0], size);
        }
        return w;
    }
    if (fw::ToWideExact(cp, bytes, &w))
        return w;
    w.clear();
    for (size_t i = 0; i < bytes.size();) {
        size_t n = 1;
        if (info.MaxCharSize == 2 && ::IsDBCSLeadByteEx(cp, static_cast<BYTE>(bytes[i]))) {
            if (i + 1 == bytes.size()) {
                if (!cut)
                    w.push_back(L'\xFFFD');
                break; // a lead byte whose trail byte lies beyond the block
            }
            n = 2;
        }
        if (!AppendWide(&w, cp, bytes.data() + i, static_cast<int>(n))) {
            w.push_back(L'\xFFFD');
            // An ASCII byte after a lead byte is a character of its own (often markup): it is kept.
            if (n == 2 && static_cast<unsigned char>(bytes[i + 1]) < 0x80)
                n = 1;
        }
        i += n;
    }
    return w;
}

} // namespace

UINT CodePageOfCharset(const std::string& name) {
    UINT cp = 0;
    for (const auto& c : kCharsets) {
        if (name == c.name) {
            cp = c.codePage;
            break;
        }
    }
    if (cp == 0)
        cp = NumberedCodePage(name);
    // UTF-8, UTF-16 and UTF-32 are converted without the system.
    if (cp == 0 || cp == CP_UTF8 || cp == CP_UTF7 || cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001)
        return 0;
    return ::IsValidCodePage(cp) ? cp : 0;
}

bool CCodePageCharsets::Knows(const std::string& name) const {
    return CodePageOfCharset(name) != 0;
}

std::string CCodePageCharsets::ToUtf8(const std::string& name, const std::string& bytes, bool cut) const {
    const UINT cp = CodePageOfCharset(name);
    if (cp == 0)
        return std::string();
    const std::wstring wide = ToWideReplacing(cp, bytes, cut);
    std::string utf8;
    // Every character that MultiByteToWideChar gives has a UTF-8 form.
    fw::ToMultiByteExact(CP_UTF8, wide.data(), static_cast<int>(wide.size()), &utf8);
    return utf8;
}
