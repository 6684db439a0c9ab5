// feeds.xml and webpages.xml as text: written byte for byte as the platform's XML DOM component saves
// the wizard's documents, and read back by a streaming parser that knows exactly these two files. No
// <windows.h>: the command-line tool reads and writes them natively too.
//
// The reader takes what XML 1.0 allows in a document without a document type: elements, attributes, the
// five predefined entities and character references, comments, processing instructions, CDATA sections
// and character data. A document type declaration is refused wherever it stands, so no entity is ever
// declared, expanded or fetched. It keeps the "Folder" and "Feed" elements, at any depth, with every
// attribute in order, and passes over (counting) every other element: a hostile file cannot make it keep
// more than it returns. Every refusal names the line and column and what was wrong or expected.
#pragma once

#include "builder/package_format.h"
#include "feeds/feed_folder.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace feedtext {
class Charsets;
}

// One row of the web pages list: column 0 and column 1, and for a page read from a data file every
// attribute of its element (empty for a page added here).
struct WebPageRow {
    std::string title;
    std::string url;
    KeptAttributes kept = KeptAttributes();
};

// Attributes of one element, in document order.
using XmlAttributes = KeptAttributes;

// A "Folder" or "Feed" element of a data file, as it was read or as it is to be written.
struct DataElement {
    std::string name;
    XmlAttributes attributes;
    std::vector<DataElement> children; // the "Folder" and "Feed" elements inside, in document order
    int line = 0;                      // where the start tag begins; 0 for an element made in memory
    int column = 0;

    bool IsFolder() const { return name == "Folder"; }
    // The value of the attribute of exactly that name; null when there is none.
    const std::string* Find(const char* attribute) const;
    std::string Value(const char* attribute) const;
    // Replaces the value of the attribute, or appends the attribute when the element has none of that name.
    void Set(const char* attribute, const std::string& value);
};

// Equal as XML: the same names, attributes in the same order with the same values, and equal children.
// Where an element was read is not compared.
bool operator==(const DataElement& a, const DataElement& b);
inline bool operator!=(const DataElement& a, const DataElement& b) {
    return !(a == b);
}

// What one data file may hold. A file over a limit is refused with the limit's name.
constexpr size_t kMaxDataFileBytes = 64u << 20; // bytes of the file as stored
constexpr size_t kMaxDataElements = 1000000;  // elements in the whole file, kept or passed over
constexpr int kMaxDataDepth = 32;             // elements nested inside one another
constexpr size_t kMaxDataAttributes = 1024;   // attributes of one element
constexpr size_t kMaxDataValueBytes = 65536;  // bytes of one attribute value or name, as UTF-8

enum class DataFileRead {
    Read,
    NotXml,       // not well-formed, or in an encoding that is not read
    DocumentType, // a document type declaration stands in the file
    WrongRoot,    // well-formed so far, but its document element is not the folder this file starts with
    OverLimit,    // over one of the limits above
    NoMemory,     // the memory ran out while reading
};

struct DataFileResult {
    DataFileRead read = DataFileRead::Read;
    int line = 0; // where the reader stopped; 0 when no position applies
    int column = 0;
    std::string what;     // what was wrong, or what was expected there
    size_t passedOver = 0; // elements other than "Folder" and "Feed" (with everything inside them)

    bool Ok() const { return read == DataFileRead::Read; }
    // "FILE:LINE:COLUMN: what", the form of a compiler's messages.
    std::string Describe(const std::string& file) const;
};

// Reads a whole data file from input. rootName is the "Name" of the document element ("All Feeds" or
// "All Pages"). platform converts the declared encodings other than UTF-8, UTF-16, UTF-32, ISO-8859-1 and
// US-ASCII; without it those are refused. root is left empty unless the file is read.
DataFileResult ReadDataFile(pkg::InputStream& input, const char* rootName, DataElement& root,
                            const feedtext::Charsets* platform = nullptr);
