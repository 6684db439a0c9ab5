// One download with libcurl, for the build that has no Pullwire.
#pragma once

#include "rvlc/progress_line.h"

#include <string>

namespace rvlc {

// Fetches url (http or https, through the proxy that http_proxy or https_proxy names) into the file
// target, showing progress. Stops after 60 seconds without data and at 1 GiB. False with the cause, in
// the words that Pullwire uses where it has them.
bool CurlDownload(const std::string& url, const std::string& target, ProgressLine& progress, std::string& cause);

} // namespace rvlc
