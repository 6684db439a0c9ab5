// Reads an XML file back with the platform's DOM component as a table of lines, one per node in
// document order: the depth as two spaces each, the element name and its attributes in their order as
// name="value". A node that is not an element shows as "#" and its node name, so that stray text or
// comments show up in a comparison.
#pragma once

#include "builder/data_files.h"

#include <string>
#include <vector>

namespace xmltest {

inline std::string Value(IXMLDOMNode* node) {
    VARIANT v;
    ::VariantInit(&v);
    std::string text;
    if (SUCCEEDED(node->get_nodeValue(&v)) && v.vt == VT_BSTR)
        text = fw::ToAnsi(v.bstrVal);
    ::VariantClear(&v);
    return text;
}

inline std::string Name(IXMLDOMNode* node) {
    fw::Bstr name;
    node->get_nodeName(name.Put());
    return fw::ToAnsi(name.Get());
}

inline void Walk(IXMLDOMNode* node, int depth, std::vector<std::string>& lines) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    if (type != NODE_ELEMENT) {
        lines.push_back(line + "#" + Name(node));
        return;
    }
    line += Name(node);
    fw::ComPtr<IXMLDOMNamedNodeMap> attributes;
    long count = 0;
    if (SUCCEEDED(node->get_attributes(attributes.Put())) && attributes)
        attributes->get_length(&count);
    for (long i = 0; i < count; ++i) {
        fw::ComPtr<IXMLDOMNode> attribute;
        if (SUCCEEDED(attributes->get_item(i, attribute.Put())) && attribute)
            line += " " + Name(attribute.Get()) + "=\"" + Value(attribute.Get()) + "\"";
    }
    lines.push_back(line);
    fw::ComPtr<IXMLDOMNodeList> children;
    long childCount = 0;
    if (SUCCEEDED(node->get_childNodes(children.Put())) && children)
        children->get_length(&childCount);
    for (long i = 0; i < childCount; ++i) {
        fw::ComPtr<IXMLDOMNode> child;
        if (SUCCEEDED(children->get_item(i, child.Put())) && child)
            Walk(child.Get(), depth + 1, lines);
    }
}

// The element tree of the file; a single "#unreadable" line when it does not load.
inline std::vector<std::string> ReadTree(const std::string& path) {
    fw::ComPtr<IXMLDOMDocument> document = CreateXmlDocument();
    if (!document)
        return {"#no-dom"};
    document->put_async(VARIANT_FALSE);
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = fw::Bstr::FromAnsi(path).Detach();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->load(source, &loaded);
    ::VariantClear(&source);
    if (FAILED(hr) || loaded != VARIANT_TRUE)
        return {"#unreadable"};
    fw::ComPtr<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.Put())) || !root)
        return {"#empty"};
    std::vector<std::string> lines;
    Walk(root.Get(), 0, lines);
    return lines;
}

// Lines of two tables side by side, for a failure message.
inline std::string Difference(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    std::string text;
    for (size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
        const std::string e = i < expected.size() ? expected[i] : "(none)";
        const std::string a = i < actual.size() ? actual[i] : "(none)";
        text += (e == a ? "  " : "! ") + std::string("expected: ") + e + "\n" + "  actual:   " + a + "\n";
    }
    return text;
}

} // namespace xmltest
