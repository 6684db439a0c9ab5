// RVL Extractor end to end: packages built by CSfxPackager (or damaged on purpose) are run as programs;
// the stand-in reader setup (bin/standin/rvl.exe, packed as "rvl.exe") records what it sees while it
// runs: its command line, the announcement subkeys and the files they name.
#include "builder/package_file.h"
#include "builder/sfx_packager.h"
#include "tests/builder/package_maker.h"
#include "tests/builder/win_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using pkgtest::Hex;
using pkgtest::PackedFile;
using pkgtest::ScratchFolder;

namespace {

const char kKey[] = "Software\\Corvane\\Ravelin Customizer";
const char* const kSubkeys[] = {"FeedsFilePath", "WebPagesFilePath", "AdRSSInfoFilePath", "DataFilePath"};

std::string OutputFolder() {
    return pkgtest::TempPath() + "RVLCustomizerOutput";
}
std::string Extractor() {
    return pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLExtractor.exe");
}
std::string Standin() {
    return pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\rvl.exe");
}

// The same stand-in built for the other width than this build's.
std::string OtherWidthStandin() {
    return pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\other-width\\rvl.exe");
}

// The machine field of a program's PE header, or 0 when the bytes are no PE program.
WORD Machine(const std::string& program) {
    if (program.size() < 0x40)
        return 0;
    DWORD header = 0;
    memcpy(&header, program.data() + 0x3c, sizeof header);
    if (header > program.size() - 6 || program.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        return 0;
    WORD machine = 0;
    memcpy(&machine, program.data() + header + 4, sizeof machine);
    return machine;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The announcement subkeys that exist now.
std::vector<std::string> Announced() {
    std::vector<std::string> found;
    for (const char* subkey : kSubkeys) {
        HKEY key = nullptr;
        const std::string path = std::string(kKey) + "\\" + subkey;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            found.push_back(subkey);
            ::RegCloseKey(key);
        }
    }
    return found;
}
const std::vector<std::string> kNone;

void RemoveAnnouncements() {
    for (const char* subkey : kSubkeys)
        ::RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kKey) + "\\" + subkey).c_str());
    // The parent keys go only when nothing else is under them.
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Corvane");
}

// The outcome of one run of a customized setup.
struct SetupRun {
    bool ended = false;
    DWORD exitCode = 0;
    bool setupRan = false;                     // the stand-in wrote its record
    std::map<std::string, std::string> record; // its "key=value" lines

    // The announcement subkeys the setup found, in the order of kSubkeys.
    std::vector<std::string> Seen() const {
        std::vector<std::string> seen;
        for (const char* subkey : kSubkeys)
            if (record.count(subkey))
                seen.push_back(subkey);
        return seen;
    }
};

class ExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        pkgtest::RemoveFolder(OutputFolder());
        RemoveAnnouncements();
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", nullptr);
        pkgtest::RemoveFolder(OutputFolder());
        RemoveAnnouncements();
    }

    // Packs the files, in this order, with CSfxPackager into scratch_/setup.exe.
    std::string Build(const std::vector<PackedFile>& files) {
        const std::string input = scratch_ / "input";
        ::CreateDirectoryA(input.c_str(), nullptr);
        CSfxPackager packager;
        for (const PackedFile& f : files) {
            const std::string path = input + "\\" + f.name;
            EXPECT_TRUE(pkgtest::WriteWhole(path, f.data));
            EXPECT_TRUE(packager.AddFile(path.c_str())) << f.name;
        }
        const std::string package = scratch_ / "setup.exe";
        EXPECT_EQ(pkg::kSuccess, packager.BuildPackage(240, package.c_str(), nullptr, nullptr));
        return package;
    }

    // Writes bytes as an executable of the scratch folder.
    std::string Write(const std::string& bytes, const std::string& name = "damaged.exe") {
        const std::string path = scratch_ / name;
        EXPECT_TRUE(pkgtest::WriteWhole(path, bytes));
        return path;
    }

    SetupRun Start(const std::string& program) {
        SetupRun run;
        const std::string recordPath = scratch_ / "record.txt";
        ::DeleteFileA(recordPath.c_str());
        ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string commandLine = "\"" + program + "\"";
        if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process)) {
            ADD_FAILURE() << "cannot start " << program << ": error " << ::GetLastError();
            return run;
        }
        run.ended = ::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        if (!run.ended)
            ::TerminateProcess(process.hProcess, 1);
        ::GetExitCodeProcess(process.hProcess, &run.exitCode);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);

        run.setupRan = pkgtest::Exists(recordPath);
        const std::string text = pkgtest::ReadWhole(recordPath);
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(start, end - start);
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                run.record[line.substr(0, equals)] = line.substr(equals + 1);
            start = end + 1;
        }
        return run;
    }

    // Files directly inside the output folder, lower case.
    std::vector<std::string> OutputFiles() {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE find = ::FindFirstFileA((OutputFolder() + "\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(Lower(found.cFileName));
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchFolder scratch_;
};

} // namespace

TEST_F(ExtractorTest, SetupAloneIsStartedWithTheSwitchAndNothingIsAnnounced) {
    // The customized setup ends with the reader setup's own exit code.
    ::SetEnvironmentVariableA("RVL_STANDIN_EXIT_CODE", "3010");
    SetupRun run = Start(Build({{"rvl.exe", Standin()}}));
    ::SetEnvironmentVariableA("RVL_STANDIN_EXIT_CODE", nullptr);
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(run.setupRan);
    EXPECT_EQ(3010u, run.exitCode);
    EXPECT_EQ("/RVLC", run.record.at("arguments"));
    EXPECT_EQ(Lower(OutputFolder() + "\\rvl.exe"), Lower(run.record.at("module")));
    EXPECT_EQ(kNone, run.Seen());
    EXPECT_EQ(std::vector<std::string>{"rvl.exe"}, OutputFiles());
}

// Each data file's subkey names the extracted file while the setup runs; afterwards the subkeys are gone
// and of the data files only Data.xml stays.
TEST_F(ExtractorTest, DataFilesAreAnnouncedWhileTheSetupRunsAndWithdrawnAfter) {
    const struct {
        std::vector<PackedFile> dataFiles; // packed after rvl.exe, announced in this order
        std::vector<std::string> subkeys;
        std::vector<std::string> left;
    } cases[] = {
        {{{"feeds.xml", "<Folder Name=\"All Feeds\" Status=\"0\"/>"},
          {"webpages.xml", pkgtest::CompressibleBytes(9000)}},
         {"FeedsFilePath", "WebPagesFilePath"},
         {"rvl.exe"}},
        {{{"AdRSS.xml", "ads"}, {"Data.xml", "data"}}, {"AdRSSInfoFilePath", "DataFilePath"}, {"data.xml", "rvl.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.subkeys[0]);
        pkgtest::RemoveFolder(OutputFolder());
        std::vector<PackedFile> files = {{"rvl.exe", Standin()}};
        files.insert(files.end(), c.dataFiles.begin(), c.dataFiles.end());
        SetupRun run = Start(Build(files));
        ASSERT_TRUE(run.ended);
        ASSERT_TRUE(run.setupRan);
        EXPECT_EQ("/RVLC", run.record.at("arguments"));
        EXPECT_EQ(c.subkeys, run.Seen());
        for (size_t i = 0; i < c.dataFiles.size() && i < c.subkeys.size(); ++i) {
            EXPECT_EQ(Lower(OutputFolder() + "\\" + c.dataFiles[i].name), Lower(run.record[c.subkeys[i]]));
            EXPECT_EQ(Hex(c.dataFiles[i].data), run.record[c.subkeys[i] + ".data"]);
        }
        EXPECT_EQ(kNone, Announced()) << "after the setup ended";
        EXPECT_EQ(c.left, OutputFiles());
    }
}

// The announcements are under HKEY_CURRENT_USER\\Software, which the 32-bit and the 64-bit registry views
// share: a reader setup of either width finds them, whatever the width of the stub.
TEST_F(ExtractorTest, SetupOfEitherWidthFindsTheAnnouncements) {
    std::vector<WORD> machines;
    for (const std::string& standin : {Standin(), OtherWidthStandin()}) {
        const WORD machine = Machine(standin);
        machines.push_back(machine);
        SCOPED_TRACE(machine == IMAGE_FILE_MACHINE_I386 ? "32-bit setup" : "64-bit setup");
        pkgtest::RemoveFolder(OutputFolder());
        SetupRun run = Start(Build({{"rvl.exe", standin}, {"feeds.xml", "f"}, {"webpages.xml", "w"}}));
        ASSERT_TRUE(run.ended);
        ASSERT_TRUE(run.setupRan);
        EXPECT_EQ((std::vector<std::string>{"FeedsFilePath", "WebPagesFilePath"}), run.Seen());
        EXPECT_EQ(Hex("f"), run.record["FeedsFilePath.data"]);
        EXPECT_EQ(Hex("w"), run.record["WebPagesFilePath.data"]);
        EXPECT_EQ(kNone, Announced()) << "after the setup ended";
    }
    std::sort(machines.begin(), machines.end());
    EXPECT_EQ((std::vector<WORD>{IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64}), machines);
}

// The order in which the files appear is watched through the folder's change notifications.
TEST_F(ExtractorTest, EntriesAreExtractedFromTheLastToTheFirst) {
    const std::string package = Build({{"rvl.exe", Standin()}, {"feeds.xml", "f"}, {"webpages.xml", "w"}});
    ASSERT_TRUE(::CreateDirectoryA(OutputFolder().c_str(), nullptr));
    HANDLE folder = ::CreateFileA(OutputFolder().c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    alignas(DWORD) static char buffer[65536];
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    auto watch = [&]() {
        ::ResetEvent(event);
        return ::ReadDirectoryChangesW(folder, buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr,
                                       &overlapped, nullptr);
    };
    ASSERT_TRUE(watch());

    SetupRun run = Start(package);
    EXPECT_TRUE(run.setupRan);

    std::vector<std::string> added;
    while (::WaitForSingleObject(event, 2000) == WAIT_OBJECT_0) {
        DWORD size = 0;
        if (!::GetOverlappedResult(folder, &overlapped, &size, FALSE) || size == 0)
            break;
        for (DWORD offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
            if (info->Action == FILE_ACTION_ADDED) {
                const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
                added.push_back(Lower(std::string(name.begin(), name.end())));
            }
            if (info->NextEntryOffset == 0)
                break;
            offset += info->NextEntryOffset;
        }
        if (!watch())
            break;
    }
    ::CancelIo(folder);
    ::CloseHandle(event);
    ::CloseHandle(folder);
    EXPECT_EQ((std::vector<std::string>{"webpages.xml", "feeds.xml", "rvl.exe"}), added);
}

// Whatever an earlier run left in the output folder, or anybody planted there (a DLL that the setup
// would load from its own folder, a read-only file, a folder), is gone before this package is extracted.
TEST_F(ExtractorTest, ExistingOutputFolderIsReusedAndClearedOfEarlierFiles) {
    ASSERT_TRUE(::CreateDirectoryA(OutputFolder().c_str(), nullptr));
    ASSERT_TRUE(pkgtest::WriteWhole(OutputFolder() + "\\feeds.xml", std::string(20000, 'o')));
    ASSERT_TRUE(pkgtest::WriteWhole(OutputFolder() + "\\other.txt", "earlier"));
    ASSERT_TRUE(pkgtest::WriteWhole(OutputFolder() + "\\version.dll", "planted"));
    ASSERT_TRUE(::SetFileAttributesA((OutputFolder() + "\\version.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::CreateDirectoryA((OutputFolder() + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(pkgtest::WriteWhole(OutputFolder() + "\\sub\\inner.dll", "planted"));
    SetupRun run = Start(Build({{"rvl.exe", Standin()}, {"feeds.xml", "new feeds"}}));
    ASSERT_TRUE(run.setupRan);
    EXPECT_EQ(Hex("new feeds"), run.record["FeedsFilePath.data"]);
    EXPECT_EQ((std::vector<std::string>{"rvl.exe"}), OutputFiles());
    EXPECT_FALSE(pkgtest::Exists(OutputFolder() + "\\sub"));
}

// A path beyond MAX_PATH as a wide path that opens it ("\\?\" prefixed).
std::wstring LongForm(const std::wstring& path) {
    return L"\\\\?\\" + path;
}
// A path of the process code page (the temporary folder may be named in any script).
std::wstring Wide(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                                          &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

// Copies the package into the folder, which is made with its parents below the scratch folder
// (wide names, so beyond MAX_PATH and outside the ANSI code page), starts it there and gives the
// stand-in's record; the folders go again. Empty, with started false, when the system cannot start a
// program from there.
std::string RunFrom(const ScratchFolder& scratch, const std::string& package, const std::vector<std::wstring>& names,
                    bool& started) {
    std::wstring folder = Wide(scratch.Path());
    std::vector<std::wstring> made;
    for (const std::wstring& name : names) {
        folder += L"\\" + name;
        EXPECT_TRUE(::CreateDirectoryW(LongForm(folder).c_str(), nullptr)) << ::GetLastError();
        made.push_back(folder);
    }
    const std::wstring program = folder + L"\\setup.exe";
    EXPECT_TRUE(::CopyFileW(LongForm(Wide(package)).c_str(), LongForm(program).c_str(), FALSE)) << ::GetLastError();
    const std::string recordPath = scratch / "record.txt";
    ::DeleteFileA(recordPath.c_str());
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\"";
    started = ::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process) != FALSE;
    if (started) {
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.hProcess, 60000));
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::DeleteFileW(LongForm(program).c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        ::RemoveDirectoryW(LongForm(*it).c_str());
    return pkgtest::ReadWhole(recordPath);
}

// The program finds its own package by its wide path, also in a folder whose name the ANSI code page
// cannot spell.
TEST_F(ExtractorTest, FindsItsPackageInAFolderOutsideTheAnsiCodePage) {
    const std::string package = Build({{"rvl.exe", Standin()}, {"feeds.xml", "found feeds"}});
    bool started = false;
    const std::string record = RunFrom(scratch_, package, {L"\x03A9\x4E2D\x6587"}, started);
    ASSERT_TRUE(started);
    EXPECT_NE(std::string::npos, record.find("FeedsFilePath.data=" + Hex("found feeds"))) << record;
}

// ...and from a path longer than MAX_PATH. Wine starts no program from such a path: there the test is
// skipped.
TEST_F(ExtractorTest, FindsItsPackageFromAPathLongerThanMaxPath) {
    const std::string package = Build({{"rvl.exe", Standin()}, {"feeds.xml", "deep feeds"}});
    std::vector<std::wstring> deep;
    for (size_t length = scratch_.Path().size(); length <= MAX_PATH; length += 61)
        deep.push_back(std::wstring(60, L'd'));
    bool started = false;
    const std::string record = RunFrom(scratch_, package, deep, started);
    if (!started)
        GTEST_SKIP() << "this system starts no program from a path longer than MAX_PATH";
    EXPECT_NE(std::string::npos, record.find("FeedsFilePath.data=" + Hex("deep feeds"))) << record;
}

// Files of an earlier run (or planted) in the output folder are neither started nor announced when the
// program holds no package.
TEST_F(ExtractorTest, StubWithoutPackageDataDoesNothing) {
    ASSERT_TRUE(::CreateDirectoryA(OutputFolder().c_str(), nullptr));
    ASSERT_TRUE(pkgtest::WriteWhole(OutputFolder() + "\\rvl.exe", Standin()));
    ASSERT_TRUE(pkgtest::WriteWhole(OutputFolder() + "\\feeds.xml", "earlier"));
    SetupRun run = Start(Write(Extractor(), "stub.exe"));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(static_cast<DWORD>(pkg::kNotPackage), run.exitCode) << "no package, no setup: no success";
    EXPECT_FALSE(run.setupRan);
    EXPECT_EQ(kNone, Announced());
    EXPECT_EQ((std::vector<std::string>{"feeds.xml", "rvl.exe"}), OutputFiles());
    EXPECT_EQ("earlier", pkgtest::ReadWhole(OutputFolder() + "\\feeds.xml"));
}

TEST_F(ExtractorTest, HostilePackagesEndCleanlyAndWriteNothingOutside) {
    const std::string stub = Extractor();
    const std::string standin = Standin();
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> expectedFiles; // in the output folder afterwards
    };
    std::vector<Case> cases;
    {
        const pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"..\\escaped.txt", "x"}}, stub);
        cases.push_back({"a name that climbs out", p.Bytes(), {}});
    }
    {
        const pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"CON", "x"}}, stub);
        cases.push_back({"a device name", p.Bytes(), {}});
    }
    {
        pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"feeds.xml", "f"}}, stub);
        p.streams[0][p.streams[0].size() / 2] ^= 0x20;
        cases.push_back({"a damaged setup stream", p.Bytes(), {}});
    }
    {
        pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}}, stub);
        p.entries[0].uncompressedSize -= 1;
        cases.push_back({"a setup longer than its record", p.Bytes(), {}});
    }
    {
        const pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"feeds.xml", "f"}}, stub);
        const std::string bytes = p.Bytes();
        cases.push_back({"a truncated package", bytes.substr(0, bytes.size() - 1), {}});
        std::string flipped = bytes;
        flipped[flipped.size() - 18] ^= 0x04; // the entry count
        cases.push_back({"a flipped bit in the count", flipped, {}});
        flipped = bytes;
        flipped[flipped.size() - 12] ^= 0x01; // the version text
        cases.push_back({"a flipped bit in the version", flipped, {}});
        flipped = bytes;
        flipped[flipped.size() - 1] ^= 0x80; // the marker
        cases.push_back({"a flipped bit in the marker", flipped, {}});
        flipped = bytes;
        flipped[flipped.size() - 22] ^= 0x01; // the last name's length
        cases.push_back({"a flipped bit in a name length", flipped, {}});
    }
    const std::string outside = pkgtest::TempPath() + "escaped.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::DeleteFileA(outside.c_str());
        SetupRun run = Start(Write(c.bytes));
        EXPECT_TRUE(run.ended);
        EXPECT_FALSE(run.setupRan);
        EXPECT_NE(0u, run.exitCode) << "no setup ran: the exit code must not say success";
        EXPECT_FALSE(pkgtest::Exists(outside));
        EXPECT_FALSE(pkgtest::Exists(scratch_ / "escaped.txt"));
        EXPECT_EQ(c.expectedFiles, OutputFiles());
        EXPECT_EQ(kNone, Announced());
        pkgtest::RemoveFolder(OutputFolder());
    }
}

#ifdef RVL_HAVE_CUSTOMIZER
TEST(CustomizerResources, CarriesTheExtractorByteForByte) {
    const std::string path = pkgtest::ProgramFolder() + "RVLCustomizer.exe";
    HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << path;
    HRSRC info = ::FindResourceA(module, MAKEINTRESOURCEA(240), "SFX_EXE");
    ASSERT_NE(nullptr, info) << "no resource SFX_EXE 240";
    HGLOBAL loaded = ::LoadResource(module, info);
    const char* data = static_cast<const char*>(::LockResource(loaded));
    ASSERT_NE(nullptr, data);
    const std::string carried(data, ::SizeofResource(module, info));
    ::FreeLibrary(module);
    const std::string extractor = Extractor();
    EXPECT_EQ(extractor.size(), carried.size());
    EXPECT_TRUE(extractor == carried);
}
#endif
