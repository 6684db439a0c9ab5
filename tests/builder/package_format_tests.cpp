// The package format through its reader: round trips, the exact bytes of the directory and trailer,
// and damaged or hostile packages, which must end as "not a package" or as failed entries and never
// make a file outside the output folder.
#include "tests/builder/package_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using pkgtest::MemorySource;
using pkgtest::MemoryWriter;
using pkgtest::Package;
using pkgtest::PackedFile;
using pkgtest::ProgressCall;
using pkgtest::ProgressLog;
using pkgtest::RecordProgress;

namespace {

struct Extraction {
    int result = 0;
    MemoryWriter writer;
    std::vector<std::string> extracted;
};

Extraction Extract(const std::string& bytes) {
    Extraction x;
    MemorySource source(bytes);
    pkg::CPackageReader reader;
    x.result = reader.ExtractAll(source, x.writer, &x.extracted);
    return x;
}

} // namespace

TEST(PackageFormat, RoundTripsFilesOfEverySize) {
    for (const auto& c : pkgtest::FilesOfEverySize()) {
        SCOPED_TRACE(c.what);
        const Package p = Package::Make({{"rvl.exe", c.data}});
        Extraction x = Extract(p.Bytes());
        EXPECT_EQ(pkg::kSuccess, x.result);
        ASSERT_EQ(1u, x.writer.kept.count("rvl.exe"));
        EXPECT_EQ(c.data.size(), x.writer.kept["rvl.exe"].size());
        EXPECT_TRUE(c.data == x.writer.kept["rvl.exe"]);
    }
}

TEST(PackageFormat, StreamsAreWhatZlibMakesAtLevelSix) {
    const std::string inputs[] = {"", "x", pkgtest::RandomBytes(4097, 21), pkgtest::CompressibleBytes(100000)};
    for (const std::string& input : inputs) {
        std::string expected(compressBound(static_cast<uLong>(input.size())), '\0');
        uLongf length = static_cast<uLongf>(expected.size());
        ASSERT_EQ(Z_OK, compress2(reinterpret_cast<Bytef*>(&expected[0]), &length,
                                  reinterpret_cast<const Bytef*>(input.data()), static_cast<uLong>(input.size()), 6));
        expected.resize(length);
        EXPECT_TRUE(expected == pkgtest::Compress(input)) << input.size() << " bytes";
    }
}

namespace {

class FailingInput : public pkg::InputStream {
public:
    bool Read(void*, uint32_t, uint32_t&) override { return false; }
};

class FailingOutput : public pkg::OutputStream {
public:
    bool Write(const void*, uint32_t) override { return false; }
};

class FailingSource : public pkg::Source {
public:
    explicit FailingSource(uint64_t size) : size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t, void*, uint32_t) override { return false; }

private:
    uint64_t size_;
};

} // namespace

TEST(PackageFormat, ReadAndWriteErrorsFailTheStream) {
    const std::string data = pkgtest::RandomBytes(10000, 22);
    pkg::StreamPacker packer;
    uint64_t consumed = 0, produced = 0;
    FailingInput badInput;
    pkgtest::MemoryOutput output;
    EXPECT_EQ(pkg::kFileError, packer.Pack(badInput, output, 10, nullptr, nullptr, consumed, produced));
    FailingOutput badOutput;
    pkgtest::MemoryInput input(data);
    EXPECT_EQ(pkg::kFileError, packer.Pack(input, badOutput, data.size(), nullptr, nullptr, consumed, produced));

    const std::string stream = pkgtest::Compress(data);
    pkg::StreamUnpacker unpacker;
    FailingSource badSource(stream.size());
    pkgtest::MemoryOutput out;
    EXPECT_EQ(pkg::kFileError,
              unpacker.Unpack(badSource, 0, static_cast<uint32_t>(stream.size()), 10000, out, nullptr, nullptr));
    pkgtest::MemorySource source(stream);
    EXPECT_EQ(pkg::kFileError,
              unpacker.Unpack(source, 0, static_cast<uint32_t>(stream.size()), 10000, badOutput, nullptr, nullptr));
    EXPECT_EQ(pkg::kSuccess,
              unpacker.Unpack(source, 0, static_cast<uint32_t>(stream.size()), 10000, out, nullptr, nullptr));
    EXPECT_TRUE(data == out.data);
}

