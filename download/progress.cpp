#include "download/progress.h"

int32_t DownloadPercent(uint32_t received, uint32_t expected) {
    if (expected == 0)
        return 0;
    uint64_t percent = static_cast<uint64_t>(received) * 100 / expected;
    // More than announced (a server that sends past its Content-Length) still shows a full bar.
    return percent > 100 ? 100 : static_cast<int32_t>(percent);
}

double DownloadRate(uint32_t received, uint64_t elapsedMs) {
    if (elapsedMs == 0)
        return 0;
    return static_cast<double>(received) / 1024.0 / (static_cast<double>(elapsedMs) / 1000.0);
}

double DownloadElapsedSeconds(uint64_t elapsedMs) {
    return static_cast<double>(elapsedMs / 1000);
}
