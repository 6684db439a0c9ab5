// The self-extracting package: the stub, the compressed streams of the entries, a directory of one
// record per entry and an 18-byte trailer (N, "1.10", "!TROV_SFX!"). Each record is
// data offset, uncompressed size, compressed size (all uint32_t little-endian), the stored name
// without terminator and the name's length, so the directory is read backwards from the end of the file.
//
// No <windows.h>: the same code runs in the writer, in the extractor and natively under the fuzzer.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pkg {

// Results of the writer and the reader. 1000 to 1002 double as progress codes.
enum Result : int {
    kProgressEntryStart = 1000, // progress: an entry is about to be packed or extracted (data: its name)
    kNotPackage = 1001,         // the reader found no valid package trailer or directory
    kProgressEntryDone = 1001,  // progress: an entry is finished (data: its name)
    kSuccess = 1002,
    kProgressBlock = 1002, // progress: a block is done (data: uint32_t percentage of the entry)
    kNoEntries = 1004,     // writer: nothing was added; reader: the package holds no entry
    kFileError = 1005,     // a file could not be created, read or written, or an entry could not be extracted
    kOpenError = 1006,     // writer: an input file cannot be opened; reader: its own file cannot be opened
    kNoStub = 1007,        // the stub resource cannot be found, loaded or locked
    kStopAll = 1009,       // the progress callback asked to stop everything
};

constexpr uint32_t kMaxEntries = 256;
constexpr uint32_t kBlockSize = 4096;
constexpr uint32_t kTrailerSize = 18;
// Longest stored name the reader accepts: one path component of the file system.
constexpr uint32_t kMaxNameLength = 255;
constexpr char kVersion[4] = {'1', '.', '1', '0'};
constexpr char kMarker[10] = {'!', 'T', 'R', 'O', 'V', '_', 'S', 'F', 'X', '!'};
constexpr int kCompressionLevel = 6;

// Called with a progress code, a pointer to the entry's name (char*) or percentage (uint32_t*), and the
// caller's context. The reader stops everything when it returns kStopAll; the writer ignores the result.
using ProgressFn = int (*)(int code, const void* data, void* context);

struct Entry {
    std::string name;
    uint32_t uncompressedSize = 0;
    uint32_t compressedSize = 0;
    uint32_t dataOffset = 0;
};

class InputStream {
public:
    virtual ~InputStream() = default;
    // Reads up to size bytes; got is 0 at the end. False on a read error.
    virtual bool Read(void* buffer, uint32_t size, uint32_t& got) = 0;
};

class OutputStream {
public:
    virtual ~OutputStream() = default;
    // Writes all size bytes or fails.
    virtual bool Write(const void* buffer, uint32_t size) = 0;
};

// Random access to the package file.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly size bytes at pos; false on any failure or short read.
    virtual bool ReadAt(uint64_t pos, void* buffer, uint32_t size) = 0;
};

// Where the reader puts the extracted entries.
class EntryWriter : public OutputStream {
public:
    // Creates (or truncates) the file for a stored name that has passed IsSafeEntryName.
    virtual bool Create(const std::string& name) = 0;
    // Closes the file made by Create. An incomplete file is removed so that no damaged file is ever
    // taken for an extracted one.
    virtual void Finish(bool complete) = 0;
};

// The percentage of done in total as the progress callback receives it: 100 for an empty total,
// done * 100 / total up to 10,000,000, done / (total / 100) above; never above 100.
uint32_t Percentage(uint64_t done, uint64_t total);

// Whether a stored name can only ever make a file directly inside the output folder: not empty, at most
// kMaxNameLength bytes, no path separator, drive or stream colon, wildcard or control character, no "..",
// no trailing dot or space (the file system drops those, so "a.exe." would alias "a.exe"), and no device
// name such as CON, NUL, COM1 or LPT1 as its stem.
bool IsSafeEntryName(const std::string& name);

