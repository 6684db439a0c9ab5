// What rvlc asks of the system it runs on. platform_windows.cpp answers with the Windows interfaces
// (Pullwire, WinVerifyTrust, the XML DOM, WinINet); platform_native.cpp answers the file operations and
// refuses the rest, so that the commands that need no Windows build and run natively.
#pragma once

#include "builder/customization_xml.h"
#include "builder/package_format.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace feedtext {
class Charsets;
}

namespace rvlc {

// The exit codes, as rvlc --help documents them.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 2,         // bad arguments, or a command or option this build cannot carry out
    kExitInput = 3,         // an input cannot be read: missing, not a customized setup, damaged, not XML
    kExitDownload = 4,      // the reader setup cannot be downloaded, or its signature or pin does not pass
    kExitBuild = 5,         // the output cannot be written, or would replace files without --force
    kExitFeedsRefused = 6,  // --verify-feeds: at least one feed is not a feed
    kExitInterrupted = 130, // Ctrl+C, SIGINT, SIGTERM or a closed console: 128 + SIGINT, as shells report it
};

// Whether the Windows interfaces are there: signature check, download, OPML, feed fetch.
bool HasWindowsInterfaces();

// The code pages that the system converts, for data files that declare one; null where there are none.
const feedtext::Charsets* PlatformCharsets();

// Whether standard error is a console, where progress updates one line in place.
bool ErrorIsConsole();

// The text of the last failure of a file operation (errno, or the system's last error on Windows).
std::string LastErrorText();

// Replaces to by from (a complete file) in one step; false with the cause.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& cause);
// Creates the folder when it does not exist yet.
bool MakeFolder(const std::string& path, std::string& cause);
// Creates a new file, exclusively, under a name that nobody can predict (a random suffix): in the folder
// of beside, named after it, or in the temporary folder when beside is empty. An existing file or link at
// that name is never opened. file is open for writing and reading; false with the cause.
bool CreateTemporaryFile(const std::string& beside, std::string& name, FILE*& file, std::string& cause);
std::string JoinPath(const std::string& folder, const std::string& name);
// Whether a file (or folder) exists at path.
bool PathExists(const std::string& path);
// Whether a and b name the same file as the file system sees it: the same file identity when both exist,
// else the same normalized path (case-insensitive where the file system is).
bool SameFile(const std::string& a, const std::string& b);

// From now on, Ctrl+C, SIGINT, SIGTERM or a closed console removes the files that cleanup.h registers and
// ends the process with kExitInterrupted.
void RemoveFilesOnInterruption();

// The extractor program that this build carries; false when it carries none.
bool LoadOwnStub(std::string& stub);

// What the reader setup is: its file version, its product, and the result of its signature check.
struct ReaderSetupCheck {
    std::string version; // "1.2.3.4", empty when it has none
    std::string product; // the version resource's ProductName, empty when it has none
    std::string signer;  // the signer's name when the signature is valid
    std::string verdict; // the check's result in words
    bool trusted = false;
};

// A reader setup opened once for its check and its packing, so that what is packed is what was checked:
// nobody can write to the bytes it reads while it is held.
class HeldSetup : public pkg::Source {
public:
    // The signature check of the held bytes: signer, verdict and trusted.
    virtual void CheckSignature(ReaderSetupCheck& check) = 0;
};
// Holds the file at path; null with the cause when it cannot be held (missing, unreadable, or open for
// writing elsewhere).
std::unique_ptr<HeldSetup> HoldReaderSetup(const std::string& path, std::string& cause);

// The roots that the signature check trusts from now on: the certificates in file (PEM), or the system's when
// file is empty. False with the cause when this build cannot take roots of its own.
bool UseRootCertificates(const std::string& file, std::string& cause);
// What rvlc --help says about this build's signature check and what it lacks.
extern const char kPlatformHelp[];

// The Authenticode signature of any program, judged with the same check but without asking for the
// maker's name: a publisher's own signature on a customized setup.
struct SignatureCheck {
    bool present = false; // the file carries a signature
    bool valid = false;   // it matches the file and chains to a trusted root
    std::string signer;   // the signer's common name whenever the signature could be read
    std::string verdict;  // the check's result in words
};
void CheckSignature(const std::string& path, SignatureCheck& check);

// SHA-256 from the system's own implementation: OpenSSL natively, CNG on Windows.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    // False when the system's hash is not available; Update and Hex then do nothing.
    bool Ok() const;
    void Update(const void* data, size_t size);
    // The digest in lower-case hexadecimal; the object is spent afterwards.
    std::string Hex();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Downloads the reader's setup from the maker's address into target, showing progress on standard
// error unless quiet. False with the cause.
bool DownloadReaderSetup(const std::string& target, bool quiet, std::string& cause);

// The title and feeds of an OPML file, read as the wizard's import reads them.
bool ReadOpml(const std::string& path, std::string& title, std::vector<WebPageRow>& feeds, std::string& cause);
// Whether two feed URLs stand for the same feed, as the wizard's duplicate test decides.
bool SameFeed(const std::string& a, const std::string& b);
// Fetches url and recognises it as the add-feed dialog does; false with the reason.
bool VerifyFeed(const std::string& url, std::string& reason);

} // namespace rvlc
