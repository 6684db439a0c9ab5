// A customized setup as a file: what its package holds, its customization read back from the data
// files, and a new package written from a stub and a list of inputs. No <windows.h>: files go through
// the C runtime, so the command-line tool reads and writes setups natively too.
#pragma once

#include "builder/customization_xml.h"
#include "builder/package_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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
    // Inline, so that a program that reads data files from memory needs no more of this library.
    bool Read(void* buffer, uint32_t size, uint32_t& got) override {
        got = static_cast<uint32_t>(std::min<size_t>(size, bytes_.size() - pos_));
        std::memcpy(buffer, bytes_.data() + pos_, got);
        pos_ += got;
        return true;
    }

private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

// Positioned reads of bytes in memory that the caller keeps.
class MemorySource : public Source {
public:
    explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override {
        if (pos > bytes_.size() || size > bytes_.size() - pos)
            return false;
        std::memcpy(buffer, bytes_.data() + pos, size);
        return true;
    }

private:
    const std::string& bytes_;
};

// Reads a Source from its start to its end: a file that was checked through a Source is packed through the
// same one.
class SourceInput : public InputStream {
public:
    explicit SourceInput(Source& source) : source_(source) {}
    bool Read(void* buffer, uint32_t size, uint32_t& got) override {
        const uint64_t left = source_.Size() - pos_;
        got = static_cast<uint32_t>(std::min<uint64_t>(size, left));
        if (got != 0 && !source_.ReadAt(pos_, buffer, got))
            return false;
        pos_ += got;
        return true;
    }

private:
    Source& source_;
    uint64_t pos_ = 0;
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

// Makes the PE image at the front of the customized setup at path describe the file as it is now,
// unsigned: its extractor may come from an earlier setup, whose header still names that setup's
// certificate table and checksum. The security directory is cleared and the checksum is that of the whole
// file, so that the file can be signed and verified as it is, and the same inputs give the same bytes on
// every system. A file that does not begin with a PE image is left as it is. False with the cause when the
// file cannot be read or written.
bool SealPeImage(const std::string& path, std::string& cause);

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

// What a customized setup carries: the document elements of its two data files, every "Folder" and
// "Feed" with every attribute, as read. A file that the setup lacks is an element without a name.
struct Customization {
    DataElement feeds;
    DataElement pages;
};

// A folder or record of a setup's data file that breaks the rules of the dialogs, with the file's name.
struct SetupProblem : RecordProblem {
    std::string file;
};

struct SetupContents {
    std::vector<pkg::Entry> entries; // in directory order
    uint64_t stubSize = 0;           // the bytes before the first entry's stream: the extractor program
    Customization customization;
    // The folders and records that break the rules of the dialogs, in file order. They stay in the
    // customization: whoever reads the setup decides whether to refuse it or leave them out.
    std::vector<SetupProblem> problems;
    size_t passedOver = 0; // elements of the data files other than "Folder" and "Feed"
    std::string cause;     // why a damaged setup is damaged, for a message: "feeds.xml, line 3, column 14: ..."
};

// Reads the package directory and the two data files (each when present) into contents. The data files
// are inflated into the reader as it reads: a setup never makes more than one block of them be held at a
// time. platform converts the data files' declared code pages (see ReadDataFile).
SetupRead ReadSetup(pkg::Source& source, SetupContents& contents, const feedtext::Charsets* platform = nullptr);

// Leaves the folders and records of contents.problems out of its customization.
void DropProblems(SetupContents& contents);

// Inflates one entry into output; pkg::kSuccess or kFileError.
int ExtractEntry(pkg::Source& source, const pkg::Entry& entry, pkg::OutputStream& output);
