// The platform of the native build: files through POSIX, the signature check with OpenSSL, the download
// with libcurl, the shipping extractor embedded at build time; no OPML import or feed fetch.
#include "rvlc/platform.h"

#include "download/page/maker_address.h"
#include "download/page/setup_image.h"
#include "rvlc/curl_download.h"

#include "builder/authenticode_verify.h"
#include "builder/maker_signers.h"
#include "builder/setup_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The shipping 32-bit extractor, embedded at build time (rvlc/shipping_extractor.cpp.in).
extern "C" const char rvl_shipping_extractor[];
extern "C" const std::uint32_t rvl_shipping_extractor_size;

namespace rvlc {

namespace {
const char kNeedsWindows[] = "not available in this build of rvlc (it needs Windows)";

// Set once per command line by UseRootCertificates.
std::string rootCertificates;

std::string Verdict(const authenticode::Result& result) {
    const std::string notMaker = std::string("not signed by ") + kMakerSignerNames[0] + ": ";
    switch (result.verdict) {
    case authenticode::Verdict::kTrusted:
        return "valid, signed by the maker" +
               (result.timestamp.empty() ? std::string() : ", timestamped " + result.timestamp);
    case authenticode::Verdict::kNotSigned:
    case authenticode::Verdict::kNotMaker:
    case authenticode::Verdict::kUntrusted:
        return notMaker + result.reason;
    case authenticode::Verdict::kDamaged:
        return "damaged: " + result.reason;
    case authenticode::Verdict::kNotProgram:
        return "not a Windows program: " + result.reason;
    case authenticode::Verdict::kUnreadable:
        break;
    }
    return "the file cannot be read: " + result.reason;
}
} // namespace

const char kPlatformHelp[] =
    "\n"
    "Before anything is packed, the reader setup's signature is checked with OpenSSL: the Authenticode\n"
    "digest of the program, its PKCS #7 signature, the signer's name (the maker's), the chain to a trusted\n"
    "root, and a timestamp, which keeps a signature valid after its certificate expired. There is no way to\n"
    "skip the check. Revocation is not checked.\n"
    "  --ca-file FILE    trust only the root certificates in FILE (PEM), not the system's; any command\n"
    "                    takes it\n"
    "\n"
    "Downloads (build --download, update) fetch the maker's address with libcurl: http and https, through\n"
    "the proxy that http_proxy or https_proxy names; a transfer stops after 60 seconds without data or at\n"
    "1 GiB. OPML files and --verify-feeds need the Windows build.\n";

bool HasWindowsInterfaces() {
    return false;
}

const feedtext::Charsets* PlatformCharsets() {
    return nullptr;
}

bool ErrorIsConsole() {
    return ::isatty(2) != 0;
}

std::string LastErrorText() {
    return std::strerror(errno);
}

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& cause) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    cause = LastErrorText();
    return false;
}

bool MakeFolder(const std::string& path, std::string& cause) {
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return true;
    cause = LastErrorText();
    return false;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string TemporaryName(const std::string& path) {
    std::string base;
    if (path.empty()) {
        const char* temp = std::getenv("TMPDIR");
        base = JoinPath(temp && *temp ? temp : "/tmp", "rvlc");
    } else {
        base = path;
    }
    // The process id keeps two runs apart; the counter keeps the names of one run apart.
    static unsigned counter = 0;
    for (;;) {
        const std::string name = base + "." + std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
        struct stat status;
        if (::stat(name.c_str(), &status) != 0)
            return name;
    }
}

bool LoadOwnStub(std::string& stub) {
    stub.assign(rvl_shipping_extractor, rvl_shipping_extractor_size);
    return !stub.empty();
}

bool CheckReaderSetup(const std::string& path, ReaderSetupCheck& check) {
    check = ReaderSetupCheck();
    pkg::StdioSource file;
    if (!file.Open(path)) {
        check.verdict = "the file cannot be read: " + LastErrorText();
        return true;
    }
    const authenticode::Result result = authenticode::VerifyProgram(file, rootCertificates);
    check.signer = result.signer;
    check.trusted = result.verdict == authenticode::Verdict::kTrusted;
    check.verdict = Verdict(result);
    return true;
}

bool UseRootCertificates(const std::string& file, std::string&) {
    rootCertificates = file;
    return true;
}

bool DownloadReaderSetup(const std::string& target, std::string& cause) {
    ProgressLine progress(ErrorIsConsole());
    if (!CurlDownload(kReaderDownloadAddress, target, progress, cause))
        return false;
    // What the server sent must be a Windows program, as the wizard's download page demands.
    if (!IsWindowsProgramFile(target)) {
        cause = "what the server sent is not a Windows program";
        return false;
    }
    return true;
}

bool ReadOpml(const std::string&, std::string&, std::vector<WebPageRow>&, std::string& cause) {
    cause = kNeedsWindows;
    return false;
}

bool SameFeed(const std::string& a, const std::string& b) {
    return a == b;
}

bool VerifyFeed(const std::string&, std::string& reason) {
    reason = kNeedsWindows;
    return false;
}

} // namespace rvlc
