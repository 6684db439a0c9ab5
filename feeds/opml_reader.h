// Reads the feeds that an OPML file lists, through the platform's XML DOM component.
//
// Elements are recognised by their local name, ignoring case, except the outer "opml" elements, which
// are found by their exact tag name. Every outline without children that names a feed (its xmlURL
// attribute) and has a title (its title attribute, else its text attribute) is one feed, in document
// order, however deep it stands; the folders of the file are not kept.
#pragma once

#include "framework/owners.h"

#include <windows.h>
#include <msxml.h>

#include <string>
#include <vector>

// One feed of an OPML file: title, then URL, as 8-bit text of the ANSI code page.
struct CImportedFeed {
    std::string title;
    std::string url;
};

struct OpmlContent {
    std::string title; // the text of the head's title; the last one when there are several
    std::vector<CImportedFeed> feeds;
    // Feeds left out because their title or URL has a character that the process code page cannot hold
    // (only where the system keeps a legacy code page).
    size_t leftOut = 0;
    // The code page that the texts are given in: the wizard's is the process code page; rvlc asks for
    // UTF-8, which its data files are written in whatever the system's code page.
    UINT codePage = CP_ACP;
};

// A new, running DOMDocument that loads synchronously, resolves no external entity and, with
// prohibitDtd, refuses any document type declaration; null when the component is missing.
fw::ComPtr<IXMLDOMDocument> CreateOpmlDocument(bool prohibitDtd = true);

// Loads the file at path into a new document, which replaces document (the old one is released first),
// and reads its title and feeds into content, in content's code page. False when the document cannot be created, the file
// cannot be read or is not XML, or it declares a document type (see xml_prolog.h); content is then empty.
// A document that lists no feed is read with success.
bool ReadOpmlFile(const std::string& path, fw::ComPtr<IXMLDOMDocument>& document, OpmlContent& content);
