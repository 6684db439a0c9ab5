// The signature check of a reader setup through the system's WinVerifyTrust, over the stand-in reader
// setup as built (unsigned) and as signed by the build's test certificates: bin/standin/signed/rvl.exe
// ("Corvane") and bin/standin/foreign/rvl.exe (another name).
#include "builder/setup_trust.h"
#include "tests/builder/win_files.h"

#include <gtest/gtest.h>

namespace {

std::string Standin(const char* folder) {
    return pkgtest::ReadWhole(pkgtest::ProgramFolder() + "standin\\" + folder + "rvl.exe");
}

// A file name with a letter outside ASCII, in the process code page: the check must find the file.
std::string NonAsciiName() {
    char name[16] = {};
    ::WideCharToMultiByte(CP_ACP, 0, L"Setup-\u00e9.exe", -1, name, sizeof name, nullptr, nullptr);
    return name;
}

struct TrustCase {
    const char* what;
    std::string data;
    SetupTrust expected;
    const char* signer; // the signer's name reported, for an intact signature or none
};

TEST(SetupTrust, OnlyTheMakersIntactSignatureIsTrusted) {
    const std::string signedByMaker = Standin("signed\\");
    const std::string foreign = Standin("foreign\\");
    ASSERT_GT(signedByMaker.size(), 4096u);
    std::string changed = signedByMaker;
    changed[changed.size() / 2] ^= 0x01;
    const TrustCase cases[] = {
        {"signed by the maker", signedByMaker, kSetupTrusted, "Corvane"},
        {"unsigned", Standin(""), kSetupNotSigned, ""},
        {"signed by another name", foreign, kSetupNotSigned, "Northwind Software Test"},
        {"one byte changed", changed, kSetupDamaged, ""},
        {"cut short in the signature", signedByMaker.substr(0, signedByMaker.size() - 100), kSetupDamaged, ""},
        {"cut short in the program", signedByMaker.substr(0, 6000), kSetupDamaged, ""},
        {"not a program", "<html>Moved</html>", kSetupNotSigned, ""},
    };
    const std::string path = pkgtest::TempPath() + NonAsciiName();
    for (const TrustCase& c : cases) {
        ASSERT_TRUE(pkgtest::WriteWhole(path, c.data)) << c.what;
        std::string signer = "stale";
        EXPECT_EQ(c.expected, CheckSetupTrust(path, &signer)) << c.what;
        // Whom a damaged signature names is of no use to anyone.
        if (c.expected != kSetupDamaged) {
            EXPECT_EQ(c.signer, signer) << c.what;
        }
    }
    ::DeleteFileA(path.c_str());
    EXPECT_EQ(kSetupUnreadable, CheckSetupTrust(path, nullptr));
}

} // namespace
