#include "feeds/xml_prolog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// ASCII text in UTF-16 or UTF-32, in either byte order.
std::string Wide(const std::string& ascii, size_t width, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        std::string unit(width, '\0');
        unit[bigEndian ? width - 1 : 0] = c;
        out += unit;
    }
    return out;
}

struct PrologCase {
    const char* label;
    std::string bytes;
    bool atEnd;
    XmlProlog expected;
};

TEST(XmlProlog, FindsADocumentTypeBeforeTheFirstElement) {
    const std::string doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE opml SYSTEM \"http://127.0.0.1/x.dtd\">\n<opml/>";
    const std::string clean = "<?xml version=\"1.0\"?>\n<!-- <!DOCTYPE in a comment --><?pi x?>\n<opml><!DOCTYPE/>";
    const PrologCase cases[] = {
        {"doctype", doctype, true, XmlProlog::DocumentType},
        {"doctype after a comment", "<!-- c --><!DOCTYPE x []><x/>", true, XmlProlog::DocumentType},
        {"doctype in lower case", "<!doctype x><x/>", true, XmlProlog::DocumentType},
        {"doctype, UTF-8 mark", "\xEF\xBB\xBF" + doctype, true, XmlProlog::DocumentType},
        {"doctype, UTF-16 LE mark", "\xFF\xFE" + Wide(doctype, 2, false), true, XmlProlog::DocumentType},
        {"doctype, UTF-16 BE mark", "\xFE\xFF" + Wide(doctype, 2, true), true, XmlProlog::DocumentType},
        {"doctype, UTF-16 LE", Wide(doctype, 2, false), true, XmlProlog::DocumentType},
        {"doctype, UTF-16 BE", Wide(doctype, 2, true), true, XmlProlog::DocumentType},
        {"doctype, UTF-32 LE", Wide(doctype, 4, false), true, XmlProlog::DocumentType},
        {"doctype, UTF-32 BE", Wide(doctype, 4, true), true, XmlProlog::DocumentType},
        {"clean", clean, true, XmlProlog::Clean},
        {"clean, UTF-16 LE mark", "\xFF\xFE" + Wide(clean, 2, false), true, XmlProlog::Clean},
        {"clean, UTF-16 BE", Wide(clean, 2, true), true, XmlProlog::Clean},
        {"white space, then the element", " \r\n\t<opml>", false, XmlProlog::Clean},
        {"no element at all", "<?xml version=\"1.0\"?>  ", true, XmlProlog::Clean},
        {"empty file", "", true, XmlProlog::Clean},
        // Text before the first element: encoded markup ("+ADw-" is '<' in UTF-7), EBCDIC, plain text.
        {"UTF-7", "<?xml version=\"1.0\" encoding=\"UTF-7\"?>+ADw-!DOCTYPE x+AD4-", true, XmlProlog::Unreadable},
        {"EBCDIC", "\x4C\x6F\xA7\x94\x93", true, XmlProlog::Unreadable},
        {"not XML", "hello <opml/>", true, XmlProlog::Unreadable},
        // The bytes end inside the prolog.
        {"inside the declaration", "<?xml version=\"1.0\"", false, XmlProlog::NeedMore},
        {"inside a comment", "<?xml?><!-- <opml>", false, XmlProlog::NeedMore},
        {"at a comment or doctype", "<?xml?><!-", false, XmlProlog::NeedMore},
        {"at a doctype", "<?xml?><!D", false, XmlProlog::NeedMore},
        {"at a doctype, at the end", "<?xml?><!DOCTYPE op", true, XmlProlog::DocumentType},
        // A bare declaration names no DTD and declares nothing: harmless.
        {"bare doctype", "<?xml?>\n<!DOCTYPE opml>\n<opml/>", true, XmlProlog::BareDocumentType},
        {"bare doctype, spaced, UTF-16 LE", Wide("<!DOCTYPE\topml >\n<opml/>", 2, false), true,
         XmlProlog::BareDocumentType},
        {"doctype without a name", "<!DOCTYPE ><opml/>", true, XmlProlog::DocumentType},
        {"inside a comment, at the end", "<!-- <!DOCTYPE", true, XmlProlog::Clean},
    };
    for (const PrologCase& c : cases)
        EXPECT_EQ(c.expected, ScanXmlProlog(c.bytes.data(), c.bytes.size(), c.atEnd)) << c.label;
}

} // namespace
