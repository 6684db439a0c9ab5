#include "download/progress.h"

#include <cstdio>

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

std::string DownloadTooLargeText() {
    return "The file is larger than 1 GiB, more than any setup: the transfer was stopped.";
}

std::string DownloadStallText(unsigned long limitMs) {
    char text[128];
    std::snprintf(text, sizeof text, "No data arrived for %lu seconds: the transfer was stopped.",
                  (limitMs + 999) / 1000);
    return text;
}

std::string DownloadCutShortText(uint64_t received, uint64_t expected) {
    char text[160];
    std::snprintf(text, sizeof text, "The transfer was cut short: %llu of %llu bytes arrived.",
                  static_cast<unsigned long long>(received), static_cast<unsigned long long>(expected));
    return text;
}
