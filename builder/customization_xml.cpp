#include "builder/customization_xml.h"

#include "feeds/url_scheme.h"
#include "feeds/xml_prolog.h"
#include "framework/text.h"
#include "framework/xml_reference.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// ---- Writing ----

// An attribute value as the DOM component escapes it: the markup characters, the quote, and the white
// space characters that an attribute value would otherwise lose to normalisation.
void AppendEscaped(std::string& out, const std::string& value) {
    for (const char c : value) {
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
        default:
            out += c;
        }
    }
}

void AppendStartTag(std::string& out, const char* name, const XmlAttributes& attributes, bool empty) {
    out += '<';
    out += name;
    for (const auto& attribute : attributes) {
        out += ' ';
        out += attribute.first;
        out += "=\"";
        AppendEscaped(out, attribute.second);
        out += '"';
    }
    out += empty ? "/>" : ">";
}

void AppendFeed(std::string& out, const std::string& title, const std::string& url) {
    AppendStartTag(out, "Feed", FeedAttributes(title, url), true);
}

// The DOM component ends the saved document with one line feed.
const char kDocumentEnd[] = "\n";

// ---- Reading ----

struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<Element> children;

    // The value of the attribute of exactly that name; empty when there is none.
    std::string Attribute(const char* wanted) const {
        for (const auto& attribute : attributes) {
            if (attribute.first == wanted)
                return attribute.second;
        }
        return std::string();
    }
};

// The data files nest three elements deep; anything far deeper is no data file.
constexpr int kMaxDepth = 32;

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    DataFileRead Parse(Element& root) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            pos_ = 3;
        if (!SkipMisc())
            return Failure();
        if (!ParseElement(root, 0))
            return Failure();
        if (!SkipMisc() || pos_ != text_.size())
            return Failure();
        return DataFileRead::Read;
    }

