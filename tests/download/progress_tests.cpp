// The progress figures that every OnData event carries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "download/progress.h"

namespace {

struct PercentCase {
    uint32_t received;
    uint32_t expected;
    int32_t percent;
};

TEST(PullwireProgress, PercentOfTheAnnouncedSize) {
    const PercentCase cases[] = {
        {2048, 3000, 68},
        {3000, 3000, 100},
        {1024, 3000, 34},
        {1, 3000, 0},
        {0, 3000, 0},
        // No Content-Length: nothing to divide by, and the bar stays at its start.
        {1536, 0, 0},
        {0, 0, 0},
        // Past 42,949,672 bytes the product no longer fits in 32 bits.
        {42949673, 100000000, 42},
        {50000000, 100000000, 50},
        {99999999, 100000000, 99},
        {4000000000u, 4000000000u, 100},
        {4294967295u, 4294967295u, 100},
        {2147483648u, 4294967295u, 50},
        // A server that sends more than it announced still shows a full bar.
        {4096, 3000, 100},
    };
    for (const PercentCase& c : cases)
        EXPECT_EQ(c.percent, DownloadPercent(c.received, c.expected)) << c.received << " of " << c.expected;
}

TEST(PullwireProgress, RateInKilobytesPerSecond) {
    EXPECT_DOUBLE_EQ(0.0, DownloadRate(1024, 0)) << "no time has passed yet";
    EXPECT_DOUBLE_EQ(0.0, DownloadRate(0, 0));
    EXPECT_DOUBLE_EQ(1.0, DownloadRate(1024, 1000));
    EXPECT_DOUBLE_EQ(1000.0, DownloadRate(1024, 1)) << "the first block after a millisecond";
    EXPECT_DOUBLE_EQ(1.5, DownloadRate(3072, 2000));
    double big = DownloadRate(4294967295u, 1);
    EXPECT_TRUE(std::isfinite(big));
    EXPECT_GT(big, 0.0);
}

TEST(PullwireProgress, ElapsedTimeInWholeSeconds) {
    EXPECT_DOUBLE_EQ(0.0, DownloadElapsedSeconds(0));
    EXPECT_DOUBLE_EQ(0.0, DownloadElapsedSeconds(999));
    EXPECT_DOUBLE_EQ(1.0, DownloadElapsedSeconds(1000));
    EXPECT_DOUBLE_EQ(61.0, DownloadElapsedSeconds(61999));
}

} // namespace
