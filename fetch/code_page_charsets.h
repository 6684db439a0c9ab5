// The encodings that Windows converts, by the names that documents and servers give them: each name
// maps to a code page, and MultiByteToWideChar converts it.
#pragma once

#include <windows.h>

#include <string>

#include "fetch/feed_encoding.h"

// The code page of an encoding name (lower case); 0 when the name is unknown or the system does not
// convert that code page.
UINT CodePageOfCharset(const std::string& name);

class CCodePageCharsets : public feedtext::Charsets {
public:
    bool Knows(const std::string& name) const override;
    std::string ToUtf8(const std::string& name, const std::string& bytes, bool cut) const override;
};
