// Whether a reader setup may be packed: it must carry a valid Authenticode signature of the maker.
#pragma once

#include "builder/maker_signers.h"
#include "builder/package_format.h"
#include "builder/version_resource.h"

#include <windows.h>

#include <string>

enum SetupTrust {
    kSetupTrusted,   // signed by one of the maker's signer names, and the signature matches the file
    kSetupNotSigned, // no signature, a signer that is not the maker, or a signature the system does not trust
    kSetupDamaged,   // a signature that does not match the file: a byte changed, or the file cut short
    kSetupUnreadable // the file cannot be opened (the system's error is left in GetLastError)
};


// What a warning says about a setup that is not trusted: "The downloaded file is not signed by Corvane.",
// "The downloaded file is damaged.", or the system's text of the error that kept the file from being read.
std::string SetupTrustFailureText(SetupTrust trust, DWORD readError);

// Checks the signature of the program at path (8-bit text in the process code page) with WinVerifyTrust:
// no user interface, revocation only from what the system has cached, so that no network wait occurs.
// signerName, when given, receives the signer's common name whenever a signature could be read (also
// when it is not the maker's), else an empty string.
SetupTrust CheckSetupTrust(const std::string& path, std::string* signerName);
// The same check of a file that the caller holds open (for instance without write sharing, so that the
// file cannot change between the check and its use). path names it in what the system reports.
SetupTrust CheckSetupTrust(HANDLE file, const std::string& path, std::string* signerName);
// The same check of any signature, the maker's name not asked for: WinVerifyTrust's answer
// (ERROR_SUCCESS when the signature matches the file and the system trusts its chain), and the signer's
// common name whenever a signature could be read.
LONG CheckAnySignature(const std::string& path, std::string* signerName);

// Positioned reads of a file that the caller holds open (and keeps open while this reads it).
class HeldFileSource : public pkg::Source {
public:
    explicit HeldFileSource(HANDLE file) : file_(file) {
        LARGE_INTEGER size = {};
        if (::GetFileSizeEx(file, &size))
            size_ = static_cast<uint64_t>(size.QuadPart);
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override {
        if (pos > size_ || size > size_ - pos)
            return false;
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(pos);
        at.OffsetHigh = static_cast<DWORD>(pos >> 32);
        DWORD got = 0;
        return ::ReadFile(file_, buffer, size, &got, &at) && got == size;
    }

private:
    HANDLE file_;
    uint64_t size_ = 0;
};

// The version resource of the program that the caller holds open, read from its bytes: what is judged is
// what is packed.
pkg::VersionRead ReadHeldVersion(HANDLE file, pkg::VersionResource& info);
// What a warning says when a program's version resource does not name the reader's product ("The
// downloaded file is not the setup of Ravelin: it says it is "Corvane Notes"."); empty when it does.
std::string ReaderProductFailureText(const pkg::VersionResource& info);
