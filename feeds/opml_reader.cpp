#include "feeds/opml_reader.h"

#include "feeds/xml_prolog.h"
#include "framework/text.h"

#include <ole2.h>
#include <msxml2.h>

#include <algorithm>
#include <new>

namespace {

// DOMDocument and its interfaces, named by their numbers: the component's headers differ in which
// names of which versions they declare.
const CLSID kDomDocumentClass = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kXmlDocumentInterface = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kXmlDocument2Interface = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// How much of the file is read first while looking for a document type declaration.
constexpr DWORD kPrologChunk = 4096;

// Whether the file can be handed to the DOM: it opens, and no document type declaration other than a
// bare "<!DOCTYPE name>" (or anything this scan cannot follow) stands before its first element. bare
// tells that such a declaration stands there. The DOM under Wine takes "ProhibitDTD"
// without honouring it, and the platform's older DOMs expand entities without bound; real OPML files
// have no DTD, so a file with one is refused here, before it reaches the DOM.
bool HasSafeProlog(const std::string& path, bool& bare) {
    fw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    std::string head;
    for (;;) {
        // Each read doubles what has been read, so that a long prolog (a huge comment) is scanned a
        // bounded number of times over, not once for every chunk.
        const size_t had = head.size();
        const DWORD want = static_cast<DWORD>(std::min<size_t>(std::max<size_t>(had, kPrologChunk), 1u << 30));
        head.resize(had + want);
        DWORD got = 0;
        if (!::ReadFile(file.Get(), &head[had], want, &got, nullptr))
            return false;
        head.resize(had + got);
        const XmlProlog scan = ScanXmlProlog(head.data(), head.size(), got == 0);
        if (scan != XmlProlog::NeedMore) {
            bare = scan == XmlProlog::BareDocumentType;
            return scan == XmlProlog::Clean || bare;
        }
    }
}

bool EqualsNoCase(BSTR name, const wchar_t* wanted) {
    if (!name)
        return false;
    return ::CompareStringOrdinal(name, static_cast<int>(::SysStringLen(name)), wanted, -1, TRUE) == CSTR_EQUAL;
}

bool LocalNameIs(IXMLDOMNode* node, const wchar_t* wanted) {
    fw::Bstr name;
    return SUCCEEDED(node->get_baseName(name.Put())) && EqualsNoCase(name.Get(), wanted);
}

fw::ComPtr<IXMLDOMNode> FirstChild(IXMLDOMNode* node) {
    fw::ComPtr<IXMLDOMNode> child;
    if (FAILED(node->get_firstChild(child.Put())))
        child.Reset();
    return child;
}

fw::ComPtr<IXMLDOMNode> NextSibling(IXMLDOMNode* node) {
    fw::ComPtr<IXMLDOMNode> next;
    if (FAILED(node->get_nextSibling(next.Put())))
        next.Reset();
    return next;
}

fw::ComPtr<IXMLDOMNode> Parent(IXMLDOMNode* node) {
    fw::ComPtr<IXMLDOMNode> parent;
    if (FAILED(node->get_parentNode(parent.Put())))
        parent.Reset();
    return parent;
}

// The node's text in the code page (the process code page, or UTF-8 for rvlc's data files); false when
// a character of it has no exact form there (a system that keeps a legacy code page), so that nothing is
// shown or stored altered.
bool TextOf(IXMLDOMNode* node, std::string& out, UINT codePage) {
    out.clear();
    fw::Bstr text;
    if (FAILED(node->get_text(text.Put())))
        return true;
    return fw::ToMultiByteExact(codePage, text.Get(), static_cast<int>(::SysStringLen(text.Get())), &out);
}

// The value of the first attribute whose local name is name, ignoring case; empty when there is none or
// the node has no attributes (text and comment nodes). *exact turns false when the value has no exact
// form in the process code page.
std::string Attribute(IXMLDOMNode* node, const wchar_t* name, bool* exact, UINT codePage) {
    fw::ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (node->get_attributes(attributes.Put()) != S_OK || !attributes)
        return std::string();
    long count = 0;
    if (FAILED(attributes->get_length(&count)))
        return std::string();
    for (long i = 0; i < count; ++i) {
        fw::ComPtr<IXMLDOMNode> attribute;
        if (attributes->get_item(i, attribute.Put()) != S_OK || !attribute)
            continue;
        if (LocalNameIs(attribute.Get(), name)) {
            std::string value;
            if (!TextOf(attribute.Get(), value, codePage))
                *exact = false;
            return value;
        }
    }
    return std::string();
}

// A leaf that names a feed and has a title becomes one feed.
// One whose title or URL the process code page cannot hold exactly is left out and counted.
void ReadLeaf(IXMLDOMNode* node, OpmlContent& content) {
    bool exact = true;
    std::string url = Attribute(node, L"xmlURL", &exact, content.codePage);
    if (url.empty() && exact)
        return;
    std::string title = Attribute(node, L"title", &exact, content.codePage);
    if (title.empty() && exact)
        title = Attribute(node, L"text", &exact, content.codePage);
    if (!exact) {
        ++content.leftOut;
        return;
    }
    if (title.empty())
        return;
    content.feeds.push_back(CImportedFeed{std::move(title), std::move(url)});
}

bool HasChildren(IXMLDOMNode* node) {
    VARIANT_BOOL has = VARIANT_FALSE;
    return SUCCEEDED(node->hasChildNodes(&has)) && has == VARIANT_TRUE;
}

// Every leaf under body, in document order. The walk goes down through first children and on through
// next siblings, back up through parents, counting the levels below body: a file nested ever so deep
// costs no stack, and no child list is indexed (an indexed child list of the DOM may be walked from its
// start on every access). The count, not the node objects, tells when the walk is back at body: the
// DOM may hand out a new object for the same node on each call.
void ReadBody(IXMLDOMNode* body, OpmlContent& content) {
    fw::ComPtr<IXMLDOMNode> node = FirstChild(body);
    size_t depth = 0;
    while (node) {
        if (HasChildren(node.Get())) {
            fw::ComPtr<IXMLDOMNode> child = FirstChild(node.Get());
            if (child) {
                node = child;
                ++depth;
                continue;
            }
        } else {
            ReadLeaf(node.Get(), content);
        }
        // On to the next sibling, or the next sibling of the nearest ancestor below body that has one.
        for (;;) {
            fw::ComPtr<IXMLDOMNode> next = NextSibling(node.Get());
            if (next) {
                node = next;
                break;
            }
            if (depth == 0) {
                node.Reset();
                break;
            }
            node = Parent(node.Get());
            --depth;
            if (!node)
                break;
        }
    }
}

void ReadOpmlElement(IXMLDOMNode* opml, OpmlContent& content) {
    for (fw::ComPtr<IXMLDOMNode> child = FirstChild(opml); child; child = NextSibling(child.Get())) {
        if (LocalNameIs(child.Get(), L"head")) {
            for (fw::ComPtr<IXMLDOMNode> item = FirstChild(child.Get()); item; item = NextSibling(item.Get())) {
                // A title that cannot be held exactly is none: the folder takes the file's name.
                if (LocalNameIs(item.Get(), L"title") && !TextOf(item.Get(), content.title, content.codePage))
                    content.title.clear();
            }
        } else if (LocalNameIs(child.Get(), L"body")) {
            ReadBody(child.Get(), content);
        }
    }
}

bool Load(IXMLDOMDocument* document, const std::string& path) {
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = fw::Bstr::FromAnsi(path).Detach();
    if (!source.bstrVal)
        return false;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->load(source, &loaded);
    ::VariantClear(&source);
    return hr == S_OK && loaded == VARIANT_TRUE;
}

bool Read(const std::string& path, fw::ComPtr<IXMLDOMDocument>& document, OpmlContent& content) {
    document.Reset();
    bool bare = false;
    if (!HasSafeProlog(path, bare))
        return false;
    document = CreateOpmlDocument(!bare);
    if (!document || !Load(document.Get(), path))
        return false;
    fw::Bstr tag(L"opml");
    fw::ComPtr<IXMLDOMNodeList> elements;
    if (!tag.Get() || FAILED(document->getElementsByTagName(tag.Get(), elements.Put())) || !elements)
        return true;
    for (;;) {
        fw::ComPtr<IXMLDOMNode> opml;
        if (elements->nextNode(opml.Put()) != S_OK || !opml)
            break;
        ReadOpmlElement(opml.Get(), content);
    }
    return true;
}

} // namespace

