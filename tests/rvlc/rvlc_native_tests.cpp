// The commands of the native rvlc, which a publisher's CI runs without Wine: extract and build from an
// earlier setup give back the same files behind the extractor that rvlc carries; what needs Windows is
// refused as usage. The reader setup is the stand-in signed as the maker, which the test root (--ca-file)
// vouches for.
#include "builder/setup_file.h"
#include "rvlc/rvlc.h"
#include "tests/rvlc/native_files.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

class NativeRvlcTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        CFeedFolder news("News");
        news.Add("Daily", "http://d.example.com/rss");
        int count = 0;
        feeds_ = FeedsXmlText({news}, count);
        pages_ = WebPagesXmlText({{"Home", "https://h.example.com/"}});
        pkg::MemoryInput reader(reader_), feeds(feeds_), pages(pages_);
        pkg::MemoryOutput setup;
        ASSERT_EQ(pkg::kSuccess, pkg::WritePackage(stub_,
                                                   {{"rvl.exe", &reader, reader_.size()},
                                                    {"feeds.xml", &feeds, feeds_.size()},
                                                    {"webpages.xml", &pages, pages_.size()}},
                                                   setup));
        old_ = dir_ + "/old.exe";
        WriteWhole(old_, setup.bytes);
    }

    NativeScratch scratch_;
    const std::string dir_ = scratch_.Path();
    std::string old_, feeds_, pages_;
    const std::string stub_ = "MZ stand-in extractor";
    const std::string reader_ = ReadWhole(std::string(RVL_STANDIN_DIR) + "/signed/rvl.exe");
    const std::string root_ = std::string(RVL_TEST_CERT_DIR) + "/root.pem";
};

TEST_F(NativeRvlcTest, ExtractAndBuildFromAnEarlierSetupKeepEveryFile) {
    ASSERT_EQ(0, rvlc::Run({"extract", old_, dir_ + "/x"}));
    EXPECT_EQ(reader_, ReadWhole(dir_ + "/x/rvl.exe"));
    EXPECT_EQ(feeds_, ReadWhole(dir_ + "/x/feeds.xml"));
    EXPECT_EQ(pages_, ReadWhole(dir_ + "/x/webpages.xml"));

    // The earlier setup's stand-in extractor gives way to the one that rvlc carries; a second rebuild
    // changes nothing.
    const std::string built = dir_ + "/new.exe", again = dir_ + "/again.exe";
    ASSERT_EQ(0, rvlc::Run({"build", "--from", old_, "--out", built, "--ca-file", root_}));
    ASSERT_EQ(0, rvlc::Run({"build", "--from", built, "--out", again, "--ca-file", root_}));
    EXPECT_TRUE(ReadWhole(built) == ReadWhole(again)) << "the same stub, setup and data files, packed the same way";
    ASSERT_EQ(0, rvlc::Run({"show", built, "--ca-file", root_}));
    ASSERT_EQ(0, rvlc::Run({"extract", built, dir_ + "/y"}));
    for (const char* name : {"rvl.exe", "feeds.xml", "webpages.xml"})
        EXPECT_EQ(ReadWhole(dir_ + "/x/" + name), ReadWhole(dir_ + "/y/" + name)) << name;
}

int RunCaptured(const std::string& dir, const std::vector<std::string>& args, std::string& out, std::string& err);

