// RVL Extractor end to end: packages built by CSfxPackager (or damaged on purpose) are run as programs;
// the stand-in reader setup (bin/standin/rvl.exe, packed as "rvl.exe") records what it sees while it
// runs: its command line, the announcement subkeys and the files they name. Every message box the
// setup shows is read from its window and answered with OK.
#include "builder/package_file.h"
#include "builder/sfx_packager.h"
#include "tests/builder/package_maker.h"
#include "tests/builder/win_files.h"
#include "tests/ui/ui.h"

#include <aclapi.h>
#include <sddl.h>

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

// The folder that every run had in common before each run got a folder of its own.
std::string SharedFolder() {
    return pkgtest::TempPath() + "RVLCustomizerOutput";
}
const char kDamaged[] = "This setup is damaged. Please download it again.";
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

// The run folders in the temporary folder now.
std::vector<std::string> RunFolders() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((pkgtest::TempPath() + "RVLCustomizerOutput-*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return names;
}

// The folder of the setup that the stand-in's record names.
std::string FolderOf(const std::map<std::string, std::string>& record) {
    const std::string module = record.count("module") ? record.at("module") : std::string();
    return module.substr(0, module.find_last_of('\\'));
}

// A customized setup started as a process of its own; its stand-in writes its record to recordPath.
struct Launched {
    PROCESS_INFORMATION process{};
    std::string recordPath;
};

Launched Launch(const std::string& program, const std::string& arguments, const std::string& recordPath) {
    Launched launched;
    launched.recordPath = recordPath;
    ::DeleteFileA(recordPath.c_str());
    ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", recordPath.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    if (!::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &launched.process))
        ADD_FAILURE() << "cannot start " << program << ": error " << ::GetLastError();
    return launched;
}

// The outcome of one run of a customized setup.
struct SetupRun {
    bool ended = false;
    DWORD exitCode = 0;
    bool setupRan = false;                     // the stand-in wrote its record
    std::map<std::string, std::string> record; // its "key=value" lines
    std::vector<std::string> boxes;            // "caption: text" of each message box, in order

    // The announcement subkeys the setup found, in the order of kSubkeys.
    std::vector<std::string> Seen() const {
        std::vector<std::string> seen;
        for (const char* subkey : kSubkeys)
            if (record.count(subkey))
                seen.push_back(subkey);
        return seen;
    }
};

// Waits for the launched setup to end, answering each message box it shows with OK.
SetupRun Finish(Launched& launched) {
    SetupRun run;
    if (!launched.process.hProcess)
        return run;
    std::vector<HWND> answered;
    const DWORD start = ::GetTickCount();
    while (!run.ended && ::GetTickCount() - start < 60000) {
        run.ended = ::WaitForSingleObject(launched.process.hProcess, 20) == WAIT_OBJECT_0;
        for (HWND box : uitest::find_windows_anywhere(nullptr, "#32770")) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(box, &owner);
            if (owner != launched.process.dwProcessId ||
                std::find(answered.begin(), answered.end(), box) != answered.end())
                continue;
            answered.push_back(box);
            run.boxes.push_back(uitest::window_text(box) + ": " + uitest::item_text(box, 0xFFFF));
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    if (!run.ended)
        ::TerminateProcess(launched.process.hProcess, 1);
    ::GetExitCodeProcess(launched.process.hProcess, &run.exitCode);
    ::CloseHandle(launched.process.hThread);
    ::CloseHandle(launched.process.hProcess);
    run.setupRan = pkgtest::Exists(launched.recordPath);
    run.record = pkgtest::ReadStandinRecord(launched.recordPath);
    return run;
}

// Who is granted anything on a file or folder, as SID strings.
std::vector<std::string> Grantees(const std::string& path) {
    std::vector<std::string> sids;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return {"unreadable"};
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        char* sid = nullptr;
        if (::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ::ConvertSidToStringSidA(&ace->SidStart, &sid)) {
            sids.push_back(sid);
            ::LocalFree(sid);
        }
    }
    ::LocalFree(descriptor);
    return sids;
}

std::string CurrentUserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    char buffer[256];
    DWORD size = sizeof buffer;
    char* sid = nullptr;
    std::string text;
    if (::GetTokenInformation(token, TokenUser, buffer, size, &size) &&
        ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid))
        text = sid;
    ::LocalFree(sid);
    ::CloseHandle(token);
    return text;
}

