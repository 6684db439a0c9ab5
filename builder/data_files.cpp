#include "builder/data_files.h"

#include <ole2.h>

namespace {

// DOMDocument and IXMLDOMDocument, named here by their numbers: the component's own headers differ in
// which names of which versions they declare.
const CLSID kDomDocumentClass = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kXmlDocumentInterface = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A VARIANT of type VT_BSTR that frees its string.
class BstrVariant {
public:
    explicit BstrVariant(const std::string& text) {
        ::VariantInit(&v_);
        v_.vt = VT_BSTR;
        v_.bstrVal = fw::Bstr::FromAnsi(text).Detach();
    }
    ~BstrVariant() { ::VariantClear(&v_); }
    BstrVariant(const BstrVariant&) = delete;
    BstrVariant& operator=(const BstrVariant&) = delete;
    // The string may be null only when the conversion ran out of memory.
    bool IsValid() const { return v_.bstrVal != nullptr; }
    const VARIANT& Get() const { return v_; }

private:
    VARIANT v_;
};

bool Save(IXMLDOMDocument* document, const std::string& path) {
    BstrVariant target(path);
    return target.IsValid() && SUCCEEDED(document->save(target.Get()));
}

} // namespace

std::string CustomizationInputFolder() {
    // MAX_PATH characters, each up to three bytes in UTF-8.
    char temp[MAX_PATH * 3 + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp)
        temp[0] = '\0';
    std::string folder = std::string(temp) + "RVLCustomizerInput";
    if (::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return folder;
    return temp;
}

fw::ComPtr<IXMLDOMDocument> CreateXmlDocument() {
    fw::ComPtr<IUnknown> unknown;
    fw::ComPtr<IXMLDOMDocument> document;
    if (FAILED(::CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid())))
        return document;
    if (FAILED(::OleRun(unknown.Get())))
        return document;
    unknown.As(document, kXmlDocumentInterface);
    return document;
}

fw::ComPtr<IXMLDOMElement> AppendElement(IXMLDOMDocument* document, IXMLDOMElement* parent, const char* name) {
    fw::ComPtr<IXMLDOMElement> element;
    fw::Bstr tag = fw::Bstr::FromAnsi(name);
    if (!tag.Get() || FAILED(document->createElement(tag.Get(), element.Put())) || !element)
        return nullptr;
    fw::ComPtr<IXMLDOMNode> appended;
    const HRESULT hr = parent ? parent->appendChild(element.Get(), appended.Put())
                              : document->appendChild(element.Get(), appended.Put());
    if (FAILED(hr))
        return nullptr;
    return element;
}

bool AddAttribute(IXMLDOMDocument* document, IXMLDOMElement* element, const char* name, const std::string& value) {
    // The component would save a character that XML does not allow as it is, and every reader would then
    // refuse the whole file.
    if (!IsXmlText(value))
        return false;
    fw::Bstr attributeName = fw::Bstr::FromAnsi(name);
    fw::ComPtr<IXMLDOMAttribute> attribute;
    if (!attributeName.Get() || FAILED(document->createAttribute(attributeName.Get(), attribute.Put())) || !attribute)
        return false;
    BstrVariant text(value);
    if (!text.IsValid() || FAILED(attribute->put_nodeValue(text.Get())))
        return false;
    fw::ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(element->get_attributes(attributes.Put())) || !attributes)
        return false;
    fw::ComPtr<IXMLDOMNode> added;
    return SUCCEEDED(attributes->setNamedItem(attribute.Get(), added.Put()));
}

namespace {

bool AddAttributes(IXMLDOMDocument* document, IXMLDOMElement* element, const XmlAttributes& attributes) {
    for (const auto& attribute : attributes) {
        if (!AddAttribute(document, element, attribute.first.c_str(), attribute.second))
            return false;
    }
    return true;
}

fw::ComPtr<IXMLDOMElement> WriteFolder(IXMLDOMDocument* document, IXMLDOMElement* parent,
                                       const XmlAttributes& attributes) {
    fw::ComPtr<IXMLDOMElement> folder = AppendElement(document, parent, "Folder");
    if (!folder || !AddAttributes(document, folder.Get(), attributes))
        return nullptr;
    return folder;
}

bool WriteFeed(IXMLDOMDocument* document, IXMLDOMElement* folder, const XmlAttributes& attributes) {
    fw::ComPtr<IXMLDOMElement> feed = AppendElement(document, folder, "Feed");
    return feed && AddAttributes(document, feed.Get(), attributes);
}

} // namespace

