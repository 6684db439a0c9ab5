#include "builder/customization_xml.h"

#include "builder/setup_file.h"
#include "feeds/url_scheme.h"
#include "fetch/feed_encoding.h"
#include "framework/text.h"
#include "framework/xml_reference.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <unordered_set>
#include <utility>

namespace {

// ---- Characters ----

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One UTF-8 character of s at i, without overlong forms or surrogates: its length, or 0 when the bytes
// there are not UTF-8 (or end inside the character).
size_t DecodeUtf8(const char* s, size_t size, size_t i, uint32_t& code) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        code = c;
        return 1;
    }
    size_t more;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        code = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        code = c & 0x0Fu;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        code = c & 0x07u;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (size - i <= more)
        return 0;
    for (size_t k = 1; k <= more; ++k) {
        const unsigned char next = static_cast<unsigned char>(s[i + k]);
        if (next < (k == 1 ? lo : 0x80) || next > (k == 1 ? hi : 0xBF))
            return 0;
        code = code << 6 | (next & 0x3Fu);
    }
    return more + 1;
}

// The names of these files' elements and attributes are ASCII. Names with other letters are well-formed
// XML, but the tables of letters differ between readers (one takes what another refuses), and a file
// that some reader refuses loses every feed: such names are refused here rather than passed on.
bool IsNameStart(uint32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}
bool IsNameChar(uint32_t c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsXmlSpace(uint32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsName(const std::string& name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0])))
        return false;
    for (const char c : name) {
        if (!IsNameChar(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}


std::string CodePointText(uint32_t code) {
    return text::Format("U+%04X", static_cast<unsigned>(code));
}

// ---- Decoding ----

// Encodings read without the platform, besides the UTF forms that the feed decoder names.
bool IsLatin1(const std::string& name) {
    return name == "iso-8859-1" || name == "iso_8859-1" || name == "latin1" || name == "l1" || name == "iso-ir-100" ||
           name == "cp819" || name == "ibm819";
}
bool IsAscii(const std::string& name) {
    return name == "us-ascii" || name == "ascii" || name == "iso646-us" || name == "us";
}

// The platform's encodings and the ones converted here, for the feed decoder's detection.
class DataFileCharsets : public feedtext::Charsets {
public:
    explicit DataFileCharsets(const feedtext::Charsets* platform) : platform_(platform) {}
    bool Knows(const std::string& name) const override {
        return IsLatin1(name) || IsAscii(name) || (platform_ && platform_->Knows(name));
    }
    std::string ToUtf8(const std::string& name, const std::string& bytes, bool cut) const override {
        return platform_ ? platform_->ToUtf8(name, bytes, cut) : std::string();
    }

private:
    const feedtext::Charsets* platform_;
};

// Where a character stands, counted as XML counts: lines after end-of-line handling, columns in characters.
struct Position {
    int line = 1;
    int column = 1;
};

// The characters of a document, pulled from its bytes block by block: at most one block and one
// character are held at a time, whatever the document's size. Line ends come out as XML's end-of-line
// handling makes them (CR LF and a lone CR as LF). A character that XML does not allow, or bytes that are
// not of the encoding, stop the stream with the reason.
class CharStream {
public:
    static constexpr uint32_t kEnd = 0xFFFFFFFFu;
    static constexpr uint32_t kBad = 0xFFFFFFFEu;

    enum class Fault {
        None,
        NotAllowed, // badCode is the character
        NotEncoded, // the bytes are not of the encoding
        TooLarge,   // over kMaxDataFileBytes
        ReadError,
    };

    CharStream(pkg::InputStream& input, const feedtext::Charsets* platform) : input_(input), charsets_(platform) {}

    // Reads the first block and finds the encoding. False: an encoding that is named but not read.
    bool Start() {
        Fill();
        if (fault_ != Fault::None)
            return true; // reported by the first Peek
        encoding_ = feedtext::DetectEncoding(std::string(buffer_.data() + pos_, end_ - pos_), std::string(),
                                             &charsets_);
        size_t mark = 0;
        if (encoding_ == feedtext::kUtf8 && Has("\xEF\xBB\xBF", 3))
            mark = 3;
        else if ((encoding_ == feedtext::kUtf16Le && Has("\xFF\xFE", 2)) ||
                 (encoding_ == feedtext::kUtf16Be && Has("\xFE\xFF", 2)))
            mark = 2;
        else if ((encoding_ == feedtext::kUtf32Le && Has("\xFF\xFE\0\0", 4)) ||
                 (encoding_ == feedtext::kUtf32Be && Has("\0\0\xFE\xFF", 4)))
            mark = 4;
        pos_ += mark;
        if (encoding_ == feedtext::kUtf8)
            kind_ = Kind::Utf8;
        else if (encoding_ == feedtext::kUtf16Le || encoding_ == feedtext::kUtf16Be)
            kind_ = Kind::Utf16;
        else if (encoding_ == feedtext::kUtf32Le || encoding_ == feedtext::kUtf32Be)
            kind_ = Kind::Utf32;
        else if (IsLatin1(encoding_))
            kind_ = Kind::Latin1;
        else if (IsAscii(encoding_))
            kind_ = Kind::Ascii;
        else
            return ConvertWhole();
        bigEndian_ = encoding_ == feedtext::kUtf16Be || encoding_ == feedtext::kUtf32Be;
        return true;
    }

    const std::string& Encoding() const { return encoding_; }

    // Appends the characters of a name from here on to out, and takes them, as one run. Stops past limit
    // bytes in out.
    void TakeNameRun(std::string& out, size_t limit) {
        while (havePeek_ && IsNameChar(peek_) && out.size() <= limit) {
            out += static_cast<char>(peek_);
            Take();
        }
        if (havePeek_ || kind_ != Kind::Utf8 || crPending_)
            return;
        const char* b = buffer_.data();
        size_t at = pos_;
        while (at < end_ && IsNameChar(static_cast<unsigned char>(b[at])) && out.size() + (at - pos_) <= limit)
            ++at;
        out.append(b + pos_, at - pos_);
        at_.column += static_cast<int>(at - pos_);
        pos_ = at;
        // A name that reaches the end of the block goes on character by character.
    }

    // Appends the printable ASCII characters from here on, other than quote, '<' and '&', to out, and takes
    // them, as one run: values are mostly made of these. Stops past limit bytes in out.
    void TakeAsciiRun(std::string& out, char quote, size_t limit) {
        if (havePeek_) {
            if (peek_ < 0x20 || peek_ >= 0x80 || peek_ == static_cast<unsigned char>(quote) || peek_ == '<' ||
                peek_ == '&')
                return;
            out += static_cast<char>(peek_);
            Take();
        }
        if (kind_ != Kind::Utf8 || crPending_)
            return;
        for (;;) {
            const size_t start = pos_;
            const char* b = buffer_.data();
            size_t at = pos_;
            const size_t stop = std::min(end_, pos_ + (limit + 1 - std::min(limit + 1, out.size())));
            while (at < stop) {
                const unsigned char c = static_cast<unsigned char>(b[at]);
                if (c < 0x20 || c >= 0x80 || c == static_cast<unsigned char>(quote) || c == '<' || c == '&')
                    break;
                ++at;
            }
            out.append(b + start, at - start);
            pos_ = at;
            at_.column += static_cast<int>(at - start);
            if (at < end_ || at == start || out.size() > limit)
                return;
            Fill();
            if (pos_ == end_)
                return;
        }
    }

    uint32_t Peek() {
        if (!havePeek_) {
            peekAt_ = at_;
            peek_ = Decode();
            if (peek_ == '\r') {
                // CR LF is one line end; so is a lone CR. A fault after the CR stays set for the next call.
                peek_ = '\n';
                const uint32_t next = Decode();
                if (next != '\n' && next != kEnd && next != kBad) {
                    crPending_ = true;
                    pendingCode_ = next;
                }
            }
            havePeek_ = true;
        }
        return peek_;
    }

    // Takes the character that Peek shows.
    uint32_t Take() {
        const uint32_t c = Peek();
        havePeek_ = false;
        if (c == '\n') {
            ++at_.line;
            at_.column = 1;
        } else if (c != kEnd && c != kBad) {
            ++at_.column;
        }
        return c;
    }

    bool TakeIf(uint32_t c) {
        if (Peek() != c)
            return false;
        Take();
        return true;
    }

    // Where the character that Peek shows stands.
    Position At() {
        Peek();
        return peekAt_;
    }

    Fault GetFault() const { return fault_; }
    uint32_t BadCode() const { return badCode_; }

private:
    enum class Kind { Utf8, Utf16, Utf32, Latin1, Ascii };

    bool Has(const char* bytes, size_t size) const {
        return end_ - pos_ >= size && std::memcmp(buffer_.data() + pos_, bytes, size) == 0;
    }

    // Moves what is left to the front and reads on until the buffer holds a whole block or the input ends.
    void Fill() {
        if (atEnd_ || whole_)
            return;
        if (buffer_.size() != kBlock + 8)
            buffer_.resize(kBlock + 8);
        if (pos_ != 0) {
            std::memmove(&buffer_[0], buffer_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        while (end_ < kBlock && !atEnd_) {
            uint32_t got = 0;
            if (!input_.Read(&buffer_[end_], static_cast<uint32_t>(kBlock - end_), got)) {
                fault_ = Fault::ReadError;
                atEnd_ = true;
            } else if (got == 0) {
                atEnd_ = true;
            }
            end_ += got;
            total_ += got;
            if (total_ > kMaxDataFileBytes) {
                fault_ = Fault::TooLarge;
                atEnd_ = true;
            }
        }
    }

    // A code page that the platform converts: the whole rest of the document at once, then read as UTF-8.
    bool ConvertWhole() {
        std::string bytes(buffer_.data() + pos_, end_ - pos_);
        while (!atEnd_) {
            pos_ = end_ = 0;
            Fill();
            bytes.append(buffer_.data(), end_);
        }
        if (!charsets_.Knows(encoding_))
            return false;
        converted_ = charsets_.ToUtf8(encoding_, bytes, false);
        buffer_.assign(converted_.begin(), converted_.end());
        std::string().swap(converted_);
        pos_ = 0;
        end_ = buffer_.size();
        whole_ = true;
        kind_ = Kind::Utf8;
        return true;
    }

    uint32_t Fail(Fault fault, uint32_t code = 0) {
        fault_ = fault;
        badCode_ = code;
        return kBad;
    }

    // The next character of the bytes, checked against what XML allows.
    uint32_t Decode() {
        if (crPending_) {
            crPending_ = false;
            return pendingCode_;
        }
        if (fault_ != Fault::None)
            return kBad;
        if (end_ - pos_ < 4)
            Fill();
        if (fault_ != Fault::None)
            return kBad;
        if (pos_ == end_)
            return kEnd;
        uint32_t code = 0;
        size_t length = 0;
        const char* b = buffer_.data();
        switch (kind_) {
        case Kind::Utf8:
            length = DecodeUtf8(b, end_, pos_, code);
            if (length == 0)
                return Fail(Fault::NotEncoded);
            break;
        case Kind::Utf16: {
            if (end_ - pos_ < 2)
                return Fail(Fault::NotEncoded);
            const auto unit = [&](size_t at) {
                const unsigned char x = static_cast<unsigned char>(b[at]), y = static_cast<unsigned char>(b[at + 1]);
                return bigEndian_ ? static_cast<uint32_t>(x << 8 | y) : static_cast<uint32_t>(y << 8 | x);
            };
            code = unit(pos_);
            length = 2;
            if (code >= 0xD800 && code <= 0xDBFF) {
                if (end_ - pos_ < 4)
                    return Fail(Fault::NotEncoded);
                const uint32_t low = unit(pos_ + 2);
                if (low < 0xDC00 || low > 0xDFFF)
                    return Fail(Fault::NotEncoded);
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                length = 4;
            } else if (code >= 0xDC00 && code <= 0xDFFF) {
                return Fail(Fault::NotEncoded);
            }
            break;
        }
        case Kind::Utf32: {
            if (end_ - pos_ < 4)
                return Fail(Fault::NotEncoded);
            const unsigned char* u = reinterpret_cast<const unsigned char*>(b + pos_);
            code = bigEndian_ ? (uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3])
                              : (uint32_t(u[3]) << 24 | uint32_t(u[2]) << 16 | uint32_t(u[1]) << 8 | u[0]);
            length = 4;
            if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return Fail(Fault::NotEncoded);
            break;
        }
        case Kind::Latin1:
        case Kind::Ascii:
            code = static_cast<unsigned char>(b[pos_]);
            length = 1;
            if (kind_ == Kind::Ascii && code >= 0x80)
                return Fail(Fault::NotEncoded);
            break;
        }
        if (!text::IsXmlChar(code))
            return Fail(Fault::NotAllowed, code);
        pos_ += length;
        return code;
    }

    static constexpr size_t kBlock = 65536;

    pkg::InputStream& input_;
    DataFileCharsets charsets_;
    std::string encoding_;
    Kind kind_ = Kind::Utf8;
    bool bigEndian_ = false;
    std::vector<char> buffer_;
    std::string converted_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t total_ = 0;
    bool atEnd_ = false;
    bool whole_ = false;
    Fault fault_ = Fault::None;
    uint32_t badCode_ = 0;
    bool crPending_ = false;
    uint32_t pendingCode_ = 0;
    bool havePeek_ = false;
    uint32_t peek_ = 0;
    Position at_;
    Position peekAt_;
};

// Whether name is among the attributes, in linear time over a whole element: the first few are compared
// one by one, and from then on a set of the names (which names holds) answers. Called once for each
// attribute of an element in turn, before the attribute is appended.
bool RepeatsName(const XmlAttributes& attributes, size_t count, const std::string& name,
                 std::unordered_set<std::string>& names) {
    constexpr size_t kFew = 32;
    if (count < kFew) {
        for (size_t i = 0; i < count; ++i) {
            if (attributes[i].first == name)
                return true;
        }
        return false;
    }
    if (count == kFew) {
        names.clear();
        for (size_t i = 0; i < count; ++i)
            names.insert(attributes[i].first);
    }
    return !names.insert(name).second;
}

// ---- Parsing ----

// Stops the parse: the reason is in the parser's result.
struct Stop {};

class Parser {
public:
    Parser(pkg::InputStream& input, const feedtext::Charsets* platform, const char* rootName)
        : in_(input, platform), rootName_(rootName) {}

    DataFileResult Parse(DataElement& root) {
        try {
            if (!in_.Start())
                Refuse(DataFileRead::NotXml, Position(),
                       "the file is in the encoding \"" + in_.Encoding() + "\", which is not read");
            ParseProlog();
            ParseElement(&root, 0);
            SetContext("the text after the document element");
            for (;;) {
                SkipSpace();
                if (in_.Peek() == CharStream::kEnd)
                    break;
                if (!SkipMarkupOutside())
                    Expected("the end of the file after the document element");
            }
        } catch (const Stop&) {
        }
        result_.passedOver = passedOver_;
        return result_;
    }

private:
    [[noreturn]] void Refuse(DataFileRead read, Position at, const std::string& what) {
        result_.read = read;
        result_.line = at.line;
        result_.column = at.column;
        result_.what = what;
        throw Stop();
    }

    // A stream fault, or what was expected where the stream stands.
    [[noreturn]] void Expected(const std::string& expected) {
        const Position at = in_.At();
        if (in_.Peek() == CharStream::kBad)
            Fault(at);
        if (in_.Peek() == CharStream::kEnd)
            Refuse(DataFileRead::NotXml, at, "the file ends where " + expected + " was expected");
        Refuse(DataFileRead::NotXml, at, expected + " was expected");
    }

    [[noreturn]] void Fault(Position at) {
        switch (in_.GetFault()) {
        case CharStream::Fault::NotAllowed:
            Refuse(DataFileRead::NotXml, at,
                   Context() + " holds a character that XML does not allow (" + CodePointText(in_.BadCode()) + ")");
        case CharStream::Fault::NotEncoded:
            Refuse(DataFileRead::NotXml, at, Context() + " holds bytes that are not " + EncodingName());
        case CharStream::Fault::TooLarge:
            Refuse(DataFileRead::OverLimit, at,
                   "the file is larger than the limit (" + std::to_string(kMaxDataFileBytes) + " bytes)");
        default:
            Refuse(DataFileRead::NotXml, at, "the file cannot be read to its end");
        }
    }

    std::string EncodingName() const {
        const std::string& e = in_.Encoding();
        if (e == feedtext::kUtf8)
            return "UTF-8";
        if (e == feedtext::kUtf16Le || e == feedtext::kUtf16Be)
            return "UTF-16";
        if (e == feedtext::kUtf32Le || e == feedtext::kUtf32Be)
            return "UTF-32";
        return e;
    }

    // Takes the next character; a stream fault stops the parse.
    uint32_t Next() {
        if (in_.Peek() == CharStream::kBad)
            Fault(in_.At());
        return in_.Take();
    }

    void Require(const char* literal, const char* expected) {
        for (const char* c = literal; *c; ++c) {
            if (in_.Peek() != static_cast<unsigned char>(*c))
                Expected(expected);
            in_.Take();
        }
    }

    bool SkipSpace() {
        bool any = false;
        while (IsXmlSpace(in_.Peek())) {
            in_.Take();
            any = true;
        }
        return any;
    }

    // A name at the stream; what says whose name it is, for messages.
    void ParseName(std::string& name, const char* what) {
        name.clear();
        if (!IsNameStart(in_.Peek())) {
            if (in_.Peek() < 0x80 || in_.Peek() >= CharStream::kBad)
                Expected(what);
            Refuse(DataFileRead::NotXml, in_.At(),
                   std::string(what) + " holds a character other than the letters A-Z, digits, '_', ':', '-' and '.', "
                                       "which the names of these files never hold");
        }
        for (;;) {
            in_.TakeNameRun(name, kMaxDataValueBytes);
            if (!IsNameChar(in_.Peek()))
                break;
            if (name.size() >= kMaxDataValueBytes)
                Refuse(DataFileRead::OverLimit, in_.At(),
                       std::string(what) + " is longer than the limit of one name or value (" +
                           std::to_string(kMaxDataValueBytes) + " bytes)");
            name += static_cast<char>(in_.Take());
        }
        if (in_.Peek() >= 0x80 && in_.Peek() < CharStream::kBad)
            Refuse(DataFileRead::NotXml, in_.At(),
                   std::string(what) + " holds a character other than the letters A-Z, digits, '_', ':', '-' and '.', "
                                       "which the names of these files never hold");
    }

    // A reference after its "&": one of the five predefined entities or a character reference, however
    // many leading zeros it has.
    uint32_t ParseReference(Position at) {
        std::string name;
        for (;;) {
            const uint32_t c = in_.Peek();
            if (c == ';')
                break;
            if (!(IsNameChar(c) || c == '#') || name.size() > kMaxDataValueBytes)
                Expected("a reference ending in ';'");
            name += static_cast<char>(in_.Take());
        }
        in_.Take();
        uint32_t code = 0;
        switch (text::ResolveXmlReference(name, &code)) {
        case text::XmlReference::Character:
            return code;
        case text::XmlReference::NotAllowed:
            Refuse(DataFileRead::NotXml, at,
                   Context() + " holds a reference to a character that XML does not allow (&" + name + ";)");
        case text::XmlReference::Unknown:
            break;
        }
        Refuse(DataFileRead::NotXml, at,
               Context() + " holds the reference &" + name +
                   "; which is neither a character reference nor one of &amp; &lt; &gt; &quot; &apos;");
    }

    void ParseAttributeValue(std::string& value) {
        const uint32_t quote = in_.Peek();
        if (quote != '"' && quote != '\'')
            Expected("a quoted attribute value");
        in_.Take();
        value.clear();
        for (;;) {
            const uint32_t c = in_.Peek();
            if (c == quote) {
                in_.Take();
                return;
            }
            if (c == CharStream::kEnd || c == CharStream::kBad)
                Expected(std::string("the closing ") + static_cast<char>(quote) + " of the value");
            if (c >= 0x20 && c < 0x80 && c != '<' && c != '&' && c != quote) {
                in_.TakeAsciiRun(value, static_cast<char>(quote), kMaxDataValueBytes);
                if (value.size() > kMaxDataValueBytes)
                    Refuse(DataFileRead::OverLimit, in_.At(),
                           Context() + " is longer than the limit of one name or value (" +
                               std::to_string(kMaxDataValueBytes) + " bytes)");
                continue;
            }
            if (c == '<')
                Refuse(DataFileRead::NotXml, in_.At(), Context() + " holds a '<', which a value must write as &lt;");
            if (value.size() >= kMaxDataValueBytes)
                Refuse(DataFileRead::OverLimit, in_.At(),
                       Context() + " is longer than the limit of one name or value (" +
                           std::to_string(kMaxDataValueBytes) + " bytes)");
            const Position at = in_.At();
            in_.Take();
            if (c == '&')
                AppendUtf8(value, ParseReference(at));
            else if (c == '\t' || c == '\n')
                value += ' '; // attribute-value normalisation, after end-of-line handling
            else
                AppendUtf8(value, c);
        }
    }

    void SetContext(const char* context) { context_ = context; }
    void SetTextContext(const std::string& element) {
        context_ = nullptr;
        contextElement_ = &element;
        contextAttribute_ = nullptr;
    }
    void SetValueContext(const std::string& element, const std::string& attribute) {
        context_ = nullptr;
        contextElement_ = &element;
        contextAttribute_ = &attribute;
    }
    std::string Context() const {
        if (context_)
            return context_;
        if (!contextAttribute_)
            return "the text of " + *contextElement_;
        return ValueContext(*contextElement_, *contextAttribute_);
    }

    // "a title", "a URL", ...: what a value stands for, in messages.
    static std::string ValueContext(const std::string& element, const std::string& attribute) {
        if (element == "Feed" && attribute == "Name")
            return "a title";
        if (element == "Feed" && attribute == "URL")
            return "a URL";
        if (element == "Folder" && attribute == "Name")
            return "a folder name";
        return "the attribute " + attribute + " of a " + element;
    }

    // Skips up to and past end, with the characters between checked.
    void SkipTo(const char* end, const char* expected) {
        const size_t length = std::strlen(end);
        size_t matched = 0;
        while (matched < length) {
            const uint32_t c = Next();
            if (c == CharStream::kEnd)
                Expected(expected);
            if (c == static_cast<unsigned char>(end[matched]))
                ++matched;
            else
                matched = c == static_cast<unsigned char>(end[0]) ? 1 : 0;
        }
    }

    // After "<!--": XML allows no "--" inside a comment.
    void SkipComment() {
        SetContext("a comment");
        for (;;) {
            const uint32_t c = Next();
            if (c == CharStream::kEnd)
                Expected("the end of the comment \"-->\"");
            if (c == '-' && in_.TakeIf('-')) {
                if (!in_.TakeIf('>'))
                    Refuse(DataFileRead::NotXml, in_.At(), "a comment holds \"--\", which XML allows only at its end");
                return;
            }
        }
    }

    // After "<?": a processing instruction, whose target may not be "xml" in any case.
    void SkipProcessingInstruction(bool first) {
        const Position at = in_.At();
        std::string target;
        ParseName(target, "the target of a processing instruction");
        SetContext("a processing instruction");
        if (text::EqualNoCase(target, "xml")) {
            if (!first || target != "xml")
                Refuse(DataFileRead::NotXml, at, "an XML declaration stands only at the very start of the file");
            ParseDeclaration();
            return;
        }
        if (!SkipSpace()) {
            Require("?>", "'?>' or a space after the target of the processing instruction");
            return;
        }
        SkipTo("?>", "the end of the processing instruction \"?>\"");
    }

    // <?xml version="1.0" encoding="..." standalone="..."?>, after the "xml".
    void ParseDeclaration() {
        SetContext("the XML declaration");
        static const char* const kNames[] = {"version", "encoding", "standalone"};
        size_t next = 0;
        for (;;) {
            const bool space = SkipSpace();
            if (in_.TakeIf('?')) {
                Require(">", "'?>' at the end of the XML declaration");
                if (next == 0)
                    Refuse(DataFileRead::NotXml, in_.At(), "the XML declaration has no version");
                return;
            }
            const Position at = in_.At();
            std::string name, value;
            if (!space)
                Expected("a space or '?>' in the XML declaration");
            ParseName(name, "a name in the XML declaration");
            while (next < 3 && name != kNames[next] && next != 0)
                ++next;
            if (next >= 3 || name != kNames[next])
                Refuse(DataFileRead::NotXml, at, "the XML declaration holds " + name + " where it may not");
            ++next;
            SkipSpace();
            Require("=", "'=' after the name in the XML declaration");
            SkipSpace();
            ParseAttributeValue(value);
            if (name == "encoding" && !EncodingMatches(text::Trim(value)))
                Refuse(DataFileRead::NotXml, at,
                       "the file declares the encoding \"" + value + "\", which is not read or is not the file's");
        }
    }

    bool EncodingMatches(std::string declared) const {
        for (char& c : declared)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        const std::string& e = in_.Encoding();
        if (e == feedtext::kUtf8)
            return declared == "utf-8" || declared == "utf8";
        if (e == feedtext::kUtf16Le || e == feedtext::kUtf16Be)
            return declared.compare(0, 6, "utf-16") == 0 || declared == "unicode" || declared == "ucs-2" ||
                   declared == "iso-10646-ucs-2";
        if (e == feedtext::kUtf32Le || e == feedtext::kUtf32Be)
            return declared.compare(0, 6, "utf-32") == 0 || declared == "ucs-4" || declared == "iso-10646-ucs-4";
        return declared == e;
    }

    // Comments, processing instructions and white space before the document element; a document type
    // declaration is refused.
    void ParseProlog() {
        // The XML declaration may only be the very first thing; white space before it ends that chance.
        bool first = !IsXmlSpace(in_.Peek());
        for (;;) {
            SkipSpace();
            SetContext("the text before the document element");
            if (in_.Peek() != '<')
                Expected("the document element");
            const Position at = in_.At();
            in_.Take();
            if (in_.TakeIf('?')) {
                SkipProcessingInstruction(first);
            } else if (in_.TakeIf('!')) {
                if (in_.Peek() == 'D')
                    Refuse(DataFileRead::DocumentType, at, "the file declares a document type");
                Require("--", "a comment or the document element");
                SkipComment();
            } else {
                pendingStart_ = true;
                startAt_ = at;
                return;
            }
            first = false;
        }
    }

    // A comment or processing instruction after the document element.
    bool SkipMarkupOutside() {
        if (in_.Peek() != '<')
            return false;
        const Position at = in_.At();
        in_.Take();
        if (in_.TakeIf('?')) {
            SkipProcessingInstruction(false);
            return true;
        }
        if (in_.TakeIf('!')) {
            if (in_.Peek() == 'D')
                Refuse(DataFileRead::DocumentType, at, "the file declares a document type");
            Require("--", "a comment");
            SkipComment();
            return true;
        }
        Refuse(DataFileRead::NotXml, at, "a second document element stands after the first");
    }

    // Whether the names are already among the attributes, in linear time: a set of the names only when an
    // element has more than a few.
    bool Repeats(const XmlAttributes& attributes, const std::string& name) {
        return RepeatsName(attributes, attributes.size(), name, names_);
    }

    // An element whose "<" has been taken. keep is where it goes (null: it is passed over).
    void ParseElement(DataElement* keep, int depth) {
        const bool root = depth == 0;
        Position at = startAt_;
        if (!pendingStart_) {
            at = in_.At();
            in_.Take();
        }
        pendingStart_ = false;
        if (++elements_ > kMaxDataElements)
            Refuse(DataFileRead::OverLimit, at,
                   "the file holds more elements than the limit (" + std::to_string(kMaxDataElements) + ")");
        if (depth >= kMaxDataDepth)
            Refuse(DataFileRead::OverLimit, at,
                   "elements are nested deeper than the limit (" + std::to_string(kMaxDataDepth) + ")");
        std::string name;
        SetContext("an element name");
        ParseName(name, "an element name");
        if (keep && !root && name != "Folder" && name != "Feed")
            keep = nullptr;
        if (!keep)
            ++passedOver_;

        // Gathered in one vector for every element, then copied at their exact number: a kept element holds
        // no spare room.
        XmlAttributes& attributes = attributes_;
        attributes.clear();
        for (;;) {
            // The context may name only what outlives it: the attribute of the last round is gone.
            SetContext("a start tag");
            const bool space = SkipSpace();
            const uint32_t c = in_.Peek();
            if (c == '/' || c == '>')
                break;
            if (!space)
                Expected("a space, '>' or '/>' in the start tag of " + name);
            const Position attributeAt = in_.At();
            std::string attribute;
            ParseName(attribute, "an attribute name");
            SkipSpace();
            Require("=", ("'=' after the attribute " + attribute).c_str());
            SkipSpace();
            if (attributes.size() >= kMaxDataAttributes)
                Refuse(DataFileRead::OverLimit, attributeAt,
                       "the element " + name + " has more attributes than the limit (" +
                           std::to_string(kMaxDataAttributes) + ")");
            if (Repeats(attributes, attribute))
                Refuse(DataFileRead::NotXml, attributeAt, "the element " + name + " has the attribute " + attribute +
                                                              " twice");
            SetValueContext(name, attribute);
            std::string value;
            ParseAttributeValue(value);
            attributes.emplace_back(std::move(attribute), std::move(value));
        }
        if (keep)
            keep->attributes.assign(std::make_move_iterator(attributes.begin()), std::make_move_iterator(attributes.end()));
        if (root) {
            keep->name = name;
            if (name != "Folder" || keep->Value("Name") != rootName_) {
                result_.read = DataFileRead::WrongRoot;
                result_.line = at.line;
                result_.column = at.column;
                result_.what = std::string("the document element is not the folder \"") + rootName_ + "\"";
                *keep = DataElement();
                throw Stop();
            }
        }
        if (keep) {
            keep->name = std::move(name);
            keep->line = at.line;
            keep->column = at.column;
            name = keep->name;
        }
        if (in_.TakeIf('/')) {
            Require(">", "'>' after '/' in the start tag");
            return;
        }
        in_.Take();
        ParseContent(keep, depth, name);
        SetContext("the text after an element"); // name is about to go
    }

    // Content up to and with the end tag of name.
    void ParseContent(DataElement* keep, int depth, const std::string& name) {
        // A Feed holds no elements of the format: whatever stands inside it is passed over.
        DataElement* holder = keep && keep->IsFolder() ? keep : nullptr;
        for (;;) {
            SetTextContext(name);
            const uint32_t c = in_.Peek();
            if (c == '<') {
                const Position at = in_.At();
                in_.Take();
                if (in_.TakeIf('/')) {
                    const Position endAt = in_.At();
                    std::string end;
                    ParseName(end, ("the name of the end tag of " + name).c_str());
                    if (end != name)
                        Refuse(DataFileRead::NotXml, endAt, "the end tag </" + name + "> was expected, not </" + end + ">");
                    SkipSpace();
                    Require(">", ("'>' at the end of the end tag of " + name).c_str());
                    return;
                }
                if (in_.TakeIf('?')) {
                    SkipProcessingInstruction(false);
                    continue;
                }
                if (in_.TakeIf('!')) {
                    if (in_.TakeIf('-')) {
                        Require("-", "a comment \"<!--\"");
                        SkipComment();
                    } else if (in_.TakeIf('[')) {
                        Require("CDATA[", "a CDATA section \"<![CDATA[\"");
                        SetContext("a CDATA section");
                        SkipTo("]]>", "the end of the CDATA section \"]]>\"");
                    } else if (in_.Peek() == 'D') {
                        Refuse(DataFileRead::DocumentType, at, "the file declares a document type");
                    } else {
                        Expected("a comment or a CDATA section after \"<!\"");
                    }
                    continue;
                }
                pendingStart_ = true;
                startAt_ = at;
                DataElement* child = nullptr;
                if (holder) {
                    holder->children.emplace_back();
                    child = &holder->children.back();
                }
                ParseElement(child, depth + 1);
                if (holder && holder->children.back().name.empty())
                    holder->children.pop_back(); // an element other than Folder and Feed
                continue;
            }
            if (c == CharStream::kEnd || c == CharStream::kBad)
                Expected("the end tag </" + name + ">");
            const Position at = in_.At();
            in_.Take();
            if (c == '&') {
                ParseReference(at);
            } else if (c == ']') {
                // "]]>" may not stand in character data.
                if (in_.TakeIf(']')) {
                    while (in_.TakeIf(']')) {
                    }
                    if (in_.Peek() == '>')
                        Refuse(DataFileRead::NotXml, in_.At(), "the text of " + name + " holds \"]]>\"");
                }
            }
        }
    }

    CharStream in_;
    const char* rootName_;
    DataFileResult result_;
    // What is being read, for messages; made into words only when one is needed.
    const char* context_ = "the file";
    const std::string* contextElement_ = nullptr;   // with context_ null: the text of this element
    const std::string* contextAttribute_ = nullptr; // and with this too: the value of this attribute
    size_t elements_ = 0;
    size_t passedOver_ = 0;
    std::unordered_set<std::string> names_;
    XmlAttributes attributes_;
    bool pendingStart_ = false;
    Position startAt_;
};

// ---- Writing ----

// An attribute value as the DOM component escapes it: the markup characters, the quote, and the white
// space characters that an attribute value would otherwise lose to normalisation.
void AppendEscaped(std::string& out, const std::string& value) {
    size_t plain = 0; // the start of the characters not yet appended that need no escaping
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '&' && c != '<' && c != '>' && c != '"' && c != '\t' && c != '\n' && c != '\r')
            continue;
        out.append(value, plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        }
    }
    out.append(value, plain, std::string::npos);
}

bool AppendElement(std::string& out, const DataElement& element, int depth) {
    if (depth >= kMaxDataDepth || !IsName(element.name))
        return false;
    out += '<';
    out += element.name;
    std::unordered_set<std::string> names;
    for (size_t i = 0; i < element.attributes.size(); ++i) {
        const auto& attribute = element.attributes[i];
        if (!IsName(attribute.first) || !IsXmlText(attribute.second) ||
            RepeatsName(element.attributes, i, attribute.first, names))
            return false;
        out += ' ';
        out += attribute.first;
        out += "=\"";
        AppendEscaped(out, attribute.second);
        out += '"';
    }
    if (element.children.empty()) {
        out += "/>";
        return true;
    }
    out += '>';
    for (const DataElement& child : element.children) {
        if (!AppendElement(out, child, depth + 1))
            return false;
    }
    out += "</";
    out += element.name;
    out += '>';
    return true;
}

// The DOM component ends the saved document with one line feed.
const char kDocumentEnd[] = "\n";

XmlAttributes WithValues(const XmlAttributes& kept, const XmlAttributes& current) {
    XmlAttributes out = kept;
    for (const auto& value : current) {
        bool found = false;
        for (auto& attribute : out) {
            if (attribute.first == value.first) {
                attribute.second = value.second;
                found = true;
                break;
            }
        }
        if (!found)
            out.push_back(value);
    }
    return out;
}

DataElement Element(const char* name, XmlAttributes attributes) {
    DataElement element;
    element.name = name;
    element.attributes = std::move(attributes);
    return element;
}

void Check(DataElement& folder, bool drop, std::vector<RecordProblem>& problems) {
    auto& children = folder.children;
    size_t kept = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        DataElement& child = children[i];
        bool bad = false;
        if (child.IsFolder()) {
            const std::string name = child.Value("Name");
            if (text::Trim(name).empty()) {
                problems.push_back({child.line, child.column, "a folder without a name", name, std::string()});
                bad = true;
            } else {
                Check(child, drop, problems);
            }
        } else {
            const std::string title = child.Value("Name"), url = child.Value("URL");
            if (!IsAcceptableRecord(title, url)) {
                const char* what = text::Trim(title).empty() ? "a record without a title"
                                   : url.empty()             ? "a record without a URL"
                                   : IsWebUrl(url) ? "a record whose URL is longer than 2048 characters"
                                                   : "a record whose URL is no http or https address";
                problems.push_back({child.line, child.column, what, title, url});
                bad = true;
            }
        }
        if (bad && drop)
            continue;
        if (kept != i)
            children[kept] = std::move(child);
        ++kept;
    }
    children.resize(kept);
}

} // namespace