// The system's own text for an error, as a message box shows it.
std::string SystemText(DWORD error) {
    char text[512] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                     nullptr);
    std::string s = text;
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

class ExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        pkgtest::RemoveFolder(SharedFolder());
        for (const std::string& folder : RunFolders())
            pkgtest::RemoveFolder(pkgtest::TempPath() + folder);
        RemoveAnnouncements();
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("RVL_STANDIN_RECORD", nullptr);
        pkgtest::RemoveFolder(SharedFolder());
        RemoveAnnouncements();
        EXPECT_EQ(kNone, RunFolders()) << "every run removes its folder";
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

    SetupRun Start(const std::string& program, const std::string& arguments = "") {
        Launched launched = Launch(program, arguments, scratch_ / "record.txt");
        return Finish(launched);
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
    EXPECT_EQ(kNone, run.Seen());
    EXPECT_EQ(kNone, run.boxes);
    // A folder of the run's own, directly in the temporary folder, with 64 random bits in its name.
    const std::string prefix = Lower(pkgtest::TempPath() + "RVLCustomizerOutput-");
    const std::string folder = Lower(FolderOf(run.record));
    EXPECT_EQ(prefix, folder.substr(0, prefix.size()));
    EXPECT_EQ(16u, folder.size() - prefix.size());
    EXPECT_EQ(std::string::npos, folder.find_first_not_of("0123456789abcdef", prefix.size())) << folder;
}

// The stub's own arguments follow "/RVLC" as they were given, quotes and all.
TEST_F(ExtractorTest, ArgumentsReachTheSetupAfterTheSwitch) {
    const std::string package = Build({{"rvl.exe", Standin()}});
    const char* const cases[][2] = {
        {"/VERYSILENT /NORESTART", "/RVLC /VERYSILENT /NORESTART"},
        {"/DIR=\"C:\\Program Files\\Ravelin\"  /LOG=\"a b.txt\"",
         "/RVLC /DIR=\"C:\\Program Files\\Ravelin\"  /LOG=\"a b.txt\""},
    };
    for (const auto& c : cases) {
        SetupRun run = Start(package, c[0]);
        ASSERT_TRUE(run.setupRan) << c[0];
        EXPECT_EQ(c[1], run.record["arguments"]);
    }
}

// Each data file's subkey names the extracted file while the setup runs; afterwards the subkeys are gone,
// and so is the run's folder with every file in it.
TEST_F(ExtractorTest, DataFilesAreAnnouncedWhileTheSetupRunsAndWithdrawnAfter) {
    const struct {
        std::vector<PackedFile> dataFiles; // packed after rvl.exe, announced in this order
        std::vector<std::string> subkeys;
    } cases[] = {
        {{{"feeds.xml", "<Folder Name=\"All Feeds\" Status=\"0\"/>"},
          {"webpages.xml", pkgtest::CompressibleBytes(9000)}},
         {"FeedsFilePath", "WebPagesFilePath"}},
        {{{"AdRSS.xml", "ads"}, {"Data.xml", "data"}}, {"AdRSSInfoFilePath", "DataFilePath"}},
    };
    std::vector<std::string> folders;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.subkeys[0]);
        std::vector<PackedFile> files = {{"rvl.exe", Standin()}};
        files.insert(files.end(), c.dataFiles.begin(), c.dataFiles.end());
        SetupRun run = Start(Build(files));
        ASSERT_TRUE(run.ended);
        ASSERT_TRUE(run.setupRan);
        EXPECT_EQ("/RVLC", run.record.at("arguments"));
        EXPECT_EQ(c.subkeys, run.Seen());
        folders.push_back(Lower(FolderOf(run.record)));
        for (size_t i = 0; i < c.dataFiles.size() && i < c.subkeys.size(); ++i) {
            EXPECT_EQ(folders.back() + "\\" + Lower(c.dataFiles[i].name), Lower(run.record[c.subkeys[i]]));
            EXPECT_EQ(Hex(c.dataFiles[i].data), run.record[c.subkeys[i] + ".data"]);
        }
        EXPECT_EQ(kNone, Announced()) << "after the setup ended";
        EXPECT_EQ(kNone, RunFolders()) << "after the setup ended";
    }
    EXPECT_NE(folders[0], folders[1]) << "each run has a folder of its own";
}