private:
    DataFileRead Failure() const { return documentType_ ? DataFileRead::DocumentType : DataFileRead::NotXml; }

    bool AtEnd() const { return pos_ >= text_.size(); }
    bool StartsWith(const char* s) const { return text_.compare(pos_, std::strlen(s), s) == 0; }
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void SkipSpace() {
        while (!AtEnd() && IsSpace(text_[pos_]))
            ++pos_;
    }
    // Moves past the first end after the current position; false when there is none.
    bool SkipPast(const char* end) {
        const size_t found = text_.find(end, pos_);
        if (found == std::string::npos)
            return false;
        pos_ = found + std::strlen(end);
        return true;
    }

    enum class Markup {
        None,    // no markup of these kinds at the position
        Skipped, // passed over
        Broken,  // unclosed, or a declaration: the document is refused
    };

    // A comment, a processing instruction or (in content) a CDATA section at the position is passed
    // over; every other "<!" is a declaration, which these files never carry.
    Markup SkipMarkup(bool inContent) {
        static const struct {
            const char* start;
            const char* end;
            bool contentOnly;
        } kSkipped[] = {{"<!--", "-->", false}, {"<![CDATA[", "]]>", true}, {"<?", "?>", false}};
        for (const auto& markup : kSkipped) {
            if ((inContent || !markup.contentOnly) && StartsWith(markup.start)) {
                pos_ += std::strlen(markup.start);
                return SkipPast(markup.end) ? Markup::Skipped : Markup::Broken;
            }
        }
        if (StartsWith("<!")) {
            documentType_ = StartsWith("<!DOCTYPE");
            return Markup::Broken;
        }
        return Markup::None;
    }

    // White space, comments and processing instructions outside the document element.
    bool SkipMisc() {
        for (;;) {
            SkipSpace();
            const Markup markup = SkipMarkup(false);
            if (markup != Markup::Skipped)
                return markup == Markup::None;
        }
    }

    static bool IsNameChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':' ||
               c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
    }

    bool ParseName(std::string& name) {
        const size_t start = pos_;
        while (!AtEnd() && IsNameChar(text_[pos_]))
            ++pos_;
        if (pos_ == start || (text_[start] >= '0' && text_[start] <= '9') || text_[start] == '-' || text_[start] == '.')
            return false;
        name.assign(text_, start, pos_ - start);
        return true;
    }

    static void AppendUtf8(std::string& out, uint32_t code) {
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

    // A reference after its "&": one of the five predefined entities or a character reference. Every
    // other name would need a declaration, which these files never carry.
    bool ParseReference(std::string& out) {
        const size_t semicolon = text_.find(';', pos_);
        if (semicolon == std::string::npos || semicolon - pos_ > 10)
            return false;
        const std::string name = text_.substr(pos_, semicolon - pos_);
        pos_ = semicolon + 1;
        // A reference to a character that XML does not allow leaves the document not well-formed.
        uint32_t code = 0;
        if (text::ResolveXmlReference(name, &code) != text::XmlReference::Character)
            return false;
        AppendUtf8(out, code);
        return true;
    }

    bool ParseAttributeValue(std::string& value) {
        if (AtEnd() || (text_[pos_] != '"' && text_[pos_] != '\''))
            return false;
        const char quote = text_[pos_++];
        for (;;) {
            if (AtEnd())
                return false;
            const char c = text_[pos_++];
            if (c == quote)
                return true;
            if (c == '<')
                return false;
            if (c == '&') {
                if (!ParseReference(value))
                    return false;
            } else if (c == '\t' || c == '\n' || c == '\r') {
                // Attribute-value normalisation: literal white space becomes a space.
                value += ' ';
            } else {
                value += c;
            }
        }
    }

    bool ParseElement(Element& element, int depth) {
        if (depth > kMaxDepth || !StartsWith("<"))
            return false;
        ++pos_;
        if (!ParseName(element.name))
            return false;
        for (;;) {
            const size_t before = pos_;
            SkipSpace();
            if (AtEnd())
                return false;
            if (StartsWith("/>")) {
                pos_ += 2;
                return true;
            }
            if (text_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (pos_ == before)
                return false; // attributes are separated by white space
            std::string name, value;
            if (!ParseName(name))
                return false;
            SkipSpace();
            if (AtEnd() || text_[pos_] != '=')
                return false;
            ++pos_;
            SkipSpace();
            if (!ParseAttributeValue(value))
                return false;
            for (const auto& attribute : element.attributes) {
                if (attribute.first == name)
                    return false;
            }
            element.attributes.emplace_back(std::move(name), std::move(value));
        }
        // Content: child elements; text, comments and processing instructions are passed over.
        for (;;) {
            if (AtEnd())
                return false;
            if (StartsWith("</")) {
                pos_ += 2;
                std::string name;
                if (!ParseName(name) || name != element.name)
                    return false;
                SkipSpace();
                if (AtEnd() || text_[pos_] != '>')
                    return false;
                ++pos_;
                return true;
            }
            const Markup markup = SkipMarkup(true);
            if (markup == Markup::Broken)
                return false;
            if (markup == Markup::Skipped)
                continue;
            if (text_[pos_] == '<') {
                element.children.emplace_back();
                if (!ParseElement(element.children.back(), depth + 1))
                    return false;
            } else if (text_[pos_] == '&') {
                ++pos_;
                std::string ignored;
                if (!ParseReference(ignored))
                    return false;
            } else {
                ++pos_;
            }
        }
    }

    const std::string& text_;
    size_t pos_ = 0;
    bool documentType_ = false;
};

// Whether text is well-formed UTF-8 without overlong forms or surrogates.
bool IsUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t more;
        uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i <= more)
            return false;
        for (size_t k = 1; k <= more; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3Fu);
        }
        if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (more == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += more + 1;
    }
    return true;
}