bool IsXmlText(const std::string& value) {
    for (size_t i = 0; i < value.size();) {
        uint32_t code;
        const size_t length = DecodeUtf8(value.data(), value.size(), i, code);
        if (length == 0 || !text::IsXmlChar(code))
            return false;
        i += length;
    }
    return true;
}

const std::string* DataElement::Find(const char* attribute) const {
    for (const auto& a : attributes) {
        if (a.first == attribute)
            return &a.second;
    }
    return nullptr;
}

std::string DataElement::Value(const char* attribute) const {
    const std::string* value = Find(attribute);
    return value ? *value : std::string();
}

void DataElement::Set(const char* attribute, const std::string& value) {
    for (auto& a : attributes) {
        if (a.first == attribute) {
            a.second = value;
            return;
        }
    }
    attributes.emplace_back(attribute, value);
}

bool operator==(const DataElement& a, const DataElement& b) {
    return a.name == b.name && a.attributes == b.attributes && a.children == b.children;
}

std::string DataFileResult::Describe(const std::string& file) const {
    if (line == 0)
        return file + ": " + what;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + what;
}

DataFileResult ReadDataFile(pkg::InputStream& input, const char* rootName, DataElement& root,
                            const feedtext::Charsets* platform) {
    root = DataElement();
    DataFileResult result;
    try {
        result = Parser(input, platform, rootName).Parse(root);
    } catch (const std::bad_alloc&) {
        result = DataFileResult();
        result.read = DataFileRead::NoMemory;
        result.what = "there is not enough memory to read the file";
    }
    if (!result.Ok())
        root = DataElement();
    return result;
}