DataFileResult ReadDataFile(const std::string& text, const char* rootName, DataElement& root,
                            const feedtext::Charsets* platform = nullptr);

// The document of root, as the DOM component would save it. False (out untouched) when a name is not one
// that these files use or a value is not UTF-8 or holds a character that XML does not allow: such a file
// would be refused by every reader.
bool DataFileText(const DataElement& root, std::string& out);

// Whether value is UTF-8 of characters that XML allows: what every writer of these files checks, so that
// no file that a reader refuses is ever written.
bool IsXmlText(const std::string& value);

// The attributes of a "Folder" and of a "Feed" element, in the order they are written: the reader's own
// defaults for a folder and a feed it has never fetched. The DOM writer and the text writer share them.
XmlAttributes FolderAttributes(const std::string& name, int special);
XmlAttributes FeedAttributes(const std::string& title, const std::string& url);
// The attributes of a folder of the list, or of its record at index: those kept from the file it was read
// from (every one, in order) with the name, title and URL of today, else the defaults above. A folder's
// SpecialData always follows from its place in the file.
XmlAttributes FolderAttributes(const CFeedFolder& folder, int special);
XmlAttributes FeedAttributes(const CFeedFolder& folder, int index);
XmlAttributes PageAttributes(const WebPageRow& row);

// The document elements of the two files.
DataElement FeedsTree(const std::vector<CFeedFolder>& folders);
DataElement WebPagesTree(const std::vector<WebPageRow>& rows);

// feeds.xml for the folders: "All Feeds" holding one "Folder" per folder that holds a feed. feedCount
// receives the number of "Feed" elements. Empty when DataFileText refuses.
std::string FeedsXmlText(const std::vector<CFeedFolder>& folders, int& feedCount);
// webpages.xml for the rows: "All Pages" holding "My WebPages" holding one "Feed" per row.
std::string WebPagesXmlText(const std::vector<WebPageRow>& rows);

// Whether a feed or page of a data file passes the rules of the add dialogs: a title that is not blank
// and an http or https URL that the browser can be handed (IsWebUrl), of at most kMaxUrlChars characters.
bool IsAcceptableRecord(const std::string& title, const std::string& url);

// A folder or record of a data file that breaks the rules of the dialogs.
struct RecordProblem {
    int line = 0;
    int column = 0;
    std::string what;  // "a feed without a title", ...
    std::string title; // the record's title or the folder's name, and its URL, for a list of them
    std::string url;
};

// The folders without a name and the records that IsAcceptableRecord refuses, in document order, under
// the document element root. With drop they leave the tree too (a folder with everything inside it).
std::vector<RecordProblem> CheckRecords(DataElement& root, bool drop);

// The number of "Feed" elements under root, at any depth.
size_t CountFeeds(const DataElement& root);

// The flat folders of a feeds.xml read by the wizard, which shows one level of folders: each "Folder"
// under the document element with its "Feed" elements and every attribute kept. A folder inside a folder
// cannot be shown: nested then names the first one and nothing is returned. Nor can a feed outside every
// folder: loose then holds its title.
bool FlatFolders(const DataElement& root, std::vector<CFeedFolder>& folders, std::string& nested,
                 std::string& loose);
// The pages of a webpages.xml: every "Feed" of every "Folder" under the document element.
std::vector<WebPageRow> PageRows(const DataElement& root);

// Text for a terminal: every control character (C0, DEL and C1) and every byte that is not UTF-8 written as
// \xHH, so that a file handed to the user cannot move the cursor, recolour or retitle the terminal.
// Backslashes stay as they are: Windows paths are full of them.
std::string EscapeControls(const std::string& utf8);

// The earlier interface, kept for the tests and callers that want one level: a feeds.xml read as flat
// folders, records that break the rules (and nested folders) left out and counted in skipped.
DataFileRead ReadFeedsXml(const std::string& text, std::vector<CFeedFolder>& folders, int& skipped);
DataFileRead ReadWebPagesXml(const std::string& text, std::vector<WebPageRow>& pages, int& skipped);
