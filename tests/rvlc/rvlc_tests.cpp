// rvlc as a publisher runs it: a process of its own, its standard output and error read from files, its
// exit code compared. The data files it writes are compared byte for byte with those of the DOM component.
#include "builder/data_files.h"
#include "builder/setup_file.h"
#include "framework/owners.h"
#include "tests/builder/win_files.h"
#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>

namespace {

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs bin\rvlc.exe with the arguments (each quoted) and waits for it.
RunResult Rvlc(const std::vector<std::string>& args, const pkgtest::ScratchFolder& scratch) {
    RunResult result;
    const std::string program = pkgtest::ProgramFolder() + "rvlc.exe";
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& arg : args)
        commandLine += " \"" + arg + "\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // Names of their own for every run: Wine may release a finished child's handles on them a little later.
    static int run = 0;
    ++run;
    const std::string outPath = scratch / ("stdout" + std::to_string(run)),
                      errPath = scratch / ("stderr" + std::to_string(run));
    HANDLE out = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = ::CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        result.code = static_cast<int>(code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(out);
    ::CloseHandle(err);
    // Standard output and error are text: lines end in CR LF on Windows.
    for (auto& [path, text] :
         {std::pair<const std::string&, std::string&>(outPath, result.out), {errPath, result.err}}) {
        text = pkgtest::ReadWhole(path);
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.erase(at, 1);
    }
    return result;
}

std::string Entry(const std::string& setup, const char* name) {
    pkg::StdioSource source;
    SetupContents contents;
    if (!source.Open(setup) || ReadSetup(source, contents) != SetupRead::Read)
        return "(unreadable)";
    for (const pkg::Entry& entry : contents.entries) {
        if (entry.name == name) {
            pkg::MemoryOutput bytes;
            return ExtractEntry(source, entry, bytes) == pkg::kSuccess ? bytes.bytes : "(damaged)";
        }
    }
    return "(absent)";
}

CFeedFolder Folder(const std::string& name, const std::vector<std::pair<std::string, std::string>>& feeds) {
    CFeedFolder folder(name);
    for (const auto& feed : feeds)
        folder.Add(feed.first, feed.second);
    return folder;
}

std::string StandIn(const char* kind = "") {
    return pkgtest::ProgramFolder() + "standin\\" + kind + "rvl.exe";
}

// The stand-in reader setup signed as the maker: the only kind a build accepts.
std::string SignedStandIn() {
    return StandIn("signed\\");
}

const char kOpml[] = "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Tech</title></head><body>"
                     "<outline text=\"Cat\"><outline title=\"One &amp; Two\" xmlUrl=\"http://a.example.com/1.xml\"/>"
                     "<outline text=\"Caf\xC3\xA9\" xmlUrl=\"https://b.example.com/2.xml\"/></outline>"
                     "<outline text=\"Again\" xmlUrl=\" http://A.example.com/1.xml \"/>"
                     "<outline text=\"Local\" xmlUrl=\"file:///c:/feed.xml\"/></body></opml>";

// The text writer gives exactly the bytes the DOM component saves, for the same trees.
TEST(DataFileText, IsByteForByteWhatTheDomComponentSaves) {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    pkgtest::ScratchFolder scratch;
    const std::vector<std::vector<CFeedFolder>> cases = {
        {},
        {Folder("Empty", {})},
        {Folder("My Feeds", {}), Folder("News & <Views>", {{"A \"quoted\" 'title'", "http://n.example.com/?a=1&b=2"}}),
         Folder("Tabs", {{"Tab\there", "https://t.example.com/"}, {"Line\r\nbreak>", "http://x/"}})},
    };
    for (const auto& folders : cases) {
        CFeedFolderList list;
        for (const CFeedFolder& folder : folders)
            list.AppendFolder(folder);
        const std::string path = scratch / "feeds.xml";
        WriteFeedsFile(list, path);
        int count = 0;
        EXPECT_EQ(pkgtest::ReadWhole(path), FeedsXmlText(folders, count)) << folders.size() << " folders";
        std::vector<CFeedFolder> back;
        int skipped = -1;
        EXPECT_EQ(DataFileRead::Read, ReadFeedsXml(pkgtest::ReadWhole(path), back, skipped));
        EXPECT_EQ(0, skipped);
    }
    std::vector<WebPageRow> pages = {{"Home & <away>", "http://h.example.com/a?b=1&c=\"2\""}};
    // Text outside ASCII reaches the DOM component as UTF-8 only in a process of the UTF-8 code page.
    if (::GetACP() == CP_UTF8)
        pages.push_back({"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "https://c.example.com/"});
    const std::string path = scratch / "webpages.xml";
    WriteWebPagesFile(pages, path);
    EXPECT_EQ(pkgtest::ReadWhole(path), WebPagesXmlText(pages));
    ::CoUninitialize();
}

class RvlcTest : public ::testing::Test {
protected:
    pkgtest::ScratchFolder scratch_;
};

// Build from OPML and a pages file, show, extract, build again from the extracted files: the same data files.
TEST_F(RvlcTest, RoundTripThroughExtractedFilesKeepsTheDataFiles) {
    const std::string opml = scratch_.Add("tech.opml", kOpml);
    std::vector<WebPageRow> pages = {{"Welcome", "http://www.example.com/welcome.html"}};
    const std::string pagesFile = scratch_.Add("pages.xml", WebPagesXmlText(pages));
    const std::string first = scratch_ / "first.exe", second = scratch_ / "second.exe";

    RunResult built =
        Rvlc({"build", "--feeds", opml, "--pages", pagesFile, "--setup", SignedStandIn(), "--out", first}, scratch_);
    ASSERT_EQ(0, built.code) << built.err;
    EXPECT_NE(std::string::npos,
              built.err.find("tech.opml: 1 entries were left out because they are not web addresses"))
        << built.err;

    const RunResult shown = Rvlc({"show", first}, scratch_);
    EXPECT_EQ(0, shown.code) << shown.err;
    for (const char* line :
         {"  rvl.exe  ", "  feeds.xml  ", "  webpages.xml  ", "Feed folders: 1\n  Tech\n",
          "    One & Two <http://a.example.com/1.xml>\n", "    Caf\xC3\xA9 <https://b.example.com/2.xml>\n",
          "Web pages: 1\n  Welcome <http://www.example.com/welcome.html>\n",
          "  Signer: Corvane\n  Signature: valid, signed by the maker\n"})
        EXPECT_NE(std::string::npos, shown.out.find(line)) << line << "\n" << shown.out;
    EXPECT_EQ(std::string::npos, shown.out.find("Again")) << "a feed that the file names twice is taken once";

    const std::string dir = scratch_ / "extracted";
    const RunResult extracted = Rvlc({"extract", first, dir}, scratch_);
    ASSERT_EQ(0, extracted.code) << extracted.err;
    EXPECT_EQ(pkgtest::ReadWhole(SignedStandIn()), pkgtest::ReadWhole(dir + "\\rvl.exe"));

    built = Rvlc({"build", "--out", second, "--feeds", dir + "\\feeds.xml", "--pages", dir + "\\webpages.xml",
                  "--setup", dir + "\\rvl.exe"},
                 scratch_);
    ASSERT_EQ(0, built.code) << built.err;
    for (const char* name : {"feeds.xml", "webpages.xml", "rvl.exe"}) {
        EXPECT_EQ(Entry(first, name), Entry(second, name)) << name;
        EXPECT_EQ(pkgtest::ReadWhole(dir + "\\" + name), Entry(second, name)) << name;
    }
    // The package is what the wizard's stub reads: the stub of this build at the front.
    pkg::StdioSource source;
    SetupContents contents;
    ASSERT_TRUE(source.Open(second));
    ASSERT_EQ(SetupRead::Read, ReadSetup(source, contents));
    EXPECT_EQ(pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLExtractor.exe").size(), contents.stubSize);
}

// Packs the given data files behind the stand-in, as a setup would carry them.
std::string SetupWith(const pkgtest::ScratchFolder& scratch, const std::string& name, const std::string& feeds) {
    pkg::MemoryInput data(feeds);
    pkg::MemoryOutput out;
    const std::string reader = pkgtest::ReadWhole(StandIn());
    pkg::MemoryInput readerInput(reader);
    const std::string stub = pkgtest::ReadWhole(pkgtest::ProgramFolder() + "RVLExtractor.exe");
    pkg::WritePackage(stub, {{"rvl.exe", &readerInput, reader.size()}, {"feeds.xml", &data, feeds.size()}}, out);
    return scratch.Add(name, out.bytes);
}

// A feeds.xml replaces the old setup's feeds and is carried whole; an OPML file adds a folder under a
// name of its own; a record that breaks the rules refuses the input unless --skip-invalid.
TEST_F(RvlcTest, AFeedsFileReplacesTheFeedsWholeAndAnOpmlFileAddsAFolder) {
    int count = 0;
    const std::string old =
        SetupWith(scratch_, "old.exe", FeedsXmlText({Folder("Gone", {{"Old", "http://o/"}})}, count));
    const std::string kept = "<Folder Name=\"All Feeds\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\">"
                             "<Folder Name=\"TECH\" Color=\"red\"><Folder Name=\"Inner\"><Feed Name=\"A\" "
                             "URL=\"http://a/\" AutoUpdateFreq=\"3\" AutoUpdateUnit=\"hours\"/></Folder></Folder>";
    const std::string feeds = scratch_.Add(
        "feeds.xml", kept + "\n<Folder Name=\"F\"><Feed Name=\"Local\" URL=\"file:///c:/x\"/></Folder></Folder>");
    const std::string opml = scratch_.Add("tech.opml", kOpml), out = scratch_ / "new.exe";
    const std::vector<std::string> args = {"build",   "--from",        old,     "--feeds", opml, "--feeds", feeds,
                                           "--setup", SignedStandIn(), "--out", out};

    RunResult run = Rvlc(args, scratch_);
    EXPECT_EQ(3, run.code);
    EXPECT_EQ("", run.out);
    EXPECT_EQ(feeds + ":2:18: a record whose URL is no http or https address: \"Local\" <file:///c:/x>\n", run.err);
    EXPECT_FALSE(pkgtest::Exists(out));

    std::vector<std::string> skipping = args;
    skipping.push_back("--skip-invalid");
    run = Rvlc(skipping, scratch_);
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("<file:///c:/x> (left out)\n")) << run.err;
    DataElement expected, written;
    ASSERT_TRUE(ReadDataFile(kept + "<Folder Name=\"F\"/></Folder>", "All Feeds", expected).Ok());
    ASSERT_TRUE(ReadDataFile(Entry(out, "feeds.xml"), "All Feeds", written).Ok()) << Entry(out, "feeds.xml");
    ASSERT_EQ(3u, written.children.size());
    EXPECT_EQ("Tech (1)", written.children[2].Value("Name")) << "the OPML folder, after the replaced feeds";
    written.children.pop_back();
    EXPECT_EQ(expected, written);
}

// Every kind of failure has its own exit code, and the message names the file.
TEST_F(RvlcTest, EachKindOfFailureHasItsExitCode) {
    const std::string dtd = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><Folder Name=\"All Feeds\"/>";
    int count = 0;
    const std::string good = SetupWith(scratch_, "good.exe", FeedsXmlText({Folder("F", {{"T", "http://t/"}})}, count));
    std::string damaged = pkgtest::ReadWhole(good);
    damaged[damaged.size() - 70] ^= 0x55; // inside the stream of feeds.xml, before the 66 bytes of directory
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string message;
    } cases[] = {
        {"no command", {}, 2, "no command given"},
        {"unknown command", {"frobnicate"}, 2, "unknown command frobnicate"},
        {"unknown option", {"build", "--out", "x.exe", "--shiny"}, 2, "unknown option --shiny"},
        {"no reader setup", {"build", "--out", "x.exe"}, 2, "--setup, --download or --from"},
        {"missing setup", {"show", scratch_ / "missing.exe"}, 3, "missing.exe: cannot be opened"},
        {"foreign program", {"show", StandIn()}, 3, "rvl.exe: not a customized setup of Ravelin"},
        {"damaged package",
         {"show", scratch_.Add("damaged.exe", damaged)},
         3,
         "damaged.exe: the customized setup is damaged"},
        {"data file with a DTD in a setup",
         {"extract", SetupWith(scratch_, "dtd.exe", dtd), scratch_ / "out"},
         3,
         "dtd.exe: the customized setup is damaged: feeds.xml, line 1, column 22: the file declares a document type"},
        {"data file with a DTD given",
         {"build", "--out", scratch_ / "x.exe", "--feeds", scratch_.Add("dtd.xml", dtd), "--setup", StandIn()},
         3,
         "dtd.xml:1:22: the file declares a document type"},
        {"reader setup not signed by the maker",
         {"build", "--from", good, "--out", scratch_ / "x.exe", "--setup", StandIn("foreign\\")},
         4,
         "rvl.exe: refused as the reader setup: not signed by Corvane"},
        {"unsigned reader setup inside the old setup",
         {"build", "--from", good, "--out", scratch_ / "x.exe"},
         4,
         "refused as the reader setup: not signed by Corvane"},
        {"output folder missing",
         {"build", "--from", good, "--setup", SignedStandIn(), "--out", scratch_ / "no\\such\\folder.exe"},
         5,
         "folder.exe: cannot be written"},
    };
    for (const Case& c : cases) {
        const RunResult run = Rvlc(c.args, scratch_);
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << c.what << "\n" << run.err;
        EXPECT_EQ("", run.out) << c.what;
    }
    EXPECT_FALSE(pkgtest::Exists(scratch_ / "x.exe")) << "a failed build leaves no setup";
}

// The reader setup is held from its check to its packing: one that another program has open for writing
// is refused; one of another product of the maker's, or older than the earlier setup's, is refused too.
TEST_F(RvlcTest, OnlyRavelinNotOlderAndNotWhileAnotherProgramWritesIsPacked) {
    int count = 0;
    const std::string feeds = FeedsXmlText({Folder("F", {{"T", "http://t/"}})}, count);
    const std::string unsignedOld = SetupWith(scratch_, "unsigned-old.exe", feeds);
    const std::string old = scratch_ / "old.exe";
    const RunResult made = Rvlc({"build", "--from", unsignedOld, "--setup", SignedStandIn(), "--out", old}, scratch_);
    ASSERT_EQ(0, made.code) << made.err;
    const struct {
        const char* what;
        std::string setup;
        bool allowOlder;
        int code;
        const char* says;
    } cases[] = {
        {"another product", StandIn("other-product\\"), false, 4,
         "its version resource names the product \"Corvane Notes\""},
        {"older", StandIn("older\\"), false, 4, "version 2.9.1.0 is older than 2.10.0.0, the version of "},
        {"older, --allow-older", StandIn("older\\"), true, 0, "version 2.9.1.0 is older than 2.10.0.0"},
        {"the same version", SignedStandIn(), false, 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"build", "--from", old, "--setup", c.setup, "--out", scratch_ / "x.exe"};
        if (c.allowOlder)
            args.push_back("--allow-older");
        const RunResult run = Rvlc(args, scratch_);
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.says)) << c.what << "\n" << run.err;
        EXPECT_EQ(c.code == 0, pkgtest::Exists(scratch_ / "x.exe")) << c.what;
        ::DeleteFileA((scratch_ / "x.exe").c_str());
    }
    const std::string writing = scratch_.Add("writing.exe", pkgtest::ReadWhole(SignedStandIn()));
    fw::FileHandle writer(::CreateFileA(writing.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    const RunResult run = Rvlc({"build", "--from", old, "--setup", writing, "--out", scratch_ / "x.exe"}, scratch_);
    EXPECT_EQ(4, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("another program has it open for writing")) << run.err;
    EXPECT_FALSE(pkgtest::Exists(scratch_ / "x.exe"));
}

TEST_F(RvlcTest, HelpOfEveryCommandGoesToStandardOutput) {
    for (const char* command : {"show", "extract", "build", "update"}) {
        const RunResult run = Rvlc({command, "--help"}, scratch_);
        EXPECT_EQ(0, run.code) << command;
        EXPECT_EQ(0u, run.out.find(std::string("Usage: rvlc ") + command)) << run.out;
    }
    const RunResult run = Rvlc({"--help"}, scratch_);
    EXPECT_EQ(0, run.code);
    EXPECT_NE(std::string::npos, run.out.find("Exit codes:"));
}

// The conventions of a command line that CI scripts rely on. An output that names an input, in another
// case or spelling, is refused before anything is written.
TEST_F(RvlcTest, CommandLineFollowsTheConventions) {
    int count = 0;
    const std::string old = SetupWith(scratch_, "old.exe", FeedsXmlText({Folder("F", {{"T", "http://t/"}})}, count));
    const std::string oldBytes = pkgtest::ReadWhole(old), out = scratch_ / "new.exe";
    std::string upper = old;
    upper.replace(upper.size() - 7, 7, "OLD.EXE");
    const struct {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string says; // on standard output for 0, else on standard error
    } cases[] = {
        {"--version", {"--version"}, 0, std::string("rvlc ") + RVL_PROJECT_VERSION + "\n"},
        {"help COMMAND", {"help", "verify"}, 0, "Usage: rvlc verify"},
        {"--help after other options", {"build", "--out", out, "--help"}, 0, "Usage: rvlc build"},
        {"option given twice",
         {"build", "--setup", SignedStandIn(), "--out", out, "--out=" + out},
         2,
         "--out is given more than once"},
        {"output is the input in other case",
         {"build", "--from", old, "--setup", SignedStandIn(), "--out", upper},
         2,
         "is the input of --from"},
        {"update onto itself", {"update", old, upper}, 2, "is OLD_SETUP"},
        {"--opt=value and --", {"build", "--setup=" + SignedStandIn(), "--out=" + out, "--"}, 0, "SHA-256 "},
    };
    for (const auto& c : cases) {
        const RunResult run = Rvlc(c.args, scratch_);
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        EXPECT_NE(std::string::npos, (c.code == 0 ? run.out : run.err).find(c.says)) << c.what << "\n"
                                                                                     << run.out << run.err;
        EXPECT_EQ(oldBytes, pkgtest::ReadWhole(old)) << c.what;
    }
}

// show --json: one document; the packed files' SHA-256 from the system's hash; show and verify fail
// (exit 4) on a reader setup that is not the maker's, verify also on a damaged stream.
TEST_F(RvlcTest, ShowJsonAndVerifyJudgeTheReaderSetup) {
    const std::string feeds = "<Folder Name=\"All Feeds\"><Folder Name=\"News\"><Feed Name=\"Daily\" "
                              "URL=\"http://d.example.com/rss\"/></Folder></Folder>";
    const std::string unsigned_ = SetupWith(scratch_, "unsigned.exe", feeds);
    const std::string good = scratch_ / "good.exe";
    ASSERT_EQ(0, Rvlc({"build", "--from", unsigned_, "--setup", SignedStandIn(), "--out", good}, scratch_).code);
    std::string damaged = pkgtest::ReadWhole(good);
    damaged[damaged.size() - 300] ^= 0x55; // inside the stream of rvl.exe, before the data file and directory
    const std::string broken = scratch_.Add("damaged.exe", damaged);

    RunResult run = Rvlc({"show", "--json", good}, scratch_);
    ASSERT_EQ(0, run.code) << run.err;
    nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << run.out;
    EXPECT_EQ("Corvane", document["readerSetup"]["signer"]);
    EXPECT_EQ(true, document["readerSetup"]["verified"]);
    EXPECT_EQ("Ravelin", document["readerSetup"]["product"]) << run.out;
    EXPECT_TRUE(document["publisherSignature"].is_null());
    EXPECT_EQ("Daily", document["feeds"]["children"][0]["children"][0]["name"]);

    run = Rvlc({"show", "--json", unsigned_}, scratch_);
    EXPECT_EQ(4, run.code);
    document = nlohmann::json::parse(run.out, nullptr, false);
    EXPECT_EQ(false, document["readerSetup"]["verified"]) << run.out;
    ASSERT_EQ(2u, document["files"].size()) << run.out;
    EXPECT_EQ((nlohmann::json{{"name", "feeds.xml"},
                              {"size", feeds.size()},
                              {"sha256", "b5e1a834613cdfbb3d266bfa7bc0b9b363a6d868bcfee41e8202a17f2307ad06"}}),
              document["files"][1]);

    const struct {
        std::string setup;
        int code;
        const char* says;
    } verified[] = {
        {good, 0, "ok    reader setup: valid, signed by the maker"},
        {unsigned_, 4, "FAIL  reader setup: not signed by Corvane"},
        {broken, 4, "FAIL  rvl.exe: "},
        {StandIn(), 3, ""},
    };
    for (const auto& c : verified) {
        run = Rvlc({"verify", c.setup}, scratch_);
        EXPECT_EQ(c.code, run.code) << c.setup << "\n" << run.out << run.err;
        EXPECT_NE(std::string::npos, run.out.find(c.says)) << c.setup << "\n" << run.out;
    }
}

TEST_F(RvlcTest, ExtractReplacesExistingFilesOnlyWithForce) {
    int count = 0;
    const std::string setup = SetupWith(scratch_, "s.exe", FeedsXmlText({Folder("F", {{"T", "http://t/"}})}, count));
    const std::string dir = scratch_ / "x";
    ASSERT_EQ(0, Rvlc({"extract", setup, dir}, scratch_).code);
    pkgtest::WriteWhole(dir + "\\rvl.exe", "mine");
    RunResult run = Rvlc({"extract", setup, dir}, scratch_);
    EXPECT_EQ(5, run.code);
    EXPECT_NE(std::string::npos, run.err.find("rvl.exe: exists already")) << run.err;
    EXPECT_EQ("mine", pkgtest::ReadWhole(dir + "\\rvl.exe"));
    run = Rvlc({"extract", "--force", setup, dir}, scratch_);
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(pkgtest::ReadWhole(StandIn()), pkgtest::ReadWhole(dir + "\\rvl.exe"));
}

// The maker's address reaches this test's server through the prefix's proxy; Pullwire is the one beside
// rvlc.exe, which rvlc's manifest names. In the prefix where Pullwire is never registered, nothing
// registers it on the way either.
class RvlcUpdateTest : public RvlcTest {
protected:
    void SetUp() override {
        if (pwtest::InUnregisteredPrefix()) {
            ASSERT_EQ(std::vector<std::string>(), pwtest::PullwireKeys());
        }
        ASSERT_TRUE(server_.Start());
        proxy_.emplace(server_.ProxyAddress());
        ASSERT_TRUE(proxy_->Ok());
    }
    void TearDown() override {
        if (pwtest::InUnregisteredPrefix()) {
            EXPECT_EQ(std::vector<std::string>(), pwtest::PullwireKeys());
        }
    }
    testhttp::Server server_;
    std::optional<testhttp::SystemProxy> proxy_;
};

TEST_F(RvlcUpdateTest, UpdateKeepsTheCustomizationAndTakesTheNewReaderSetup) {
    int count = 0;
    const std::string feeds = FeedsXmlText({Folder("News", {{"Daily", "http://d.example.com/rss"}})}, count);
    const std::string old = SetupWith(scratch_, "old.exe", feeds);
    testhttp::Reply newer;
    newer.body = pkgtest::ReadWhole(SignedStandIn());
    ASSERT_FALSE(newer.body.empty());
    server_.Route("/download/rvl/rvl.exe", newer);

    const std::string updated = scratch_ / "new.exe";
    const RunResult run = Rvlc({"update", old, updated}, scratch_);
    ASSERT_EQ(0, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("Downloading the reader setup: 100%")) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Fetched: http://www.corvane.com/download/rvl/rvl.exe\n")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Reader setup: version 2.10.0.0, SHA-256 ")) << run.out;
    EXPECT_EQ(feeds, Entry(updated, "feeds.xml"));
    EXPECT_EQ(newer.body, Entry(updated, "rvl.exe"));
}

// --expect-sha256 and --min-version refuse any other reader setup, naming expected and found.
TEST_F(RvlcUpdateTest, PinsRefuseAnyOtherReaderSetup) {
    int count = 0;
    const std::string old = SetupWith(scratch_, "old.exe", FeedsXmlText({Folder("N", {{"D", "http://d/"}})}, count));
    testhttp::Reply newer;
    newer.body = pkgtest::ReadWhole(SignedStandIn());
    server_.Route("/download/rvl/rvl.exe", newer);
    const struct {
        std::vector<std::string> pin;
        const char* says;
    } cases[] = {
        {{"--expect-sha256", std::string(64, '0')}, "--expect-sha256 expects 0000"},
        {{"--min-version=2.10.1"}, "--min-version expects 2.10.1 or later, its version is 2.10.0.0"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"update", old, scratch_ / "new.exe"};
        args.insert(args.end(), c.pin.begin(), c.pin.end());
        const RunResult run = Rvlc(args, scratch_);
        EXPECT_EQ(4, run.code) << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.says)) << run.err;
        EXPECT_FALSE(pkgtest::Exists(scratch_ / "new.exe"));
    }
}

