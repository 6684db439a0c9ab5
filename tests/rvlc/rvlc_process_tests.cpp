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
    // A download older than the reader setup in the setup being updated: refused, naming both versions,
    // unless --allow-older.
    WriteSetup(old, ReadWhole(kStandins + "/signed/rvl.exe"));
    {
        MakerServer server(dir_, kStandins + "/older/rvl.exe", "");
        ASSERT_TRUE(server.Listening());
        std::string output;
        EXPECT_EQ(4, Rvlc({"update", old, dir_ + "/new.exe", "--ca-file", root}, output, server.Proxy())) << output;
        EXPECT_NE(std::string::npos, output.find("the downloaded reader setup: version 2.9.1.0 is older than 2.10.0.0"))
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

} // namespace
