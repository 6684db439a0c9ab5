// The values of the program's own version resource, and the short version the welcome page shows.
#pragma once

#include <windows.h>
#include <string>

// A string value ("FileVersion", "LegalCopyright"...) of the version resource (id 1) of module, in the
// language and code page its translation table names; empty when the resource or the value is missing.
std::string ReadVersionValue(HMODULE module, const char* name);

// "1, 2, 3, 0" gives "1.23": the first part, a point, the further parts joined, and the trailing zeros
// taken off down to one digit after the point. Empty when the text holds no comma.
std::string DisplayVersion(const std::string& fileVersion);
