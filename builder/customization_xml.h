// feeds.xml and webpages.xml as text: written byte for byte as the platform's XML DOM component saves
// the wizard's documents, and read back by a small parser that knows exactly these two files. No
// <windows.h>: the command-line tool reads and writes them natively too.
//
// The reader takes only what the files hold: elements, attributes, the five predefined entities and
// character references, comments, processing instructions and white space. A document type declaration
// is refused wherever it stands, so no entity is ever declared, expanded or fetched.
#pragma once

#include "feeds/feed_folder.h"

#include <string>
#include <utility>
#include <vector>

// One row of the web pages list: column 0 and column 1.
struct WebPageRow {
    std::string title;
    std::string url;
};

// What a customized setup carries: the feed folders in file order and the web pages in row order.
struct Customization {
    std::vector<CFeedFolder> folders;
    std::vector<WebPageRow> pages;
};

// The attributes of a "Folder" and of a "Feed" element, in the order they are written: the reader's own
// defaults for a folder and a feed it has never fetched. The DOM writer and the text writer share them.
using XmlAttributes = std::vector<std::pair<const char*, std::string>>;
XmlAttributes FolderAttributes(const std::string& name, int special);
XmlAttributes FeedAttributes(const std::string& title, const std::string& url);

// feeds.xml for the folders: "All Feeds" holding one "Folder" per folder that holds a feed. feedCount
// receives the number of "Feed" elements.
std::string FeedsXmlText(const std::vector<CFeedFolder>& folders, int& feedCount);
// webpages.xml for the rows: "All Pages" holding "My WebPages" holding one "Feed" per row.
std::string WebPagesXmlText(const std::vector<WebPageRow>& rows);

enum class DataFileRead {
    Read,         // the file was read; records that break the rules were left out and counted
    NotXml,       // not well-formed, not UTF-8, or nested deeper than these files ever are
    DocumentType, // a document type declaration stands in the file
    WrongRoot,    // well-formed, but its document element is not the folder this file starts with
};

// Reads feeds.xml: each "Folder" under the document element with its "Feed" elements, in file order.
// A folder without a name and a feed without a title or with a URL other than http or https are left
// out and counted in skipped (a folder left out counts once, whatever it holds).
DataFileRead ReadFeedsXml(const std::string& text, std::vector<CFeedFolder>& folders, int& skipped);
// Reads webpages.xml: every "Feed" of every "Folder" under the document element, in file order, with
// the same rules for each page.
DataFileRead ReadWebPagesXml(const std::string& text, std::vector<WebPageRow>& pages, int& skipped);

// Whether a feed or page of a data file passes the rules of the add dialogs: a title that is not blank
// and an http or https URL that the browser can be handed (IsWebUrl), of at most kMaxUrlChars characters.
bool IsAcceptableRecord(const std::string& title, const std::string& url);
