#include "rvlc/progress_line.h"

#include <cstdio>

namespace rvlc {

void ProgressLine::Show(int64_t total, int64_t max) {
    const int percent = max > 0 ? static_cast<int>(static_cast<double>(total) * 100 / static_cast<double>(max)) : -1;
    char line[128];
    if (max > 0)
        std::snprintf(line, sizeof line, "Downloading the reader setup: %d%% (%lld of %lld bytes)", percent,
                      static_cast<long long>(total), static_cast<long long>(max));
    else
        std::snprintf(line, sizeof line, "Downloading the reader setup: %lld bytes", static_cast<long long>(total));
    if (console_) {
        std::fprintf(stderr, "\r%s", line);
        shown_ = true;
    } else if (percent != lastPercent_ || percent < 0) {
        // Redirected: one plain line per whole percent, not one per block.
        if (percent >= 0 || total - lastTotal_ >= 1024 * 1024) {
            std::fprintf(stderr, "%s\n", line);
            lastTotal_ = total;
        }
    }
    lastPercent_ = percent;
}

void ProgressLine::End() {
    if (console_ && shown_)
        std::fputs("\n", stderr);
    shown_ = false;
}

} // namespace rvlc
