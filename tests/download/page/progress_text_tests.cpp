// The texts of the download page's progress display, from the figures of one progress event.
#include "download/page/progress_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SizesCase {
    int total;
    int max;
    const char* expected;
};

TEST(ProgressTextTest, SizesTextNamesEachCountInItsUnit) {
    const SizesCase cases[] = {
        {1536, 0, "1.5 KB of 0 copied"},                 // no Content-Length announced
        {1023, 2048, "1023 of 2.0 KB copied"},           // below 1 KB no unit is printed
        {1048576, 5242880, "1.00 MB of 5.00 MB copied"}, // from 1 MB on, two decimals
        {0, 1023, "0 of 1023 copied"},
        {1024, 1048575, "1.0 KB of 1024.0 KB copied"}, // the last count shown in KB
    };
    for (const SizesCase& c : cases)
        EXPECT_EQ(c.expected, FormatSizesText(c.total, c.max)) << "total " << c.total << ", max " << c.max;
}

TEST(ProgressTextTest, PercentAndRateTexts) {
    const struct {
        std::string actual;
        const char* expected;
    } cases[] = {
        {FormatPercentText(20), "20% downloading completed"},
        {FormatPercentText(100), "100% downloading completed"},
        {FormatPercentText(0), "0% downloading completed"},
        {FormatRateText(12.345), "12.3 KB/Sec"},
        {FormatRateText(0.0), "0.0 KB/Sec"},
        {FormatRateText(1500.06), "1500.1 KB/Sec"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, c.actual);
}

TEST(ProgressTextTest, HugeRateIsPrintedWhole) {
    // A block read in no measurable time can give a huge rate; the text must still end with its unit.
    std::string text = FormatRateText(1e300);
    EXPECT_GT(text.size(), 300u);
    EXPECT_EQ(" KB/Sec", text.substr(text.size() - 7));
}

} // namespace
