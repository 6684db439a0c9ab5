// The commands of the native rvlc, which a publisher's CI runs without Wine: extract and build from an
// earlier setup give back the same files; what needs Windows is refused as usage. The reader setup is the
// stand-in signed as the maker, which the test root (--ca-file) vouches for.
#include "builder/setup_file.h"
#include "rvlc/rvlc.h"
#include "tests/rvlc/native_files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

namespace {

class NativeRvlcTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/rvlc-native-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(folder));
        dir_ = folder;
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
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string dir_, old_, feeds_, pages_;
    const std::string stub_ = "MZ stand-in extractor";
    const std::string reader_ = ReadWhole(std::string(RVL_STANDIN_DIR) + "/signed/rvl.exe");
    const std::string root_ = std::string(RVL_TEST_CERT_DIR) + "/root.pem";
};

TEST_F(NativeRvlcTest, ExtractAndBuildFromAnEarlierSetupKeepEveryFile) {
    ASSERT_EQ(0, rvlc::Run({"extract", old_, dir_ + "/x"}));
    EXPECT_EQ(reader_, ReadWhole(dir_ + "/x/rvl.exe"));
    EXPECT_EQ(feeds_, ReadWhole(dir_ + "/x/feeds.xml"));
    EXPECT_EQ(pages_, ReadWhole(dir_ + "/x/webpages.xml"));

    const std::string built = dir_ + "/new.exe";
    ASSERT_EQ(0, rvlc::Run({"build", "--from", old_, "--out", built, "--ca-file", root_}));
    EXPECT_EQ(ReadWhole(old_), ReadWhole(built)) << "the same stub, setup and data files, packed the same way";
    ASSERT_EQ(0, rvlc::Run({"show", built, "--ca-file", root_}));
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

} // namespace
