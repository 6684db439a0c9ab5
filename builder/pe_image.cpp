#include "builder/pe_image.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace pkg {

namespace {

uint16_t Read16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
void Write32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

// Where the two fields lie, from the headers at the front of the file; false when they are no PE image.
bool FindFields(const unsigned char* head, size_t size, size_t& checksum, size_t& security) {
    if (size < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return false;
    const size_t pe = Read32(head + 0x3c);
    // The signature, the 20-byte file header, then the optional header with its magic.
    if (pe > size - 24 - 2 || std::memcmp(head + pe, "PE\0\0", 4) != 0)
        return false;
    const size_t optional = pe + 24;
    const uint16_t optionalSize = Read16(head + pe + 20);
    const uint16_t magic = Read16(head + optional);
    // The checksum lies at the same place in both kinds; the data directories follow the fields, which
    // are 4 bytes longer in PE32+ (64-bit addresses).
    const size_t directories = magic == 0x10b ? 96 : magic == 0x20b ? 112 : 0;
    if (!directories || optionalSize < directories + 5 * 8 || optional + optionalSize > size)
        return false;
    const uint32_t count = Read32(head + optional + directories - 4);
    if (count < 5)
        return false;
    checksum = optional + 64;
    security = optional + directories + 4 * 8;
    return true;
}

} // namespace

bool SealPeImage(const std::string& path, std::string& cause) {
    File file(std::fopen(path.c_str(), "r+b"), std::fclose);
    if (!file) {
        cause = std::strerror(errno);
        return false;
    }
    // The headers lie within the first page of every program that the linker writes.
    unsigned char head[4096] = {};
    const size_t headSize = std::fread(head, 1, sizeof head, file.get());
    size_t checksumAt = 0, securityAt = 0;
    // An extractor is always a program; anything else (a stand-in in a test) has no header to seal.
    if (!FindFields(head, headSize, checksumAt, securityAt))
        return true;
    std::memset(head + securityAt, 0, 8);
    std::memset(head + checksumAt, 0, 4);

    // The checksum of the image: the file as 16-bit little-endian words (a last odd byte padded with
    // zero), with the checksum field itself as zero, added with the carries folded back in, plus the
    // length of the file.
    uint32_t sum = 0;
    uint64_t length = 0;
    auto add = [&](const unsigned char* bytes, size_t n) {
        for (size_t i = 0; i < n; i += 2) {
            sum += i + 1 < n ? Read16(bytes + i) : bytes[i];
            sum = (sum & 0xffff) + (sum >> 16);
        }
        length += n;
    };
    add(head, headSize);
    // Blocks of an even size, so that the words of the file never straddle two of them.
    static_assert(sizeof head % 2 == 0, "the words of the file must not straddle two blocks");
    unsigned char block[65536];
    for (size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;)
        add(block, got);
    if (std::ferror(file.get())) {
        cause = std::strerror(errno);
        return false;
    }
    sum = (sum & 0xffff) + (sum >> 16);
    Write32(head + checksumAt, static_cast<uint32_t>(sum + length));

    if (std::fseek(file.get(), 0, SEEK_SET) != 0 || std::fwrite(head, 1, headSize, file.get()) != headSize ||
        std::fflush(file.get()) != 0) {
        cause = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace pkg
