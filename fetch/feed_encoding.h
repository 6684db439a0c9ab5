// How the bytes of a fetched feed become text: the encoding is found from the byte order mark, the XML
// declaration, the response's Content-Type and, failing all three, UTF-8; the channel's values are then
// read as XML character data. No <windows.h>: builds natively too. UTF-8, UTF-16 and UTF-32 are converted
// here; every other encoding by the platform, through Charsets.
#pragma once

#include <cstddef>
#include <string>

#include "fetch/feed_text.h"

namespace feedtext {

// The encodings that the platform converts, by the names that documents and servers give them.
class Charsets {
public:
    virtual ~Charsets() = default;
    // Whether the encoding of this name (lower case, as "windows-1251") is one the platform converts.
    virtual bool Knows(const std::string& name) const = 0;
    // The bytes as UTF-8, every invalid byte sequence as U+FFFD. When cut is set the bytes end where a
    // block of the document ended, and a character left incomplete at the end is dropped, not kept half.
    virtual std::string ToUtf8(const std::string& name, const std::string& bytes, bool cut) const = 0;
};

// The encodings converted without the platform, by their canonical names.
extern const char kUtf8[];
extern const char kUtf16Le[];
extern const char kUtf16Be[];
extern const char kUtf32Le[];
extern const char kUtf32Be[];

// The charset parameter of a Content-Type value, lower case, quotes removed; empty when there is none.
std::string CharsetOfContentType(const std::string& contentType);

// The encoding of a block that begins a document: by its byte order mark (or, lacking one, by how a
// UTF-16 or UTF-32 document must begin, "<" in two or four bytes), else the encoding its XML declaration
// names, else the charset of contentType, else UTF-8. A name that neither this code nor platform
// converts is passed over, and so is a UTF-16 or UTF-32 name given to text that is evidently 8-bit.
// The result is lower case; UTF names are the canonical ones above.
std::string DetectEncoding(const std::string& block, const std::string& contentType, const Charsets* platform);

// The bytes in the encoding as UTF-8 (see Charsets::ToUtf8 for invalid bytes and cut). A byte order mark
// at the start is not part of the text.
std::string ToUtf8(const std::string& bytes, const std::string& encoding, bool cut, const Charsets* platform);

// XML character data as text: the five named references and decimal and hexadecimal character
// references replaced, CDATA sections unwrapped, line breaks and tabs made spaces, every other control
// character removed, white space trimmed at both ends. A reference to a character that XML does not
// allow becomes U+FFFD; an unknown or malformed reference is kept as written. utf8 must be UTF-8.
std::string DecodeCharacterData(const std::string& utf8);

// Text as one line that a data file can carry: line breaks and tabs made spaces, every other control
// character removed, U+FFFE and U+FFFF made U+FFFD, white space trimmed at both ends. A title or name
// that the user types or pastes passes through it, as a fetched one does. utf8 must be UTF-8.
std::string OneLineText(const std::string& utf8);

// What the validation of one fetched block found.
struct FeedDocument {
    std::string encoding;
    // The text that the recognition rule reads: the block as fetched, or for UTF-16 and UTF-32 its
    // conversion to UTF-8.
    std::string text;
    int result = kInvalidFeed;
    // For kValidFeed: the channel's title, link and description as UTF-8 character data.
    Channel channel;
};

// cut: the block is as long as a fetch reads, so the document may go on beyond it.
FeedDocument ReadFeed(const std::string& block, const std::string& contentType, bool cut, const Charsets* platform);

} // namespace feedtext
