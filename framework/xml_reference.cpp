#include "framework/xml_reference.h"

namespace text {

bool IsXmlChar(uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

XmlReference ResolveXmlReference(const std::string& name, uint32_t* cp) {
    static const struct {
        const char* name;
        char c;
    } kNamed[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& n : kNamed) {
        if (name == n.name) {
            *cp = static_cast<unsigned char>(n.c);
            return XmlReference::Character;
        }
    }
    if (name.size() < 2 || name[0] != '#')
        return XmlReference::Unknown;
    const bool hex = name[1] == 'x';
    const size_t first = hex ? 2 : 1;
    if (first >= name.size())
        return XmlReference::Unknown;
    uint32_t value = 0;
    for (size_t i = first; i < name.size(); ++i) {
        const char c = name[i];
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return XmlReference::Unknown;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF)
            value = 0x110000; // stays out of range however many digits follow
    }
    *cp = value;
    return IsXmlChar(value) ? XmlReference::Character : XmlReference::NotAllowed;
}

} // namespace text
