#include "builder/pe_image.h"

#include <vector>

namespace pkg {

namespace {

bool ReadBytes(Source& file, uint64_t offset, uint32_t size, std::vector<unsigned char>& bytes) {
    if (offset > file.Size() || file.Size() - offset < size)
        return false;
    bytes.resize(size);
    return size == 0 || file.ReadAt(offset, bytes.data(), size);
}

} // namespace

PeRead ReadPeHeaders(Source& file, PeHeaders& headers) {
    headers = PeHeaders();
    std::vector<unsigned char> dos;
    if (!ReadBytes(file, 0, 64, dos) || dos[0] != 'M' || dos[1] != 'Z')
        return PeRead::kNoMzHeader;
    const uint64_t pe = LoadLE32(&dos[0x3C]);
    std::vector<unsigned char> head;
    if (!ReadBytes(file, pe, 24, head) || head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0)
        return PeRead::kNoPeHeader;
    headers.sectionCount = LoadLE16(&head[6]);
    headers.optionalSize = LoadLE16(&head[20]);
    headers.optional = pe + 24;
    std::vector<unsigned char> opt;
    if (headers.optionalSize < 2 || !ReadBytes(file, headers.optional, headers.optionalSize, opt))
        return PeRead::kNoOptionalHeader;
    // The widths differ only in where the count of data directories and the directories themselves sit.
    uint32_t countAt, directoriesAt;
    switch (LoadLE16(&opt[0])) {
    case 0x10B:
        countAt = 92, directoriesAt = 96;
        break;
    case 0x20B:
        countAt = 108, directoriesAt = 112;
        break;
    default:
        return PeRead::kUnknownKind;
    }
    if (headers.optionalSize < 68)
        return PeRead::kNoOptionalHeader;
    headers.checksum = headers.optional + 64;
    // The security directory is the fifth.
    const uint32_t securityAt = directoriesAt + 4 * 8;
    if (headers.optionalSize >= securityAt + 8 && LoadLE32(&opt[countAt]) > 4)
        headers.securityEntry = headers.optional + securityAt;
    // The resource directory is the third.
    const uint32_t resourceAt = directoriesAt + 2 * 8;
    if (headers.optionalSize >= resourceAt + 8 && LoadLE32(&opt[countAt]) > 2)
        headers.resourceEntry = headers.optional + resourceAt;
    return PeRead::kRead;
}

} // namespace pkg
