#include "builder/package_format.h"

#include "framework/text.h"

#include <algorithm>
#include <cstring>

namespace pkg {

uint32_t Percentage(uint64_t done, uint64_t total) {
    if (total == 0)
        return 100;
    // Above 10,000,000 bytes the share is done / (total / 100), as the progress has always been reported;
    // 64-bit arithmetic keeps done * 100 from overflowing, and a file that grew while packed stops at 100.
    const uint64_t percent = total <= 10000000 ? done * 100 / total : done / (total / 100);
    return percent > 100 ? 100 : static_cast<uint32_t>(percent);
}

namespace {

bool IsReservedDeviceStem(std::string stem) {
    // The file system ignores trailing spaces of the stem when it looks for a device: "NUL .txt" is NUL.
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (stem == device)
            return true;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(stem[3]);
        // Windows also takes the superscript digits 1, 2, 3 of the ANSI code page as port numbers.
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

} // namespace

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        // A backslash is refused even as the trail byte of a double-byte character: safety first.
        if (c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr)
            return false;
    }
    if (name.find("..") != std::string::npos)
        return false;
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !IsReservedDeviceStem(name.substr(0, name.find('.')));
}

void AppendRecord(const Entry& e, std::string& out) {
    AppendLE32(out, e.dataOffset);
    AppendLE32(out, e.uncompressedSize);
    AppendLE32(out, e.compressedSize);
    out += e.name;
    AppendLE32(out, static_cast<uint32_t>(e.name.size()));
}

void AppendTrailer(uint32_t count, std::string& out) {
    AppendLE32(out, count);
    out.append(kVersion, sizeof kVersion);
    out.append(kMarker, sizeof kMarker);
}

bool BlockStream::Drain(OutputStream& output, bool final, uint64_t& total, uint64_t limit) {
    if (stream_.avail_out != 0 && !final)
        return true;
    const uint32_t ready = kBlockSize - stream_.avail_out;
    total += ready;
    stream_.next_out = out_;
    stream_.avail_out = kBlockSize;
    return total <= limit && (ready == 0 || output.Write(out_, ready));
}

int StreamPacker::Pack(InputStream& input, OutputStream& output, uint64_t length, ProgressFn progress, void* context,
                       uint64_t& consumed, uint64_t& produced) {
    consumed = 0;
    produced = 0;
    std::memset(&stream_, 0, sizeof stream_);
    // deflateInit passes the library's own version and record size: the record is 56 bytes only in the
    // 32-bit build (88 in the 64-bit Windows build, 112 natively on 64-bit Linux), so no size is assumed.
    if (deflateInit(&stream_, kCompressionLevel) != Z_OK)
        return kFileError;

    int result = kSuccess;
    // The output buffer is written only when full (and at the end), so that every write but the last
    // is one whole block. The library's total_in/total_out are only 32 bits wide on Windows: the counts
    // are kept here in 64 bits.
    stream_.next_out = out_;
    stream_.avail_out = kBlockSize;
    for (;;) {
        if (stream_.avail_in == 0) {
            uint32_t got = 0;
            if (!input.Read(in_, kBlockSize, got)) {
                result = kFileError;
                break;
            }
            if (got == 0)
                break;
            consumed += got;
            stream_.next_in = in_;
            stream_.avail_in = got;
        }
        if (deflate(&stream_, Z_NO_FLUSH) != Z_OK || !Drain(output, false, produced, UINT64_MAX)) {
            result = kFileError;
            break;
        }
        // One call per input block consumed.
        if (progress && stream_.avail_in == 0) {
            const uint32_t percent = Percentage(consumed, length);
            progress(kProgressBlock, &percent, context);
        }
    }
    while (result == kSuccess) {
        const int z = deflate(&stream_, Z_FINISH);
        if ((z != Z_OK && z != Z_STREAM_END) || !Drain(output, z == Z_STREAM_END, produced, UINT64_MAX))
            result = kFileError;
        else if (z == Z_STREAM_END)
            break;
    }
    deflateEnd(&stream_);
    return result;
}

