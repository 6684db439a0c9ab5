// Where the maker offers the reader's setup: the wizard's download page and rvlc fetch it from here.
#pragma once

extern const char kReaderDownloadAddress[];
