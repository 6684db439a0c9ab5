// The native rvlc run as a program: its own signature check packs only a reader setup that the maker
// signed, unchanged, chained to a trusted root (or dated by a timestamp while its certificate was valid);
// its download fetches the maker's address from a loopback stand-in of the maker's server through
// http_proxy.
#include "builder/setup_file.h"
#include "tests/rvlc/native_files.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
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

class RvlcProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }

    // A customized setup at path that packs reader as its reader setup.
    void WriteSetup(const std::string& path, const std::string& reader) {
        pkg::MemoryInput input(reader);
        pkg::MemoryOutput setup;
        ASSERT_EQ(pkg::kSuccess, pkg::WritePackage("MZ stand-in extractor", {{"rvl.exe", &input, reader.size()}}, setup));
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

TEST_F(RvlcProcessTest, ShowReportsTheSignersNameAndTheVerdict) {
    const struct {
        const char* reader;
        const char* signer;
        const char* verdict;
    } cases[] = {
        {"stamped", "Corvane", "valid, signed by the maker, timestamped 2020-06-01 00:00:00 UTC"},
        {"foreign", "Northwind Software Test", "not signed by Corvane: signed by Northwind Software Test"},
    };
    // Both test roots in one file: each reader chains to one of them.
    const std::string roots = dir_ + "/roots.pem";
    WriteWhole(roots, ReadWhole(kCertificates + "/root.pem") + ReadWhole(kCertificates + "/old-root.pem"));
    for (const auto& c : cases) {
        const std::string setup = dir_ + "/" + c.reader + ".exe";
        WriteSetup(setup, ReadWhole(kStandins + "/" + c.reader + "/rvl.exe"));
        std::string output;
        EXPECT_EQ(0, Rvlc({"show", setup, "--ca-file=" + roots}, output)) << output;
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
    bool Listening() const { return !port_.empty(); }

private:
    pid_t pid_ = 0;
    std::string port_;
};

TEST_F(RvlcProcessTest, UpdateDownloadsTheMakersSetupThroughTheProxyAndChecksIt) {
    const std::string root = kCertificates + "/root.pem";
    const struct {
        const char* what;
        std::string served;
        const char* option;
        int code;
        const char* says;
    } cases[] = {
        {"the maker's setup", kStandins + "/signed/rvl.exe", "", 0, "Downloading the reader setup: 100%"},
        {"another name's setup", kStandins + "/foreign/rvl.exe", "", 4, "signed by Northwind Software Test"},
        {"an error page", kStandins + "/signed/rvl.exe", "--fail-download", 4,
         "what the server sent is not a Windows program"},
        {"over 1 GiB", kStandins + "/signed/rvl.exe", "--oversize-download", 4,
         "The file is larger than 1 GiB, more than any setup: the transfer was stopped."},
    };
    const std::string old = dir_ + "/old.exe";
    WriteSetup(old, "MZ an older reader setup");
    for (const auto& c : cases) {
        MakerServer server(dir_, c.served, c.option);
        ASSERT_TRUE(server.Listening()) << c.what;
        const std::string out = dir_ + "/new.exe";
        std::string output;
        EXPECT_EQ(c.code, Rvlc({"update", old, out, "--ca-file", root}, output, server.Proxy())) << c.what << output;
        EXPECT_NE(std::string::npos, output.find(c.says)) << c.what << ": " << output;
        if (c.code == 0) {
            ASSERT_EQ(0, Rvlc({"extract", out, dir_ + "/x"}, output)) << output;
            EXPECT_EQ(ReadWhole(c.served), ReadWhole(dir_ + "/x/rvl.exe")) << "the setup that the server sent is packed";
        } else {
            EXPECT_NE(0, ::access(out.c_str(), F_OK)) << c.what;
        }
        std::remove(out.c_str());
    }
    // Nobody listens where the proxy points: the download fails, and nothing is written.
    std::string output;
    EXPECT_EQ(4, Rvlc({"update", old, dir_ + "/new.exe"}, output, "http_proxy=http://127.0.0.1:9 no_proxy= "));
    EXPECT_NE(std::string::npos, output.find("the reader setup cannot be downloaded")) << output;
}

} // namespace