int StreamUnpacker::Unpack(Source& source, uint64_t offset, uint32_t compressedSize, uint32_t uncompressedSize,
                           OutputStream& output, ProgressFn progress, void* context) {
    std::memset(&stream_, 0, sizeof stream_);
    if (inflateInit(&stream_) != Z_OK)
        return kFileError;

    uint64_t position = offset;
    uint32_t left = compressedSize; // bytes of the range not yet read
    uint64_t written = 0;
    int result = kFileError;
    stream_.next_out = out_;
    stream_.avail_out = kBlockSize;
    for (;;) {
        if (stream_.avail_in == 0 && left != 0) {
            const uint32_t chunk = std::min(left, kBlockSize);
            if (!source.ReadAt(position, in_, chunk))
                break;
            position += chunk;
            left -= chunk;
            stream_.next_in = in_;
            stream_.avail_in = chunk;
        }
        // With no input left and the stream not ended, inflate answers Z_BUF_ERROR: a truncated stream.
        const int z = inflate(&stream_, Z_NO_FLUSH);
        // A stream longer than its record is refused as soon as it overruns: that bounds what a hostile
        // package can make us write.
        if (!Drain(output, z != Z_OK, written, uncompressedSize))
            break;
        if (z == Z_STREAM_END) {
            // Bytes of the range after the stream's end mean the record does not describe this stream.
            if (left == 0 && stream_.avail_in == 0 && written == uncompressedSize)
                result = kSuccess;
            break;
        }
        if (z != Z_OK)
            break;
        // One call per input block consumed.
        if (progress && stream_.avail_in == 0) {
            const uint32_t percent = Percentage(compressedSize - left, compressedSize);
            if (progress(kProgressBlock, &percent, context) == kStopAll) {
                result = kStopAll;
                break;
            }
        }
    }
    inflateEnd(&stream_);
    return result;
}

