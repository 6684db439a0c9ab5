// What the start of an XML document declares before its first element. No Windows here.
//
// A document type declaration can name an external DTD or external entities, which a parser may fetch
// from anywhere, and can declare entities that expand without bound ("billion laughs"). Files that a
// user picks up from the web are refused when they carry one, before any parser sees them.
#pragma once

#include <cstddef>

enum class XmlProlog {
    NeedMore,         // the bytes end before the first element: call again with more of the file
    Clean,            // the first element starts with no document type declaration before it
    BareDocumentType, // only a "<!DOCTYPE name>" stands before it: no DTD named, nothing declared
    DocumentType,     // "<!" other than a comment stands before the first element
    Unreadable,       // text or an encoding that this scan cannot follow stands before the first element
};

// Scans the first bytes of a document: UTF-8 (with or without its byte-order mark) or any code page that
// keeps ASCII as single bytes, UTF-16 and UTF-32 in either byte order (with or without a byte-order
// mark). Comments, processing instructions (the XML declaration among them) and white space are passed
// over. atEnd says that data holds the whole file: a scan that would need more is then Clean, since the
// document has no element at all and no parser takes it.
XmlProlog ScanXmlProlog(const char* data, size_t size, bool atEnd);