// A setup rebuilt from an earlier one that its publisher signed carries no trace of that signature in
// its header, so that it can be signed again as it is (osslsigncode, as the publisher would, is the judge).
TEST_F(NativeRvlcTest, ASetupRebuiltFromASignedOneCanBeSignedAgain) {
    const std::string certs = std::string(RVL_TEST_CERT_DIR) + "/";
    const std::string sign = "osslsigncode sign -certs '" + certs + "publisher-chain.pem' -key '" + certs +
                             "publisher.key' -h sha256 -in '%s' -out '%s' >/dev/null 2>&1";
    const std::string verify = "osslsigncode verify -CAfile '" + root_ + "' -in '%s' >/dev/null 2>&1";
    auto run = [](const std::string& format, const std::string& a, const std::string& b = std::string()) {
        char command[4096];
        std::snprintf(command, sizeof command, format.c_str(), a.c_str(), b.c_str());
        return std::system(command);
    };
    // An extractor that is a real program: the unsigned stand-in.
    const std::string program = ReadWhole(std::string(RVL_STANDIN_DIR) + "/rvl.exe");
    pkg::MemoryInput reader(reader_), feeds(feeds_);
    pkg::MemoryOutput setup;
    ASSERT_EQ(pkg::kSuccess,
              pkg::WritePackage(program, {{"rvl.exe", &reader, reader_.size()}, {"feeds.xml", &feeds, feeds_.size()}},
                                setup));
    WriteWhole(dir_ + "/old.exe", setup.bytes);
    ASSERT_EQ(0, run(sign, dir_ + "/old.exe", dir_ + "/old-signed.exe"));
    ASSERT_EQ(0, run(verify, dir_ + "/old-signed.exe"));

    ASSERT_EQ(0,
              rvlc::Run({"build", "--from", dir_ + "/old-signed.exe", "--out", dir_ + "/new.exe", "--ca-file", root_}));
    // Unsigned as it is: no signature left in the header. (Its checksum is not judged here: for a file of
    // odd length, osslsigncode leaves out the last byte, which Windows counts.)
    std::string said;
    if (FILE* pipe = ::popen(("osslsigncode verify -in '" + dir_ + "/new.exe' 2>&1").c_str(), "r")) {
        char buffer[512];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            said.append(buffer, got);
        ::pclose(pipe);
    }
    EXPECT_NE(std::string::npos, said.find("No signature found")) << said;
    EXPECT_EQ(std::string::npos, said.find("signature not at the end")) << said;
    EXPECT_EQ(0, run(sign, dir_ + "/new.exe", dir_ + "/new-signed.exe"));
    EXPECT_EQ(0, run(verify, dir_ + "/new-signed.exe")) << "the rebuilt setup, signed again";
    // show --json names the publisher's own signature, which is not the maker's and need not be.
    std::string out, err;
    ASSERT_EQ(0, RunCaptured(dir_, {"show", "--json", dir_ + "/new-signed.exe", "--ca-file", root_}, out, err)) << err;
    const nlohmann::json shown = nlohmann::json::parse(out, nullptr, false);
    EXPECT_EQ((nlohmann::json{{"signer", "Example Publisher Test"}, {"verified", true}, {"verdict", "valid"}}),
              shown["publisherSignature"])
        << out;
    ASSERT_EQ(0, rvlc::Run({"extract", dir_ + "/new-signed.exe", dir_ + "/x"}));
    EXPECT_EQ(reader_, ReadWhole(dir_ + "/x/rvl.exe"));
}

TEST_F(NativeRvlcTest, WhatNeedsWindowsOrIsBrokenGivesItsExitCode) {
    WriteWhole(dir_ + "/dtd.xml", "<!DOCTYPE a [<!ENTITY b \"c\">]><Folder Name=\"All Feeds\"/>");
    WriteWhole(dir_ + "/list.opml", "<opml version=\"1.0\"><body/></opml>");
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{"build", "--from", old_, "--verify-feeds", "--out", dir_ + "/n.exe"}, 2},
        {{"build", "--from", old_, "--feeds", dir_ + "/list.opml", "--out", dir_ + "/n.exe"}, 2},
        {{"build", "--feeds", dir_ + "/x.xml", "--setup", old_, "--out", dir_ + "/n.exe"}, 3},
        {{"build", "--from", old_, "--feeds", dir_ + "/dtd.xml", "--out", dir_ + "/n.exe"}, 3},
        {{"show", dir_ + "/dtd.xml"}, 3},
        {{"build", "--from", old_, "--out", dir_ + "/no/such/n.exe", "--ca-file", root_}, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, rvlc::Run(c.args)) << c.args[0] << " " << c.args[1] << " " << c.args[2];
        EXPECT_NE(0, ::access((dir_ + "/n.exe").c_str(), F_OK));
    }
}

