// The download engine with a stall limit short enough for a test: what a transfer from a server that
// stops sending ends with, and what is written.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "download/download_engine.h"
#include "download/download_messages.h"
#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"

using namespace pwtest;

namespace {

constexpr DWORD kShortLimitMs = 2000;

// Runs one transfer on a worker as the component does and waits for its finish notice, in the channel
// that wakes a message-only window of this thread. Gives success and text of the notice.
DownloadOutcome Transfer(const std::string& url, const std::string& target, uint64_t maxBytes = kDownloadMaxBytes) {
    DownloadOutcome outcome;
    HWND window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    EXPECT_NE(nullptr, window);
    auto job = std::make_unique<DownloadJob>();
    job->url = url;
    job->filePath = target;
    job->channel = CDownloadChannel::Create(window);
    job->stallLimitMs = kShortLimitMs;
    job->maxBytes = maxBytes;
    const std::shared_ptr<CDownloadChannel> channel = job->channel;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), StartDownloadWorker(std::move(job)));
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    for (bool finished = false; !finished && ::GetTickCount64() < deadline;) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLPOSTMESSAGE);
        MSG msg;
        while (::PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_DOWNLOAD_WAKE)
                continue;
            for (const DownloadNotice& notice : channel->TakeAll()) {
                if (notice.kind == DownloadNotice::kFinish) {
                    EXPECT_FALSE(finished) << "a second finish notice";
                    finished = true;
                    outcome.success = notice.success;
                    outcome.text = notice.text;
                }
            }
        }
        EXPECT_TRUE(finished || ::GetTickCount64() < deadline) << "no finish notice";
    }
    ::DestroyWindow(window);
    return outcome;
}

// A body larger than the limit fails when it passes it; a size announced above it fails before any of the
// body is read.
TEST(DownloadEngine, BodiesLargerThanTheLimitFail) {
    testhttp::Server http;
    ASSERT_TRUE(http.Start());
    TempFolder temp;
    const std::string body = PatternBytes(8192);
    testhttp::Reply announced;
    announced.body = body;
    announced.chunkSize = 1024;
    testhttp::Reply unannounced = announced;
    unannounced.contentLength = false;
    testhttp::Reply huge;
    huge.body = body;
    huge.contentLength = false;
    huge.headers.push_back({"Content-Length", "5000000000"});
    const struct {
        const char* name;
        testhttp::Reply reply;
        uint64_t limit;
        bool success;
        size_t bytesWritten;
    } cases[] = {
        {"announced, within", announced, 8192, true, 8192},
        {"announced, above", announced, 8191, false, 0},
        {"not announced, within", unannounced, 8192, true, 8192},
        {"not announced, above", unannounced, 4096, false, 4096},
        {"announced above 4 GiB", huge, kDownloadMaxBytes, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = UniquePath("large");
        http.Route(path, c.reply);
        const std::string target = temp.Path("large.bin");
        const DownloadOutcome outcome = Transfer(http.Url(path), target, c.limit);
        EXPECT_EQ(c.success, outcome.success);
        EXPECT_EQ(c.success ? "" : "The file is larger than 1 GiB, more than any setup: the transfer was stopped.",
                  outcome.text.value_or("(null)"));
        EXPECT_EQ(body.substr(0, c.bytesWritten), ReadFileBytes(target));
    }
}

struct StallCase {
    const char* name;
    testhttp::Reply reply;
    bool success;
    size_t bytesWritten;
};

TEST(DownloadEngine, OnlyAServerThatSendsNothingForTheLimitFails) {
    testhttp::Server http;
    ASSERT_TRUE(http.Start());
    TempFolder temp;
    const std::string body = PatternBytes(4096);

    testhttp::Reply noAnswer;
    noAnswer.silent = true;
    testhttp::Reply beforeBody;
    beforeBody.body = body;
    beforeBody.stallAfter = 0;
    testhttp::Reply midBody = beforeBody;
    midBody.chunkSize = 1024;
    midBody.stallAfter = 2048;
    // Slower in all than the limit, but never silent for as long.
    testhttp::Reply slow = beforeBody;
    slow.stallAfter = SIZE_MAX;
    slow.chunkSize = 1024;
    slow.delayMs = kShortLimitMs / 3;

    const StallCase cases[] = {
        {"no answer at all", noAnswer, false, 0},
        {"silent before the body", beforeBody, false, 0},
        {"silent in mid-body", midBody, false, 2048},
        {"slow but steady", slow, true, body.size()},
    };
    for (const StallCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = UniquePath("stall");
        http.Route(path, c.reply);
        const std::string target = temp.Path("stall.bin");
        const DownloadOutcome outcome = Transfer(http.Url(path), target);
        EXPECT_EQ(c.success, outcome.success);
        ASSERT_TRUE(outcome.text.has_value());
        EXPECT_EQ(c.success ? "" : "No data arrived for 2 seconds: the transfer was stopped.", *outcome.text);
        EXPECT_EQ(body.substr(0, c.bytesWritten), ReadFileBytes(target));
    }
}

// A client that takes no notices holds the transfer back once some megabytes wait for it, instead of
// letting the notices fill the memory; a stop still ends the held transfer at once, and removes its file.
TEST(DownloadEngine, AClientThatTakesNoNoticesHoldsTheTransferBack) {
    testhttp::Server http;
    ASSERT_TRUE(http.Start());
    TempFolder temp;
    testhttp::Reply reply;
    reply.body = PatternBytes(32 << 20);
    const std::string path = UniquePath("held");
    http.Route(path, reply);
    const std::string target = temp.Path("held.bin");

    HWND window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    auto job = std::make_unique<DownloadJob>();
    job->url = http.Url(path);
    job->filePath = target;
    job->channel = CDownloadChannel::Create(window);
    const std::shared_ptr<CDownloadChannel> channel = job->channel;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), StartDownloadWorker(std::move(job)));

    auto written = [&]() {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        return ::GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
    };
    // Held when the file stops growing well short of the body.
    DWORD before = 0, now = written();
    for (int i = 0; i < 100 && (now == 0 || now != before); ++i) {
        ::Sleep(300);
        before = now;
        now = written();
    }
    EXPECT_EQ(before, now) << "the transfer was not held back";
    EXPECT_GT(now, 0u);
    EXPECT_LT(now, 16u << 20);

    channel->RequestStop();
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(channel->ReleasedEvent(), kDownloadStopWaitMs));
    std::vector<DownloadNotice> notices = channel->TakeAll();
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(DownloadNotice::kFinish, notices.back().kind);
    EXPECT_EQ(kDownloadStoppedText, notices.back().text.value_or("(null)"));
    EXPECT_FALSE(FileExists(target));
    ::DestroyWindow(window);
}

} // namespace
