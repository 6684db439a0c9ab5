// Packing and extraction of a 64 MiB payload shaped like an installer (half incompressible, half
// compressible text), measured against zlib alone on the same bytes in the same run: raw deflate at
// level 6 in one call, and raw inflate in one call. Prints the ratios of our time to theirs.
#include "builder/package_format.h"
#include "tests/builder/package_maker.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Payload(size_t size) {
    std::string data = pkgtest::RandomBytes(size / 2, 2026);
    // The compressible half: words of a small vocabulary in random order, about 3:1 at level 6.
    static const char* const kWords[] = {"setup",    "reader",        "feed",    "folder",       "<Folder ", "Name=\"",
                                         "\" ",      "URL=\"http://", ".xml",    "Status=\"0\"", "\r\n",     "MZ",
                                         "\x90\x90", "kernel32",      "Ravelin", "update"};
    std::mt19937 random(7);
    while (data.size() < size)
        data += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    data.resize(size);
    return data;
}

// Output into a buffer allocated once, as a file write would not allocate either.
class BufferOutput : public pkg::EntryWriter {
public:
    explicit BufferOutput(size_t capacity) : data_(capacity, '\0') {}
    bool Create(const std::string&) override {
        size_ = 0;
        return true;
    }
    bool Write(const void* buffer, uint32_t size) override {
        if (size > data_.size() - size_)
            return false;
        std::memcpy(&data_[size_], buffer, size);
        size_ += size;
        return true;
    }
    void Finish(bool) override {}
    std::string Data() const { return data_.substr(0, size_); }
    void Reset() { size_ = 0; }

private:
    std::string data_;
    size_t size_ = 0;
};

size_t RawDeflate(const std::string& in, std::string& out) {
    z_stream s{};
    deflateInit(&s, 6);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    const size_t produced = out.size() - s.avail_out;
    deflateEnd(&s);
    return produced;
}

size_t RawInflate(const std::string& in, std::string& out) {
    z_stream s{};
    inflateInit(&s);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    inflate(&s, Z_FINISH);
    const size_t produced = out.size() - s.avail_out;
    inflateEnd(&s);
    return produced;
}

} // namespace

int main(int argc, char** argv) {
    const size_t size = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64) << 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string payload = Payload(size);

    std::string raw(deflateBound(nullptr, static_cast<uLong>(size)) + 64, '\0');
    BufferOutput packed(raw.size());
    std::string inflated(size, '\0');
    BufferOutput extracted(size);
    auto packer = std::make_unique<pkg::StreamPacker>();
    auto reader = std::make_unique<pkg::CPackageReader>();

    // Rounds alternate between zlib alone and our code; the fastest of each counts.
    double deflateTime = 1e9, packTime = 1e9, inflateTime = 1e9, extractTime = 1e9;
    size_t rawSize = 0;
    std::string package;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        rawSize = RawDeflate(payload, raw);
        deflateTime = std::min(deflateTime, Seconds(start));

        pkgtest::MemoryInput input(payload);
        packed.Create("rvl.exe");
        uint64_t consumed = 0, produced = 0;
        start = Clock::now();
        const int packResult = packer->Pack(input, packed, size, nullptr, nullptr, consumed, produced);
        packTime = std::min(packTime, Seconds(start));
        if (packResult != pkg::kSuccess || consumed != size) {
            std::fprintf(stderr, "packing failed\n");
            return 1;
        }
        if (round == 0) {
            // A package as the writer lays it out: a stub, the stream, the directory.
            pkg::Entry entry;
            entry.name = "rvl.exe";
            entry.dataOffset = 4096;
            entry.uncompressedSize = static_cast<uint32_t>(size);
            entry.compressedSize = static_cast<uint32_t>(produced);
            package = std::string(4096, 'S') + packed.Data();
            pkg::AppendDirectory({entry}, package);
        }

        const std::string rawStream = raw.substr(0, rawSize);
        start = Clock::now();
        const size_t inflatedSize = RawInflate(rawStream, inflated);
        inflateTime = std::min(inflateTime, Seconds(start));

        pkgtest::MemorySource source(package);
        start = Clock::now();
        const int extractResult = reader->ExtractAll(source, extracted, nullptr);
        extractTime = std::min(extractTime, Seconds(start));
        if (extractResult != pkg::kSuccess || inflatedSize != size || extracted.Data() != payload) {
            std::fprintf(stderr, "extraction failed\n");
            return 1;
        }
    }

    const double mib = static_cast<double>(size) / (1 << 20);
    std::printf("payload %.0f MiB (half incompressible), compressed to %.1f MiB\n", mib,
                static_cast<double>(rawSize) / (1 << 20));
    std::printf("raw deflate level 6   %7.3f s\n", deflateTime);
    std::printf("package packing       %7.3f s   ratio %.3f (target <= 1.10)\n", packTime, packTime / deflateTime);
    std::printf("raw inflate           %7.3f s\n", inflateTime);
    std::printf("package extraction    %7.3f s   ratio %.3f (target <= 1.30)\n", extractTime,
                extractTime / inflateTime);
    return 0;
}
