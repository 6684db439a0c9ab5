// The version resource of a Windows program, read from the program's own bytes: its file version and the
// product name it gives. Read from the bytes rather than through the system's version interface, so that
// what is judged is exactly what is then packed, on every system. No <windows.h>.
#pragma once

#include "builder/package_format.h"

#include <cstdint>
#include <string>

namespace pkg {

// Four numeric fields, compared in order: 1.10.0.0 is newer than 1.9.0.0.
struct FourPartVersion {
    uint16_t part[4] = {};

    std::string Text() const; // "1.2.3.4"
    // -1, 0 or 1 as this is older than, the same as, or newer than other.
    int Compare(const FourPartVersion& other) const;
    // Reads "1", "1.2", ... "1.2.3.4": one to four numbers of at most 65535, the missing ones 0. False for
    // anything else.
    bool Parse(const std::string& text);
};

struct VersionResource {
    bool hasVersion = false; // a VS_FIXEDFILEINFO was found
    FourPartVersion file;    // its file version
    FourPartVersion product; // its product version
    std::string productName; // UTF-8: the first ProductName of any language in its StringFileInfo
};

enum class VersionRead {
    kRead,       // a VS_VERSIONINFO was found (it may still lack a fixed part or a product name)
    kNotProgram, // no PE image
    kNone,       // a PE image without a version resource
    kDamaged,    // a resource directory or version block that points outside itself or the file
};

// Finds RT_VERSION in the resource directory of the PE image in file (its first name and language) and
// reads it. Every offset and length is checked against the section, the block and the file.
VersionRead ReadVersionResource(Source& file, VersionResource& info);

} // namespace pkg
