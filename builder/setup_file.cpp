#include "builder/setup_file.h"

#include "builder/pe_image.h"
#include "framework/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

const char kReaderSetupName[] = "rvl.exe";
const char kFeedsFileName[] = "feeds.xml";
const char kWebPagesFileName[] = "webpages.xml";

namespace pkg {

namespace {

int Seek(FILE* file, uint64_t pos) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(pos), SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(pos), SEEK_SET);
#endif
}

// Whether a byte of the image is one of the fields that sealing writes.
bool Cleared(const PeHeaders& headers, uint64_t at) {
    return (at >= headers.checksum && at < headers.checksum + 4) ||
           (headers.securityEntry && at >= headers.securityEntry && at < headers.securityEntry + 8);
}

} // namespace

StdioSource::~StdioSource() {
    if (file_)
        std::fclose(file_);
}

bool StdioSource::Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_)
        return false;
#ifdef _WIN32
    const bool sized = _fseeki64(file_, 0, SEEK_END) == 0;
    const __int64 size = sized ? _ftelli64(file_) : -1;
#else
    const bool sized = fseeko(file_, 0, SEEK_END) == 0;
    const off_t size = sized ? ftello(file_) : -1;
#endif
    if (size < 0) {
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    size_ = static_cast<uint64_t>(size);
    return true;
}

bool StdioSource::ReadAt(uint64_t pos, void* buffer, uint32_t size) {
    if (!file_ || pos > size_ || size_ - pos < size || Seek(file_, pos) != 0)
        return false;
    return std::fread(buffer, 1, size, file_) == size;
}

bool StdioInput::Read(void* buffer, uint32_t size, uint32_t& got) {
    got = static_cast<uint32_t>(std::fread(buffer, 1, size, file_));
    return got != 0 || !std::ferror(file_);
}

bool StdioOutput::Write(const void* buffer, uint32_t size) {
    return std::fwrite(buffer, 1, size, file_) == size;
}

bool MemoryOutput::Write(const void* buffer, uint32_t size) {
    bytes.append(static_cast<const char*>(buffer), size);
    return true;
}

namespace {

// Counts what passes through, so that the writer knows each stream's offset.
class CountingOutput : public OutputStream {
public:
    explicit CountingOutput(OutputStream& output) : output_(output) {}
    bool Write(const void* buffer, uint32_t size) override {
        position += size;
        return output_.Write(buffer, size);
    }
    uint64_t position = 0;

private:
    OutputStream& output_;
};

} // namespace

int WritePackage(const std::string& stub, const std::vector<PackageInput>& inputs, OutputStream& output) {
    if (inputs.empty())
        return kNoEntries;
    if (inputs.size() > kMaxEntries)
        return kFileError;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!IsSafeEntryName(inputs[i].name))
            return kFileError;
        for (size_t j = 0; j < i; ++j) {
            if (text::EqualNoCase(inputs[i].name, inputs[j].name))
                return kFileError;
        }
    }
    CountingOutput counted(output);
    if (!stub.empty() && (stub.size() > UINT32_MAX || !counted.Write(stub.data(), static_cast<uint32_t>(stub.size()))))
        return kFileError;
    std::string directory;
    StreamPacker packer;
    for (const PackageInput& input : inputs) {
        Entry entry;
        entry.name = input.name;
        const uint64_t offset = counted.position;
        uint64_t consumed = 0, produced = 0;
        const int packed = packer.Pack(*input.input, counted, input.length, nullptr, nullptr, consumed, produced);
        if (packed != kSuccess)
            return kFileError;
        // The directory's fields are 32 bits wide; an input that changed while it was read is refused.
        if (consumed != input.length || consumed > UINT32_MAX || counted.position > UINT32_MAX)
            return kFileError;
        entry.dataOffset = static_cast<uint32_t>(offset);
        entry.uncompressedSize = static_cast<uint32_t>(consumed);
        entry.compressedSize = static_cast<uint32_t>(produced);
        AppendRecord(entry, directory);
    }
    AppendTrailer(static_cast<uint32_t>(inputs.size()), directory);
    if (counted.position + directory.size() > UINT32_MAX)
        return kFileError;
    return counted.Write(directory.data(), static_cast<uint32_t>(directory.size())) ? kSuccess : kFileError;
}

