// CSfxPackager under Windows: the stub from the program's resource 240, the streams, the directory, the
// result codes and the progress callback, all checked through the bytes of the package written.
#include "builder/package_file.h"
#include "builder/sfx_packager.h"
#include "tests/builder/package_maker.h"
#include "tests/builder/win_files.h"

#include <gtest/gtest.h>

using pkgtest::ScratchFolder;

namespace {

const UINT kStubId = 240; // this test program carries bin/RVLExtractor.exe as SFX_EXE 240

std::string Extractor() {
    return pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLExtractor.exe");
}

struct ReadBack {
    int result = 0;
    std::vector<pkg::Entry> entries;
    pkgtest::MemoryWriter writer;
};

ReadBack ReadPackage(const std::string& path) {
    ReadBack r;
    pkg::FileSource source;
    if (!source.Open(path.c_str()))
        return r;
    pkg::CPackageReader reader;
    r.result = reader.ExtractAll(source, r.writer, nullptr);
    r.entries = reader.Entries();
    return r;
}

} // namespace

TEST(SfxPackager, RoundTripsFilesOfEverySize) {
    ScratchFolder folder;
    for (const auto& c : pkgtest::FilesOfEverySize()) {
        SCOPED_TRACE(c.what);
        CSfxPackager packager;
        ASSERT_TRUE(packager.AddFile(folder.Add("rvl.exe", c.data).c_str()));
        ASSERT_EQ(pkg::kSuccess, packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), nullptr, nullptr));
        ReadBack r = ReadPackage(folder / "out.exe");
        EXPECT_EQ(pkg::kSuccess, r.result);
        ASSERT_EQ(1u, r.entries.size());
        EXPECT_EQ(c.data.size(), r.entries[0].uncompressedSize);
        EXPECT_EQ(c.data.size(), r.writer.kept["rvl.exe"].size());
        EXPECT_TRUE(c.data == r.writer.kept["rvl.exe"]);
    }
}

// The stub exactly as stored, the streams without gaps, then one record per entry and the trailer.
TEST(SfxPackager, PackageIsTheStubThenTheStreamsThenTheDirectory) {
    ScratchFolder folder;
    const std::string data = pkgtest::CompressibleBytes(1000);
    CSfxPackager packager;
    ASSERT_TRUE(packager.AddFile(folder.Add("feeds.xml", "<Folder/>").c_str()));
    ASSERT_TRUE(packager.AddFile(folder.Add("rvl.exe", data).c_str()));
    ASSERT_EQ(pkg::kSuccess, packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), nullptr, nullptr));

    const std::string stub = Extractor();
    const std::string package = pkgtest::ReadWhole(folder / "out.exe");
    ASSERT_GT(stub.size(), 1000u);
    ASSERT_GT(package.size(), stub.size());
    EXPECT_TRUE(package.compare(0, stub.size(), stub) == 0) << "the stub";
    const std::string first = pkgtest::Compress("<Folder/>"), second = pkgtest::Compress(data);
    std::string expected = first + second;
    for (uint32_t field : {uint32_t(stub.size()), 9u, uint32_t(first.size())})
        pkg::AppendLE32(expected, field);
    expected.append("feeds.xml\x09\0\0\0", 13);
    for (uint32_t field : {uint32_t(stub.size() + first.size()), 1000u, uint32_t(second.size())})
        pkg::AppendLE32(expected, field);
    expected.append("rvl.exe\x07\0\0\0"
                    "\x02\0\0\0"
                    "1.10"
                    "!TROV_SFX!",
                    29);
    EXPECT_EQ(pkgtest::Hex(expected), pkgtest::Hex(package.substr(stub.size())));
}

TEST(SfxPackager, StoredNameIsTheTextAfterTheLastBackslash) {
    ScratchFolder folder;
    ::CreateDirectoryA((folder / "sub").c_str(), nullptr);
    folder.Add("sub\\Feeds.XML", "f");
    folder.Add("plain.txt", "p");
    char current[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, current);
    ::SetCurrentDirectoryA(folder.Path().c_str());
    CSfxPackager packager;
    const bool added = packager.AddFile((folder / "sub\\Feeds.XML").c_str());
    const bool addedRelative = packager.AddFile("plain.txt");
    ::SetCurrentDirectoryA(current);
    ASSERT_TRUE(added);
    ASSERT_TRUE(addedRelative);
    ASSERT_EQ(pkg::kSuccess, packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), nullptr, nullptr));
    ReadBack r = ReadPackage(folder / "out.exe");
    ASSERT_EQ(2u, r.entries.size());
    EXPECT_EQ("Feeds.XML", r.entries[0].name);
    EXPECT_EQ("plain.txt", r.entries[1].name);
}

// The record describes the bytes packed, so that the extractor, which checks the length, accepts it.
TEST(SfxPackager, FileChangedAfterAddFileIsRecordedAsPacked) {
    ScratchFolder folder;
    CSfxPackager packager;
    ASSERT_TRUE(packager.AddFile(folder.Add("feeds.xml", "short").c_str()));
    folder.Add("feeds.xml", "a longer text than before");
    ASSERT_EQ(pkg::kSuccess, packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), nullptr, nullptr));
    ReadBack r = ReadPackage(folder / "out.exe");
    EXPECT_EQ(pkg::kSuccess, r.result);
    EXPECT_EQ("a longer text than before", r.writer.kept["feeds.xml"]);
}

