// The texts of the download page's progress display. Plain C++ without Windows, so that the figures
// can be checked anywhere.
#pragma once

#include <string>

// "1023" below 1 KB, "1.5 KB" below 1 MB, "5.00 MB" from 1 MB on (1 KB = 1024 bytes).
std::string FormatByteSize(int bytes);
// "1.00 MB of 5.00 MB copied": bytes received of the size the server announced (0 when it announced none).
std::string FormatSizesText(int totalBytes, int maxBytes);
// "42% downloading completed".
std::string FormatPercentText(int percent);
// "12.3 KB/Sec" from a rate in kilobytes per second.
std::string FormatRateText(double kilobytesPerSecond);
