#include "download/page/progress_text.h"

#include <cstdio>

namespace {

template <typename... Args> std::string Print(const char* format, Args... args) {
    // "%0.1f" of the largest double needs over 300 characters.
    char buffer[512];
    int n = std::snprintf(buffer, sizeof(buffer), format, args...);
    if (n < 0)
        return std::string();
    return std::string(buffer, static_cast<size_t>(n) < sizeof(buffer) ? static_cast<size_t>(n) : sizeof(buffer) - 1);
}

} // namespace

std::string FormatByteSize(int bytes) {
    if (bytes < 1024)
        return Print("%d", bytes);
    if (bytes < 1048576)
        return Print("%0.1f KB", bytes / 1024.0);
    return Print("%0.2f MB", bytes / 1048576.0);
}

std::string FormatSizesText(int totalBytes, int maxBytes) {
    return FormatByteSize(totalBytes) + " of " + FormatByteSize(maxBytes) + " copied";
}

std::string FormatPercentText(int percent) {
    return Print("%d%s", percent, "% downloading completed");
}

std::string FormatRateText(double kilobytesPerSecond) {
    return Print("%0.1f KB/Sec", kilobytesPerSecond);
}
