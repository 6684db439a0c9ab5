// The references that XML character data and attribute values may hold without a declaration: the five
// predefined entities and decimal and hexadecimal character references. No <windows.h>: builds natively too.
#pragma once

#include <cstdint>
#include <string>

namespace text {

enum class XmlReference {
    Unknown,    // neither a predefined entity nor a well-formed character reference
    Character,  // *cp receives the character
    NotAllowed, // a well-formed character reference to a code point that XML does not allow, or beyond U+10FFFF
};

// Whether XML allows the character in a document at all.
bool IsXmlChar(uint32_t cp);

// What the reference stands for; name is the text between "&" and ";" ("amp", "#233", "#xE9").
XmlReference ResolveXmlReference(const std::string& name, uint32_t* cp);

} // namespace text