DataFileResult ReadDataFile(const std::string& text, const char* rootName, DataElement& root,
                            const feedtext::Charsets* platform) {
    pkg::MemoryInput input(text);
    return ReadDataFile(input, rootName, root, platform);
}

bool DataFileText(const DataElement& root, std::string& out) {
    try {
        std::string text;
        if (!AppendElement(text, root, 0))
            return false;
        out = text + kDocumentEnd;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

XmlAttributes FolderAttributes(const std::string& name, int special) {
    return {{"Name", name}, {"Status", "0"}, {"UpdateCount", "0"}, {"SpecialData", std::to_string(special)}};
}

XmlAttributes FeedAttributes(const std::string& title, const std::string& url) {
    return {{"Name", title},
            {"URL", url},
            {"Status", "0"},
            {"XMLFileName", ""},
            {"AutoUpdateFreq", "1"},
            {"AutoUpdateUnit", "days"},
            {"Time", ""},
            {"httpLastModified", ""},
            {"SpecialData", "0"}};
}

XmlAttributes FolderAttributes(const CFeedFolder& folder, int special) {
    if (folder.Kept().empty())
        return FolderAttributes(folder.Name(), special);
    return WithValues(folder.Kept(), {{"Name", folder.Name()}, {"SpecialData", std::to_string(special)}});
}

XmlAttributes FeedAttributes(const CFeedFolder& folder, int index) {
    std::string title, url;
    folder.GetAt(index, title, url);
    if (folder.KeptAt(index).empty())
        return FeedAttributes(title, url);
    return WithValues(folder.KeptAt(index), {{"Name", title}, {"URL", url}});
}

XmlAttributes PageAttributes(const WebPageRow& row) {
    if (row.kept.empty())
        return FeedAttributes(row.title, row.url);
    return WithValues(row.kept, {{"Name", row.title}, {"URL", row.url}});
}

DataElement FeedsTree(const std::vector<CFeedFolder>& folders) {
    DataElement root = Element("Folder", FolderAttributes("All Feeds", 1));
    for (const CFeedFolder& folder : folders) {
        if (folder.Count() == 0)
            continue;
        DataElement element = Element("Folder", FolderAttributes(folder, root.children.empty() ? 0 : 1));
        for (int i = 0; i < folder.Count(); ++i)
            element.children.push_back(Element("Feed", FeedAttributes(folder, i)));
        root.children.push_back(std::move(element));
    }
    return root;
}

DataElement WebPagesTree(const std::vector<WebPageRow>& rows) {
    DataElement root = Element("Folder", FolderAttributes("All Pages", 1));
    DataElement folder = Element("Folder", FolderAttributes("My WebPages", 0));
    for (const WebPageRow& row : rows)
        folder.children.push_back(Element("Feed", PageAttributes(row)));
    root.children.push_back(std::move(folder));
    return root;
}

std::string FeedsXmlText(const std::vector<CFeedFolder>& folders, int& feedCount) {
    const DataElement root = FeedsTree(folders);
    std::string out;
    feedCount = DataFileText(root, out) ? static_cast<int>(CountFeeds(root)) : 0;
    return out;
}

std::string WebPagesXmlText(const std::vector<WebPageRow>& rows) {
    std::string out;
    DataFileText(WebPagesTree(rows), out);
    return out;
}

bool IsAcceptableRecord(const std::string& title, const std::string& url) {
    // The URL's length in characters: every byte that does not continue a UTF-8 sequence starts one.
    size_t characters = 0;
    for (const char c : url)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return !text::Trim(title).empty() && IsWebUrl(url) && characters <= kMaxUrlChars;
}

std::vector<RecordProblem> CheckRecords(DataElement& root, bool drop) {
    std::vector<RecordProblem> problems;
    Check(root, drop, problems);
    return problems;
}

size_t CountFeeds(const DataElement& root) {
    size_t count = 0;
    for (const DataElement& child : root.children)
        count += child.IsFolder() ? CountFeeds(child) : 1;
    return count;
}

bool FlatFolders(const DataElement& root, std::vector<CFeedFolder>& folders, std::string& nested,
                 std::string& loose) {
    folders.clear();
    nested.clear();
    loose.clear();
    for (const DataElement& child : root.children) {
        if (!child.IsFolder()) {
            loose = child.Value("Name");
            folders.clear();
            return false;
        }
        CFeedFolder folder(child.Value("Name"));
        folder.SetKept(child.attributes);
        for (const DataElement& feed : child.children) {
            if (feed.IsFolder()) {
                nested = feed.Value("Name");
                folders.clear();
                return false;
            }
            folder.Add(feed.Value("Name"), feed.Value("URL"), feed.attributes);
        }
        if (folder.Count() != 0)
            folders.push_back(std::move(folder));
    }
    return true;
}

std::vector<WebPageRow> PageRows(const DataElement& root) {
    std::vector<WebPageRow> rows;
    for (const DataElement& folder : root.children) {
        for (const DataElement& page : folder.children) {
            if (!page.IsFolder())
                rows.push_back({page.Value("Name"), page.Value("URL"), page.attributes});
        }
    }
    return rows;
}

std::string EscapeControls(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t code;
        size_t length = DecodeUtf8(utf8.data(), utf8.size(), i, code);
        if (length == 0) {
            out += text::Format("\\x%02X", static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
            for (size_t k = 0; k < length; ++k)
                out += text::Format("\\x%02X", static_cast<unsigned char>(utf8[i + k]));
        }
        else
            out.append(utf8, i, length);
        i += length;
    }
    return out;
}

DataFileRead ReadFeedsXml(const std::string& text, std::vector<CFeedFolder>& folders, int& skipped) {
    folders.clear();
    skipped = 0;
    DataElement root;
    const DataFileResult read = ReadDataFile(text, "All Feeds", root);
    if (!read.Ok())
        return read.read;
    skipped = static_cast<int>(CheckRecords(root, true).size());
    for (const DataElement& child : root.children) {
        if (!child.IsFolder())
            continue;
        CFeedFolder folder(child.Value("Name"));
        folder.SetKept(child.attributes);
        for (const DataElement& feed : child.children) {
            if (feed.IsFolder())
                ++skipped;
            else
                folder.Add(feed.Value("Name"), feed.Value("URL"), feed.attributes);
        }
        if (folder.Count() != 0)
            folders.push_back(std::move(folder));
    }
    return DataFileRead::Read;
}

DataFileRead ReadWebPagesXml(const std::string& text, std::vector<WebPageRow>& pages, int& skipped) {
    pages.clear();
    skipped = 0;
    DataElement root;
    const DataFileResult read = ReadDataFile(text, "All Pages", root);
    if (!read.Ok())
        return read.read;
    skipped = static_cast<int>(CheckRecords(root, true).size());
    pages = PageRows(root);
    return DataFileRead::Read;
}
