// The download's progress on standard error, the same in both builds: on a console one line updated in
// place; redirected (a CI log), one plain line at the start, then at most one every few seconds, and the
// last state at the end; nothing when quiet.
#pragma once

#include <chrono>
#include <cstdint>

namespace rvlc {

class ProgressLine {
public:
    explicit ProgressLine(bool console, bool quiet = false) : console_(console), quiet_(quiet) {}
    // total bytes so far of max (0 when the server did not say).
    void Show(int64_t total, int64_t max);
    // Ends the line that a console shows, or gives a log the last state, so that what follows starts on
    // a line of its own.
    void End();

    // How long a log waits between two lines.
    static constexpr std::chrono::seconds kLogInterval{5};

private:
    void Format(int64_t total, int64_t max);

    bool console_;
    bool quiet_;
    bool shown_ = false;   // a line stands in place on the console
    bool pending_ = false; // the log has not seen the last state
    char line_[128] = {};
    std::chrono::steady_clock::time_point lastLogged_;
    bool logged_ = false;
};

} // namespace rvlc
