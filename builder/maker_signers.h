// The maker's signer names, shared by the Windows signature check and the native one.
#pragma once

#include <cstddef>
#include <string>

// The maker's names as they appear as the common name (CN) of the signing certificate's subject; the
// messages name the first ("not signed by ...").
extern const char* const kMakerSignerNames[];
extern const size_t kMakerSignerNameCount;

// Whether name (UTF-8, as read from a certificate) is one of the maker's names, compared exactly: no
// folding of case or width may make another name equal.
bool IsMakerSignerName(const std::string& name);

// The product that the maker's reader setup names in its version resource (ProductName): a program that
// the maker signed but that names another product is not the reader's setup.
extern const char kReaderProductName[];
