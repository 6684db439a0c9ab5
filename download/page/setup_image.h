// Whether a downloaded file is a Windows program. Plain C++ without Windows: the header fields are read
// from the bytes themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes to read from the start of the file for IsWindowsProgramImage: the PE signature of a real
// program sits well inside them.
constexpr size_t kProgramHeadBytes = 4096;
// No setup program is smaller than this.
constexpr uint64_t kMinimumProgramBytes = 1024;

// head: the first bytes of the file (up to kProgramHeadBytes); fileSize: the size of the whole file.
// True for the "MZ" header whose e_lfanew names an offset inside the head and the file that holds
// "PE\0\0" and a file header that marks an executable image other than a DLL.
bool IsWindowsProgramImage(const std::string& head, uint64_t fileSize);
// The same test of the file at path; false when it cannot be read.
bool IsWindowsProgramFile(const std::string& path);