TEST(PackageFormat, DirectoryIsReadBackwardsWithEveryField) {
    const Package p = Package::Make({{"rvl.exe", "setup"}, {"feeds.xml", "<Folder/>"}, {"webpages.xml", "pages"}});
    const std::string bytes = p.Bytes();
    MemorySource source(bytes);
    pkg::CPackageReader reader;
    ASSERT_EQ(pkg::kSuccess, reader.ReadDirectory(source));
    ASSERT_EQ(3u, reader.Entries().size());
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(p.entries[i].name);
        EXPECT_EQ(p.entries[i].name, reader.Entries()[i].name);
        EXPECT_EQ(p.entries[i].dataOffset, reader.Entries()[i].dataOffset);
        EXPECT_EQ(p.entries[i].uncompressedSize, reader.Entries()[i].uncompressedSize);
        EXPECT_EQ(p.entries[i].compressedSize, reader.Entries()[i].compressedSize);
    }
    EXPECT_EQ(p.stub.size(), reader.Entries()[0].dataOffset);
    EXPECT_EQ(p.Directory().size(), reader.TrailerLength());
}

TEST(PackageFormat, EntriesAreExtractedFromTheLastToTheFirst) {
    const Package p = Package::Make({{"rvl.exe", "setup"}, {"feeds.xml", "f"}, {"webpages.xml", "w"}});
    Extraction x = Extract(p.Bytes());
    EXPECT_EQ(pkg::kSuccess, x.result);
    const std::vector<std::string> expected = {"webpages.xml", "feeds.xml", "rvl.exe"};
    EXPECT_EQ(expected, x.writer.created);
    EXPECT_EQ(expected, x.extracted);
}

TEST(PackageFormat, ReaderReportsEachEntryAndItsBlocks) {
    // 10 KiB of random bytes: three blocks of compressed input, the last of which ends the stream.
    const Package p = Package::Make({{"a.bin", pkgtest::RandomBytes(10240, 7)}, {"b.txt", "b"}});
    const std::string bytes = p.Bytes();
    MemorySource source(bytes);
    MemoryWriter writer;
    ProgressLog log;
    pkg::CPackageReader reader;
    reader.SetProgress(RecordProgress, &log);
    EXPECT_EQ(pkg::kSuccess, reader.ExtractAll(source, writer, nullptr));
    const uint32_t size = p.entries[0].compressedSize;
    const std::vector<ProgressCall> expected = {
        {1000, "b.txt"},
        {1001, "b.txt"},
        {1000, "a.bin"},
        {1002, std::to_string(4096 * 100 / size)},
        {1002, std::to_string(8192 * 100 / size)},
        {1001, "a.bin"},
    };
    EXPECT_EQ(expected, log.calls);
}

TEST(PackageFormat, ProgressCanStopEverything) {
    const Package p = Package::Make({{"a.txt", "a"}, {"b.txt", "b"}});
    const std::string bytes = p.Bytes();
    MemorySource source(bytes);
    MemoryWriter writer;
    ProgressLog log;
    log.stopAt = 2; // the start of the second entry extracted
    pkg::CPackageReader reader;
    reader.SetProgress(RecordProgress, &log);
    EXPECT_EQ(pkg::kStopAll, reader.ExtractAll(source, writer, nullptr));
    EXPECT_EQ(std::vector<std::string>{"b.txt"}, writer.created);
}