fw::ComPtr<IXMLDOMElement> WriteFolderElement(IXMLDOMDocument* document, IXMLDOMElement* parent,
                                              const std::string& name, int special) {
    return WriteFolder(document, parent, FolderAttributes(name, special));
}

bool WriteFeedElement(IXMLDOMDocument* document, IXMLDOMElement* folder, const std::string& title,
                      const std::string& url) {
    return WriteFeed(document, folder, FeedAttributes(title, url));
}

int WriteFeedsFile(const CFeedFolderList& folders, const std::string& path) {
    fw::ComPtr<IXMLDOMDocument> document = CreateXmlDocument();
    if (!document)
        return 0;
    fw::ComPtr<IXMLDOMElement> root = WriteFolderElement(document.Get(), nullptr, "All Feeds", 1);
    if (!root)
        return 0;
    // Every feed written counts, whichever folder holds it, so that feeds.xml is packed whenever it
    // holds a feed at all.
    int written = 0;
    bool firstFolder = true;
    for (int i = 0; i < folders.FolderCount(); ++i) {
        const CFeedFolder& folder = folders.FolderAt(i);
        if (folder.Count() == 0)
            continue;
        // A folder or feed of an opened setup comes back with every attribute it had, those the pages do
        // not show among them.
        fw::ComPtr<IXMLDOMElement> element =
            WriteFolder(document.Get(), root.Get(), FolderAttributes(folder, firstFolder ? 0 : 1));
        if (!element)
            return 0;
        firstFolder = false;
        int inFolder = 0;
        for (int j = 0; j < folder.Count(); ++j) {
            if (WriteFeed(document.Get(), element.Get(), FeedAttributes(folder, j)))
                ++inFolder;
        }
        if (inFolder == 0)
            return 0;
        written += inFolder;
    }
    if (!Save(document.Get(), path))
        return 0;
    return written;
}

int WriteWebPagesFile(const std::vector<WebPageRow>& rows, const std::string& path) {
    if (rows.empty())
        return 0;
    fw::ComPtr<IXMLDOMDocument> document = CreateXmlDocument();
    if (!document)
        return 0;
    fw::ComPtr<IXMLDOMElement> root = WriteFolderElement(document.Get(), nullptr, "All Pages", 1);
    if (!root)
        return 0;
    fw::ComPtr<IXMLDOMElement> folder = WriteFolderElement(document.Get(), root.Get(), "My WebPages", 0);
    if (!folder)
        return 0;
    int written = 0;
    for (const WebPageRow& row : rows) {
        if (WriteFeed(document.Get(), folder.Get(), PageAttributes(row)))
            ++written;
    }
    if (written == 0 || !Save(document.Get(), path))
        return 0;
    return written;
}

DataFiles WriteDataFiles(const CFeedFolderList& folders, const std::vector<WebPageRow>& rows) {
    DataFiles files;
    const std::string folder = CustomizationInputFolder();
    files.feedsPath = folder + "\\feeds.xml";
    files.webPagesPath = folder + "\\webpages.xml";
    // A file left by an earlier build must not be packed in place of one that this build could not save.
    ::DeleteFileA(files.feedsPath.c_str());
    ::DeleteFileA(files.webPagesPath.c_str());
    files.feedCount = WriteFeedsFile(folders, files.feedsPath);
    files.webPageCount = WriteWebPagesFile(rows, files.webPagesPath);
    // Every feed and every page must have reached its saved file: one left out would be missing from
    // every customer's reader without anybody being told.
    int feeds = 0;
    for (int i = 0; i < folders.FolderCount(); ++i)
        feeds += folders.FolderAt(i).Count();
    files.complete = files.feedCount == feeds && files.webPageCount == static_cast<int>(rows.size());
    return files;
}