TEST(SfxPackager, TwoHundredFiftySixFilesAreAcceptedAndTheNextRefused) {
    ScratchFolder folder;
    CSfxPackager packager;
    for (int i = 0; i < 256; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        ASSERT_TRUE(packager.AddFile(folder.Add(name, name).c_str())) << name;
    }
    EXPECT_FALSE(packager.AddFile(folder.Add("f256.txt", "x").c_str()));
    EXPECT_EQ(256u, packager.Count());
    ASSERT_EQ(pkg::kSuccess, packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), nullptr, nullptr));
    ReadBack r = ReadPackage(folder / "out.exe");
    EXPECT_EQ(pkg::kSuccess, r.result);
    ASSERT_EQ(256u, r.entries.size());
    EXPECT_EQ("f255.txt", r.writer.kept["f255.txt"]);
    EXPECT_EQ(0u, r.writer.kept.count("f256.txt"));
}

TEST(SfxPackager, AddFileRefusesWhatCannotBePacked) {
    ScratchFolder folder;
    const std::string held = folder.Add("held.xml", "h");
    HANDLE holder = ::CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    CSfxPackager packager;
    EXPECT_FALSE(packager.AddFile(held.c_str())) << "a file held open by another";
    ::CloseHandle(holder);
    EXPECT_FALSE(packager.AddFile((folder / "missing.xml").c_str())) << "a missing file";
    EXPECT_FALSE(packager.AddFile(folder.Add("a..b.txt", "x").c_str())) << "a name the extractor refuses";
    EXPECT_TRUE(packager.AddFile(folder.Add("feeds.xml", "f").c_str()));
    ::CreateDirectoryA((folder / "other").c_str(), nullptr);
    EXPECT_FALSE(packager.AddFile(folder.Add("other\\FEEDS.xml", "g").c_str())) << "the same stored name";
    EXPECT_EQ(1u, packager.Count());
}

// The directory records sizes in 32 bits: a file of 4 GiB or more cannot be described.
TEST(SfxPackager, AddFileRefusesFilesOfFourGibibytes) {
    ScratchFolder folder;
    const struct {
        const char* name;
        LONGLONG size;
        bool accepted;
    } cases[] = {{"largest.bin", 0xFFFFFFFFLL, true}, {"too-large.bin", 0x100000000LL, false}};
    CSfxPackager packager;
    for (const auto& c : cases) {
        const std::string path = folder.Add(c.name, "");
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        LARGE_INTEGER size;
        size.QuadPart = c.size;
        // Extending a file leaves a hole: no disk space is used.
        EXPECT_TRUE(::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file));
        ::CloseHandle(file);
        EXPECT_EQ(c.accepted, packager.AddFile(path.c_str())) << c.name;
    }
    EXPECT_EQ(1u, packager.Count());
}

TEST(SfxPackager, ResultCodesOfFailedBuilds) {
    ScratchFolder folder;
    {
        CSfxPackager empty;
        EXPECT_EQ(pkg::kNoEntries, empty.BuildPackage(kStubId, (folder / "none.exe").c_str(), nullptr, nullptr));
        EXPECT_FALSE(pkgtest::Exists(folder / "none.exe")) << "1004 writes nothing";
    }
    {
        CSfxPackager packager;
        ASSERT_TRUE(packager.AddFile(folder.Add("rvl.exe", "setup").c_str()));
        EXPECT_EQ(pkg::kNoStub, packager.BuildPackage(999, (folder / "nostub.exe").c_str(), nullptr, nullptr));
        EXPECT_FALSE(pkgtest::Exists(folder / "nostub.exe")) << "1007 writes nothing";
        EXPECT_EQ(pkg::kFileError,
                  packager.BuildPackage(kStubId, (folder / "no such folder\\out.exe").c_str(), nullptr, nullptr));
    }
    {
        CSfxPackager packager;
        ASSERT_TRUE(packager.AddFile(folder.Add("rvl.exe", "setup").c_str()));
        ASSERT_TRUE(packager.AddFile(folder.Add("feeds.xml", "f").c_str()));
        ASSERT_TRUE(::DeleteFileA((folder / "feeds.xml").c_str()));
        EXPECT_EQ(pkg::kOpenError, packager.BuildPackage(kStubId, (folder / "partial.exe").c_str(), nullptr, nullptr));
        // The partial package stays: the stub and the first stream, no directory.
        const std::string partial = pkgtest::ReadWhole(folder / "partial.exe");
        EXPECT_EQ(Extractor().size() + pkgtest::Compress("setup").size(), partial.size());
        EXPECT_EQ(pkg::kNotPackage, ReadPackage(folder / "partial.exe").result);
    }
}

TEST(SfxPackager, PackageThatWouldPackItselfFails) {
    ScratchFolder folder;
    CSfxPackager packager;
    ASSERT_TRUE(packager.AddFile(folder.Add("rvl.exe", "setup").c_str()));
    ASSERT_TRUE(packager.AddFile(folder.Add("out.exe", pkgtest::RandomBytes(100000, 31)).c_str()));
    EXPECT_EQ(pkg::kFileError, packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), nullptr, nullptr));
}

TEST(SfxPackager, ProgressReportsEachEntryAndItsBlocks) {
    ScratchFolder folder;
    CSfxPackager packager;
    ASSERT_TRUE(packager.AddFile(folder.Add("feeds.xml", pkgtest::CompressibleBytes(10000)).c_str()));
    ASSERT_TRUE(packager.AddFile(folder.Add("empty.xml", "").c_str()));
    pkgtest::ProgressLog log;
    ASSERT_EQ(pkg::kSuccess,
              packager.BuildPackage(kStubId, (folder / "out.exe").c_str(), pkgtest::RecordProgress, &log));
    const std::vector<pkgtest::ProgressCall> expected = {
        {1000, "feeds.xml"}, {1002, "40"},        {1002, "81"},        {1002, "100"},
        {1001, "feeds.xml"}, {1000, "empty.xml"}, {1001, "empty.xml"},
    };
    EXPECT_EQ(expected, log.calls);
}
