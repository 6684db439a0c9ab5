#include "download/page/setup_image.h"

#include <fstream>

namespace {

constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kNewHeaderOffsetField = 0x3C;
constexpr size_t kSignatureBytes = 4;
constexpr size_t kFileHeaderBytes = 20;
constexpr size_t kCharacteristicsField = 18; // inside the file header
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDynamicLibrary = 0x2000;

uint32_t ReadLittleEndian(const std::string& bytes, size_t offset, size_t count) {
    uint32_t value = 0;
    for (size_t i = count; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

} // namespace

bool IsWindowsProgramImage(const std::string& head, uint64_t fileSize) {
    if (fileSize < kMinimumProgramBytes || head.size() < kDosHeaderBytes || head.size() > fileSize)
        return false;
    if (head[0] != 'M' || head[1] != 'Z')
        return false;
    const uint32_t offset = ReadLittleEndian(head, kNewHeaderOffsetField, 4);
    // The new header follows the DOS header and lies whole inside the bytes read.
    if (offset < kDosHeaderBytes || offset > head.size() - kSignatureBytes - kFileHeaderBytes)
        return false;
    if (head.compare(offset, kSignatureBytes, std::string("PE\0\0", kSignatureBytes)) != 0)
        return false;
    const uint32_t characteristics = ReadLittleEndian(head, offset + kSignatureBytes + kCharacteristicsField, 2);
    return (characteristics & kExecutableImage) != 0 && (characteristics & kDynamicLibrary) == 0;
}

bool IsWindowsProgramFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return false;
    const std::streamoff size = file.tellg();
    std::string head(kProgramHeadBytes, '\0');
    file.seekg(0);
    file.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    return size > 0 && IsWindowsProgramImage(head, static_cast<uint64_t>(size));
}