TEST(PackageFormat, PercentagesNeverOverflowOrPassOneHundred) {
    const struct {
        uint64_t done, total;
        uint32_t expected;
    } cases[] = {
        {0, 0, 100},
        {0, 10, 0},
        {5, 10, 50},
        {10, 10, 100},
        {12, 10, 100}, // a file that grew while packed
        {4096, 10000000, 0},
        {9999999, 10000000, 99},
        {1999999, 199999999, 1}, // above 10,000,000: done / (total / 100)
        {4000000000u, 4294967295u, 93},
        {4294967295u, 4294967295u, 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, pkg::Percentage(c.done, c.total)) << c.done << " of " << c.total;
}

TEST(PackageFormat, TrailerThatIsNotOursIsNotAPackage) {
    const Package p = Package::Make({{"rvl.exe", "setup"}});
    const std::string good = p.Bytes();
    const struct {
        const char* what;
        std::string bytes;
        int expected;
    } cases[] = {
        {"nothing", "", pkg::kNotPackage},
        {"shorter than a trailer", good.substr(good.size() - 17), pkg::kNotPackage},
        {"stub alone", p.stub, pkg::kNotPackage},
        {"other marker", good.substr(0, good.size() - 1) + "?", pkg::kNotPackage},
        {"other version", good.substr(0, good.size() - 14) + "1.11" + good.substr(good.size() - 10), pkg::kNotPackage},
        {"no entries",
         p.stub + std::string("\0\0\0\0"
                              "1.10"
                              "!TROV_SFX!",
                              18),
         pkg::kNoEntries},
    };
    for (const auto& c : cases) {
        Extraction x = Extract(c.bytes);
        EXPECT_EQ(c.expected, x.result) << c.what;
        EXPECT_TRUE(x.writer.created.empty()) << c.what;
    }
}

TEST(PackageFormat, UnsafeStoredNamesMakeTheFileNotAPackage) {
    const std::string names[] = {
        "..\\evil.exe",
        "../evil.exe",
        "sub\\rvl.exe",
        "sub/rvl.exe",
        "C:evil.exe",
        "rvl.exe:stream",
        "..",
        ".",
        "a..b",
        "CON",
        "con.txt",
        "Nul",
        "aux.xml",
        "PRN",
        "COM1",
        "lpt9.log",
        "CLOCK$",
        "clock$.x",
        "CON .txt",
        "conout$",
        "rvl.exe.",
        "rvl.exe ",
        "a*b",
        "a?b",
        "a<b",
        "a>b",
        "a|b",
        "a\"b",
        "a\tb",
        std::string("a\0b", 3),
        std::string(256, 'n'),
    };
    for (const std::string& name : names) {
        const Package p = Package::Make({{"rvl.exe", "setup"}, {name, "payload"}});
        Extraction x = Extract(p.Bytes());
        EXPECT_EQ(pkg::kNotPackage, x.result) << name;
        EXPECT_TRUE(x.writer.created.empty()) << name;
    }
}

TEST(PackageFormat, OrdinaryStoredNamesAreAccepted) {
    const char* const names[] = {"rvl.exe",      "feeds.xml", "WebPages.xml", "Comp", "COM0", "console",
                                 ".con",         "a.b.c",     "LPT10",        "con1", "x",    "name with spaces.txt",
                                 "\xE9t\xE9.xml"};
    for (const char* name : names)
        EXPECT_TRUE(pkg::IsSafeEntryName(name)) << name;
    EXPECT_TRUE(pkg::IsSafeEntryName(std::string(255, 'n')));
}

TEST(PackageFormat, DirectoryThatDoesNotHoldTogetherIsNotAPackage) {
    const std::vector<PackedFile> files = {{"rvl.exe", pkgtest::RandomBytes(3000, 4)}, {"feeds.xml", "<Folder/>"}};
    const struct {
        const char* what;
        void (*change)(Package& p); // a change of the records, or
        size_t fromEnd = 0;         // bytes replaced at this distance from the end
        std::string bytes = {};
    } cases[] = {
        {"257 entries",
         [](Package& p) {
             std::vector<PackedFile> many;
             for (int i = 0; i < 257; ++i)
                 many.push_back({"f" + std::to_string(i), "x"});
             p = Package::Make(many);
         }},
        {"count far above the records", nullptr, 18, std::string("\xff\xff\xff\xff", 4)},
        {"one more entry than records", nullptr, 18, std::string("\x03\0\0\0", 4)},
        {"name length beyond the file", nullptr, 22, std::string("\xf0\xff\xff\x7f", 4)},
        {"name length zero", nullptr, 22, std::string(4, '\0')},
        {"data offset beyond the file", [](Package& p) { p.entries[1].dataOffset = 0x7fffffff; }},
        {"data running into the directory", [](Package& p) { p.entries[1].compressedSize += 1; }},
        {"data running past the end", [](Package& p) { p.entries[1].compressedSize = 0xfffffff0; }},
        {"overlapping data", [](Package& p) { p.entries[1].dataOffset -= 1; }},
        {"same data twice",
         [](Package& p) {
             p.entries[1].dataOffset = p.entries[0].dataOffset;
             p.entries[1].compressedSize = p.entries[0].compressedSize;
         }},
        {"same name twice, other case", [](Package& p) { p.entries[1].name = "RVL.EXE"; }},
    };
    for (const auto& c : cases) {
        Package p = Package::Make(files);
        if (c.change)
            c.change(p);
        std::string bytes = p.Bytes();
        bytes.replace(bytes.size() - c.fromEnd, c.bytes.size(), c.bytes);
        Extraction x = Extract(bytes);
        EXPECT_EQ(pkg::kNotPackage, x.result) << c.what;
        EXPECT_TRUE(x.writer.created.empty()) << c.what;
    }
}

TEST(PackageFormat, DamagedStreamIsAFailedEntryAndItsFileIsRemoved) {
    const std::vector<PackedFile> files = {{"rvl.exe", pkgtest::RandomBytes(20000, 5)}, {"feeds.xml", "<Folder/>"}};
    struct Case {
        const char* what;
        void (*change)(Package& p);
    };
    const Case cases[] = {
        {"a flipped byte inside the deflate data", [](Package& p) { p.streams[0][p.streams[0].size() / 2] ^= 0x55; }},
        {"a flipped checksum byte", [](Package& p) { p.streams[0].back() ^= 1; }},
        {"uncompressed size one less", [](Package& p) { p.entries[0].uncompressedSize -= 1; }},
        {"uncompressed size one more", [](Package& p) { p.entries[0].uncompressedSize += 1; }},
        {"stream cut short by its record",
         [](Package& p) {
             p.entries[0].compressedSize -= 5;
             p.streams[0].resize(p.streams[0].size() - 5);
             p.entries[1].dataOffset -= 5;
         }},
        {"bytes after the stream's end inside its range",
         [](Package& p) {
             p.entries[0].compressedSize += 3;
             p.streams[0] += "xyz";
             p.entries[1].dataOffset += 3;
         }},
        {"not a zlib stream", [](Package& p) { p.streams[0][0] = 0; }},
    };
    for (const Case& c : cases) {
        Package p = Package::Make(files);
        c.change(p);
        Extraction x = Extract(p.Bytes());
        EXPECT_EQ(pkg::kFileError, x.result) << c.what;
        EXPECT_EQ((std::vector<std::string>{"feeds.xml", "rvl.exe"}), x.writer.created) << c.what;
        EXPECT_EQ(std::vector<std::string>{"rvl.exe"}, x.writer.removed) << c.what;
        EXPECT_EQ(0u, x.writer.kept.count("rvl.exe")) << c.what;
        EXPECT_EQ("<Folder/>", x.writer.kept["feeds.xml"]) << c.what;
        EXPECT_EQ(std::vector<std::string>{"feeds.xml"}, x.extracted) << c.what;
    }
}

TEST(PackageFormat, EntryWhoseFileCannotBeCreatedFailsAndTheOthersGoOn) {
    const Package p = Package::Make({{"rvl.exe", "setup"}, {"feeds.xml", "f"}});
    const std::string bytes = p.Bytes();
    MemorySource source(bytes);
    MemoryWriter writer;
    writer.refuse["feeds.xml"] = true;
    std::vector<std::string> extracted;
    pkg::CPackageReader reader;
    EXPECT_EQ(pkg::kFileError, reader.ExtractAll(source, writer, &extracted));
    EXPECT_EQ(std::vector<std::string>{"rvl.exe"}, extracted);
}

TEST(PackageFormat, EveryTruncationEndsAsNotAPackage) {
    const Package p = Package::Make({{"rvl.exe", pkgtest::RandomBytes(500, 6)}, {"feeds.xml", "<Folder/>"}});
    const std::string bytes = p.Bytes();
    for (size_t length = 0; length < bytes.size(); ++length) {
        Extraction x = Extract(bytes.substr(0, length));
        EXPECT_TRUE(x.result == pkg::kNotPackage || x.result == pkg::kNoEntries) << "length " << length;
        EXPECT_TRUE(x.writer.created.empty()) << "length " << length;
    }
}

// A flipped bit in the directory or trailer may leave a package that still holds together (a name's
// letter changed); then every file kept must be safe to create and hold exactly what was packed.
TEST(PackageFormat, EveryBitFlipOfDirectoryAndTrailerEndsCleanly) {
    const std::vector<PackedFile> files = {{"rvl.exe", pkgtest::RandomBytes(700, 8)},
                                           {"feeds.xml", pkgtest::CompressibleBytes(5000)},
                                           {"webpages.xml", "<Folder Name=\"All Pages\"/>"}};
    const Package p = Package::Make(files);
    const std::string good = p.Bytes();
    const size_t directoryStart = good.size() - p.Directory().size();
    std::set<std::string> contents;
    for (const PackedFile& f : files)
        contents.insert(f.data);
    size_t stillPackages = 0;
    for (size_t pos = directoryStart; pos < good.size(); ++pos) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string bytes = good;
            bytes[pos] = static_cast<char>(bytes[pos] ^ (1 << bit));
            Extraction x = Extract(bytes);
            for (const std::string& name : x.writer.created)
                EXPECT_TRUE(pkg::IsSafeEntryName(name)) << "byte " << pos << " bit " << bit << ": " << name;
            for (const auto& kept : x.writer.kept)
                EXPECT_EQ(1u, contents.count(kept.second)) << "byte " << pos << " bit " << bit << ": " << kept.first;
            EXPECT_EQ(x.writer.created.size(), x.writer.kept.size() + x.writer.removed.size());
            if (x.result == pkg::kSuccess)
                ++stillPackages;
        }
    }
    // Only flips inside the names can leave a whole package (a different but safe letter).
    EXPECT_LE(stillPackages, 8u * (7 + 9 + 12));
}

