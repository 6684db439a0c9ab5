// The writer of the self-extracting package: the stub from the program's resources, then one zlib
// stream per added file, then the directory and trailer that the extractor reads from the end.
#pragma once

#include "builder/package_format.h"

#include <windows.h>

#include <string>

class CSfxPackager {
public:
    CSfxPackager() = default;
    CSfxPackager(const CSfxPackager&) = delete;
    CSfxPackager& operator=(const CSfxPackager&) = delete;

    // Adds a file to be packed under the text after its last backslash. Fails, adding nothing, when 256
    // files are in, when the file cannot be opened for reading without sharing (another process holds
    // it open), when it is 4 GiB or larger, or when its stored name is one the extractor refuses
    // (pkg::IsSafeEntryName) or that an earlier file already has (ignoring case).
    bool AddFile(const char* path);
    uint32_t Count() const { return count_; }

    // Writes the package to outputPath with the stub from resource "SFX_EXE" resourceId of the program's
    // own module. Returns pkg::kSuccess (1002), kNoEntries (1004, nothing written), kFileError (1005: the
    // output cannot be created or written, an input is the output itself, or the package would pass 4 GiB), kOpenError
    // (1006: an input file cannot be opened now) or kNoStub (1007, nothing written). After 1005 or 1006 the partial
    // file stays. progress (optional) receives 1000 with the stored name, 1002 with the entry's percentage after each
    // block and 1001 with the stored name.
    int BuildPackage(UINT resourceId, const char* outputPath, pkg::ProgressFn progress, void* context);

private:
    struct PackageEntry {
        std::string sourcePath;
        pkg::Entry entry; // stored name and sizes, as the directory records them
    };

    int PackPayload(HANDLE output, uint64_t position, pkg::ProgressFn progress, void* context);

    PackageEntry entries_[pkg::kMaxEntries];
    uint32_t count_ = 0;
    // The compressor's stream record and its two 4096-byte buffers, reused for every entry.
    pkg::StreamPacker packer_;
};
