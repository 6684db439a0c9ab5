#include "fetch/feed_encoding.h"

#include "framework/text.h"
#include "framework/xml_reference.h"

#include <cstdint>

namespace feedtext {

const char kUtf8[] = "utf-8";
const char kUtf16Le[] = "utf-16le";
const char kUtf16Be[] = "utf-16be";
const char kUtf32Le[] = "utf-32le";
const char kUtf32Be[] = "utf-32be";

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool StartsWith(const std::string& s, const char* prefix, size_t length) {
    return s.size() >= length && s.compare(0, length, prefix, length) == 0;
}

// The labels by which documents and servers name the encodings that are converted here.
const char* UnicodeEncodingOf(const std::string& name) {
    static const struct {
        const char* label;
        const char* encoding;
    } kLabels[] = {
        {"utf-8", kUtf8},           {"utf8", kUtf8},           {"unicode-1-1-utf-8", kUtf8},
        {"x-unicode20utf8", kUtf8}, {"utf-16", kUtf16Le},      {"utf-16le", kUtf16Le},
        {"unicode", kUtf16Le},      {"ucs-2", kUtf16Le},       {"iso-10646-ucs-2", kUtf16Le},
        {"utf-16be", kUtf16Be},     {"unicodefffe", kUtf16Be}, {"utf-32", kUtf32Le},
        {"utf-32le", kUtf32Le},     {"ucs-4", kUtf32Le},       {"iso-10646-ucs-4", kUtf32Le},
        {"utf-32be", kUtf32Be},
    };
    for (const auto& l : kLabels)
        if (name == l.label)
            return l.encoding;
    return nullptr;
}

bool IsWide(const std::string& encoding) {
    return encoding != kUtf8 && UnicodeEncodingOf(encoding) != nullptr;
}

// The encoding from a byte order mark, or from "<" written in two or four bytes: without either a
// UTF-16 or UTF-32 document could not be told from 8-bit text. Empty when there is neither.
std::string EncodingBySignature(const std::string& b, size_t* bomLength) {
    *bomLength = 0;
    struct Signature {
        const char* bytes;
        size_t length;
        const char* encoding;
        bool isMark;
    };
    // UTF-32LE's mark begins with UTF-16LE's: the longer one is tried first.
    static const Signature kSignatures[] = {
        {"\xEF\xBB\xBF", 3, kUtf8, true}, {"\xFF\xFE\0\0", 4, kUtf32Le, true}, {"\0\0\xFE\xFF", 4, kUtf32Be, true},
        {"\xFF\xFE", 2, kUtf16Le, true},  {"\xFE\xFF", 2, kUtf16Be, true},     {"<\0\0\0", 4, kUtf32Le, false},
        {"\0\0\0<", 4, kUtf32Be, false},  {"<\0", 2, kUtf16Le, false},         {"\0<", 2, kUtf16Be, false},
    };
    for (const Signature& s : kSignatures) {
        if (StartsWith(b, s.bytes, s.length)) {
            *bomLength = s.isMark ? s.length : 0;
            return s.encoding;
        }
    }
    return std::string();
}

// The value of the encoding pseudo-attribute of an XML declaration at the start of the block.
std::string DeclaredEncoding(const std::string& block, size_t from) {
    if (block.compare(from, 5, "<?xml") != 0)
        return std::string();
    size_t end = block.find("?>", from);
    std::string decl = block.substr(from, end == std::string::npos ? std::string::npos : end - from);
    size_t at = decl.find("encoding");
    if (at == std::string::npos)
        return std::string();
    size_t i = at + 8;
    while (i < decl.size() && text::IsSpace(decl[i]))
        ++i;
    if (i >= decl.size() || decl[i] != '=')
        return std::string();
    ++i;
    while (i < decl.size() && text::IsSpace(decl[i]))
        ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
        return std::string();
    size_t close = decl.find(decl[i], i + 1);
    if (close == std::string::npos)
        return std::string();
    return Lower(decl.substr(i + 1, close - i - 1));
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One UTF-8 character at s[i]: its code point, or U+FFFD for the longest invalid start of a sequence
// (so each invalid piece is replaced once). *incomplete: the bytes ended inside a sequence that was
// valid so far. Returns how many bytes were taken.
size_t NextUtf8(const std::string& s, size_t i, uint32_t* cp, bool* incomplete) {
    *incomplete = false;
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        lo = b0 == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = b0 == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        lo = b0 == 0xF0 ? 0x90 : 0x80;
        hi = b0 == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        *cp = kReplacement;
        return 1;
    }
    uint32_t value = b0 & (0x3F >> need);
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) {
            *incomplete = true;
            *cp = kReplacement;
            return k;
        }
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if (b < lo || b > hi) {
            *cp = kReplacement;
            return k;
        }
        lo = 0x80;
        hi = 0xBF;
        value = (value << 6) | (b & 0x3F);
    }
    *cp = value;
    return need + 1;
}

std::string Utf8ToUtf8(const std::string& s, bool cut) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        bool incomplete;
        size_t n = NextUtf8(s, i, &cp, &incomplete);
        if (incomplete && cut)
            break;
        if (cp == kReplacement)
            AppendUtf8(out, kReplacement);
        else
            out.append(s, i, n);
        i += n;
    }
    return out;
}

