#include "framework/owners.h"

#include <gtest/gtest.h>

namespace {

struct NarrowCase {
    UINT codePage;
    const wchar_t* wide;
    bool exact;
    const char* bytes;
};

// Each code page is named explicitly so that the table holds whatever the process code page is.
const NarrowCase kNarrowCases[] = {
    {CP_UTF8, L"Caf\u00e9 \u0416 \u65e5\u672c", true, "Caf\xc3\xa9 \xd0\x96 \xe6\x97\xa5\xe6\x9c\xac"},
    {CP_UTF8, L"a\xd800z", false, nullptr}, // an unpaired surrogate has no UTF-8 form
    {1252, L"Se\u00f1or Caf\u00e9", true, "Se\xf1or Caf\xe9"},
    {1252, L"\u0416", false, nullptr}, // would be "?"
    {1252, L"\u0100", false, nullptr}, // would be the look-alike "A"
    {1252, L"\u221e", false, nullptr}, // would be the look-alike "8"
    {1251, L"\u041f\u043e\u0433\u043e\u0434\u0430", true, "\xcf\xee\xe3\xee\xe4\xe0"},
    {932, L"\u65e5\u672c", true, "\x93\xfa\x96\x7b"},
    {932, L"\u00e9", false, nullptr},
};

TEST(Conversions, ToMultiByteExactRefusesWhatItCannotKeep) {
    for (const NarrowCase& c : kNarrowCases) {
        std::string out = "unchanged";
        EXPECT_EQ(c.exact, fw::ToMultiByteExact(c.codePage, c.wide, -1, &out)) << c.codePage << " " << c.bytes;
        EXPECT_EQ(c.exact ? c.bytes : "unchanged", out) << c.codePage;
        std::wstring back = L"unchanged";
        if (c.exact) {
            EXPECT_TRUE(fw::ToWideExact(c.codePage, c.bytes, &back)) << c.codePage;
            EXPECT_EQ(c.wide, back) << c.codePage;
        }
        if (c.codePage == ::GetACP()) {
            EXPECT_EQ(c.exact, fw::ToAnsiExact(c.wide, -1, &out)) << c.codePage;
        }
    }
}

TEST(Conversions, ToWideExactRefusesInvalidBytes) {
    struct {
        UINT codePage;
        const char* bytes;
    } const kInvalid[] = {
        {CP_UTF8, "caf\xc3"},      // cut after a lead byte
        {CP_UTF8, "\xff"},         // never valid
        {CP_UTF8, "\xed\xa0\x80"}, // an encoded surrogate
        {CP_UTF8, "\xc0\xaf"},     // an overlong form
        {932, "\x93"},             // a lead byte without its trail byte
    };
    for (const auto& c : kInvalid) {
        std::wstring out = L"unchanged";
        EXPECT_FALSE(fw::ToWideExact(c.codePage, c.bytes, &out)) << c.codePage << " " << c.bytes;
        EXPECT_EQ(L"unchanged", out);
    }
    std::wstring out;
    EXPECT_TRUE(fw::ToWideExact(std::string(), &out));
    EXPECT_TRUE(out.empty());
    std::string ansi = "x";
    EXPECT_TRUE(fw::ToAnsiExact(L"abc", 2, &ansi));
    EXPECT_EQ("ab", ansi);
}

} // namespace
