// The platform of the native build: files through POSIX; no signature check, download or fetch.
#include "rvlc/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rvlc {

namespace {
const char kNeedsWindows[] = "not available in this build of rvlc (it needs Windows)";
} // namespace

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

bool CheckReaderSetup(const std::string&, ReaderSetupCheck& check) {
    check = ReaderSetupCheck();
    check.verdict = kNeedsWindows;
    return false;
}

bool DownloadReaderSetup(const std::string&, std::string& cause) {
    cause = kNeedsWindows;
    return false;
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