TEST_F(RvlcUpdateTest, FailedDownloadLeavesNoSetup) {
    int count = 0;
    const std::string old = SetupWith(scratch_, "old.exe", FeedsXmlText({Folder("N", {{"D", "http://d/"}})}, count));
    testhttp::Reply missing;
    missing.status = 404;
    server_.Route("/download/rvl/rvl.exe", missing);
    const RunResult run = Rvlc({"update", old, scratch_ / "new.exe"}, scratch_);
    EXPECT_EQ(4, run.code) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("the reader setup cannot be downloaded from http://www.corvane.com/download/rvl/rvl.exe"))
        << run.err;
    EXPECT_FALSE(pkgtest::Exists(scratch_ / "new.exe"));
}

} // namespace

namespace {

TEST_F(RvlcUpdateTest, VerifyFeedsListsTheFeedsThatDoNotPass) {
    testhttp::Reply feed, page;
    feed.body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Good</title></channel></rss>";
    page.body = "<html><head><title>Page</title></head><body>Hello</body></html>";
    server_.Route("/rss.xml", feed);
    server_.Route("/page.html", page);
    int count = 0;
    const std::string old = SetupWith(scratch_, "old.exe",
                                      FeedsXmlText({Folder("F", {{"Good", "http://feeds.example.com/rss.xml"},
                                                                 {"Page", "http://feeds.example.com/page.html"}})},
                                                   count));
    const std::string built = scratch_ / "new.exe";
    const RunResult run =
        Rvlc({"build", "--from", old, "--setup", SignedStandIn(), "--verify-feeds", "--out", built}, scratch_);
    EXPECT_EQ(6, run.code) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("  F: Page <http://feeds.example.com/page.html>: not a feed\n"))
        << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("Good <")) << run.err;
    EXPECT_FALSE(pkgtest::Exists(built));
}

} // namespace
