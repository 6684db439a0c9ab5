// The progress figures of a transfer. No <windows.h>: the same code builds natively.
#pragma once

#include <cstdint>
#include <string>

// Whole percent of expected received so far: 0 while no size is known, at most 100. The product is
// formed in 64 bits, so that bodies above 42,949,672 bytes do not overflow.
int32_t DownloadPercent(uint32_t received, uint32_t expected);

// Kilobytes (1024 bytes) per second over the milliseconds since the start; 0 before the first
// millisecond has passed, so that a display never shows an infinite or undefined rate.
double DownloadRate(uint32_t received, uint64_t elapsedMs);

// Whole seconds since the start.
double DownloadElapsedSeconds(uint64_t elapsedMs);

// How a transfer was stopped, in the words that every download of the reader setup uses, Pullwire's and
// the native rvlc's alike.
std::string DownloadTooLargeText();
std::string DownloadStallText(unsigned long limitMs);
std::string DownloadCutShortText(uint64_t received, uint64_t expected);
