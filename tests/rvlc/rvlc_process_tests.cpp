// The native rvlc run as a program: its own signature check packs only a reader setup that the maker
// signed, unchanged, chained to a trusted root (or dated by a timestamp while its certificate was valid);
// its download fetches the maker's address from a loopback stand-in of the maker's server through
// http_proxy.
#include "builder/customization_xml.h"
#include "builder/setup_file.h"
#include "tests/rvlc/native_files.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

const std::string kStandins = RVL_STANDIN_DIR;
const std::string kCertificates = RVL_TEST_CERT_DIR;

// Runs rvlc with args, after environment assignments in env; gives its exit code and what it wrote to
// both streams.
int Rvlc(const std::vector<std::string>& args, std::string& output, const std::string& env = std::string()) {
    std::string command = env + RVLC_PATH;
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    output.clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) != 0)
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The SHA-256 of a file in hex, as sha256sum (an independent implementation) gives it.
std::string Sha256Of(const std::string& path) {
    std::string said;
    if (FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r")) {
        char buffer[256];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            said.append(buffer, got);
        ::pclose(pipe);
    }
    return said.substr(0, 64);
}

class RvlcProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }

    // A customized setup at path that packs reader as its reader setup.
    void WriteSetup(const std::string& path, const std::string& reader) {
        pkg::MemoryInput input(reader);
        pkg::MemoryOutput setup;
        ASSERT_EQ(pkg::kSuccess,
                  pkg::WritePackage("MZ stand-in extractor", {{"rvl.exe", &input, reader.size()}}, setup));
        WriteWhole(path, setup.bytes);
    }

    NativeScratch scratch_;
    const std::string dir_ = scratch_.Path();
};

TEST_F(RvlcProcessTest, BuildPacksOnlyWhatTheMakerSignedAndATrustedRootVouchesFor) {
    const std::string signed_ = ReadWhole(kStandins + "/signed/rvl.exe");
    ASSERT_GT(signed_.size(), 4096u);
    std::string tampered = signed_;
    tampered[tampered.size() / 2] ^= 1;
    WriteWhole(dir_ + "/tampered.exe", tampered);
    WriteWhole(dir_ + "/cut.exe", signed_.substr(0, signed_.size() - 100));
    // The first section told 512 bytes shorter: its code stays in the file, outside every section.
    std::string gap = signed_;
    const auto le = [&gap](size_t at, int bytes) {
        uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | static_cast<uint8_t>(gap[at + static_cast<size_t>(i)]);
        return value;
    };
    const size_t pe = le(60, 4), rawSize = pe + 24 + le(pe + 20, 2) + 16;
    const uint32_t shorter = le(rawSize, 4) - 512;
    for (int i = 0; i < 4; ++i)
        gap[rawSize + static_cast<size_t>(i)] = static_cast<char>(shorter >> (8 * i));
    WriteWhole(dir_ + "/gap.exe", gap);
    const std::string root = kCertificates + "/root.pem";
    const std::string oldRoot = kCertificates + "/old-root.pem";
    const struct {
        const char* what;
        std::string setup;
        std::string roots; // empty: the system's
        int code;
        const char* says;
    } cases[] = {
        {"signed by the maker", kStandins + "/signed/rvl.exe", root, 0, ""},
        {"not signed", kStandins + "/rvl.exe", root, 4, "not signed by Corvane: the file carries no signature"},
        {"signed by another name", kStandins + "/foreign/rvl.exe", root, 4, "signed by Northwind Software Test"},
        {"one byte changed", dir_ + "/tampered.exe", root, 4, "damaged: the file does not match its signature"},
        {"cut short", dir_ + "/cut.exe", root, 4, "damaged: the certificate table does not end the file"},
        {"code outside every section", dir_ + "/gap.exe", root, 4, "damaged: its sections leave gaps that hold data"},
        {"the system's roots", kStandins + "/signed/rvl.exe", "", 4, "not signed by Corvane: the signer's certificate"},
        {"another root", kStandins + "/signed/rvl.exe", oldRoot, 4, "not signed by Corvane: the signer's certificate"},
        {"expired", kStandins + "/expired/rvl.exe", oldRoot, 4, "certificate has expired"},
        {"expired, timestamped while valid", kStandins + "/stamped/rvl.exe", oldRoot, 0, ""},
        {"not a program", root, root, 4, "not a Windows program"},
    };
    const std::string old = dir_ + "/old.exe";
    WriteSetup(old, signed_);
    for (const auto& c : cases) {
        const std::string out = dir_ + "/new.exe";
        std::remove(out.c_str());
        std::vector<std::string> args = {"build", "--from", old, "--setup", c.setup, "--out", out};
        if (!c.roots.empty())
            args.insert(args.begin(), {"--ca-file", c.roots});
        std::string output;
        EXPECT_EQ(c.code, Rvlc(args, output)) << c.what << ": " << output;
        EXPECT_NE(std::string::npos, output.find(c.says)) << c.what << ": " << output;
        EXPECT_EQ(c.code == 0, ::access(out.c_str(), F_OK) == 0) << c.what;
        std::remove(out.c_str());
    }
}

