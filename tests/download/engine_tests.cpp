// The download engine with a stall limit short enough for a test: what a transfer from a server that
// stops sending ends with, and what is written.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "download/download_engine.h"
#include "download/download_messages.h"
#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"

using namespace pwtest;

namespace {

constexpr DWORD kShortLimitMs = 2000;

// Runs one transfer on a worker as the component does and waits for its finish notice, posted to a
// message-only window of this thread. Gives success and text of the notice.
DownloadOutcome Transfer(const std::string& url, const std::string& target) {
    DownloadOutcome outcome;
    HWND window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    EXPECT_NE(nullptr, window);
    auto job = std::make_unique<DownloadJob>();
    job->url = url;
    job->filePath = target;
    job->notifyWindow = window;
    job->stallLimitMs = kShortLimitMs;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), StartDownloadWorker(std::move(job)));
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    for (bool finished = false; !finished && ::GetTickCount64() < deadline;) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLPOSTMESSAGE);
        MSG msg;
        while (::PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_DOWNLOAD_DATA) {
                delete reinterpret_cast<DownloadProgress*>(msg.wParam);
            } else if (msg.message == WM_DOWNLOAD_FINISH) {
                finished = true;
                outcome.success = msg.wParam == 1;
                if (msg.lParam)
                    outcome.text = reinterpret_cast<const char*>(msg.lParam);
                delete[] reinterpret_cast<char*>(msg.lParam);
            }
        }
        EXPECT_TRUE(finished || ::GetTickCount64() < deadline) << "no finish notice";
    }
    ::DestroyWindow(window);
    return outcome;
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

} // namespace
