#include "download/page/maker_address.h"

const char kReaderDownloadAddress[] = "http://www.corvane.com/download/rvl/rvl.exe";