// Without an earlier setup, build puts the extractor that rvlc carries in front: the 32-bit program of
// the shipping build, which every Windows runs.
TEST_F(RvlcProcessTest, BuildWithoutAnEarlierSetupPutsTheShippingExtractorInFront) {
    const std::string reader = kStandins + "/signed/rvl.exe", root = kCertificates + "/root.pem";
    CFeedFolder news("News");
    news.Add("Daily", "http://d.example.com/rss");
    int count = 0;
    const std::string feeds = FeedsXmlText({news}, count);
    const std::string pages = WebPagesXmlText({{"Home", "https://h.example.com/"}});
    WriteWhole(dir_ + "/feeds.xml", feeds);
    WriteWhole(dir_ + "/webpages.xml", pages);
    const std::string out = dir_ + "/new.exe";
    std::string output;
    ASSERT_EQ(0, Rvlc({"build", "--setup", reader, "--feeds", dir_ + "/feeds.xml", "--pages", dir_ + "/webpages.xml",
                       "--out", out, "--ca-file", root},
                      output))
        << output;
    EXPECT_EQ(0, Rvlc({"show", out, "--ca-file", root}, output)) << output;
    EXPECT_NE(std::string::npos, output.find("  Signature: valid, signed by the maker\n")) << output;

    pkg::StdioSource source;
    SetupContents contents;
    ASSERT_TRUE(source.Open(out));
    ASSERT_EQ(SetupRead::Read, ReadSetup(source, contents));
    const std::string shipping = ReadWhole(RVL_SHIPPING_EXTRACTOR);
    ASSERT_EQ(shipping.size(), contents.stubSize);
    const std::string front = ReadWhole(out).substr(0, shipping.size());
    // Only the header's checksum is the new file's own: it covers the whole setup.
    ASSERT_GT(front.size(), 64u);
    uint32_t pe = 0;
    for (int i = 3; i >= 0; --i)
        pe = pe << 8 | static_cast<uint8_t>(front[60 + i]);
    ASSERT_LT(pe + 92u, front.size());
    EXPECT_EQ("\x4c\x01", front.substr(pe + 4, 2)) << "an i386 program";
    EXPECT_EQ(shipping.substr(0, pe + 88), front.substr(0, pe + 88));
    EXPECT_TRUE(shipping.substr(pe + 92) == front.substr(pe + 92));

    ASSERT_EQ(0, Rvlc({"extract", out, dir_ + "/x"}, output)) << output;
    EXPECT_TRUE(ReadWhole(reader) == ReadWhole(dir_ + "/x/rvl.exe"));
    EXPECT_EQ(feeds, ReadWhole(dir_ + "/x/feeds.xml"));
    EXPECT_EQ(pages, ReadWhole(dir_ + "/x/webpages.xml"));
}

