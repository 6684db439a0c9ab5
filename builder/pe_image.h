// The headers of a PE image, as far as the package needs them: where the checksum and the security
// directory entry lie, which both the signature check and the sealing of a new setup work on. No
// <windows.h>: the command-line tool reads and seals images natively too.
#pragma once

#include "builder/package_format.h"

#include <cstdint>

namespace pkg {

struct PeHeaders {
    uint64_t optional = 0;      // the optional header
    uint32_t optionalSize = 0;  // its size, from the file header
    uint32_t sectionCount = 0;  // the section table follows the optional header
    uint64_t checksum = 0;      // the 4-byte CheckSum of the optional header
    uint64_t securityEntry = 0; // the 8-byte security directory entry; 0 when the image has no such entry
    uint64_t resourceEntry = 0; // the 8-byte resource directory entry; 0 when the image has no such entry
};

enum class PeRead {
    kRead,
    kNoMzHeader,
    kNoPeHeader,
    kNoOptionalHeader, // missing, or cut short
    kUnknownKind,      // neither PE32 nor PE32+
};

// Reads where the fields lie from the headers at the front of file; every offset is checked against it.
PeRead ReadPeHeaders(Source& file, PeHeaders& headers);

} // namespace pkg
