// The platform of the native build: files through POSIX, the signature check with OpenSSL, the download
// with libcurl, the shipping extractor embedded at build time; no OPML import or feed fetch.
#include "rvlc/platform.h"

#include "download/page/maker_address.h"
#include "download/page/setup_image.h"
#include "rvlc/curl_download.h"

#include "builder/authenticode_verify.h"
#include "builder/maker_signers.h"
#include "builder/setup_file.h"
#include "rvlc/cleanup.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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
    "1 GiB.\n";

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

bool CreateTemporaryFile(const std::string& beside, std::string& name, FILE*& file, std::string& cause) {
    std::string base;
    if (beside.empty()) {
        const char* temp = std::getenv("TMPDIR");
        base = JoinPath(temp && *temp ? temp : "/tmp", "rvlc");
    } else {
        base = beside;
    }
    file = nullptr;
    // O_EXCL|O_NOFOLLOW: a file or a link that someone planted at the name is never opened or followed;
    // the random part makes such a planting a guess of 64 bits.
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[8];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            cause = LastErrorText();
            return false;
        }
        char suffix[2 * sizeof random + 1];
        for (size_t i = 0; i < sizeof random; ++i)
            std::snprintf(suffix + 2 * i, 3, "%02x", random[i]);
        name = base + "." + suffix + ".tmp";
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            cause = LastErrorText();
            return false;
        }
        file = ::fdopen(fd, "w+b");
        if (!file) {
            cause = LastErrorText();
            ::close(fd);
            ::unlink(name.c_str());
            return false;
        }
        return true;
    }
    cause = "no unused temporary name was found";
    return false;
}

bool PathExists(const std::string& path) {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

namespace {
// An absolute path with "." and ".." resolved in the text alone and runs of slashes made one.
std::string NormalPath(const std::string& path) {
    std::string absolute = path;
    if (path.empty() || path[0] != '/') {
        char cwd[4096];
        absolute = std::string(::getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + path;
    }
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= absolute.size()) {
        const size_t slash = std::min(absolute.find('/', at), absolute.size());
        const std::string part = absolute.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash + 1;
    }
    std::string normal;
    for (const std::string& part : parts)
        normal += "/" + part;
    return normal.empty() ? "/" : normal;
}
} // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    return NormalPath(a) == NormalPath(b);
}

namespace {
void Unlink(const char* path) {
    ::unlink(path);
}

extern "C" void OnInterruption(int signal) {
    // Only what a signal handler may call: unlink and _exit.
    RemoveRegisteredFiles(Unlink);
    ::_exit(128 + signal);
}
} // namespace

void RemoveFilesOnInterruption() {
    struct sigaction action = {};
    action.sa_handler = OnInterruption;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

bool LoadOwnStub(std::string& stub) {
    stub.assign(rvl_shipping_extractor, rvl_shipping_extractor_size);
    return !stub.empty();
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

bool DownloadReaderSetup(const std::string& target, bool quiet, std::string& cause) {
    ProgressLine progress(ErrorIsConsole(), quiet);
    if (!CurlDownload(kReaderDownloadAddress, target, progress, cause))
        return false;
    // What the server sent must be a Windows program, as the wizard's download page demands.
    if (!IsWindowsProgramFile(target)) {
        cause = "what the server sent is not a Windows program";
        return false;
    }
    return true;
}

void CheckSignature(const std::string& path, SignatureCheck& check) {
    check = SignatureCheck();
    pkg::StdioSource file;
    if (!file.Open(path)) {
        check.verdict = "the file cannot be read: " + LastErrorText();
        return;
    }
    const authenticode::Result result = authenticode::VerifyProgram(file, rootCertificates);
    check.signer = result.signer;
    check.present = result.verdict != authenticode::Verdict::kNotSigned &&
                    result.verdict != authenticode::Verdict::kNotProgram &&
                    result.verdict != authenticode::Verdict::kUnreadable;
    // The maker's name is not asked for: a valid signature of another name is what a publisher has.
    check.valid =
        result.verdict == authenticode::Verdict::kTrusted || result.verdict == authenticode::Verdict::kNotMaker;
    if (check.valid)
        check.verdict = "valid" + (result.timestamp.empty() ? std::string() : ", timestamped " + result.timestamp);
    else if (result.verdict == authenticode::Verdict::kNotSigned)
        check.verdict = "not signed";
    else
        check.verdict = result.reason.empty() ? Verdict(result) : result.reason;
}

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : state_(new State) {
    state_->context = EVP_MD_CTX_new();
    if (state_->context && EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(state_->context);
        state_->context = nullptr;
    }
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(state_->context);
}

bool Sha256::Ok() const {
    return state_->context != nullptr;
}

void Sha256::Update(const void* data, size_t size) {
    if (state_->context)
        EVP_DigestUpdate(state_->context, data, size);
}

std::string Sha256::Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!state_->context || EVP_DigestFinal_ex(state_->context, digest, &length) != 1)
        return std::string();
    EVP_MD_CTX_free(state_->context);
    state_->context = nullptr;
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
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