// Existing files are replaced only with --force: without it the first one is named and nothing is
// written; a folder that cannot be written is exit 5, and no temporary file is left either way.
TEST_F(NativeRvlcTest, ExtractReplacesExistingFilesOnlyWithForce) {
    const std::string x = dir_ + "/x";
    ASSERT_EQ(0, rvlc::Run({"extract", old_, x}));
    WriteWhole(x + "/rvl.exe", "mine");
    ::remove((x + "/webpages.xml").c_str());
    EXPECT_EQ(5, rvlc::Run({"extract", old_, x}));
    EXPECT_EQ("mine", ReadWhole(x + "/rvl.exe"));
    EXPECT_NE(0, ::access((x + "/webpages.xml").c_str(), F_OK)) << "nothing is written";
    EXPECT_EQ(0, rvlc::Run({"extract", "--force", old_, x}));
    EXPECT_EQ(reader_, ReadWhole(x + "/rvl.exe"));
    EXPECT_EQ(pages_, ReadWhole(x + "/webpages.xml"));
    // A file where the folder should be: nothing can be written under it.
    WriteWhole(dir_ + "/file", "a file");
    EXPECT_EQ(5, rvlc::Run({"extract", old_, dir_ + "/file"}));
    EXPECT_EQ(std::vector<std::string>(), TemporaryFiles(x));
    EXPECT_EQ(std::vector<std::string>(), TemporaryFiles(dir_));
}

// The output is written under a name of its own and renamed into place: a link planted at the output's
// name is replaced, never written through.
TEST_F(NativeRvlcTest, ALinkAtTheOutputsNameIsReplacedNotFollowed) {
    WriteWhole(dir_ + "/victim", "untouched");
    const std::string out = dir_ + "/new.exe";
    ASSERT_EQ(0, ::symlink((dir_ + "/victim").c_str(), out.c_str()));
    ASSERT_EQ(0, rvlc::Run({"build", "--from", old_, "--out", out, "--ca-file", root_}));
    EXPECT_EQ("untouched", ReadWhole(dir_ + "/victim"));
    struct stat status;
    ASSERT_EQ(0, ::lstat(out.c_str(), &status));
    EXPECT_TRUE(S_ISREG(status.st_mode));
    const std::string plain = dir_ + "/plain.exe";
    ASSERT_EQ(0, rvlc::Run({"build", "--from", old_, "--out", plain, "--ca-file", root_}));
    EXPECT_TRUE(ReadWhole(plain) == ReadWhole(out)) << "the setup went to the link's name";
}

// Runs rvlc with standard output and standard error each into a file of dir.
int RunCaptured(const std::string& dir, const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    FILE* outFile = std::freopen((dir + "/stdout").c_str(), "wb", stdout);
    FILE* errFile = std::fopen((dir + "/stderr").c_str(), "wb");
    ::dup2(::fileno(errFile), 2);
    const int code = rvlc::Run(args);
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    std::fclose(errFile);
    (void)outFile;
    out = ReadWhole(dir + "/stdout");
    err = ReadWhole(dir + "/stderr");
    return code;
}

TEST_F(NativeRvlcTest, EveryElementAndAttributeSurvivesARebuildAndAFeedsFileReplacesTheFeeds) {
    const std::string kept = "<Folder Name=\"All Feeds\" Status=\"0\" UpdateCount=\"0\" SpecialData=\"1\">"
                             "<Folder Name=\"News\" Color=\"red\"><Folder Name=\"Inner\"><Feed Name=\"A\" "
                             "URL=\"http://a/\" AutoUpdateFreq=\"3\" AutoUpdateUnit=\"hours\"/></Folder>"
                             "<Feed Name=\"B\" URL=\"https://b/\"/></Folder></Folder>\n";
    WriteWhole(dir_ + "/feeds.xml", kept);
    ASSERT_EQ(0, rvlc::Run({"build", "--from", old_, "--feeds", dir_ + "/feeds.xml", "--out", dir_ + "/a.exe",
                            "--ca-file", root_}));
    ASSERT_EQ(0, rvlc::Run({"build", "--from", dir_ + "/a.exe", "--out", dir_ + "/b.exe", "--ca-file", root_}));
    ASSERT_EQ(0, rvlc::Run({"extract", dir_ + "/b.exe", dir_ + "/b"}));
    EXPECT_EQ(kept, ReadWhole(dir_ + "/b/feeds.xml")) << "the old feeds are replaced, not added to";
    EXPECT_EQ(pages_, ReadWhole(dir_ + "/b/webpages.xml"));
}

