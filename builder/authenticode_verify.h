// Whether a Windows program carries the maker's valid Authenticode signature, checked with OpenSSL where
// there is no WinVerifyTrust: the image digest, the PKCS #7 signature over it, the signer's name, the chain
// to a trusted root, and a timestamp that keeps the signature valid after the certificate expired.
#pragma once

#include "builder/package_format.h"

#include <string>

namespace authenticode {

enum class Verdict {
    kTrusted,    // signed by one of the maker's names, matching the file, chained to a trusted root
    kNotSigned,  // the file carries no signature
    kNotMaker,   // a valid signature, but of another name
    kUntrusted,  // the chain does not reach a trusted root, or a certificate or timestamp is not valid
    kDamaged,    // the file does not match its signature, or the signature cannot be read
    kNotProgram, // not a Windows program at all
    kUnreadable  // a read failed
};

struct Result {
    Verdict verdict = Verdict::kUnreadable;
    std::string signer;    // the signer's common name (UTF-8) whenever the signature could be read
    std::string reason;    // what failed, in words; empty when trusted
    std::string timestamp; // "YYYY-MM-DD HH:MM:SS UTC" when a valid timestamp dates the signature
};

// Checks the program in file. caFile names a PEM file whose certificates are the only trusted roots;
// empty trusts the system's roots. Every offset and size that the file gives is checked before use.
Result VerifyProgram(pkg::Source& file, const std::string& caFile);

} // namespace authenticode