// The maker signs more than the reader's setup, and signed older setups stay on the net: only Ravelin
// is packed, and no older one than the setup being updated had, unless --allow-older says so.
TEST_F(RvlcProcessTest, BuildPacksOnlyRavelinAndNoOlderOneThanTheSetupHadUnlessAllowed) {
    const std::string root = kCertificates + "/root.pem";
    const std::string old = dir_ + "/old.exe";
    WriteSetup(old, ReadWhole(kStandins + "/signed/rvl.exe"));
    const struct {
        const char* what;
        const char* reader;
        bool allowOlder;
        int code;
        const char* says;
    } cases[] = {
        {"another product of the maker's", "other-product", false, 4,
         "it is not the setup of Ravelin: its version resource names the product \"Corvane Notes\""},
        {"another product, --allow-older", "other-product", true, 4, "names the product \"Corvane Notes\""},
        {"older", "older", false, 4, "version 2.9.1.0 is older than 2.10.0.0, the version of "},
        {"older, --allow-older", "older", true, 0, "version 2.9.1.0 is older than 2.10.0.0"},
        {"the same version", "signed", false, 0, ""},
    };
    for (const auto& c : cases) {
        const std::string out = dir_ + "/new.exe";
        std::vector<std::string> args = {"--ca-file", root, "build", "--from", old, "--setup",
                                         kStandins + "/" + c.reader + "/rvl.exe", "--out", out};
        if (c.allowOlder)
            args.push_back("--allow-older");
        std::string output;
        EXPECT_EQ(c.code, Rvlc(args, output)) << c.what << ": " << output;
        EXPECT_NE(std::string::npos, output.find(c.says)) << c.what << ": " << output;
        EXPECT_EQ(c.code == 0, ::access(out.c_str(), F_OK) == 0) << c.what;
        std::remove(out.c_str());
    }
    // The reader setup inside an earlier setup is held to the product too.
    const std::string foreignOld = dir_ + "/other.exe";
    WriteSetup(foreignOld, ReadWhole(kStandins + "/other-product/rvl.exe"));
    std::string output;
    EXPECT_EQ(4, Rvlc({"--ca-file", root, "build", "--from", foreignOld, "--out", dir_ + "/new.exe"}, output));
    EXPECT_NE(std::string::npos, output.find("\"Corvane Notes\"")) << output;
}

// The file named by --setup changes between a signed and an unsigned copy while rvlc runs, by renames and
// by writes in place: a run either refuses it or packs the signed bytes, never the unsigned ones.
TEST_F(RvlcProcessTest, ASetupSwappedWhileBuildRunsIsNeverPackedUnchecked) {
    const std::string root = kCertificates + "/root.pem";
    const std::string signed_ = ReadWhole(kStandins + "/signed/rvl.exe");
    const std::string unsigned_ = ReadWhole(kStandins + "/rvl.exe");
    ASSERT_FALSE(signed_.empty());
    ASSERT_FALSE(unsigned_.empty());
    const std::string old = dir_ + "/old.exe", setup = dir_ + "/rvl.exe", out = dir_ + "/new.exe";
    WriteSetup(old, signed_);
    WriteWhole(setup, signed_);
    std::atomic<bool> stop(false);
    std::thread racer([&] {
        for (unsigned turn = 0; !stop; ++turn) {
            const std::string& bytes = turn % 2 ? unsigned_ : signed_;
            if (turn % 4 < 2) {
                WriteWhole(dir_ + "/next.exe", bytes);
                std::rename((dir_ + "/next.exe").c_str(), setup.c_str());
            } else {
                // In place: the same file, rewritten.
                std::fstream file(setup, std::ios::in | std::ios::out | std::ios::binary);
                file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
        }
    });
    int packed = 0;
    for (int run = 0; run < 12; ++run) {
        std::string output;
        const int code = Rvlc({"--ca-file", root, "build", "--from", old, "--setup", setup, "--out", out}, output);
        EXPECT_TRUE(code == 0 || code == 4) << output;
        if (code != 0)
            continue;
        ++packed;
        pkg::StdioSource source;
        SetupContents contents;
        ASSERT_TRUE(source.Open(out));
        ASSERT_EQ(SetupRead::Read, ReadSetup(source, contents));
        pkg::MemoryOutput reader;
        ASSERT_EQ(pkg::kSuccess, ExtractEntry(source, contents.entries.at(0), reader));
        EXPECT_TRUE(reader.bytes == signed_) << "run " << run << " packed bytes other than the signed setup's";
        std::remove(out.c_str());
    }
    stop = true;
    racer.join();
    std::printf("%d of 12 runs built a setup\n", packed);
}

TEST_F(RvlcProcessTest, ShowReportsTheSignersNameAndTheVerdict) {
    const struct {
        const char* reader;
        const char* signer;
        const char* verdict;
        int code; // show prints everything, then fails when the reader setup is not the maker's
    } cases[] = {
        {"stamped", "Corvane", "valid, signed by the maker, timestamped 2020-06-01 00:00:00 UTC", 0},
        {"foreign", "Northwind Software Test", "not signed by Corvane: signed by Northwind Software Test", 4},
    };
    // Both test roots in one file: each reader chains to one of them.
    const std::string roots = dir_ + "/roots.pem";
    WriteWhole(roots, ReadWhole(kCertificates + "/root.pem") + ReadWhole(kCertificates + "/old-root.pem"));
    for (const auto& c : cases) {
        const std::string setup = dir_ + "/" + c.reader + ".exe";
        WriteSetup(setup, ReadWhole(kStandins + "/" + c.reader + "/rvl.exe"));
        std::string output;
        EXPECT_EQ(c.code, Rvlc({"show", setup, "--ca-file=" + roots}, output)) << output;
        EXPECT_NE(std::string::npos, output.find(std::string("  Signer: ") + c.signer + "\n")) << output;
        EXPECT_NE(std::string::npos, output.find(std::string("  Signature: ") + c.verdict + "\n")) << output;
    }
}

TEST_F(RvlcProcessTest, CaFileIsGivenOnceAndNeedsAFile) {
    const std::string setup = dir_ + "/s.exe";
    WriteSetup(setup, "MZ");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"show", setup, "--ca-file"},
          std::vector<std::string>{"--ca-file", "a.pem", "show", setup, "--ca-file=b.pem"}}) {
        std::string output;
        EXPECT_EQ(2, Rvlc(args, output)) << output;
    }
}

