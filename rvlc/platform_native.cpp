// The platform of the native build: files through POSIX, the signature check with OpenSSL, the download
// with libcurl; no OPML import or feed fetch.
#include "rvlc/platform.h"

#include "download/page/maker_address.h"
#include "download/page/setup_image.h"
#include "rvlc/curl_download.h"

#include "builder/authenticode_verify.h"
#include "builder/maker_signers.h"
#include "builder/setup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

bool LoadOwnStub(std::string&) {
    return false;
}

namespace {

// A private copy of the reader setup: POSIX has no share modes that would keep others from writing to the
// file while it is checked and packed, so its bytes are copied once into a file that has no name and that
// only this process holds, and everything afterwards reads the copy.
class PrivateCopy final : public HeldSetup {
public:
    ~PrivateCopy() override {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }

    bool Make(const std::string& path, std::string& cause) {
        const int source = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (source < 0) {
            cause = LastErrorText();
            return false;
        }
        const bool copied = Copy(source, cause);
        ::close(source);
        return copied;
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override {
        if (pos > size_ || size > size_ - pos)
            return false;
        char* into = static_cast<char*>(buffer);
        while (size != 0) {
            const ssize_t got = ::pread(descriptor_, into, size, static_cast<off_t>(pos));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            into += got, pos += static_cast<uint64_t>(got), size -= static_cast<uint32_t>(got);
        }
        return true;
    }
    void CheckSignature(ReaderSetupCheck& check) override {
        const authenticode::Result result = authenticode::VerifyProgram(*this, rootCertificates);
        check.signer = result.signer;
        check.trusted = result.verdict == authenticode::Verdict::kTrusted;
        check.verdict = Verdict(result);
    }

private:
    bool Copy(int source, std::string& cause) {
        struct stat status;
        if (::fstat(source, &status) != 0) {
            cause = LastErrorText();
            return false;
        }
        if (!S_ISREG(status.st_mode)) {
            cause = "not a regular file";
            return false;
        }
        const char* temp = std::getenv("TMPDIR");
        const std::string folder = temp && *temp ? temp : "/tmp";
#ifdef O_TMPFILE
        descriptor_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
#endif
        if (descriptor_ < 0) {
            // Where the file system has no unnamed files: a name that nobody can guess, gone at once.
            std::string name = JoinPath(folder, "rvlc-reader-XXXXXX");
            descriptor_ = ::mkstemp(&name[0]);
            if (descriptor_ >= 0)
                ::unlink(name.c_str());
        }
        if (descriptor_ < 0) {
            cause = "no private copy can be made in " + folder + ": " + LastErrorText();
            return false;
        }
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t got = ::read(source, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                cause = LastErrorText();
                return false;
            }
            if (got == 0)
                return true;
            for (ssize_t written = 0; written < got;) {
                const ssize_t put = ::write(descriptor_, buffer.data() + written, static_cast<size_t>(got - written));
                if (put < 0 && errno == EINTR)
                    continue;
                if (put <= 0) {
                    cause = "no private copy can be made: " + LastErrorText();
                    return false;
                }
                written += put;
            }
            size_ += static_cast<uint64_t>(got);
        }
    }

    int descriptor_ = -1;
    uint64_t size_ = 0;
};

} // namespace

std::unique_ptr<HeldSetup> HoldReaderSetup(const std::string& path, std::string& cause) {
    std::unique_ptr<PrivateCopy> copy(new PrivateCopy);
    if (!copy->Make(path, cause))
        return nullptr;
    return std::unique_ptr<HeldSetup>(std::move(copy));
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
