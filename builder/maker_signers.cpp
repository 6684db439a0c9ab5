#include "builder/maker_signers.h"

// The only place where the maker's signer names are set; the first is the one the messages name.
const char* const kMakerSignerNames[] = {"Corvane"};
const size_t kMakerSignerNameCount = sizeof kMakerSignerNames / sizeof kMakerSignerNames[0];

bool IsMakerSignerName(const std::string& name) {
    for (size_t i = 0; i < kMakerSignerNameCount; ++i) {
        if (!name.empty() && name == kMakerSignerNames[i])
            return true;
    }
    return false;
}

const char kReaderProductName[] = "Ravelin";