// What a CI script relies on: --version, help anywhere, --opt=value, "--", and usage errors (exit 2)
// for what is unknown, repeated, or would write over an input.
TEST_F(RvlcProcessTest, CommandLineFollowsTheConventions) {
    const std::string root = kCertificates + "/root.pem";
    const std::string old = dir_ + "/old.exe", out = dir_ + "/new.exe";
    WriteSetup(old, ReadWhole(kStandins + "/signed/rvl.exe"));
    const std::string oldBytes = ReadWhole(old);
    WriteWhole(dir_ + "/-dash.exe", oldBytes);
    const struct {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string says;
        bool exact; // says is all of the output
    } cases[] = {
        {"--version", {"--version"}, 0, std::string("rvlc ") + RVL_PROJECT_VERSION + "\n", true},
        {"help COMMAND", {"help", "extract"}, 0, "Usage: rvlc extract", false},
        {"--help after other options", {"build", "--out", out, "--help"}, 0, "Usage: rvlc build", false},
        {"unknown option", {"build", "--shiny", "--out", out}, 2, "unknown option --shiny", false},
        {"unknown command", {"frobnicate"}, 2, "unknown command frobnicate", false},
        {"option given twice",
         {"build", "--from", old, "--out", out, "--out", out},
         2,
         "--out is given more than once",
         false},
        {"output is the input", {"build", "--from", old, "--out", old}, 2, "needs a name of its own", false},
        {"output is the input by another name",
         {"build", "--setup", "-dash.exe", "--from", old, "--out", "./-dash.exe"},
         2,
         "is the input of --setup",
         false},
        {"update onto itself", {"update", old, dir_ + "//old.exe"}, 2, "is OLD_SETUP", false},
        {"--opt=value",
         {"build", "--from=" + old, "--out=" + out, "--ca-file=" + root},
         0,
         "Reader setup: version",
         false},
        {"-- ends the options", {"show", "--ca-file", root, "--", "-dash.exe"}, 0, "Setup: -dash.exe\n", false},
        {"--quiet", {"--quiet", "build", "--from", old, "--out", out, "--ca-file", root}, 0, "", true},
    };
    for (const auto& c : cases) {
        std::remove(out.c_str());
        std::string output;
        EXPECT_EQ(c.code, Rvlc(c.args, output, "cd '" + dir_ + "' && ")) << c.what << ": " << output;
        if (c.exact)
            EXPECT_EQ(c.says, output) << c.what;
        else
            EXPECT_NE(std::string::npos, output.find(c.says)) << c.what << ": " << output;
        EXPECT_EQ(oldBytes, ReadWhole(old)) << c.what;
        EXPECT_EQ(oldBytes, ReadWhole(dir_ + "/-dash.exe")) << c.what;
    }
    // The help of this build names nothing that only the Windows build does.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"build", "--help"}}) {
        std::string output;
        EXPECT_EQ(0, Rvlc(args, output));
        EXPECT_EQ(std::string::npos, output.find("--verify-feeds")) << output;
        EXPECT_EQ(std::string::npos, output.find("OPML")) << output;
    }
}

