#include "builder/version_resource.h"

#include "builder/pe_image.h"

#include <algorithm>
#include <vector>

namespace pkg {

namespace {

constexpr uint32_t kRtVersion = 16;
// A version block is a few kilobytes; one far larger is no version block.
constexpr uint32_t kMaxVersionBlock = 64 * 1024;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoBytes = 52;
constexpr uint32_t kSectionHeaderBytes = 40;

struct Section {
    uint32_t address, rawSize;
    uint64_t rawOffset;
};

bool ReadBytes(Source& file, uint64_t offset, uint32_t size, std::vector<unsigned char>& bytes) {
    if (offset > file.Size() || file.Size() - offset < size)
        return false;
    bytes.resize(size);
    return size == 0 || file.ReadAt(offset, bytes.data(), size);
}

// The file offset of size bytes at the address rva, all inside the raw data of one section.
bool FileOffset(const std::vector<Section>& sections, uint32_t rva, uint32_t size, uint64_t& offset) {
    for (const Section& section : sections) {
        if (rva < section.address)
            continue;
        const uint32_t into = rva - section.address;
        if (into < section.rawSize && size <= section.rawSize - into) {
            offset = section.rawOffset + into;
            return true;
        }
    }
    return false;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The UTF-16 text from at up to its terminating zero or end; false when no zero comes before end.
bool ReadText(const std::vector<unsigned char>& block, size_t at, size_t end, std::string& text, size_t& after) {
    text.clear();
    while (at + 2 <= end) {
        uint32_t c = LoadLE16(&block[at]);
        at += 2;
        if (c == 0) {
            after = at;
            return true;
        }
        if (c >= 0xD800 && c < 0xDC00 && at + 2 <= end) {
            const uint32_t low = LoadLE16(&block[at]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        // A lone surrogate becomes the replacement character: no ill-formed UTF-8 leaves here.
        AppendUtf8(text, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return false;
}

size_t Align4(size_t at) {
    return (at + 3) & ~static_cast<size_t>(3);
}

// One node of a version block: wLength, wValueLength, wType, a key, then its value and its children, each
// aligned to four bytes from the block's start.
struct Node {
    size_t end = 0;
    uint16_t valueLength = 0;
    uint16_t type = 0;
    std::string key;
    size_t value = 0;
    size_t children = 0; // after the value, up to end
};

bool ReadNode(const std::vector<unsigned char>& block, size_t at, size_t limit, Node& node) {
    if (at > limit || limit - at < 6)
        return false;
    const size_t length = LoadLE16(&block[at]);
    if (length < 6 || length > limit - at)
        return false;
    node.end = at + length;
    node.valueLength = LoadLE16(&block[at + 2]);
    node.type = LoadLE16(&block[at + 4]);
    size_t afterKey = 0;
    if (!ReadText(block, at + 6, node.end, node.key, afterKey))
        return false;
    node.value = std::min(Align4(afterKey), node.end);
    // A text value counts characters, a binary one bytes.
    const size_t valueBytes = node.type == 1 ? 2 * static_cast<size_t>(node.valueLength) : node.valueLength;
    node.children = std::min(Align4(node.value + valueBytes), node.end);
    return true;
}

// Calls visit for each child of parent, in order; false when a child does not fit.
template <typename Visit> bool EachChild(const std::vector<unsigned char>& block, const Node& parent, Visit visit) {
    for (size_t at = parent.children; at < parent.end;) {
        // Padding may close the parent.
        if (parent.end - at < 6)
            return true;
        Node child;
        if (!ReadNode(block, at, parent.end, child))
            return false;
        if (!visit(child))
            return false;
        at = Align4(child.end);
    }
    return true;
}

FourPartVersion Version(uint32_t high, uint32_t low) {
    FourPartVersion version;
    version.part[0] = static_cast<uint16_t>(high >> 16);
    version.part[1] = static_cast<uint16_t>(high & 0xFFFF);
    version.part[2] = static_cast<uint16_t>(low >> 16);
    version.part[3] = static_cast<uint16_t>(low & 0xFFFF);
    return version;
}

VersionRead ReadBlock(const std::vector<unsigned char>& block, VersionResource& info) {
    Node root;
    if (!ReadNode(block, 0, block.size(), root) || root.key != "VS_VERSION_INFO")
        return VersionRead::kDamaged;
    if (root.valueLength >= kFixedInfoBytes && root.end - root.value >= kFixedInfoBytes &&
        LoadLE32(&block[root.value]) == kFixedInfoSignature) {
        const unsigned char* fixed = &block[root.value];
        info.hasVersion = true;
        info.file = Version(LoadLE32(fixed + 8), LoadLE32(fixed + 12));
        info.product = Version(LoadLE32(fixed + 16), LoadLE32(fixed + 20));
    }
    const bool whole = EachChild(block, root, [&](const Node& child) {
        if (child.key != "StringFileInfo")
            return true;
        return EachChild(block, child, [&](const Node& table) {
            return EachChild(block, table, [&](const Node& string) {
                std::string value;
                size_t after = 0;
                if (info.productName.empty() && string.key == "ProductName" &&
                    ReadText(block, string.value, string.end, value, after))
                    info.productName = value;
                return true;
            });
        });
    });
    if (!whole) {
        // Nothing of a block that does not hold together is taken.
        info = VersionResource();
        return VersionRead::kDamaged;
    }
    return VersionRead::kRead;
}

} // namespace

std::string FourPartVersion::Text() const {
    return std::to_string(part[0]) + "." + std::to_string(part[1]) + "." + std::to_string(part[2]) + "." +
           std::to_string(part[3]);
}

int FourPartVersion::Compare(const FourPartVersion& other) const {
    for (int i = 0; i < 4; ++i) {
        if (part[i] != other.part[i])
            return part[i] < other.part[i] ? -1 : 1;
    }
    return 0;
}

bool FourPartVersion::Parse(const std::string& text) {
    FourPartVersion read;
    size_t field = 0, digits = 0;
    uint32_t value = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || field == 3)
                return false;
            read.part[field++] = static_cast<uint16_t>(value);
            value = 0;
            digits = 0;
        } else if (c >= '0' && c <= '9' && (value = value * 10 + static_cast<uint32_t>(c - '0')) <= 0xFFFF) {
            ++digits;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    read.part[field] = static_cast<uint16_t>(value);
    *this = read;
    return true;
}

VersionRead ReadVersionResource(Source& file, VersionResource& info) {
    info = VersionResource();
    PeHeaders headers;
    if (ReadPeHeaders(file, headers) != PeRead::kRead)
        return VersionRead::kNotProgram;
    std::vector<unsigned char> bytes;
    if (headers.resourceEntry == 0 || !ReadBytes(file, headers.resourceEntry, 8, bytes))
        return VersionRead::kNone;
    const uint32_t base = LoadLE32(&bytes[0]);
    const uint32_t directorySize = LoadLE32(&bytes[4]);
    if (base == 0 || directorySize == 0)
        return VersionRead::kNone;

    std::vector<Section> sections;
    const uint64_t table = headers.optional + headers.optionalSize;
    for (uint32_t i = 0; i < headers.sectionCount; ++i) {
        if (!ReadBytes(file, table + static_cast<uint64_t>(i) * kSectionHeaderBytes, kSectionHeaderBytes, bytes))
            return VersionRead::kDamaged;
        sections.push_back({LoadLE32(&bytes[12]), LoadLE32(&bytes[16]), LoadLE32(&bytes[20])});
    }
    // size bytes at offset from the start of the resource directory, which they may not pass.
    const auto readDirectory = [&](uint32_t offset, uint32_t size) {
        uint64_t at = 0;
        return offset <= directorySize && size <= directorySize - offset &&
               base + static_cast<uint64_t>(offset) <= 0xFFFFFFFFu && FileOffset(sections, base + offset, size, at) &&
               ReadBytes(file, at, size, bytes);
    };
    // The entry of a directory at offset: with id the entry of that number, else its first; its target
    // must be a subdirectory when subdirectory is set, else a data entry.
    const auto findEntry = [&](uint32_t offset, bool anyId, uint32_t id, bool subdirectory, uint32_t& target) {
        if (!readDirectory(offset, 16))
            return VersionRead::kDamaged;
        const uint32_t count = static_cast<uint32_t>(LoadLE16(&bytes[12])) + LoadLE16(&bytes[14]);
        for (uint32_t i = 0; i < count; ++i) {
            if (!readDirectory(offset + 16 + i * 8, 8))
                return VersionRead::kDamaged;
            const uint32_t name = LoadLE32(&bytes[0]), data = LoadLE32(&bytes[4]);
            if (!anyId && name != id)
                continue;
            if (((data & 0x80000000u) != 0) != subdirectory)
                return VersionRead::kDamaged;
            target = data & 0x7FFFFFFFu;
            return VersionRead::kRead;
        }
        return VersionRead::kNone;
    };
    uint32_t names = 0, languages = 0, dataEntry = 0;
    VersionRead found = findEntry(0, false, kRtVersion, true, names);
    if (found == VersionRead::kRead)
        found = findEntry(names, true, 0, true, languages);
    if (found == VersionRead::kRead)
        found = findEntry(languages, true, 0, false, dataEntry);
    if (found != VersionRead::kRead)
        return found;
    if (!readDirectory(dataEntry, 16))
        return VersionRead::kDamaged;
    const uint32_t blockAddress = LoadLE32(&bytes[0]), blockSize = LoadLE32(&bytes[4]);
    uint64_t blockOffset = 0;
    if (blockSize > kMaxVersionBlock || !FileOffset(sections, blockAddress, blockSize, blockOffset) ||
        !ReadBytes(file, blockOffset, blockSize, bytes))
        return VersionRead::kDamaged;
    return ReadBlock(bytes, info);
}

} // namespace pkg
