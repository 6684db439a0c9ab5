// The reader setup that rvlc packs: held once, checked on the held bytes (the maker's signature, the
// product "Ravelin", and when a setup is updated a version no older than the one it had), and packed from
// the same bytes.
#pragma once

#include "builder/version_resource.h"
#include "rvlc/platform.h"

#include <memory>
#include <string>

namespace rvlc {

// The reader setup of the setup that is updated, which a new one may not be older than.
struct ReplacedReader {
    bool known = false; // it names a version
    pkg::FourPartVersion version;
    std::string name; // how messages call it: "OLD.exe (rvl.exe)"
};

// Fills check from the held bytes: version, product, signer, verdict, trusted (the signature alone).
void CheckHeldSetup(HeldSetup& held, ReaderSetupCheck& check);
// The same of the file at path; false when it cannot be held (verdict then says why).
bool CheckReaderSetup(const std::string& path, ReaderSetupCheck& check);

// Holds the reader setup at path and checks it as build demands; name says in messages where it came
// from. kExitOk with held and check set, or the exit code after the message.
int HoldCheckedReaderSetup(const std::string& path, const std::string& name, const ReplacedReader& replaced,
                           bool allowOlder, std::unique_ptr<HeldSetup>& held, ReaderSetupCheck& check);

// The version of a packed reader setup's bytes; known stays false when they name none.
ReplacedReader PackedReaderVersion(const std::string& bytes, const std::string& name);

} // namespace rvlc
