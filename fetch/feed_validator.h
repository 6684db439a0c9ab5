// Decides whether a URL delivers an RSS feed: fetches its first block and tests it for fixed strings.
#pragma once

#include <windows.h>

#include <string>

#include "fetch/feed_text.h"
#include "fetch/url_fetcher.h"

class CFeedValidator {
public:
    // timeout: the fetch's time-out for connecting and for receiving, in milliseconds.
    explicit CFeedValidator(const std::string& url, DWORD timeout = CUrlFetcher::kDefaultTimeout);

    // Fetches the URL and returns a feedtext::ValidationResult (0 to 3), setting the message; for a
    // recognised feed also the title, link and description, decoded from the document's encoding into
    // the process code page. Each call fetches anew on a new session.
    int Validate();

    std::string Title() const { return title_; }
    std::string Link() const { return link_; }
    std::string Description() const { return description_; }
    std::string Message() const { return message_; }
    // Whether the recognised feed's title, link and description have an exact form in the process code
    // page (always so where that is UTF-8). When not, they are left as they were rather than altered.
    bool ExactText() const { return exact_; }
    // The text that the last validation fetched (at most 1024 bytes).
    std::string Content() const { return content_; }

private:
    std::string url_;
    std::string title_;
    std::string link_;
    std::string description_;
    std::string content_;
    std::string message_;
    DWORD timeout_;
    bool exact_ = true;
};
