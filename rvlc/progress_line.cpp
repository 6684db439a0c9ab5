#include "rvlc/progress_line.h"

#include <cstdio>

namespace rvlc {

void ProgressLine::Format(int64_t total, int64_t max) {
    if (max > 0)
        std::snprintf(line_, sizeof line_, "Downloading the reader setup: %d%% (%lld of %lld bytes)",
                      static_cast<int>(static_cast<double>(total) * 100 / static_cast<double>(max)),
                      static_cast<long long>(total), static_cast<long long>(max));
    else
        std::snprintf(line_, sizeof line_, "Downloading the reader setup: %lld bytes", static_cast<long long>(total));
}

void ProgressLine::Show(int64_t total, int64_t max) {
    if (quiet_)
        return;
    Format(total, max);
    if (console_) {
        std::fprintf(stderr, "\r%s", line_);
        shown_ = true;
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (logged_ && now - lastLogged_ < kLogInterval) {
        pending_ = true;
        return;
    }
    std::fprintf(stderr, "%s\n", line_);
    lastLogged_ = now;
    logged_ = true;
    pending_ = false;
}

void ProgressLine::End() {
    if (console_ && shown_)
        std::fputs("\n", stderr);
    if (!console_ && pending_)
        std::fprintf(stderr, "%s\n", line_);
    shown_ = false;
    pending_ = false;
}

} // namespace rvlc