DataFileRead ParseDataFile(const std::string& text, const char* rootName, Element& root) {
    // The prolog scan follows every encoding and finds a declaration before anything else reads on.
    const XmlProlog prolog = ScanXmlProlog(text.data(), text.size(), true);
    if (prolog == XmlProlog::DocumentType)
        return DataFileRead::DocumentType;
    if (prolog != XmlProlog::Clean || !IsUtf8(text))
        return DataFileRead::NotXml;
    const DataFileRead read = Parser(text).Parse(root);
    if (read != DataFileRead::Read)
        return read;
    if (root.name != "Folder" || root.Attribute("Name") != rootName)
        return DataFileRead::WrongRoot;
    return DataFileRead::Read;
}

} // namespace

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

std::string FeedsXmlText(const std::vector<CFeedFolder>& folders, int& feedCount) {
    feedCount = 0;
    std::string out;
    bool anyFolder = false;
    for (const CFeedFolder& folder : folders) {
        if (folder.Count() == 0)
            continue;
        if (!anyFolder)
            AppendStartTag(out, "Folder", FolderAttributes("All Feeds", 1), false);
        AppendStartTag(out, "Folder", FolderAttributes(folder.Name(), anyFolder ? 1 : 0), false);
        anyFolder = true;
        for (int i = 0; i < folder.Count(); ++i) {
            std::string title, url;
            folder.GetAt(i, title, url);
            AppendFeed(out, title, url);
            ++feedCount;
        }
        out += "</Folder>";
    }
    if (anyFolder)
        out += "</Folder>";
    else
        AppendStartTag(out, "Folder", FolderAttributes("All Feeds", 1), true);
    return out + kDocumentEnd;
}

std::string WebPagesXmlText(const std::vector<WebPageRow>& rows) {
    std::string out;
    AppendStartTag(out, "Folder", FolderAttributes("All Pages", 1), false);
    AppendStartTag(out, "Folder", FolderAttributes("My WebPages", 0), rows.empty());
    for (const WebPageRow& row : rows)
        AppendFeed(out, row.title, row.url);
    if (!rows.empty())
        out += "</Folder>";
    out += "</Folder>";
    return out + kDocumentEnd;
}

bool IsAcceptableRecord(const std::string& title, const std::string& url) {
    // The URL's length in characters: every byte that does not continue a UTF-8 sequence starts one.
    size_t characters = 0;
    for (const char c : url)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return !text::Trim(title).empty() && IsWebUrl(url) && characters <= kMaxUrlChars;
}

DataFileRead ReadFeedsXml(const std::string& text, std::vector<CFeedFolder>& folders, int& skipped) {
    folders.clear();
    skipped = 0;
    Element root;
    const DataFileRead read = ParseDataFile(text, "All Feeds", root);
    if (read != DataFileRead::Read)
        return read;
    for (const Element& child : root.children) {
        if (child.name != "Folder")
            continue;
        const std::string name = child.Attribute("Name");
        if (text::Trim(name).empty()) {
            ++skipped;
            continue;
        }
        CFeedFolder folder(name);
        for (const Element& feed : child.children) {
            if (feed.name != "Feed")
                continue;
            const std::string title = feed.Attribute("Name");
            const std::string url = feed.Attribute("URL");
            if (IsAcceptableRecord(title, url))
                folder.Add(title, url);
            else
                ++skipped;
        }
        // A folder without feeds is never written; one whose feeds were all left out has nothing to show.
        if (folder.Count() != 0)
            folders.push_back(std::move(folder));
    }
    return DataFileRead::Read;
}

DataFileRead ReadWebPagesXml(const std::string& text, std::vector<WebPageRow>& pages, int& skipped) {
    pages.clear();
    skipped = 0;
    Element root;
    const DataFileRead read = ParseDataFile(text, "All Pages", root);
    if (read != DataFileRead::Read)
        return read;
    for (const Element& folder : root.children) {
        if (folder.name != "Folder")
            continue;
        for (const Element& page : folder.children) {
            if (page.name != "Feed")
                continue;
            WebPageRow row{page.Attribute("Name"), page.Attribute("URL")};
            if (IsAcceptableRecord(row.title, row.url))
                pages.push_back(std::move(row));
            else
                ++skipped;
        }
    }
    return DataFileRead::Read;
}
