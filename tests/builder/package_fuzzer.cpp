// libFuzzer target: the input is taken as a whole package file and read and extracted through the
// reader, and also as one compressed entry stream. Nothing may read out of bounds, and every file the
// reader asks for must have a safe name.
#include "tests/builder/package_maker.h"

#include <cstdlib>

namespace {

// Keeps no data, only checks what it is asked to create.
class CheckingWriter : public pkg::EntryWriter {
public:
    bool Create(const std::string& name) override {
        if (!pkg::IsSafeEntryName(name) || open_)
            std::abort();
        open_ = true;
        return true;
    }
    bool Write(const void*, uint32_t size) override {
        if (!open_ || size > pkg::kBlockSize)
            std::abort();
        return true;
    }
    void Finish(bool) override {
        if (!open_)
            std::abort();
        open_ = false;
    }

private:
    bool open_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    pkgtest::MemorySource source(bytes);
    CheckingWriter writer;
    std::vector<std::string> extracted;
    pkg::CPackageReader reader;
    const int result = reader.ExtractAll(source, writer, &extracted);
    if (result == pkg::kSuccess && extracted.size() != reader.Entries().size())
        std::abort();

    // The same bytes as one entry's stream, with the length taken from the first bytes.
    static pkg::StreamUnpacker unpacker;
    const uint32_t expected = size >= 2 ? (uint32_t(data[0]) << 8 | data[1]) * 16 : 0;
    pkgtest::MemoryOutput out;
    if (unpacker.Unpack(source, 0, static_cast<uint32_t>(size), expected, out, nullptr, nullptr) == pkg::kSuccess &&
        out.data.size() != expected)
        std::abort();
    return 0;
}