namespace {

// A stub that begins like a Windows program: DOS header, "PE\0\0", file header and an optional header
// of the given magic (0x10B PE32, 0x20B PE32+) with sixteen data directories, all empty.
std::string ProgramStub(uint16_t magic, size_t length) {
    std::string stub(length, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[0x3C] = char(0x80);
    stub.replace(0x80, 4, std::string("PE\0\0", 4));
    const size_t directories = magic == 0x10B ? 96 : 112;
    stub[0x80 + 20] = static_cast<char>(directories + 16 * 8); // SizeOfOptionalHeader
    stub[0x98] = static_cast<char>(magic & 0xFF);
    stub[0x99] = static_cast<char>(magic >> 8);
    stub[0x98 + directories - 4] = 16; // NumberOfRvaAndSizes
    return stub;
}

// Signs as a signer does: zero bytes up to a multiple of 8, then a certificate table of tableSize bytes
// named by the security directory, which sits at securityAt; extra bytes follow when given.
std::string Sign(std::string bytes, size_t securityAt, uint32_t tableSize, const std::string& extra = "") {
    bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
    std::string directory;
    pkg::AppendLE32(directory, static_cast<uint32_t>(bytes.size()));
    pkg::AppendLE32(directory, tableSize);
    bytes.replace(securityAt, 8, directory);
    return bytes + std::string(tableSize, '\x30') + extra;
}

} // namespace

// A signed setup reads as it did before it was signed, whatever the padding and the width of its stub;
// a table that does not end the file, or one that is not named, leaves the package unfound.
TEST(PackageFormat, SignedPackageEndsWhereItsCertificateTableBegins) {
    const struct {
        uint16_t magic;
        bool named;        // the security directory names the table
        std::string after; // bytes after the table
        int expected;
    } cases[] = {
        {0x10B, true, "", pkg::kSuccess},
        {0x20B, true, "", pkg::kSuccess},
        {0x10B, true, "x", pkg::kNotPackage},
        {0x20B, false, "", pkg::kNotPackage},
    };
    for (const auto& c : cases)
        // Eight stub lengths give every padding from none to seven bytes.
        for (size_t length = 0x200; length < 0x208; ++length) {
            SCOPED_TRACE(std::to_string(c.magic) + " " + std::to_string(length) + " " + c.after);
            const Package p = Package::Make({{"rvl.exe", "setup"}, {"feeds.xml", "f"}}, ProgramStub(c.magic, length));
            const std::string plain = p.Bytes();
            const size_t security = 0x98 + (c.magic == 0x10B ? 96 : 112) + 4 * 8;
            const std::string bytes = Sign(plain, c.named ? security : 0x100, 1024, c.after);
            MemorySource source(bytes);
            pkg::CPackageReader reader;
            ASSERT_EQ(c.expected, reader.ReadDirectory(source));
            if (c.expected != pkg::kSuccess)
                continue;
            EXPECT_EQ(plain.size(), reader.End());
            Extraction x = Extract(bytes);
            EXPECT_EQ(pkg::kSuccess, x.result);
            EXPECT_EQ("setup", x.writer.kept["rvl.exe"]);
        }
}
