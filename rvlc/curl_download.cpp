#include "rvlc/curl_download.h"

#include "download/progress.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace rvlc {

namespace {

// The limits of Pullwire's engine.
constexpr curl_off_t kMaxBytes = curl_off_t{1} << 30;
constexpr long kStallSeconds = 60;

struct Transfer {
    FILE* file = nullptr;
    ProgressLine* progress = nullptr;
    curl_off_t received = 0;
    bool tooLarge = false;
    int writeError = 0;
};

size_t Write(char* data, size_t size, size_t count, void* user) {
    Transfer& transfer = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    // A server that announces no length is stopped here; one that announces too much, by MAXFILESIZE.
    if (static_cast<curl_off_t>(n) > kMaxBytes - transfer.received) {
        transfer.tooLarge = true;
        return 0;
    }
    if (std::fwrite(data, 1, n, transfer.file) != n) {
        transfer.writeError = errno ? errno : ENOSPC;
        return 0;
    }
    transfer.received += static_cast<curl_off_t>(n);
    return n;
}

int Progress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    if (now > 0)
        static_cast<Transfer*>(user)->progress->Show(now, total);
    return 0;
}

struct CurlFreer {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

bool CurlDownload(const std::string& url, const std::string& target, ProgressLine& progress, std::string& cause) {
    // libcurl's global set-up once per process, before the first handle; rvlc runs one thread.
    static const bool initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    std::unique_ptr<CURL, CurlFreer> curl(initialized ? curl_easy_init() : nullptr);
    if (!curl) {
        cause = "libcurl cannot be started";
        return false;
    }
    std::unique_ptr<FILE, FileCloser> file(std::fopen(target.c_str(), "wb"));
    if (!file) {
        cause = std::string("the file cannot be written: ") + std::strerror(errno);
        return false;
    }
    Transfer transfer;
    transfer.file = file.get();
    transfer.progress = &progress;
    char error[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    // Only web addresses, also where a redirection leads.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "rvlc");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, kMaxBytes);
    // Less than a byte a second for the whole time is a stall; the connection has the same time.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kStallSeconds);
    const CURLcode result = curl_easy_perform(c);
    progress.End();
    const bool closed = std::fclose(file.release()) == 0;
    curl_off_t expected = -1;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);

    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        cause = DownloadTooLargeText();
    else if (transfer.writeError != 0)
        cause = std::string("the file cannot be written: ") + std::strerror(transfer.writeError);
    else if (result == CURLE_OPERATION_TIMEDOUT)
        cause = DownloadStallText(kStallSeconds * 1000);
    else if (result == CURLE_PARTIAL_FILE && expected > 0)
        cause = DownloadCutShortText(static_cast<uint64_t>(transfer.received), static_cast<uint64_t>(expected));
    else if (result != CURLE_OK)
        cause = *error ? error : curl_easy_strerror(result);
    else if (!closed)
        cause = std::string("the file cannot be written: ") + std::strerror(errno);
    else if (status / 100 != 2)
        cause = "what the server sent is not a Windows program (HTTP status " + std::to_string(status) + ")";
    else
        return true;
    return false;
}

} // namespace rvlc