TEST_F(NativeRvlcTest, RecordsThatBreakTheRulesAreNamedAndRefusedUnlessSkipped) {
    WriteWhole(dir_ + "/feeds.xml", "<Folder Name=\"All Feeds\">\n<Folder Name=\"F\">\n"
                                    "<Feed Name=\"Files\" URL=\"file:///c:/x\"/><Feed Name=\" \" URL=\"http://a/\"/>"
                                    "<Feed Name=\"Ok\" URL=\"http://ok/\"/></Folder></Folder>");
    WriteWhole(dir_ + "/bad.xml", "<Folder Name=\"All Feeds\">\n  <Feed Name=\"\x1B]0;owned\x07\"/></Folder>");
    const std::string feeds = dir_ + "/feeds.xml", out = dir_ + "/n.exe";
    std::string stdoutText, stderrText;
    EXPECT_EQ(3, RunCaptured(dir_, {"build", "--from", old_, "--feeds", feeds, "--out", out, "--ca-file", root_},
                             stdoutText, stderrText));
    EXPECT_EQ("", stdoutText);
    EXPECT_EQ(feeds + ":3:1: a record whose URL is no http or https address: \"Files\" <file:///c:/x>\n" + feeds +
                  ":3:40: a record without a title: \" \" <http://a/>\n",
              stderrText);
    EXPECT_NE(0, ::access(out.c_str(), F_OK));

    ASSERT_EQ(
        0, RunCaptured(dir_,
                       {"build", "--from", old_, "--feeds", feeds, "--skip-invalid", "--out", out, "--ca-file", root_},
                       stdoutText, stderrText));
    EXPECT_NE(std::string::npos, stderrText.find(":3:1: a record whose URL is no http or https address: \"Files\" "
                                                 "<file:///c:/x> (left out)\n"))
        << stderrText;
    EXPECT_NE(std::string::npos, stderrText.find(":3:40: a record without a title: \" \" <http://a/> (left out)\n"));
    ASSERT_EQ(0, RunCaptured(dir_, {"show", out, "--ca-file", root_}, stdoutText, stderrText));
    EXPECT_NE(std::string::npos, stdoutText.find("Feed folders: 1\n  F\n    Ok <http://ok/>\nWeb pages: 1\n"))
        << stdoutText;

    EXPECT_EQ(3, RunCaptured(dir_, {"build", "--from", old_, "--feeds", dir_ + "/bad.xml", "--out", out}, stdoutText,
                             stderrText));
    EXPECT_EQ("rvlc: " + dir_ + "/bad.xml:2:15: a title holds a character that XML does not allow (U+001B)\n",
              stderrText);
}

TEST_F(NativeRvlcTest, ShowPrintsControlCharactersEscaped) {
    // A record that the rules refuse still shows, named on standard error, with its controls escaped.
    CFeedFolder folder("Tab\there");
    folder.Add("Bell \xC2\x9B", "javascript:alert(1)");
    int count = 0;
    const std::string feeds = FeedsXmlText({folder}, count);
    pkg::MemoryInput reader(reader_), input(feeds);
    pkg::MemoryOutput setup;
    ASSERT_EQ(
        pkg::kSuccess,
        pkg::WritePackage(stub_, {{"rvl.exe", &reader, reader_.size()}, {"feeds.xml", &input, feeds.size()}}, setup));
    WriteWhole(dir_ + "/s.exe", setup.bytes);
    std::string stdoutText, stderrText;
    ASSERT_EQ(0, RunCaptured(dir_, {"show", dir_ + "/s.exe", "--ca-file", root_}, stdoutText, stderrText));
    EXPECT_NE(std::string::npos, stdoutText.find("  Tab\\x09here\n    Bell \\xC2\\x9B <javascript:alert(1)>\n"))
        << stdoutText;
    EXPECT_NE(std::string::npos, stderrText.find("(feeds.xml):1:"));
}

} // namespace