// The announcements are under HKEY_CURRENT_USER\\Software, which the 32-bit and the 64-bit registry views
// share: a reader setup of either width finds them, whatever the width of the stub.
TEST_F(ExtractorTest, SetupOfEitherWidthFindsTheAnnouncements) {
    std::vector<WORD> machines;
    for (const std::string& standin : {Standin(), OtherWidthStandin()}) {
        const WORD machine = Machine(standin);
        machines.push_back(machine);
        SCOPED_TRACE(machine == IMAGE_FILE_MACHINE_I386 ? "32-bit setup" : "64-bit setup");
        const std::string no32 = pkgtest::NoThirtyTwoBitReason();
        if (machine == IMAGE_FILE_MACHINE_I386 && !no32.empty())
            GTEST_SKIP() << "the 64-bit setup found them; the 32-bit one cannot run: " << no32;
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

// The order in which the files appear is watched through the temporary folder's change notifications.
TEST_F(ExtractorTest, EntriesAreExtractedFromTheLastToTheFirst) {
    const std::string package = Build({{"rvl.exe", Standin()}, {"feeds.xml", "f"}, {"webpages.xml", "w"}});
    HANDLE folder = ::CreateFileA(pkgtest::TempPath().c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    alignas(DWORD) static char buffer[65536];
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    auto watch = [&]() {
        ::ResetEvent(event);
        return ::ReadDirectoryChangesW(folder, buffer, sizeof buffer, TRUE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr,
                                       &overlapped, nullptr);
    };
    ASSERT_TRUE(watch());

    SetupRun run = Start(package);
    EXPECT_TRUE(run.setupRan);

    // Files made inside a run folder, in the order made: "RVLCustomizerOutput-...\name".
    std::vector<std::string> added;
    while (::WaitForSingleObject(event, 2000) == WAIT_OBJECT_0) {
        DWORD size = 0;
        if (!::GetOverlappedResult(folder, &overlapped, &size, FALSE) || size == 0)
            break;
        for (DWORD offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
            const std::wstring wide(info->FileName, info->FileNameLength / sizeof(wchar_t));
            const std::string name = Lower(std::string(wide.begin(), wide.end()));
            if (info->Action == FILE_ACTION_ADDED && name.find("rvlcustomizeroutput-") == 0 &&
                name.find('\\') != std::string::npos)
                added.push_back(name.substr(name.find('\\') + 1));
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

// The folder that runs once shared, made in advance with files in it (a DLL that the setup would load
// from its own folder, a setup and feeds of somebody else's), or a link of that name, neither gives the
// setup anything nor is touched.
TEST_F(ExtractorTest, SharedFolderOrALinkMadeInAdvanceChangesNothing) {
    const std::string package = Build({{"rvl.exe", Standin()}, {"feeds.xml", "new feeds"}});
    ASSERT_TRUE(::CreateDirectoryA(SharedFolder().c_str(), nullptr));
    for (const char* name : {"feeds.xml", "rvl.exe", "version.dll"})
        ASSERT_TRUE(pkgtest::WriteWhole(SharedFolder() + "\\" + name, "planted"));
    SetupRun run = Start(package);
    ASSERT_TRUE(run.setupRan);
    EXPECT_EQ(Hex("new feeds"), run.record["FeedsFilePath.data"]);
    EXPECT_NE(Lower(SharedFolder()), Lower(FolderOf(run.record)));
    for (const char* name : {"feeds.xml", "rvl.exe", "version.dll"})
        EXPECT_EQ("planted", pkgtest::ReadWhole(SharedFolder() + "\\" + name)) << name;
    pkgtest::RemoveFolder(SharedFolder());

    // A symbolic link to a folder of the scratch folder, where a run that went through it would write.
    const std::string target = scratch_ / "target";
    ASSERT_TRUE(::CreateDirectoryA(target.c_str(), nullptr));
    ::CreateSymbolicLinkA(SharedFolder().c_str(), target.c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = ::GetFileAttributesA(SharedFolder().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system makes no symbolic link here (Wine, or a user without the right)";
    run = Start(package);
    ::RemoveDirectoryA(SharedFolder().c_str());
    ASSERT_TRUE(run.setupRan);
    EXPECT_EQ(Hex("new feeds"), run.record["FeedsFilePath.data"]);
    EXPECT_FALSE(pkgtest::Exists(target + "\\rvl.exe"));
    EXPECT_FALSE(pkgtest::Exists(target + "\\feeds.xml"));
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

// What stops a run is told in a box captioned with the program's name, unless its arguments ask for
// quiet as the reader's setup understands it; the exit code says it either way.
TEST_F(ExtractorTest, MessagesSayWhatStoppedTheSetupUnlessAskedForQuiet) {
    const std::string stub = Extractor();
    const std::string noSetup = pkgtest::Package::Make({{"feeds.xml", "f"}}, stub).Bytes();
    const std::string notAProgram = pkgtest::Package::Make({{"rvl.exe", "not a program"}}, stub).Bytes();
    const std::string whole = pkgtest::Package::Make({{"rvl.exe", Standin()}}, stub).Bytes();
    const std::string missing = scratch_ / "missing\\";
    const std::string setupPath = "\\rvl.exe"; // of a run folder, in the text of a setup that cannot start
    const struct {
        const std::string& bytes;
        const char* arguments;
        bool noTemporaryFolder;
        std::string box; // the text shown, empty for none
        DWORD exitCode;
    } cases[] = {
        {stub, "", false, kDamaged, pkg::kNotPackage},
        {stub, "/SILENT", false, "", pkg::kNotPackage},
        {stub, "/Dir=x /verysilent", false, "", pkg::kNotPackage},
        {noSetup, "/NORESTART", false, kDamaged, 1},
        {noSetup, "/SUPPRESSMSGBOXES", false, "", 1},
        {notAProgram, "", false, SystemText(ERROR_BAD_EXE_FORMAT), 1},
        {whole, "", true, SystemText(ERROR_PATH_NOT_FOUND), pkg::kFileError},
        {whole, "/VERYSILENT", true, "", pkg::kFileError},
    };
    const std::string temp = pkgtest::TempPath();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box + " " + c.arguments);
        if (c.noTemporaryFolder) {
            ::SetEnvironmentVariableA("TMP", missing.c_str());
            ::SetEnvironmentVariableA("TEMP", missing.c_str());
        }
        SetupRun run = Start(Write(c.bytes, "Ravelin Setup.exe"), c.arguments);
        ::SetEnvironmentVariableA("TMP", temp.c_str());
        ::SetEnvironmentVariableA("TEMP", temp.c_str());
        EXPECT_FALSE(run.setupRan);
        EXPECT_EQ(c.exitCode, run.exitCode);
        ASSERT_EQ(c.box.empty() ? 0u : 1u, run.boxes.size());
        if (c.box.empty())
            continue;
        // "%1" of the system's text is the setup's path.
        std::string expected = "Ravelin Setup: " + c.box;
        std::string shown = run.boxes[0];
        const size_t insert = expected.find("%1");
        if (insert != std::string::npos && shown.find(setupPath) != std::string::npos) {
            expected.erase(insert, 2);
            shown.erase(insert, shown.find(setupPath) + setupPath.size() - insert);
        }
        EXPECT_EQ(expected, shown) << run.boxes[0];
    }
}

// A second start while a run is going (an impatient double click) says so and leaves the first run,
// whose folder is open to nobody but the user, SYSTEM and Administrators, to finish with its data.
TEST_F(ExtractorTest, SecondStartWhileARunGoesLeavesItAlone) {
    const std::string package = Build({{"rvl.exe", Standin()}, {"feeds.xml", "first feeds"}});
    const std::string hold = "rvl-standin-hold-" + std::to_string(::GetCurrentProcessId());
    HANDLE started = ::CreateEventA(nullptr, TRUE, FALSE, (hold + "-started").c_str());
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, (hold + "-release").c_str());
    ::SetEnvironmentVariableA("RVL_STANDIN_HOLD", hold.c_str());
    Launched first = Launch(package, "", scratch_ / "first.txt");
    ::SetEnvironmentVariableA("RVL_STANDIN_HOLD", nullptr);
    const bool held = ::WaitForSingleObject(started, 60000) == WAIT_OBJECT_0;
    EXPECT_TRUE(held) << "the first run's setup did not start";

    SetupRun second = Start(package, "/NORESTART");
    EXPECT_EQ(std::vector<std::string>{"setup: The setup is already running."}, second.boxes);
    EXPECT_EQ(1u, second.exitCode);
    EXPECT_FALSE(second.setupRan);

    const std::string folder = FolderOf(pkgtest::ReadStandinRecord(first.recordPath));
    const std::vector<std::string> allowed = {CurrentUserSid(), "S-1-5-18", "S-1-5-32-544"};
    const std::vector<std::string> grantees = Grantees(folder);
    EXPECT_FALSE(grantees.empty()) << folder;
    for (const std::string& sid : grantees)
        EXPECT_NE(allowed.end(), std::find(allowed.begin(), allowed.end(), sid)) << sid << " may use " << folder;

    ::SetEvent(release);
    SetupRun run = Finish(first);
    ::CloseHandle(started);
    ::CloseHandle(release);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(Hex("first feeds"), run.record["FeedsFilePath.data"]);
}

TEST_F(ExtractorTest, HostilePackagesEndCleanlyAndWriteNothingOutside) {
    const std::string stub = Extractor();
    const std::string standin = Standin();
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    {
        const pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"..\\escaped.txt", "x"}}, stub);
        cases.push_back({"a name that climbs out", p.Bytes()});
    }
    {
        const pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"CON", "x"}}, stub);
        cases.push_back({"a device name", p.Bytes()});
    }
    {
        pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"feeds.xml", "f"}}, stub);
        p.streams[0][p.streams[0].size() / 2] ^= 0x20;
        cases.push_back({"a damaged setup stream", p.Bytes()});
    }
    {
        pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}}, stub);
        p.entries[0].uncompressedSize -= 1;
        cases.push_back({"a setup longer than its record", p.Bytes()});
    }
    {
        const pkgtest::Package p = pkgtest::Package::Make({{"rvl.exe", standin}, {"feeds.xml", "f"}}, stub);
        const std::string bytes = p.Bytes();
        cases.push_back({"a truncated package", bytes.substr(0, bytes.size() - 1)});
        std::string flipped = bytes;
        flipped[flipped.size() - 18] ^= 0x04; // the entry count
        cases.push_back({"a flipped bit in the count", flipped});
        flipped = bytes;
        flipped[flipped.size() - 12] ^= 0x01; // the version text
        cases.push_back({"a flipped bit in the version", flipped});
        flipped = bytes;
        flipped[flipped.size() - 1] ^= 0x80; // the marker
        cases.push_back({"a flipped bit in the marker", flipped});
        flipped = bytes;
        flipped[flipped.size() - 22] ^= 0x01; // the last name's length
        cases.push_back({"a flipped bit in a name length", flipped});
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
        EXPECT_EQ(std::vector<std::string>{std::string("damaged: ") + kDamaged}, run.boxes);
        EXPECT_EQ(kNone, Announced());
        EXPECT_EQ(kNone, RunFolders());
    }
}

