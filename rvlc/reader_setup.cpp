#include "rvlc/reader_setup.h"

#include "builder/maker_signers.h"
#include "builder/setup_file.h"

#include <cstdio>

namespace rvlc {

namespace {

void Error(const std::string& message) {
    std::fprintf(stderr, "rvlc: %s\n", message.c_str());
}

// What a product name looks like in a message: quoted, or that there is none.
std::string ProductText(const ReaderSetupCheck& check) {
    return check.product.empty() ? std::string("no product name") : "the product \"" + check.product + "\"";
}

} // namespace

void CheckHeldSetup(HeldSetup& held, ReaderSetupCheck& check) {
    check = ReaderSetupCheck();
    pkg::VersionResource resource;
    if (pkg::ReadVersionResource(held, resource) == pkg::VersionRead::kRead) {
        if (resource.hasVersion)
            check.version = resource.file.Text();
        check.product = resource.productName;
    }
    held.CheckSignature(check);
}

bool CheckReaderSetup(const std::string& path, ReaderSetupCheck& check) {
    std::string cause;
    std::unique_ptr<HeldSetup> held = HoldReaderSetup(path, cause);
    if (!held) {
        check = ReaderSetupCheck();
        check.verdict = "the file cannot be read: " + cause;
        return false;
    }
    CheckHeldSetup(*held, check);
    return true;
}

ReplacedReader PackedReaderVersion(const std::string& bytes, const std::string& name) {
    ReplacedReader replaced;
    replaced.name = name;
    pkg::MemorySource source(bytes);
    pkg::VersionResource resource;
    replaced.known = pkg::ReadVersionResource(source, resource) == pkg::VersionRead::kRead && resource.hasVersion;
    replaced.version = resource.file;
    return replaced;
}

int HoldCheckedReaderSetup(const std::string& path, const std::string& name, const ReplacedReader& replaced,
                           bool allowOlder, std::unique_ptr<HeldSetup>& held, ReaderSetupCheck& check) {
    held.reset();
    std::string cause;
    std::unique_ptr<HeldSetup> file = HoldReaderSetup(path, cause);
    if (!file) {
        Error(name + ": refused as the reader setup: " + cause);
        return kExitDownload;
    }
    CheckHeldSetup(*file, check);
    if (!check.trusted) {
        Error(name + ": refused as the reader setup: " + check.verdict);
        return kExitDownload;
    }
    // The maker signs more than the reader's setup: a signed program of another product is not it.
    if (check.product != kReaderProductName) {
        Error(name + ": refused as the reader setup: it is not the setup of " + kReaderProductName +
              ": its version resource names " + ProductText(check));
        return kExitDownload;
    }
    if (replaced.known) {
        pkg::VersionResource resource;
        pkg::ReadVersionResource(*file, resource);
        if (!resource.hasVersion || resource.file.Compare(replaced.version) < 0) {
            const std::string version = resource.hasVersion ? "version " + resource.file.Text() : "no version";
            const std::string said = name + ": " + version + " is older than " + replaced.version.Text() +
                                     ", the version of " + replaced.name;
            if (!allowOlder) {
                Error(said + "; refused as the reader setup (--allow-older packs it all the same)");
                return kExitDownload;
            }
            Error(said + "; packed as --allow-older asks");
        }
    }
    held = std::move(file);
    return kExitOk;
}

} // namespace rvlc
