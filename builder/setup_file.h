// A customized setup as a file: what its package holds, its customization read back from the data
// files, and a new package written from a stub and a list of inputs. No <windows.h>: files go through
// the C runtime, so the command-line tool reads and writes setups natively too.
#pragma once

#include "builder/customization_xml.h"
#include "builder/package_format.h"

#include <cstdio>
#include <string>
#include <vector>

namespace pkg {

// A whole file opened through the C runtime for positioned reads.
class StdioSource : public Source {
public:
    StdioSource() = default;
    ~StdioSource() override;
    StdioSource(const StdioSource&) = delete;
    StdioSource& operator=(const StdioSource&) = delete;

    // False (errno set) when the file cannot be opened or its size read.
    bool Open(const std::string& path);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override;

private:
    FILE* file_ = nullptr;
    uint64_t size_ = 0;
};

// Sequential reads from a file of the C runtime that the caller owns.
class StdioInput : public InputStream {
public:
    explicit StdioInput(FILE* file) : file_(file) {}
    bool Read(void* buffer, uint32_t size, uint32_t& got) override;

private:
    FILE* file_;
};

// Sequential writes to a file of the C runtime that the caller owns.
class StdioOutput : public OutputStream {
public:
    explicit StdioOutput(FILE* file) : file_(file) {}
    bool Write(const void* buffer, uint32_t size) override;

private:
    FILE* file_;
};

class MemoryInput : public InputStream {
public:
    explicit MemoryInput(const std::string& bytes) : bytes_(bytes) {}
    bool Read(void* buffer, uint32_t size, uint32_t& got) override;

private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

class MemoryOutput : public OutputStream {
public:
    bool Write(const void* buffer, uint32_t size) override;
    std::string bytes;
};

// One file to be packed: its stored name and where its bytes come from.
struct PackageInput {
    std::string name;
    InputStream* input;
    uint64_t length; // the length recorded in the directory
};

// Writes stub, then one zlib stream per input, then the directory and trailer. kSuccess; kNoEntries
// (nothing written); kFileError when a name is not one the extractor takes (or repeats one, ignoring
// case), an input gives another length than announced, or the package would pass 4 GiB, and on any read or
// write error.
int WritePackage(const std::string& stub, const std::vector<PackageInput>& inputs, OutputStream& output);

} // namespace pkg

// The stored names of a customized setup's files.
extern const char kReaderSetupName[];  // "rvl.exe"
extern const char kFeedsFileName[];    // "feeds.xml"
extern const char kWebPagesFileName[]; // "webpages.xml"

enum class SetupRead {
    Read,
    NotSetup, // no package trailer: some other file
    Damaged,  // a package trailer, but the directory, a stream or a data file cannot be read
};

struct SetupContents {
    std::vector<pkg::Entry> entries; // in directory order
    uint64_t stubSize = 0;           // the bytes before the first entry's stream: the extractor program
    Customization customization;
    int skipped = 0;   // folders, feeds and pages left out because they break the rules of the dialogs
    std::string cause; // why a damaged setup is damaged, for a message
};

// Reads the package directory and the two data files (each when present) into contents.
SetupRead ReadSetup(pkg::Source& source, SetupContents& contents);

// Inflates one entry into output; pkg::kSuccess or kFileError.
int ExtractEntry(pkg::Source& source, const pkg::Entry& entry, pkg::OutputStream& output);