// The directory: one record per entry in entry order, then the trailer with the entry count.
void AppendRecord(const Entry& entry, std::string& out);
void AppendTrailer(uint32_t count, std::string& out);

// The zlib stream record and the two fixed 4096-byte buffers that packing and unpacking go through.
class BlockStream {
protected:
    // Writes the output buffer when it is full, or whatever it holds when final, and frees it again. The
    // bytes are added to total first; false on a write error or when total would pass limit.
    bool Drain(OutputStream& output, bool final, uint64_t& total, uint64_t limit);

    z_stream stream_{}; // cleared again for every stream
    unsigned char in_[kBlockSize];
    unsigned char out_[kBlockSize];
};

// Packs everything the input gives into one complete zlib stream at level 6 through two fixed buffers.
class StreamPacker : private BlockStream {
public:
    // length is the input's expected length, used only for the progress percentages. On kSuccess,
    // consumed and produced are the uncompressed and compressed byte counts. kFileError on a read or
    // write error or a compressor failure.
    int Pack(InputStream& input, OutputStream& output, uint64_t length, ProgressFn progress, void* context,
             uint64_t& consumed, uint64_t& produced);
};

// Inflates one entry's stream, reading no byte outside its compressed range.
class StreamUnpacker : private BlockStream {
public:
    // kSuccess only when the stream ends exactly at the last of its compressedSize bytes and gives
    // exactly uncompressedSize bytes; kStopAll when the callback asked for it; kFileError otherwise.
    int Unpack(Source& source, uint64_t offset, uint32_t compressedSize, uint32_t uncompressedSize,
               OutputStream& output, ProgressFn progress, void* context);
};

// Where the package ends in its file. A customized setup that its publisher signed carries a certificate
// table after the package, and the signer first pads the file with zero bytes to a multiple of 8: when
// the security directory of the program's PE header names a table that ends the file, the package ends
// where that table begins, less those zero bytes (at most 7). Otherwise the package ends with the file.
uint64_t PackageEnd(Source& source);

// Reads and checks the directory at the end of a package; extracts its entries.
class CPackageReader {
public:
    CPackageReader() = default;
    void SetProgress(ProgressFn progress, void* context) {
        progress_ = progress;
        context_ = context;
    }

    // kSuccess, kNotPackage or kNoEntries. The directory ends at PackageEnd, so that a signed setup reads
    // as it did before it was signed. The whole directory is checked before anything is used:
    // at most kMaxEntries entries, every field inside the file, every name safe and unique (ignoring
    // case), every data range before the directory and apart from the others.
    int ReadDirectory(Source& source);
    const std::vector<Entry>& Entries() const { return entries_; }
    // Bytes before the package's end taken by the directory and trailer.
    uint64_t TrailerLength() const { return trailerLength_; }
    // Where the package ends: the file's size unless a certificate table follows.
    uint64_t End() const { return end_; }

    // Reads the directory, then extracts every entry from the last to the first. kSuccess when all
    // were extracted, kFileError when at least one failed (its file removed), kStopAll, or the result of
    // ReadDirectory. The names extracted completely are appended to extracted in the order made.
    int ExtractAll(Source& source, EntryWriter& writer, std::vector<std::string>* extracted);

private:
    int ExtractEntry(Source& source, const Entry& entry, EntryWriter& writer);
    int Notify(int code, const void* data) const { return progress_ ? progress_(code, data, context_) : 0; }

    std::vector<Entry> entries_;
    uint64_t trailerLength_ = 0;
    uint64_t end_ = 0;
    StreamUnpacker unpacker_;
    ProgressFn progress_ = nullptr;
    void* context_ = nullptr;
};

// Little-endian fields of the directory (and of a PE image's headers).
inline uint16_t LoadLE16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t LoadLE32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void AppendLE32(std::string& out, uint32_t v) {
    const char bytes[4] = {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    out.append(bytes, 4);
}

} // namespace pkg