// A publisher signs the customized setup: the signer pads the file and appends a certificate table after
// the package. The cases run inside a script that signs between them (SignedSetup.cmake).
class SignedSetup : public ExtractorTest {
protected:
    std::string Unsigned() const { return pkgtest::ProgramFolder() + "signing\\setup.exe"; }
    std::string Signed() const { return pkgtest::ProgramFolder() + "signing\\setup-signed.exe"; }
};

TEST_F(SignedSetup, IsWrittenByThePackageWriter) {
    ::CreateDirectoryA((pkgtest::ProgramFolder() + "signing").c_str(), nullptr);
    ASSERT_TRUE(
        ::CopyFileA(Build({{"rvl.exe", Standin()}, {"feeds.xml", "signed feeds"}, {"webpages.xml", "pages"}}).c_str(),
                    Unsigned().c_str(), FALSE));
}

TEST_F(SignedSetup, Runs) {
    const std::string bytes = pkgtest::ReadWhole(Signed());
    ASSERT_GT(bytes.size(), pkgtest::ReadWhole(Unsigned()).size()) << "no signed setup at " << Signed();
    SetupRun run = Start(Write(bytes, "Signed Setup.exe"), "/NORESTART");
    ASSERT_TRUE(run.setupRan) << (run.boxes.empty() ? "" : run.boxes[0]);
    EXPECT_EQ("/RVLC /NORESTART", run.record["arguments"]);
    EXPECT_EQ(Hex("signed feeds"), run.record["FeedsFilePath.data"]);
    EXPECT_EQ(Hex("pages"), run.record["WebPagesFilePath.data"]);
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
