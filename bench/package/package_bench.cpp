// Packing and extraction of a 64 MiB payload shaped like an installer (half incompressible, half
// compressible text), measured against zlib alone on the same bytes in the same run: raw deflate at
// level 6 in one call, and raw inflate in one call. Prints the ratios of our time to theirs, and for the
// extraction also zlib's own time through two 4096-byte buffers, the least that such buffers cost.
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

// zlib alone through two 4096-byte buffers, as the reader works: the cost of the block size itself (the
// window copy of every output byte, the slow decoding near each buffer's end, the copy to the sink).
size_t BlockInflate(const std::string& in, BufferOutput& sink) {
    static unsigned char input[pkg::kBlockSize], output[pkg::kBlockSize];
    z_stream s{};
    inflateInit(&s);
    sink.Reset();
    size_t position = 0, produced = 0;
    s.next_out = output;
    s.avail_out = pkg::kBlockSize;
    for (int z = Z_OK; z == Z_OK;) {
        if (s.avail_in == 0) {
            const size_t chunk = std::min<size_t>(pkg::kBlockSize, in.size() - position);
            std::memcpy(input, in.data() + position, chunk);
            position += chunk;
            s.next_in = input;
            s.avail_in = static_cast<uInt>(chunk);
        }
        z = inflate(&s, Z_NO_FLUSH);
        if (s.avail_out == 0 || z != Z_OK) {
            const uint32_t ready = pkg::kBlockSize - s.avail_out;
            sink.Write(output, ready);
            produced += ready;
            s.next_out = output;
            s.avail_out = pkg::kBlockSize;
        }
    }
    inflateEnd(&s);
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

    // Rounds alternate between zlib alone and our code, so that a busy moment of the machine hits both;
    // the fastest of each counts. Round 0 only warms up (page faults, caches). Inflation is short next to
    // the deflate of a round, so it is sampled several times per round.
    const int kInflateSamples = 5;
    double deflateTime = 1e9, packTime = 1e9, inflateTime = 1e9, blockTime = 1e9, extractTime = 1e9;
    size_t rawSize = 0;
    std::string package;
    for (int round = 0; round <= rounds; ++round) {
        const bool counted = round > 0;
        auto start = Clock::now();
        rawSize = RawDeflate(payload, raw);
        if (counted)
            deflateTime = std::min(deflateTime, Seconds(start));

        pkgtest::MemoryInput input(payload);
        packed.Create("rvl.exe");
        uint64_t consumed = 0, produced = 0;
        start = Clock::now();
        const int packResult = packer->Pack(input, packed, size, nullptr, nullptr, consumed, produced);
        if (counted)
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
            pkgtest::AppendDirectory({entry}, package);
        }

        const std::string rawStream = raw.substr(0, rawSize);
        pkgtest::MemorySource source(package);
        for (int sample = 0; sample < kInflateSamples; ++sample) {
            start = Clock::now();
            const size_t inflatedSize = RawInflate(rawStream, inflated);
            const double inflateSample = Seconds(start);

            start = Clock::now();
            const size_t blockSize = BlockInflate(rawStream, extracted);
            const double blockSample = Seconds(start);

            start = Clock::now();
            const int extractResult = reader->ExtractAll(source, extracted, nullptr);
            const double extractSample = Seconds(start);
            if (counted) {
                inflateTime = std::min(inflateTime, inflateSample);
                blockTime = std::min(blockTime, blockSample);
                extractTime = std::min(extractTime, extractSample);
            }
            if (extractResult != pkg::kSuccess || inflatedSize != size || blockSize != size ||
                (sample == 0 && extracted.Data() != payload)) {
                std::fprintf(stderr, "extraction failed\n");
                return 1;
            }
        }
    }

    const double mib = static_cast<double>(size) / (1 << 20);
    std::printf("payload %.0f MiB (half incompressible), compressed to %.1f MiB; fastest of %d rounds\n", mib,
                static_cast<double>(rawSize) / (1 << 20), rounds);
    std::printf("raw deflate level 6   %7.3f s\n", deflateTime);
    std::printf("package packing       %7.3f s   ratio %.3f (target <= 1.10)\n", packTime, packTime / deflateTime);
    std::printf("raw inflate           %7.3f s\n", inflateTime);
    std::printf("zlib, 4096-byte bufs  %7.3f s   ratio %.3f (the block size alone)\n", blockTime,
                blockTime / inflateTime);
    std::printf("package extraction    %7.3f s   ratio %.3f (target <= 1.30), %.3f of zlib with the same buffers\n",
                extractTime, extractTime / inflateTime, extractTime / blockTime);
    return 0;
}
