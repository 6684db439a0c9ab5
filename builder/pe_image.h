// The PE header at the front of a customized setup. A setup is its extractor program followed by the
// package; the extractor may come from an earlier setup, so its header may still describe that file: a
// security directory that names the earlier signature's certificate table, and the earlier checksum.
// No <windows.h>: the command-line tool seals its setups natively too.
#pragma once

#include <string>

namespace pkg {

// Makes the PE image in the file at path describe the file as it is now, unsigned: the security
// directory is cleared and the checksum is that of the whole file. Such a file can then be signed and
// verified as it is, and the same inputs give the same bytes on every system. A file that does not begin
// with a PE image is left as it is. False with the cause when the file cannot be read or written.
bool SealPeImage(const std::string& path, std::string& cause);

} // namespace pkg