// UTF-16 or UTF-32 in either byte order; unpaired surrogates and values beyond U+10FFFF become U+FFFD.
std::string WideToUtf8(const std::string& s, size_t unit, bool bigEndian, bool cut) {
    auto read = [&](size_t at) {
        uint32_t v = 0;
        for (size_t k = 0; k < unit; ++k) {
            const uint32_t b = static_cast<unsigned char>(s[at + k]);
            v |= bigEndian ? b << (8 * (unit - 1 - k)) : b << (8 * k);
        }
        return v;
    };
    std::string out;
    size_t i = 0;
    for (; i + unit <= s.size(); i += unit) {
        uint32_t v = read(i);
        if (unit == 2 && v >= 0xD800 && v <= 0xDBFF) {
            if (i + 2 * unit > s.size()) {
                if (cut)
                    return out; // the low half lies beyond the block
            } else {
                const uint32_t low = read(i + unit);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    AppendUtf8(out, 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00));
                    i += unit;
                    continue;
                }
            }
        }
        AppendUtf8(out, (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF ? kReplacement : v);
    }
    if (i < s.size() && !cut)
        AppendUtf8(out, kReplacement);
    return out;
}

} // namespace

std::string CharsetOfContentType(const std::string& contentType) {
    size_t semi = contentType.find(';');
    while (semi != std::string::npos) {
        size_t next = contentType.find(';', semi + 1);
        std::string param =
            contentType.substr(semi + 1, next == std::string::npos ? std::string::npos : next - semi - 1);
        size_t eq = param.find('=');
        if (eq != std::string::npos && Lower(text::Trim(param.substr(0, eq))) == "charset") {
            std::string value = text::Trim(param.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return Lower(text::Trim(value));
        }
        semi = next;
    }
    return std::string();
}

std::string DetectEncoding(const std::string& block, const std::string& contentType, const Charsets* platform) {
    size_t bomLength;
    std::string bySignature = EncodingBySignature(block, &bomLength);
    if (!bySignature.empty())
        return bySignature;
    // Both names were read as 8-bit text, so a UTF-16 or UTF-32 name cannot be right.
    for (const std::string& name : {DeclaredEncoding(block, 0), CharsetOfContentType(contentType)}) {
        if (name.empty())
            continue;
        if (const char* unicode = UnicodeEncodingOf(name)) {
            if (!IsWide(unicode))
                return unicode;
        } else if (platform && platform->Knows(name)) {
            return name;
        }
    }
    return kUtf8;
}

std::string ToUtf8(const std::string& bytes, const std::string& encoding, bool cut, const Charsets* platform) {
    size_t bomLength = 0;
    const std::string mark = EncodingBySignature(bytes, &bomLength);
    if (mark != encoding)
        bomLength = 0;
    const std::string body = bytes.substr(bomLength);
    if (encoding == kUtf16Le || encoding == kUtf16Be)
        return WideToUtf8(body, 2, encoding == kUtf16Be, cut);
    if (encoding == kUtf32Le || encoding == kUtf32Be)
        return WideToUtf8(body, 4, encoding == kUtf32Be, cut);
    if (encoding != kUtf8 && platform && platform->Knows(encoding))
        return platform->ToUtf8(encoding, body, cut);
    return Utf8ToUtf8(body, cut);
}

std::string DecodeCharacterData(const std::string& utf8) {
    // References and CDATA sections first, then every character of the result is looked at once.
    static const char kCdataOpen[] = "<![CDATA[";
    std::string raw;
    for (size_t i = 0; i < utf8.size();) {
        if (utf8.compare(i, sizeof kCdataOpen - 1, kCdataOpen) == 0) {
            const size_t start = i + sizeof kCdataOpen - 1;
            const size_t close = utf8.find("]]>", start);
            const size_t end = close == std::string::npos ? utf8.size() : close;
            raw.append(utf8, start, end - start);
            i = close == std::string::npos ? end : close + 3;
            continue;
        }
        if (utf8[i] == '&') {
            // The longest reference that XML allows here is "&#x10FFFF;" with leading zeros; 32 is ample.
            const size_t semi = utf8.find(';', i + 1);
            uint32_t cp = 0;
            const text::XmlReference reference = semi != std::string::npos && semi - i <= 32
                                                     ? text::ResolveXmlReference(utf8.substr(i + 1, semi - i - 1), &cp)
                                                     : text::XmlReference::Unknown;
            if (reference != text::XmlReference::Unknown) {
                AppendUtf8(raw, reference == text::XmlReference::Character ? cp : kReplacement);
                i = semi + 1;
                continue;
            }
        }
        raw += utf8[i++];
    }
    return OneLineText(raw);
}

std::string OneLineText(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp;
        bool incomplete;
        const size_t n = NextUtf8(utf8, i, &cp, &incomplete);
        if (cp == '\t' || cp == '\n' || cp == '\r')
            out += ' ';
        else if (cp == 0xFFFE || cp == 0xFFFF)
            AppendUtf8(out, kReplacement);
        else if (cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp <= 0x9F))
            AppendUtf8(out, cp);
        i += n;
    }
    return text::Trim(out);
}

FeedDocument ReadFeed(const std::string& block, const std::string& contentType, bool cut, const Charsets* platform) {
    FeedDocument doc;
    doc.encoding = DetectEncoding(block, contentType, platform);
    const bool wide = IsWide(doc.encoding);
    // The rule reads the text as fetched; only a UTF-16 or UTF-32 document has to become UTF-8 first.
    doc.text = wide ? ToUtf8(block, doc.encoding, cut, platform) : block;
    doc.result = Classify(doc.text);
    if (doc.result != kValidFeed)
        return doc;
    const Channel raw = ExtractChannel(doc.text);
    const std::string valuesEncoding = wide ? std::string(kUtf8) : doc.encoding;
    doc.channel.title = DecodeCharacterData(ToUtf8(raw.title, valuesEncoding, false, platform));
    doc.channel.link = DecodeCharacterData(ToUtf8(raw.link, valuesEncoding, false, platform));
    doc.channel.description = DecodeCharacterData(ToUtf8(raw.description, valuesEncoding, false, platform));
    return doc;
}

} // namespace feedtext