bool SealPeImage(const std::string& path, std::string& cause) {
    PeHeaders headers;
    uint32_t sum = 0;
    uint64_t length = 0;
    {
        StdioSource file;
        if (!file.Open(path)) {
            cause = std::strerror(errno);
            return false;
        }
        // An extractor is always a program; anything else (a stand-in in a test) has no header to seal.
        if (ReadPeHeaders(file, headers) != PeRead::kRead)
            return true;
        // The checksum of the image: the file as 16-bit little-endian words (a last odd byte padded with
        // zero), the checksum field and the security entry that is about to be cleared as zero, added with
        // the carries folded back in, plus the length of the file.
        length = file.Size();
        unsigned char block[65536];
        for (uint64_t at = 0; at < length;) {
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(sizeof block, length - at));
            if (!file.ReadAt(at, block, n)) {
                cause = std::strerror(errno);
                return false;
            }
            // Blocks of an even size: a word never straddles two of them.
            for (uint32_t i = 0; i < n; i += 2) {
                const unsigned low = Cleared(headers, at + i) ? 0 : block[i];
                const unsigned high = i + 1 == n || Cleared(headers, at + i + 1) ? 0 : block[i + 1];
                sum += low | high << 8;
                sum = (sum & 0xffff) + (sum >> 16);
            }
            at += n;
        }
    }
    sum = (sum & 0xffff) + (sum >> 16);

    const uint32_t checksum = static_cast<uint32_t>(sum + length);
    const unsigned char fields[4] = {static_cast<unsigned char>(checksum), static_cast<unsigned char>(checksum >> 8),
                                     static_cast<unsigned char>(checksum >> 16), static_cast<unsigned char>(checksum >> 24)};
    const unsigned char none[8] = {};
    FILE* file = std::fopen(path.c_str(), "r+b");
    const bool written = file && Seek(file, headers.checksum) == 0 && std::fwrite(fields, 1, 4, file) == 4 &&
                         (!headers.securityEntry ||
                          (Seek(file, headers.securityEntry) == 0 && std::fwrite(none, 1, 8, file) == 8));
    const bool closed = file && std::fclose(file) == 0;
    if (!written || !closed) {
        cause = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace pkg

namespace {


// Whether the package's end (before the certificate table of a signed setup) holds a trailer's version
// and marker, whatever its directory holds.
bool HasPackageMarker(pkg::Source& source) {
    char tail[14];
    const uint64_t size = pkg::PackageEnd(source);
    return size >= sizeof tail && source.ReadAt(size - sizeof tail, tail, sizeof tail) &&
           std::memcmp(tail, pkg::kVersion, 4) == 0 && std::memcmp(tail + 4, pkg::kMarker, 10) == 0;
}

// One entry's stream, inflated as it is read, with the checks of the unpacker: it may not give more than
// its record announces, and must end exactly at the end of its range having given exactly that much.
class EntryStream : public pkg::InputStream {
public:
    EntryStream(pkg::Source& source, const pkg::Entry& entry) : source_(source), entry_(entry) {
        std::memset(&stream_, 0, sizeof stream_);
        ready_ = inflateInit(&stream_) == Z_OK;
        position_ = entry.dataOffset;
        left_ = entry.compressedSize;
    }
    ~EntryStream() override {
        if (ready_)
            inflateEnd(&stream_);
    }
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    bool Read(void* buffer, uint32_t size, uint32_t& got) override {
        got = 0;
        if (ended_)
            return true;
        if (!ready_ || damaged_)
            return Damaged();
        stream_.next_out = static_cast<Bytef*>(buffer);
        stream_.avail_out = size;
        while (stream_.avail_out == size) {
            if (stream_.avail_in == 0 && left_ != 0) {
                const uint32_t chunk = std::min<uint32_t>(left_, sizeof in_);
                if (!source_.ReadAt(position_, in_, chunk))
                    return Damaged();
                position_ += chunk;
                left_ -= chunk;
                stream_.next_in = in_;
                stream_.avail_in = chunk;
            }
            const int z = inflate(&stream_, Z_NO_FLUSH);
            got = size - stream_.avail_out;
            produced_ += got;
            if (produced_ > entry_.uncompressedSize)
                return Damaged();
            if (z == Z_STREAM_END) {
                if (left_ != 0 || stream_.avail_in != 0 || produced_ != entry_.uncompressedSize)
                    return Damaged();
                ended_ = true;
                return true;
            }
            if (z != Z_OK)
                return Damaged();
        }
        return true;
    }

    bool IsDamaged() const { return damaged_; }

private:
    bool Damaged() {
        damaged_ = true;
        return false;
    }

    pkg::Source& source_;
    const pkg::Entry& entry_;
    z_stream stream_;
    Bytef in_[4096];
    uint64_t position_;
    uint32_t left_;
    uint64_t produced_ = 0;
    bool ready_ = false;
    bool ended_ = false;
    bool damaged_ = false;
};

} // namespace

int ExtractEntry(pkg::Source& source, const pkg::Entry& entry, pkg::OutputStream& output) {
    pkg::StreamUnpacker unpacker;
    return unpacker.Unpack(source, entry.dataOffset, entry.compressedSize, entry.uncompressedSize, output, nullptr,
                           nullptr);
}

namespace {

SetupRead ReadSetupContents(pkg::Source& source, SetupContents& contents, const feedtext::Charsets* platform) {
    contents = SetupContents();
    pkg::CPackageReader reader;
    const int directory = reader.ReadDirectory(source);
    if (directory != pkg::kSuccess) {
        if (!HasPackageMarker(source))
            return SetupRead::NotSetup;
        contents.cause =
            directory == pkg::kNoEntries ? "the package holds no file" : "its package directory is damaged";
        return SetupRead::Damaged;
    }
    contents.entries = reader.Entries();
    contents.stubSize = UINT64_MAX;
    for (const pkg::Entry& entry : contents.entries)
        contents.stubSize = std::min<uint64_t>(contents.stubSize, entry.dataOffset);

    for (const pkg::Entry& entry : contents.entries) {
        const bool feeds = text::EqualNoCase(entry.name, kFeedsFileName);
        if (!feeds && !text::EqualNoCase(entry.name, kWebPagesFileName))
            continue;
        // A size that no list of feeds comes near is a damaged or hostile record, refused before anything
        // is inflated.
        if (entry.uncompressedSize > kMaxDataFileBytes) {
            contents.cause = entry.name + " is larger than any file of feeds or web pages";
            return SetupRead::Damaged;
        }
        DataElement& root = feeds ? contents.customization.feeds : contents.customization.pages;
        EntryStream stream(source, entry);
        const DataFileResult read = ReadDataFile(stream, feeds ? "All Feeds" : "All Pages", root, platform);
        // A reader that stopped early has not seen the stream's check sum: a damaged stream is the truer
        // cause of what it found.
        if (!read.Ok()) {
            char rest[4096];
            uint32_t got = 0;
            while (stream.Read(rest, sizeof rest, got) && got != 0) {
            }
        }
        if (stream.IsDamaged()) {
            contents.cause = "the stream of " + entry.name + " is damaged";
            return SetupRead::Damaged;
        }
        if (!read.Ok()) {
            contents.cause = read.line == 0 ? entry.name + ": " + read.what
                                            : text::Format("%s, line %d, column %d: %s", entry.name.c_str(),
                                                           read.line, read.column, read.what.c_str());
            root = DataElement();
            return SetupRead::Damaged;
        }
        contents.passedOver += read.passedOver;
        for (RecordProblem& problem : CheckRecords(root, false)) {
            SetupProblem named;
            static_cast<RecordProblem&>(named) = std::move(problem);
            named.file = entry.name;
            contents.problems.push_back(std::move(named));
        }
    }
    return SetupRead::Read;
}

} // namespace

SetupRead ReadSetup(pkg::Source& source, SetupContents& contents, const feedtext::Charsets* platform) {
    try {
        return ReadSetupContents(source, contents, platform);
    } catch (const std::bad_alloc&) {
        contents = SetupContents();
        contents.cause = "there is not enough memory to read it";
        return SetupRead::Damaged;
    }
}

void DropProblems(SetupContents& contents) {
    CheckRecords(contents.customization.feeds, true);
    CheckRecords(contents.customization.pages, true);
    contents.problems.clear();
}