namespace {

uint16_t LoadLE16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The certificate table named by the security directory of a PE header, as a file offset and size. False
// when the bytes are no PE program or name no table.
bool FindCertificateTable(Source& source, uint64_t& offset, uint64_t& size) {
    unsigned char dos[64];
    if (!source.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const uint64_t header = LoadLE32(dos + 0x3C);
    // The signature, the file header and the optional header's magic.
    unsigned char pe[26];
    if (!source.ReadAt(header, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        return false;
    const uint16_t optionalSize = LoadLE16(pe + 20);
    const uint16_t magic = LoadLE16(pe + 24);
    // Where NumberOfRvaAndSizes and the data directories sit in a PE32 and a PE32+ optional header.
    uint32_t countAt = 0;
    if (magic == 0x10B)
        countAt = 92;
    else if (magic == 0x20B)
        countAt = 108;
    else
        return false;
    const uint32_t kSecurity = 4; // IMAGE_DIRECTORY_ENTRY_SECURITY
    const uint32_t directoryAt = countAt + 4 + kSecurity * 8;
    if (optionalSize < directoryAt + 8)
        return false;
    unsigned char count[4], directory[8];
    const uint64_t optional = header + 24;
    if (!source.ReadAt(optional + countAt, count, 4) || LoadLE32(count) <= kSecurity ||
        !source.ReadAt(optional + directoryAt, directory, 8))
        return false;
    // Unlike every other data directory, this one holds a file offset, not a virtual address.
    offset = LoadLE32(directory);
    size = LoadLE32(directory + 4);
    return offset != 0 && size != 0;
}

} // namespace

uint64_t PackageEnd(Source& source) {
    const uint64_t size = source.Size();
    uint64_t table = 0, tableSize = 0;
    if (!FindCertificateTable(source, table, tableSize) || table > size || tableSize != size - table)
        return size;
    // The package's own last byte is the marker's "!", so the zero bytes before the table are padding.
    unsigned char padding[7];
    const uint32_t before = static_cast<uint32_t>(std::min<uint64_t>(table, sizeof padding));
    if (!source.ReadAt(table - before, padding, before))
        return table;
    uint64_t end = table;
    for (uint32_t i = before; i > 0 && padding[i - 1] == 0; --i)
        --end;
    return end;
}

int CPackageReader::ReadDirectory(Source& source) {
    entries_.clear();
    trailerLength_ = 0;
    end_ = PackageEnd(source);

    const uint64_t size = end_; // what follows is the signature, not ours to read
    unsigned char trailer[kTrailerSize];
    if (size < kTrailerSize || !source.ReadAt(size - kTrailerSize, trailer, kTrailerSize))
        return kNotPackage;
    if (std::memcmp(trailer + 8, kMarker, sizeof kMarker) != 0 || std::memcmp(trailer + 4, kVersion, 4) != 0)
        return kNotPackage;
    const uint32_t count = LoadLE32(trailer);
    if (count == 0)
        return kNoEntries;
    if (count > kMaxEntries)
        return kNotPackage;

    // d is the distance from the end of the file; every step first checks that the field lies in the file.
    std::vector<Entry> entries(count);
    uint64_t d = kTrailerSize;
    for (uint32_t k = count; k-- > 0;) {
        Entry& e = entries[k];
        unsigned char field[12];
        if (size - d < 4 || !source.ReadAt(size - d - 4, field, 4))
            return kNotPackage;
        d += 4;
        const uint32_t nameLength = LoadLE32(field);
        if (nameLength == 0 || nameLength > kMaxNameLength || size - d < nameLength)
            return kNotPackage;
        d += nameLength;
        e.name.resize(nameLength);
        if (!source.ReadAt(size - d, &e.name[0], nameLength))
            return kNotPackage;
        if (size - d < 12 || !source.ReadAt(size - d - 12, field, 12))
            return kNotPackage;
        d += 12;
        e.dataOffset = LoadLE32(field);
        e.uncompressedSize = LoadLE32(field + 4);
        e.compressedSize = LoadLE32(field + 8);
        if (!IsSafeEntryName(e.name))
            return kNotPackage;
    }

    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t j = i + 1; j < count; ++j)
            if (text::EqualNoCase(entries[i].name, entries[j].name))
                return kNotPackage;

    // The data ranges, in file order, must end before the directory and must not share a byte.
    const uint64_t directoryStart = size - d;
    std::vector<const Entry*> byOffset;
    for (const Entry& e : entries)
        byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Entry* a, const Entry* b) { return a->dataOffset < b->dataOffset; });
    uint64_t previousEnd = 0;
    for (const Entry* e : byOffset) {
        const uint64_t end = uint64_t(e->dataOffset) + e->compressedSize;
        if (e->dataOffset < previousEnd || end > directoryStart)
            return kNotPackage;
        previousEnd = end;
    }

    entries_ = std::move(entries);
    trailerLength_ = d;
    return kSuccess;
}

int CPackageReader::ExtractEntry(Source& source, const Entry& entry, EntryWriter& writer) {
    if (!writer.Create(entry.name))
        return kFileError;
    const int result = unpacker_.Unpack(source, entry.dataOffset, entry.compressedSize, entry.uncompressedSize, writer,
                                        progress_, context_);
    writer.Finish(result == kSuccess);
    return result;
}

int CPackageReader::ExtractAll(Source& source, EntryWriter& writer, std::vector<std::string>* extracted) {
    const int read = ReadDirectory(source);
    if (read != kSuccess)
        return read;
    uint32_t failures = 0;
    for (size_t k = entries_.size(); k-- > 0;) {
        const Entry& e = entries_[k];
        if (Notify(kProgressEntryStart, e.name.c_str()) == kStopAll)
            return kStopAll;
        const int result = ExtractEntry(source, e, writer);
        if (result == kStopAll)
            return kStopAll;
        if (result != kSuccess) {
            ++failures;
            continue;
        }
        if (extracted)
            extracted->push_back(e.name);
        if (Notify(kProgressEntryDone, e.name.c_str()) == kStopAll)
            return kStopAll;
    }
    return failures == 0 ? kSuccess : kFileError;
}

} // namespace pkg
