#include "builder/setup_file.h"

#include "framework/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

bool MemoryInput::Read(void* buffer, uint32_t size, uint32_t& got) {
    got = static_cast<uint32_t>(std::min<size_t>(size, bytes_.size() - pos_));
    std::memcpy(buffer, bytes_.data() + pos_, got);
    pos_ += got;
    return true;
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

} // namespace pkg

namespace {

constexpr uint32_t kMaxDataFileSize = 64u << 20;

// Whether the package's end (before the certificate table of a signed setup) holds a trailer's version
// and marker, whatever its directory holds.
bool HasPackageMarker(pkg::Source& source) {
    char tail[14];
    const uint64_t size = pkg::PackageEnd(source);
    return size >= sizeof tail && source.ReadAt(size - sizeof tail, tail, sizeof tail) &&
           std::memcmp(tail, pkg::kVersion, 4) == 0 && std::memcmp(tail + 4, pkg::kMarker, 10) == 0;
}

const char* DataFileCause(DataFileRead read) {
    switch (read) {
    case DataFileRead::DocumentType:
        return "it declares a document type";
    case DataFileRead::WrongRoot:
        return "it is not a file of feeds or web pages";
    default:
        return "it is not well-formed XML";
    }
}

} // namespace

int ExtractEntry(pkg::Source& source, const pkg::Entry& entry, pkg::OutputStream& output) {
    pkg::StreamUnpacker unpacker;
    return unpacker.Unpack(source, entry.dataOffset, entry.compressedSize, entry.uncompressedSize, output, nullptr,
                           nullptr);
}

SetupRead ReadSetup(pkg::Source& source, SetupContents& contents) {
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
        // The data files are read into memory: a size that no list of feeds comes near is a damaged or
        // hostile record, refused before anything is inflated.
        if (entry.uncompressedSize > kMaxDataFileSize) {
            contents.cause = entry.name + " is larger than any file of feeds or web pages";
            return SetupRead::Damaged;
        }
        pkg::MemoryOutput bytes;
        if (ExtractEntry(source, entry, bytes) != pkg::kSuccess) {
            contents.cause = "the stream of " + entry.name + " is damaged";
            return SetupRead::Damaged;
        }
        int skipped = 0;
        const DataFileRead read = feeds ? ReadFeedsXml(bytes.bytes, contents.customization.folders, skipped)
                                        : ReadWebPagesXml(bytes.bytes, contents.customization.pages, skipped);
        if (read != DataFileRead::Read) {
            contents.cause = entry.name + " cannot be read: " + DataFileCause(read);
            return SetupRead::Damaged;
        }
        contents.skipped += skipped;
    }
    return SetupRead::Read;
}
