// Which downloaded files pass for a Windows program, from the header fields in their first bytes.
#include "download/page/setup_image.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void Put(std::string& bytes, size_t offset, uint32_t value, size_t count) {
    for (size_t i = 0; i < count; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// size bytes: "MZ", e_lfanew, "PE\0\0" there and the file header's characteristics.
std::string Image(size_t size, uint32_t lfanew = 0x80, uint16_t characteristics = 0x0102) {
    std::string bytes(size, 'x');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put(bytes, 0x3C, lfanew, 4);
    if (static_cast<uint64_t>(lfanew) + 24 <= size) {
        bytes.replace(lfanew, 4, std::string("PE\0\0", 4));
        Put(bytes, lfanew + 22, characteristics, 2);
    }
    return bytes;
}

TEST(SetupImageTest, OnlyAnExecutableImageOfPlausibleSizePasses) {
    std::string noSignature = Image(4096);
    noSignature[0x81] = 'X';
    std::string html = "<html><body>404 Not Found</body></html>" + std::string(2000, ' ');
    const struct {
        const char* name;
        std::string bytes;
        bool expected;
    } cases[] = {
        {"program", Image(4096), true},
        {"program whose header ends the bytes read", Image(4096, 4096 - 24), true},
        {"HTML page", html, false},
        {"too small to be a setup", Image(1023), false},
        {"no PE signature at e_lfanew", noSignature, false},
        {"e_lfanew inside the DOS header", Image(4096, 0x20), false},
        {"e_lfanew beyond the bytes read", Image(8192, 4096 - 23), false},
        {"e_lfanew far beyond the file", Image(4096, 0xFFFFFFF0u), false},
        {"DLL", Image(4096, 0x80, 0x2102), false},
        {"object file, not an executable image", Image(4096, 0x80, 0x0100), false},
        {"empty file", std::string(), false},
    };
    for (const auto& c : cases) {
        const std::string head = c.bytes.substr(0, kProgramHeadBytes);
        EXPECT_EQ(c.expected, IsWindowsProgramImage(head, c.bytes.size())) << c.name;
    }
}

} // namespace