TEST_F(RvlcProcessTest, ShowJsonIsOneDocumentOfTheDocumentedSchema) {
    CFeedFolder news("News");
    news.Add("Daily", "http://d.example.com/rss");
    int count = 0;
    const std::string reader = ReadWhole(kStandins + "/signed/rvl.exe");
    const std::string feeds = FeedsXmlText({news}, count),
                      pages = WebPagesXmlText({{"Home", "https://h.example.com/"}});
    pkg::MemoryInput readerInput(reader), feedsInput(feeds), pagesInput(pages);
    pkg::MemoryOutput setup;
    ASSERT_EQ(pkg::kSuccess, pkg::WritePackage("MZ stand-in extractor",
                                               {{"rvl.exe", &readerInput, reader.size()},
                                                {"feeds.xml", &feedsInput, feeds.size()},
                                                {"webpages.xml", &pagesInput, pages.size()}},
                                               setup));
    const std::string path = dir_ + "/s.exe";
    WriteWhole(path, setup.bytes);
    std::string output;
    ASSERT_EQ(0, Rvlc({"show", "--json", path, "--ca-file", kCertificates + "/root.pem"}, output)) << output;
    const nlohmann::json document = nlohmann::json::parse(output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << output;
    const auto keys = [](const nlohmann::json& object) {
        std::vector<std::string> names;
        for (auto it = object.begin(); it != object.end(); ++it)
            names.push_back(it.key());
        std::sort(names.begin(), names.end());
        return names;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ((Names{"feeds", "files", "pages", "publisherSignature", "readerSetup", "setup"}), keys(document));
    EXPECT_EQ(path, document["setup"]);
    ASSERT_EQ(3u, document["files"].size());
    EXPECT_EQ((nlohmann::json{
                  {"name", "rvl.exe"}, {"size", reader.size()}, {"sha256", Sha256Of(kStandins + "/signed/rvl.exe")}}),
              document["files"][0]);
    EXPECT_EQ("webpages.xml", document["files"][2]["name"]);
    const nlohmann::json& readerSetup = document["readerSetup"];
    EXPECT_EQ((Names{"name", "product", "signer", "verdict", "verified", "version"}), keys(readerSetup));
    EXPECT_EQ("Corvane", readerSetup["signer"]);
    EXPECT_EQ(true, readerSetup["verified"]);
    EXPECT_TRUE(document["publisherSignature"].is_null()) << "the setup itself is not signed";
    const nlohmann::json& folder = document["feeds"]["children"][0];
    EXPECT_EQ("folder", folder["type"]);
    EXPECT_EQ("News", folder["name"]);
    EXPECT_EQ("News", folder["attributes"]["Name"]);
    EXPECT_EQ((Names{"attributes", "name", "type", "url"}), keys(folder["children"][0]));
    EXPECT_EQ("http://d.example.com/rss", folder["children"][0]["url"]);
    ASSERT_EQ(1u, document["pages"].size());
    EXPECT_EQ("Home", document["pages"][0]["name"]);
    EXPECT_EQ("https://h.example.com/", document["pages"][0]["url"]);
}

TEST_F(RvlcProcessTest, VerifyPassesOnlyAWholeSetupWithTheMakersReaderSetup) {
    const std::string good = dir_ + "/good.exe", foreign = dir_ + "/foreign.exe";
    WriteSetup(good, ReadWhole(kStandins + "/signed/rvl.exe"));
    WriteSetup(foreign, ReadWhole(kStandins + "/foreign/rvl.exe"));
    std::string damaged = ReadWhole(good);
    damaged[damaged.size() / 2] ^= 0x55; // inside rvl.exe's stream
    WriteWhole(dir_ + "/damaged.exe", damaged);
    const struct {
        std::string setup;
        int code;
        const char* says;
    } cases[] = {
        {good, 0, "ok    reader setup: valid, signed by the maker"},
        {foreign, 4, "FAIL  reader setup: not signed by Corvane"},
        {dir_ + "/damaged.exe", 4, "FAIL  rvl.exe: "},
        {kCertificates + "/root.pem", 3, "not a customized setup"},
        {dir_ + "/missing.exe", 3, "cannot be opened"},
    };
    for (const auto& c : cases) {
        std::string output;
        EXPECT_EQ(c.code, Rvlc({"verify", c.setup, "--ca-file", kCertificates + "/root.pem"}, output))
            << c.setup << output;
        EXPECT_NE(std::string::npos, output.find(c.says)) << c.setup << ": " << output;
    }
}

// scripts/maker-server on a free loopback port, serving setup as the maker's reader setup, for as long as
// the object lives.
class MakerServer {
public:
    // option: one of maker-server's ways to answer the download, or empty for the setup itself.
    MakerServer(const std::string& dir, const std::string& setup, const std::string& option) {
        const std::string script = std::string(RVL_SOURCE_DIR) + "/scripts/maker-server";
        const std::string portFile = dir + "/port";
        std::remove(portFile.c_str());
        std::vector<std::string> args = {"python3", script, "--setup", setup, "--port-file", portFile};
        if (!option.empty())
            args.push_back(option);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, "python3", nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        for (int i = 0; pid_ != 0 && port_.empty() && i < 200; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            port_ = ReadWhole(portFile);
        }
    }
    ~MakerServer() {
        if (pid_ != 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    MakerServer(const MakerServer&) = delete;
    MakerServer& operator=(const MakerServer&) = delete;
    // The environment that routes every request of rvlc to this server.
    std::string Proxy() const { return "http_proxy=http://127.0.0.1:" + port_ + " https_proxy= no_proxy= "; }
    const std::string& Port() const { return port_; }
    bool Listening() const { return !port_.empty(); }

private:
    pid_t pid_ = 0;
    std::string port_;
};

TEST_F(RvlcProcessTest, UpdateDownloadsTheMakersSetupThroughTheProxyAndChecksIt) {
    const std::string root = kCertificates + "/root.pem";
    const std::string sha256 = Sha256Of(kStandins + "/signed/rvl.exe");
    const struct {
        const char* what;
        std::string served;
        const char* option;
        std::vector<std::string> pins;
        int code;
        std::string says;
    } cases[] = {
        {"the maker's setup", kStandins + "/signed/rvl.exe", "", {}, 0, "Downloading the reader setup: 100%"},
        {"another name's setup", kStandins + "/foreign/rvl.exe", "", {}, 4, "signed by Northwind Software Test"},
        {"an error page",
         kStandins + "/signed/rvl.exe",
         "--fail-download",
         {},
         4,
         "what the server sent is not a Windows program"},
        {"over 1 GiB",
         kStandins + "/signed/rvl.exe",
         "--oversize-download",
         {},
         4,
         "The file is larger than 1 GiB, more than any setup: the transfer was stopped."},
        {"pinned to its SHA-256",
         kStandins + "/signed/rvl.exe",
         "",
         {"--expect-sha256", sha256},
         0,
         "Reader setup: version 2.10.0.0, SHA-256 " + sha256 + "\n"},
        {"pinned to another SHA-256",
         kStandins + "/signed/rvl.exe",
         "",
         {"--expect-sha256=" + std::string(64, 'A')},
         4,
         "--expect-sha256 expects " + std::string(64, 'a') + ", its SHA-256 is " + sha256},
        {"a minimum version later than its own",
         kStandins + "/signed/rvl.exe",
         "",
         {"--min-version", "2.11"},
         4,
         "--min-version expects 2.11 or later, its version is 2.10.0.0"},
        {"a minimum version that it meets, compared as numbers",
         kStandins + "/signed/rvl.exe",
         "",
         {"--min-version=2.9.9"},
         0,
         "Reader setup: version 2.10.0.0"},
    };
    const std::string old = dir_ + "/old.exe";
    WriteSetup(old, "MZ an older reader setup");
    for (const auto& c : cases) {
        MakerServer server(dir_, c.served, c.option);
        ASSERT_TRUE(server.Listening()) << c.what;
        const std::string out = dir_ + "/new.exe";
        std::string output;
        std::vector<std::string> args = {"update", old, out, "--ca-file", root};
        args.insert(args.end(), c.pins.begin(), c.pins.end());
        EXPECT_EQ(c.code, Rvlc(args, output, server.Proxy())) << c.what << output;
        EXPECT_NE(std::string::npos, output.find(c.says)) << c.what << ": " << output;
        // The address it fetched, also when that failed.
        EXPECT_NE(std::string::npos, output.find("http://www.corvane.com/download/rvl/rvl.exe")) << c.what << output;
        // Not a console: a line at the start and the last state, not one per percent.
        size_t progressLines = 0;
        for (size_t at = 0; (at = output.find("Downloading the reader setup:", at)) != std::string::npos; ++at)
            ++progressLines;
        EXPECT_GE(2u, progressLines) << c.what << output;
        if (c.code == 0) {
            ASSERT_EQ(0, Rvlc({"extract", "--force", out, dir_ + "/x"}, output)) << output;
            EXPECT_EQ(ReadWhole(c.served), ReadWhole(dir_ + "/x/rvl.exe"))
                << "the setup that the server sent is packed";
        } else {
            EXPECT_NE(0, ::access(out.c_str(), F_OK)) << c.what;
        }
        std::remove(out.c_str());
    }
    // A download older than the reader setup in the setup being updated: refused, naming both versions,
    // unless --allow-older.
    WriteSetup(old, ReadWhole(kStandins + "/signed/rvl.exe"));
    {
        MakerServer server(dir_, kStandins + "/older/rvl.exe", "");
        ASSERT_TRUE(server.Listening());
        std::string output;
        EXPECT_EQ(4, Rvlc({"update", old, dir_ + "/new.exe", "--ca-file", root}, output, server.Proxy())) << output;
        EXPECT_NE(std::string::npos, output.find("rvl.exe: version 2.9.1.0 is older than 2.10.0.0"))
            << output;
        EXPECT_NE(0, ::access((dir_ + "/new.exe").c_str(), F_OK));
        EXPECT_EQ(0,
                  Rvlc({"update", "--allow-older", old, dir_ + "/new.exe", "--ca-file", root}, output, server.Proxy()))
            << output;
    }
    // Nobody listens where the proxy points: the download fails, and nothing is written.
    std::string output;
    EXPECT_EQ(4, Rvlc({"update", old, dir_ + "/new.exe"}, output, "http_proxy=http://127.0.0.1:9 no_proxy= "));
    EXPECT_NE(std::string::npos, output.find("the reader setup cannot be downloaded")) << output;
}

// SIGTERM or SIGINT during the download: the temporary copy goes, nothing stands at the output's name,
// and the exit code is the signal's.
TEST_F(RvlcProcessTest, AnInterruptedUpdateLeavesNoFileBehind) {
    MakerServer server(dir_, kStandins + "/signed/rvl.exe", "--stall-download");
    ASSERT_TRUE(server.Listening());
    const std::string old = dir_ + "/old.exe", out = dir_ + "/new.exe", temp = dir_ + "/tmp";
    WriteSetup(old, "MZ an older reader setup");
    ASSERT_EQ(0, ::mkdir(temp.c_str(), 0700));
    std::vector<std::string> env = {"http_proxy=http://127.0.0.1:" + server.Port(),
                                    "https_proxy=", "no_proxy=", "TMPDIR=" + temp};
    for (char** variable = environ; *variable; ++variable) {
        const std::string name = std::string(*variable).substr(0, std::string(*variable).find('='));
        if (name != "http_proxy" && name != "https_proxy" && name != "no_proxy" && name != "TMPDIR")
            env.push_back(*variable);
    }
    std::vector<std::string> args = {
        RVLC_PATH, "--quiet", "update", old, out, "--ca-file", kCertificates + "/root.pem"};
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> list;
        for (std::string& s : strings)
            list.push_back(&s[0]);
        list.push_back(nullptr);
        return list;
    };
    for (int signal : {SIGTERM, SIGINT}) {
        pid_t pid = 0;
        ASSERT_EQ(0, ::posix_spawn(&pid, RVLC_PATH, nullptr, nullptr, pointers(args).data(), pointers(env).data()));
        // Until the download has written part of the copy.
        bool downloading = false;
        for (int i = 0; i < 400 && !downloading; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            for (const std::string& name : TemporaryFiles(temp)) {
                struct stat status;
                downloading = downloading || (::stat((temp + "/" + name).c_str(), &status) == 0 && status.st_size > 0);
            }
        }
        EXPECT_TRUE(downloading);
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << signal << ": " << status;
        EXPECT_EQ(std::vector<std::string>(), TemporaryFiles(temp)) << signal;
        EXPECT_EQ(std::vector<std::string>(), TemporaryFiles(dir_)) << signal;
        EXPECT_NE(0, ::access(out.c_str(), F_OK)) << signal;
    }
}

} // namespace
