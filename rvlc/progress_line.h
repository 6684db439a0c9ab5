// The download's progress on standard error, the same in both builds: on a console one line updated in
// place, else one plain line per whole percent (or per MiB when the size is not known).
#pragma once

#include <cstdint>

namespace rvlc {

class ProgressLine {
public:
    explicit ProgressLine(bool console) : console_(console) {}
    // total bytes so far of max (0 when the server did not say).
    void Show(int64_t total, int64_t max);
    // Ends the line that a console shows, so that what follows starts on a line of its own.
    void End();

private:
    bool console_;
    bool shown_ = false;
    int lastPercent_ = -2;
    int64_t lastTotal_ = 0;
};

} // namespace rvlc
