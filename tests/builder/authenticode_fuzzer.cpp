// libFuzzer target: the input is taken as a signed program and checked as the native rvlc checks a reader
// setup, and its version resource is read. Nothing may read out of bounds, whatever the headers, the
// certificate table, the DER, the resource directory or the version block say.
#include "builder/authenticode_verify.h"
#include "builder/version_resource.h"
#include "tests/builder/package_maker.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    pkgtest::MemorySource source(bytes);
    const authenticode::Result result = authenticode::VerifyProgram(source, RVL_FUZZ_ROOTS);
    // Trusted means signed by the maker: a mutation may keep the seed's signature whole, never change its name.
    if (result.verdict == authenticode::Verdict::kTrusted && result.signer != "Corvane")
        std::abort();
    pkg::VersionResource version;
    // A product name comes only with a block that was read whole.
    if (pkg::ReadVersionResource(source, version) != pkg::VersionRead::kRead && !version.productName.empty())
        std::abort();
    return 0;
}
