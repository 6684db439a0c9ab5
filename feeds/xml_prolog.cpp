#include "feeds/xml_prolog.h"

#include <cstdint>
#include <initializer_list>

namespace {

// Code units of one width and byte order, read as numbers; only ASCII values matter to the prolog.
class Units {
public:
    Units(const unsigned char* data, size_t size) : data_(data), size_(size) { Detect(); }

    size_t Count() const { return (size_ - start_) / width_; }
    uint32_t At(size_t index) const {
        const unsigned char* p = data_ + start_ + index * width_;
        uint32_t value = 0;
        for (size_t i = 0; i < width_; ++i)
            value = bigEndian_ ? (value << 8) | p[i] : value | (static_cast<uint32_t>(p[i]) << (8 * i));
        return value;
    }
    // False while too few bytes have come to tell the form.
    bool Decided() const { return decided_; }

private:
    void Detect() {
        const unsigned char* b = data_;
        auto starts = [&](std::initializer_list<unsigned char> bytes) {
            if (size_ < bytes.size())
                return false;
            size_t i = 0;
            for (unsigned char c : bytes) {
                if (b[i++] != c)
                    return false;
            }
            return true;
        };
        // Byte-order marks first; UTF-32 LE before UTF-16 LE, whose mark it starts with.
        if (starts({0xEF, 0xBB, 0xBF})) {
            Set(1, false, 3);
        } else if (starts({0xFF, 0xFE, 0x00, 0x00})) {
            Set(4, false, 4);
        } else if (starts({0x00, 0x00, 0xFE, 0xFF})) {
            Set(4, true, 4);
        } else if (starts({0xFF, 0xFE})) {
            Set(2, false, 2);
        } else if (starts({0xFE, 0xFF})) {
            Set(2, true, 2);
        } else if (size_ >= 4) {
            // Without a mark, the zero bytes around the first character tell the form.
            if (b[1] == 0 && b[2] == 0 && b[3] == 0)
                Set(4, false, 0);
            else if (b[0] == 0 && b[1] == 0 && b[2] == 0)
                Set(4, true, 0);
            else if (b[1] == 0)
                Set(2, false, 0);
            else if (b[0] == 0)
                Set(2, true, 0);
            else
                Set(1, false, 0);
        } else {
            // Fewer than four bytes: read them as single bytes until more arrive.
            Set(1, false, 0);
            decided_ = false;
        }
    }
    void Set(size_t width, bool bigEndian, size_t start) {
        width_ = width;
        bigEndian_ = bigEndian;
        start_ = start;
        decided_ = true;
    }

    const unsigned char* data_;
    size_t size_;
    size_t width_ = 1;
    bool bigEndian_ = false;
    size_t start_ = 0;
    bool decided_ = false;
};

bool IsXmlSpace(uint32_t c) {
    return c == 0x20 || c == 0x09 || c == 0x0D || c == 0x0A;
}

// The index just after the first occurrence of the ASCII text end at or after from; 0 when there is none.
size_t After(const Units& units, size_t from, const char* end) {
    size_t length = 0;
    while (end[length])
        ++length;
    for (size_t i = from; i + length <= units.Count(); ++i) {
        size_t k = 0;
        while (k < length && units.At(i + k) == static_cast<unsigned char>(end[k]))
            ++k;
        if (k == length)
            return i + length;
    }
    return 0;
}

constexpr size_t kEnded = static_cast<size_t>(-1);

// A declaration "<!DOCTYPE name>", white space allowed around the name, declares no entity and names no
// DTD: nothing in it can be fetched or expanded. Given the index of its "<", returns the index after its
// ">"; 0 for any other declaration (an external identifier, an internal subset); kEnded when the units end
// before that is known.
size_t AfterBareDocumentType(const Units& units, size_t at) {
    const char keyword[] = "<!DOCTYPE";
    size_t i = at;
    for (const char* k = keyword; *k; ++k, ++i) {
        if (i >= units.Count())
            return kEnded;
        if (units.At(i) != static_cast<unsigned char>(*k))
            return 0;
    }
    size_t spaces = 0;
    for (; i < units.Count() && IsXmlSpace(units.At(i)); ++i)
        ++spaces;
    size_t name = 0;
    for (; i < units.Count(); ++i, ++name) {
        const uint32_t c = units.At(i);
        if (IsXmlSpace(c) || c == '>' || c == '[' || c == '"' || c == '\'' || c == '<')
            break;
    }
    for (; i < units.Count() && IsXmlSpace(units.At(i)); ++i) {
    }
    if (i >= units.Count())
        return kEnded;
    if (spaces == 0 || name == 0 || units.At(i) != '>')
        return 0;
    // A second word after the name (SYSTEM, PUBLIC) leaves i on its first letter, not on ">".
    return i + 1;
}

} // namespace

XmlProlog ScanXmlProlog(const char* data, size_t size, bool atEnd) {
    const XmlProlog more = atEnd ? XmlProlog::Clean : XmlProlog::NeedMore;
    const Units units(reinterpret_cast<const unsigned char*>(data), size);
    if (!units.Decided())
        return more;
    bool bare = false;
    const size_t count = units.Count();
    size_t i = 0;
    while (i < count) {
        const uint32_t c = units.At(i);
        if (IsXmlSpace(c)) {
            ++i;
            continue;
        }
        if (c != '<')
            return XmlProlog::Unreadable;
        if (i + 1 >= count)
            return more;
        const uint32_t next = units.At(i + 1);
        if (next == '?') {
            i = After(units, i + 2, "?>");
            if (i == 0)
                return more;
        } else if (next == '!') {
            if (i + 2 >= count)
                return more;
            if (units.At(i + 2) != '-') {
                const size_t after = AfterBareDocumentType(units, i);
                if (after == kEnded)
                    return atEnd ? XmlProlog::DocumentType : XmlProlog::NeedMore;
                if (after == 0)
                    return XmlProlog::DocumentType;
                i = after;
                bare = true;
                continue;
            }
            if (i + 3 >= count)
                return more;
            if (units.At(i + 3) != '-')
                return XmlProlog::DocumentType;
            i = After(units, i + 4, "-->");
            if (i == 0)
                return more;
        } else {
            return bare ? XmlProlog::BareDocumentType : XmlProlog::Clean;
        }
    }
    return more;
}
