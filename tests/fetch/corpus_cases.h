// The feed documents of corpus/ with what the validator must make of their first 1024 bytes (the values
// as character data: references replaced, CDATA unwrapped).
#pragma once

#include <fstream>
#include <iterator>
#include <string>

struct CorpusCase {
    const char* file;
    int result;
    const char* title;
    const char* link;
    const char* description;
};

inline const CorpusCase kCorpus[] = {
    {"rss20.xml", 1, "Harbour Town Gazette", "http://gazette.example.com/", "News from the harbour and the hills"},
    {"rss091_doctype.xml", 1, "Old Mill Weekly", "http://oldmill.example.org", "Weekly notes from the old mill."},
    {"rss092_nodecl.xml", 1, "Tidewater Radio", "http://radio.example.net/", "Programme notes"},
    {"rss10_rdf.xml", 1, "Lab Notes", "http://lab.example.edu/", "What the lab did this week"},
    {"rss10_rdf_nodecl.xml", 1, "Choir Rehearsals", "http://choir.example.org/", "Dates and pieces"},
    {"rss10_rdf_nodecl_split.xml", 2, "", "", ""},
    {"atom.xml", 2, "", "", ""},
    {"atom03_broken_decl.xml", 3, "", "", ""},
    {"html_page.html", 2, "", "", ""},
    {"bom_rss.xml", 1, "Lighthouse Log", "http://lighthouse.example.org/", "Weather and shipping"},
    {"comments_before_root.xml", 1, "Draft Title", "http://hall.example.org/", "Bookings and events"},
    {"long_header.xml", 1, "County News Service", "http://news.example.com/", ""},
    {"uppercase_tags.xml", 2, "", "", ""},
    {"uppercase_title.xml", 1, "", "http://mixed.example.com/", "Only the title is in capitals"},
    {"title_references.xml", 1, "<b>Fish &amp; Chips</b> \"Daily\" 'Offers'", "http://chippy.example.com/?a=1&b=2",
     "Cod & haddock <fresh>"},
    {"zero_byte_early.xml", 2, "", "", ""},
    {"zero_byte_description.xml", 1, "Half Seen", "http://half.example.com/", ""},
    {"rss_no_version.xml", 2, "", "", ""},
    {"empty.xml", 2, "", "", ""},
    {"title_attributes.xml", 1, "", "http://attr.example.com/", "The title carries an attribute"},
    {"cdata_title.xml", 1, "Tom & Jerry's", "http://cartoons.example.com/", "<p>Cartoons</p>"},
    {"utf16le_bom.xml", 1, "Ελληνικά νέα", "http://nea.example.gr/", "Ειδήσεις & καιρός"},
};

// The whole document, byte for byte; the test fails on a missing file through the empty result
// of a document that has content.
inline std::string ReadCorpusFile(const std::string& name) {
    std::ifstream in(std::string(RVL_FEED_CORPUS) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool CorpusFileExists(const std::string& name) {
    std::ifstream in(std::string(RVL_FEED_CORPUS) + "/" + name, std::ios::binary);
    return in.good();
}
