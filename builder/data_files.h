// The two XML files that carry the customization to the reader: feeds.xml (feed folders and their
// feeds) and webpages.xml (web pages). Both are built element by element with the platform's XML DOM
// component and saved by it, so the escaping of attribute values is the component's.
#pragma once

#include "builder/customization_xml.h"
#include "feeds/feed_folder.h"

#include <windows.h>
#include <msxml.h>

#include "framework/owners.h"

#include <string>
#include <vector>

// What one WriteDataFiles call wrote. A count is the number of "Feed" elements that went into a file
// that was saved; a file that was not saved counts 0, so it is never packed.
struct DataFiles {
    std::string feedsPath;
    std::string webPagesPath;
    int feedCount = 0;
    int webPageCount = 0;
    // False when a file that is to be packed (feeds.xml while a folder holds a feed, webpages.xml while
    // there is a web page) could not be written whole: a build must not go on without it.
    bool complete = false;
};

// The temporary folder "RVLCustomizerInput" that receives the downloaded setup and the data files,
// without a trailing backslash. When it cannot be created, the temporary path itself (which ends
// with a backslash).
std::string CustomizationInputFolder();

// A new, running DOMDocument; null when the component is missing.
fw::ComPtr<IXMLDOMDocument> CreateXmlDocument();

// A new element under parent, or as the document element when parent is null; null on failure.
fw::ComPtr<IXMLDOMElement> AppendElement(IXMLDOMDocument* document, IXMLDOMElement* parent, const char* name);
// Adds an attribute after those already on element; value is text of the ANSI code page.
bool AddAttribute(IXMLDOMDocument* document, IXMLDOMElement* element, const char* name, const std::string& value);
// "Folder" with Name, Status, UpdateCount and SpecialData (special as a decimal number).
fw::ComPtr<IXMLDOMElement> WriteFolderElement(IXMLDOMDocument* document, IXMLDOMElement* parent,
                                              const std::string& name, int special);
// "Feed" under folder with Name, URL and the reader's per-feed defaults.
bool WriteFeedElement(IXMLDOMDocument* document, IXMLDOMElement* folder, const std::string& title,
                      const std::string& url);

// Writes feeds.xml to path: "All Feeds" holding one folder per non-empty folder of the list. Returns the
// number of feeds written, or 0 when the file was not saved.
int WriteFeedsFile(const CFeedFolderList& folders, const std::string& path);
// Writes webpages.xml to path when there is at least one row. Returns the number of pages written, or 0
// when the file was not saved.
int WriteWebPagesFile(const std::vector<WebPageRow>& rows, const std::string& path);

// Writes both files into the customization input folder, feeds.xml first. COM must be initialised on
// this thread (the wizard's sheet holds it).
DataFiles WriteDataFiles(const CFeedFolderList& folders, const std::vector<WebPageRow>& rows);