fw::ComPtr<IXMLDOMDocument> CreateOpmlDocument(bool prohibitDtd) {
    fw::ComPtr<IUnknown> unknown;
    fw::ComPtr<IXMLDOMDocument> document;
    if (FAILED(::CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.PutVoid())))
        return document;
    if (FAILED(::OleRun(unknown.Get())) || FAILED(unknown.As(document, kXmlDocumentInterface)) || !document)
        return nullptr;
    if (FAILED(document->put_async(VARIANT_FALSE)) || FAILED(document->put_resolveExternals(VARIANT_FALSE)) ||
        FAILED(document->put_validateOnParse(VARIANT_FALSE)))
        return nullptr;
    // The DOMs that know the property refuse a DTD themselves; the others answer with an error, which
    // leaves the refusal to the scan of the prolog. They refuse a bare declaration too, which the scan
    // has found harmless: for such a file the property stays off.
    fw::ComPtr<IXMLDOMDocument2> document2;
    if (prohibitDtd && SUCCEEDED(unknown.As(document2, kXmlDocument2Interface)) && document2) {
        fw::Bstr name(L"ProhibitDTD");
        VARIANT prohibit;
        ::VariantInit(&prohibit);
        prohibit.vt = VT_BOOL;
        prohibit.boolVal = VARIANT_TRUE;
        if (name.Get())
            document2->setProperty(name.Get(), prohibit);
    }
    return document;
}

bool ReadOpmlFile(const std::string& path, fw::ComPtr<IXMLDOMDocument>& document, OpmlContent& content) {
    const UINT codePage = content.codePage;
    content = OpmlContent();
    content.codePage = codePage;
    bool read = false;
    try {
        read = Read(path, document, content);
    } catch (const std::bad_alloc&) {
        read = false;
    }
    if (!read) {
        content = OpmlContent();
        content.codePage = codePage;
    }
    return read;
}
