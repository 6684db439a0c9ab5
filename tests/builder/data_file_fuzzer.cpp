// libFuzzer target: the input is read as a feeds.xml. Nothing may crash or trip a sanitizer; a file that
// is read must be written again, that document must parse with expat (an independent reader), and
// reading it back must give the same tree.
#include "builder/customization_xml.h"

#include <expat.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    DataElement root;
    if (!ReadDataFile(bytes, "All Feeds", root).Ok())
        return 0;
    std::string written;
    if (!DataFileText(root, written))
        std::abort();

    XML_Parser expat = XML_ParserCreate(nullptr);
    const bool parsed = XML_Parse(expat, written.data(), static_cast<int>(written.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(expat);
    if (!parsed)
        std::abort();

    DataElement back;
    if (!ReadDataFile(written, "All Feeds", back).Ok() || back != root)
        std::abort();
    return 0;
}
