// Downloads through the registered URLDownload class against the loopback test server: the events a
// client receives, in order, and the bytes that arrive in the file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "tests/download/pullwire_client.h"
#include "tests/http/http_server.h"

using namespace pwtest;

namespace {

class PullwireDownload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Ok()) << "DllRegisterServer of " << ModulePath();
        ASSERT_TRUE(http_.Start());
    }

    // Routes the reply to a fresh path and returns its URL.
    std::string Serve(const std::string& stem, const testhttp::Reply& reply) {
        std::string path = UniquePath(stem);
        http_.Route(path, reply);
        return http_.Url(path);
    }

    RegisteredServer server_;
    testhttp::Server http_;
    TempFolder temp_;
};

// A body sent in pieces of 1024 bytes, so that every read returns one whole piece.
testhttp::Reply Pieces(const std::string& body, unsigned delayMs = 40) {
    testhttp::Reply reply;
    reply.body = body;
    reply.chunkSize = 1024;
    reply.delayMs = delayMs;
    return reply;
}

const std::string kSuccess = "OnFinish(1, \"\")";
const std::string kFailure = "OnFinish(0, \"\")";

// The events were exactly one failed finish; gives its text.
std::wstring OnlyFailure(const RecordingSink& sink) {
    const std::vector<Event>& events = sink.Events();
    EXPECT_EQ(1u, events.size()) << "a failure gives OnFinish alone";
    if (events.size() != 1)
        return L"";
    const Event& finish = events.back();
    EXPECT_EQ(2, finish.id);
    EXPECT_EQ(std::vector<LONG>{0}, finish.ints);
    return finish.text;
}

TEST_F(PullwireDownload, BodyInFullBlocksGivesStartDataAndFinish) {
    const std::string body = PatternBytes(3000);
    const std::string url = Serve("three-thousand", Pieces(body));
    const std::string target = temp_.Path("setup.exe");
    Client client;
    ASSERT_HRESULT_SUCCEEDED(client.CreateResult());
    ASSERT_NE(0u, client.Cookie());

    ASSERT_EQ(S_OK, client.Start(url, target));
    ASSERT_TRUE(client.WaitForFinish());

    const std::vector<std::string> expected = {"OnStart(1, 3000)", "OnData(1024, 2048, 3000, 68%)",
                                               "OnData(952, 3000, 3000, 100%)", kSuccess};
    EXPECT_EQ(expected, client.Sink().Table());
    for (const Event& e : client.Sink().Events())
        EXPECT_EQ(::GetCurrentThreadId(), e.threadId) << e.Describe() << " arrived on another thread";
    EXPECT_FALSE(client.Sink().Events().back().textIsNull) << "success carries an empty, not a null, text";
    EXPECT_EQ(body, ReadFileBytes(target));
}

TEST_F(PullwireDownload, ProgressCarriesRateAndElapsedTimeThatADisplayCanShow) {
    const std::string body = PatternBytes(6 * 1024);
    const std::string url = Serve("rate", Pieces(body, 250));
    const std::string target = temp_.Path("rate.bin");
    Client client;
    ASSERT_EQ(S_OK, client.Start(url, target));
    ASSERT_TRUE(client.WaitForFinish());

    int dataEvents = 0;
    double lastElapsed = 0;
    for (const Event& e : client.Sink().Events()) {
        if (e.id != 1)
            continue;
        ++dataEvents;
        ASSERT_EQ(2u, e.doubles.size());
        double rate = e.doubles[0];
        double elapsed = e.doubles[1];
        // Within the first second the rate is measured in milliseconds, never infinite or undefined.
        EXPECT_TRUE(rate > 0 && rate < 1e6) << e.Describe() << " rate " << rate;
        EXPECT_EQ(elapsed, static_cast<double>(static_cast<long long>(elapsed))) << "whole seconds: " << elapsed;
        EXPECT_GE(elapsed, lastElapsed);
        lastElapsed = elapsed;
    }
    EXPECT_EQ(5, dataEvents);
    EXPECT_GE(lastElapsed, 1.0) << "six pieces 250 ms apart take more than a second";
}

struct BodyCase {
    const char* name;
    testhttp::Reply reply;
    std::vector<std::string> expected;
};

TEST_F(PullwireDownload, BodyShapesGiveTheirEventTables) {
    testhttp::Reply small;
    small.body = PatternBytes(700);
    testhttp::Reply empty;
    testhttp::Reply noLength = Pieces(PatternBytes(2048));
    noLength.contentLength = false;
    testhttp::Reply notFound;
    notFound.status = 404;
    notFound.body = "<html><body>No such setup here</body></html>";
    testhttp::Reply chunked = Pieces(PatternBytes(2500));
    chunked.chunked = true;
    testhttp::Reply exactBlock;
    exactBlock.body = PatternBytes(1024);

    const BodyCase cases[] = {
        {"one block", small, {"OnStart(1, 700)", kSuccess}},
        {"exactly one block", exactBlock, {"OnStart(1, 1024)", kSuccess}},
        {"empty body", empty, {kSuccess}},
        {"no Content-Length", noLength, {"OnStart(1, 0)", "OnData(1024, 2048, 0, 0%)", kSuccess}},
        {"404 page", notFound, {"OnStart(1, " + std::to_string(notFound.body.size()) + ")", kSuccess}},
        {"chunked", chunked, {"OnStart(1, 0)", "OnData(1024, 2048, 0, 0%)", "OnData(452, 2500, 0, 0%)", kSuccess}},
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string url = Serve("shape", c.reply);
        const std::string target = temp_.Path("shape.bin");
        Client client;
        ASSERT_EQ(S_OK, client.Start(url, target));
        ASSERT_TRUE(client.WaitForFinish());
        EXPECT_EQ(c.expected, client.Sink().Table());
        EXPECT_EQ(c.reply.body, ReadFileBytes(target));
    }
}

TEST_F(PullwireDownload, UnknownHostFinishesWithFailureAndLeavesAnEmptyFile) {
    const std::string target = temp_.Path("unknown.bin");
    {
        fw::FileHandle old(::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(old.Get(), "an older setup", 14, &written, nullptr));
    }
    Client client;
    ASSERT_EQ(S_OK, client.Start("http://pullwire-nohost.invalid/download/rvl/rvl.exe", target));
    ASSERT_TRUE(client.WaitForFinish());
    EXPECT_NE(L"", OnlyFailure(client.Sink())) << "the failure carries WinINet's text of the cause";
    EXPECT_TRUE(FileExists(target)) << "StartDownload creates the target";
    EXPECT_EQ("", ReadFileBytes(target)) << "StartDownload truncates an older file";
}

TEST_F(PullwireDownload, EveryUrlThatCannotBeFetchedEndsWithExactlyOneFailure) {
    struct {
        std::string url;
        bool namesTheCause; // a refusal has WinINet's text; the odd schemes need not
    } const cases[] = {
        {"", false},
        {"not a url", false},
        {"file:///C:/windows/win.ini", false},
        {"mailto:someone@pullwire.invalid", false},
        {"gopher://127.0.0.1:1/", false},
        {"http://", false},
        {"http://127.0.0.1:" + std::to_string(testhttp::ClosedPort()) + "/setup.exe", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("URL \"" + c.url + "\"");
        Client client;
        ASSERT_EQ(S_OK, client.Start(c.url, temp_.Path("odd.bin")));
        ASSERT_TRUE(client.WaitForFinish()) << "no finish notice: a client would wait forever";
        PumpFor(100);
        const std::wstring text = OnlyFailure(client.Sink());
        if (c.namesTheCause) {
            EXPECT_NE(L"", text);
        }
    }
}

TEST_F(PullwireDownload, MissingTargetFolderFinishesWithFailureAfterTheUrlWasOpened) {
    testhttp::Reply reply;
    reply.body = PatternBytes(2000);
    const std::string url = Serve("nofolder", reply);
    const std::string target = temp_.Path("no such folder\\setup.exe");
    Client client;
    ASSERT_EQ(S_OK, client.Start(url, target));
    ASSERT_TRUE(client.WaitForFinish());
    EXPECT_EQ(std::vector<std::string>{kFailure}, client.Sink().Table());
    EXPECT_EQ(1u, http_.Requests().size()) << "the URL is opened before the file";
    EXPECT_FALSE(FileExists(target));
}

TEST_F(PullwireDownload, DroppedConnectionFinishesWithTheErrorTextAndKeepsTheBytesSoFar) {
    const std::string body = PatternBytes(8000);
    testhttp::Reply reply = Pieces(body, 60);
    reply.dropAfter = 3000;
    const std::string url = Serve("dropped", reply);
    const std::string target = temp_.Path("dropped.bin");
    Client client;
    ASSERT_EQ(S_OK, client.Start(url, target));
    ASSERT_TRUE(client.WaitForFinish());

    const std::vector<Event>& events = client.Sink().Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ("OnStart(1, 8000)", events.front().Describe());
    EXPECT_EQ("OnData(1024, 2048, 8000, 25%)", events[1].Describe());
    const Event& finish = events.back();
    EXPECT_EQ(2, finish.id);
    ASSERT_EQ(1u, finish.ints.size());
    EXPECT_EQ(0, finish.ints[0]) << "a cut body is no success";
    EXPECT_FALSE(finish.text.empty()) << "the failure carries WinINet's text";
    LONG received = 1024;
    for (const Event& e : events)
        if (e.id == 1)
            received = e.ints[1];
    EXPECT_EQ(body.substr(0, received), ReadFileBytes(target));
}

// WinINet ends a body that the server closed early, in an orderly way, as if it were whole: the length
// that the server announced tells.
TEST_F(PullwireDownload, BodyShorterThanItsContentLengthFailsAndKeepsWhatArrived) {
    const std::string body = PatternBytes(3000);
    testhttp::Reply reply = Pieces(body);
    reply.contentLength = false;
    reply.headers.push_back({"Content-Length", "8000"});
    const std::string url = Serve("cut-short", reply);
    const std::string target = temp_.Path("cut.bin");
    Client client;
    ASSERT_EQ(S_OK, client.Start(url, target));
    ASSERT_TRUE(client.WaitForFinish());
    const std::vector<std::string> expected = {
        "OnStart(1, 8000)", "OnData(1024, 2048, 8000, 25%)", "OnData(952, 3000, 8000, 37%)",
        "OnFinish(0, \"The transfer was cut short: 3000 of 8000 bytes arrived.\")"};
    EXPECT_EQ(expected, client.Sink().Table());
    EXPECT_EQ(body, ReadFileBytes(target));
}

// "The latest setup" comes from the server each time, even when its answer would allow a cache to
// keep it, and the request says so to the caches on the way.
TEST_F(PullwireDownload, EveryDownloadAsksTheServerNotTheCache) {
    const std::string path = UniquePath("cacheable");
    testhttp::Reply first;
    first.body = "first setup";
    first.headers.push_back({"Cache-Control", "public, max-age=86400"});
    first.headers.push_back({"Last-Modified", "Mon, 07 Dec 2026 10:00:00 GMT"});
    testhttp::Reply second = first;
    second.body = "second setup";
    const testhttp::Reply* replies[] = {&first, &second};
    for (const testhttp::Reply* reply : replies) {
        http_.Route(path, *reply);
        const std::string target = temp_.Path("cached.bin");
        Client client;
        ASSERT_EQ(S_OK, client.Start(http_.Url(path), target));
        ASSERT_TRUE(client.WaitForFinish());
        EXPECT_EQ(reply->body, ReadFileBytes(target));
    }
    const std::vector<testhttp::Request> requests = http_.Requests();
    ASSERT_EQ(2u, requests.size());
    for (const testhttp::Request& r : requests) {
        bool noCache = false;
        for (const auto& h : r.headers)
            noCache |= _stricmp(h.first.c_str(), "Pragma") == 0 && h.second == "no-cache";
        EXPECT_TRUE(noCache) << "no Pragma: no-cache in the request";
    }
}

struct ProxyCase {
    VARIANT_BOOL useProxy;
    bool expectProxy;
};

TEST_F(PullwireDownload, OnlyTheValueOneSwitchesTheProxyOn) {
    const ProxyCase cases[] = {{1, true}, {VARIANT_TRUE, false}, {0, false}, {2, false}};
    for (const ProxyCase& c : cases) {
        SCOPED_TRACE("bUseProxy " + std::to_string(c.useProxy));
        testhttp::Reply reply;
        reply.body = "proxied";
        const std::string path = UniquePath("proxy");
        http_.Route(path, reply);
        const size_t before = http_.Requests().size();
        Client client;
        fw::Bstr host(L"127.0.0.1");
        ASSERT_EQ(S_OK, client.Object()->SetProxy(host.Get(), http_.Port(), c.useProxy));
        ASSERT_EQ(S_OK, client.Start(http_.Url(path), temp_.Path("proxy.bin")));
        ASSERT_TRUE(client.WaitForFinish());
        EXPECT_EQ(kSuccess, client.Sink().Table().back());
        std::vector<testhttp::Request> requests = http_.Requests();
        ASSERT_EQ(before + 1, requests.size());
        EXPECT_EQ(c.expectProxy, requests.back().absoluteForm) << requests.back().target;
    }
}

TEST_F(PullwireDownload, SetProxyAfterStartLeavesTheRunningTransferAlone) {
    const std::string body = PatternBytes(3000);
    const std::string path = UniquePath("late-proxy");
    http_.Route(path, Pieces(body, 100));
    Client client;
    fw::Bstr host(L"127.0.0.1");
    ASSERT_EQ(S_OK, client.Object()->SetProxy(host.Get(), http_.Port(), 1));
    const std::string target = temp_.Path("late.bin");
    ASSERT_EQ(S_OK, client.Start("http://late.pullwire.invalid" + path, target));
    fw::Bstr nowhere(L"nowhere.invalid");
    ASSERT_EQ(S_OK, client.Object()->SetProxy(nowhere.Get(), 1, 0));
    ASSERT_TRUE(client.WaitForFinish());
    EXPECT_EQ(kSuccess, client.Sink().Table().back());
    EXPECT_EQ(body, ReadFileBytes(target));
    // The host is known only to the proxy: the transfer went through it.
    ASSERT_EQ(1u, http_.Requests().size());
    EXPECT_TRUE(http_.Requests()[0].absoluteForm);
    EXPECT_EQ("late.pullwire.invalid", http_.Requests()[0].host.substr(0, 21));
}

// StopDownload ends a transfer between two blocks and one that waits for a silent server alike: one
// failed finish with its text, and the file is gone by the time the call returns.
TEST_F(PullwireDownload, StopDownloadEndsTheTransferAndRemovesTheFile) {
    const std::string body = PatternBytes(8192);
    testhttp::Reply silent = Pieces(body, 0);
    silent.stallAfter = 2048;
    const struct {
        const char* what;
        testhttp::Reply reply;
    } cases[] = {{"slow pieces", Pieces(body, 300)}, {"silent server", silent}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string url = Serve("stop", c.reply);
        const std::string target = temp_.Path("stop.bin");
        Client client;
        ASSERT_EQ(S_OK, client.Start(url, target));
        ASSERT_TRUE(PumpUntil([&] { return !client.Sink().Events().empty(); })) << "no OnStart";
        EXPECT_EQ(S_OK, client.Object()->StopDownload());
        EXPECT_FALSE(FileExists(target));
        ASSERT_TRUE(client.WaitForFinish());
        PumpFor(300);
        EXPECT_EQ("OnFinish(0, \"The download was stopped.\")", client.Sink().Table().back());
        EXPECT_EQ(1, std::count_if(client.Sink().Events().begin(), client.Sink().Events().end(),
                                   [](const Event& e) { return e.id == 2; }));
        EXPECT_FALSE(FileExists(target));
    }
}

// Another process can post to the hidden window too: neither a forged finish nor a pointer that the
// window would free, nor a wake of its own, changes what the client hears.
TEST_F(PullwireDownload, ForgedMessagesToTheHiddenWindowChangeNothing) {
    const std::string body = PatternBytes(4096);
    const std::string url = Serve("forged", Pieces(body, 150));
    const std::string target = temp_.Path("forged.bin");
    Client client;
    ASSERT_EQ(S_OK, client.Start(url, target));
    HWND window = ::FindWindowExA(HWND_MESSAGE, nullptr, "PullwireHiddenWindow", nullptr);
    ASSERT_NE(nullptr, window) << "a message-only window";
    EXPECT_NE(::GetDesktopWindow(), ::GetAncestor(window, GA_PARENT));
    for (UINT message = WM_USER + 100; message <= WM_USER + 110; ++message) {
        ::PostMessageA(window, message, 1, reinterpret_cast<LPARAM>("not a heap block"));
        ::PostMessageA(window, message, reinterpret_cast<WPARAM>("not a record"), 0);
    }
    ASSERT_TRUE(client.WaitForFinish());
    PumpFor(300);
    const std::vector<std::string> expected = {"OnStart(1, 4096)", "OnData(1024, 2048, 4096, 50%)",
                                               "OnData(1024, 3072, 4096, 75%)", "OnData(1024, 4096, 4096, 100%)",
                                               kSuccess};
    EXPECT_EQ(expected, client.Sink().Table());
    EXPECT_EQ(body, ReadFileBytes(target));
}

TEST_F(PullwireDownload, SinkConnectedAfterStartReceivesTheRest) {
    const std::string body = PatternBytes(4096);
    const std::string url = Serve("late-sink", Pieces(body, 100));
    Client client;
    ASSERT_EQ(S_OK, client.Start(url, temp_.Path("late-sink.bin")));
    ASSERT_TRUE(PumpUntil([&] { return !client.Sink().Events().empty(); }));
    ASSERT_EQ("OnStart(1, 4096)", client.Sink().Table().front());

    auto* second = new RecordingSink(RecordingSink::Answers::DispatchOnly);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, client.ConnectionPoint()->Advise(second, &cookie));
    ASSERT_TRUE(PumpUntil([&] { return second->Finished(); }));

    std::vector<std::string> all = client.Sink().Table();
    EXPECT_EQ(std::vector<std::string>(all.begin() + 1, all.end()), second->Table());
    EXPECT_EQ(kSuccess, second->Table().back());
    EXPECT_EQ(S_OK, client.ConnectionPoint()->Unadvise(cookie));
    second->Release();
}

TEST_F(PullwireDownload, TwoObjectsAtOnceEachGetTheirOwnEvents) {
    const std::string bodyA = PatternBytes(3000);
    const std::string bodyB = PatternBytes(2100);
    const std::string urlA = Serve("object-a", Pieces(bodyA, 80));
    const std::string urlB = Serve("object-b", Pieces(bodyB, 50));
    const std::string targetA = temp_.Path("a.bin");
    const std::string targetB = temp_.Path("b.bin");
    Client a;
    Client b;
    ASSERT_EQ(S_OK, a.Start(urlA, targetA));
    ASSERT_EQ(S_OK, b.Start(urlB, targetB));
    ASSERT_TRUE(PumpUntil([&] { return a.Sink().Finished() && b.Sink().Finished(); }));
    PumpFor(200);

    EXPECT_EQ((std::vector<std::string>{"OnStart(1, 3000)", "OnData(1024, 2048, 3000, 68%)",
                                        "OnData(952, 3000, 3000, 100%)", kSuccess}),
              a.Sink().Table());
    EXPECT_EQ((std::vector<std::string>{"OnStart(1, 2100)", "OnData(1024, 2048, 2100, 97%)",
                                        "OnData(52, 2100, 2100, 100%)", kSuccess}),
              b.Sink().Table());
    EXPECT_EQ(bodyA, ReadFileBytes(targetA));
    EXPECT_EQ(bodyB, ReadFileBytes(targetB));
}

TEST_F(PullwireDownload, ObjectReleasedDuringTransferStillCompletesAndKeepsTheModuleTillThen) {
    const std::string body = PatternBytes(5000);
    const std::string url = Serve("released", Pieces(body, 60));
    const std::string target = temp_.Path("released.bin");
    {
        Client client;
        ASSERT_EQ(S_OK, client.Start(url, target));
    }
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow()) << "a transfer is still running";
    ASSERT_TRUE(PumpUntil([&] { return server_.CanUnloadNow() == S_OK; }));
    EXPECT_EQ(body, ReadFileBytes(target));
}

TEST_F(PullwireDownload, HiddenWindowClassGoesWithTheLastObject) {
    // A class left registered would keep a window procedure inside a module that may be unloaded.
    WNDCLASSEXA wc = {sizeof wc};
    {
        Client first;
        Client second;
        ASSERT_EQ(S_OK, first.Start(Serve("class-a", Pieces(PatternBytes(100))), temp_.Path("a.bin")));
        ASSERT_EQ(S_OK, second.Start(Serve("class-b", Pieces(PatternBytes(100))), temp_.Path("b.bin")));
        ASSERT_TRUE(PumpUntil([&] { return first.Sink().Finished() && second.Sink().Finished(); }));
        EXPECT_TRUE(::GetClassInfoExA(server_.Module(), "PullwireHiddenWindow", &wc));
    }
    EXPECT_FALSE(::GetClassInfoExA(server_.Module(), "PullwireHiddenWindow", &wc));
    // The workers count in the module until their very last instruction, a moment after their finish notice.
    EXPECT_TRUE(PumpUntil([&] { return server_.CanUnloadNow() == S_OK; }, 5000));
}

TEST_F(PullwireDownload, ClientThatReleasesTheObjectInOnFinishIsSafe) {
    const std::string url = Serve("release-in-finish", Pieces(PatternBytes(2500)));
    Client client;
    client.Sink().onEvent = [&](const Event& e) {
        if (e.id == 2)
            client.ReleaseObject();
    };
    ASSERT_EQ(S_OK, client.Start(url, temp_.Path("release.bin")));
    ASSERT_TRUE(client.WaitForFinish());
    ASSERT_TRUE(PumpUntil([&] { return server_.CanUnloadNow() == S_OK; }));
    EXPECT_EQ(1, client.Sink().Refs()) << "the object gave back its reference on the sink";
}

} // namespace

namespace {

// Calls a method by name with the arguments in declared order, as a script engine would.
HRESULT InvokeByName(IDispatch* dispatch, const wchar_t* method, std::vector<VARIANT> args) {
    LPOLESTR name = const_cast<LPOLESTR>(method);
    DISPID id = 0;
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    ::VariantInit(&result);
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    ::VariantClear(&result);
    return hr;
}

VARIANT Text(const fw::Bstr& s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = s.Get();
    return v;
}

VARIANT Number(LONG n) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}

TEST_F(PullwireDownload, LateBoundClientSetsTheProxyAndStartsByName) {
    testhttp::Reply reply;
    reply.body = PatternBytes(1800);
    const std::string path = UniquePath("late-bound");
    http_.Route(path, reply);
    const std::string target = temp_.Path("script.bin");
    Client client;
    fw::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, client.Object()->QueryInterface(IID_IDispatch, dispatch.PutVoid()));

    fw::Bstr host(L"127.0.0.1");
    fw::Bstr url = fw::Bstr::FromAnsi("http://script.pullwire.invalid" + path);
    fw::Bstr file = fw::Bstr::FromAnsi(target);
    // Only a VARIANT_BOOL holding 1 switches the proxy on: a number 1 would be turned into VARIANT_TRUE by
    // the type information's conversion, which switches it off.
    VARIANT one;
    V_VT(&one) = VT_BOOL;
    V_BOOL(&one) = 1;
    ASSERT_EQ(S_OK, InvokeByName(dispatch.Get(), L"SetProxy", {Text(host), Number(http_.Port()), one}));
    ASSERT_EQ(S_OK, InvokeByName(dispatch.Get(), L"StartDownload", {Text(url), Text(file)}));
    ASSERT_TRUE(client.WaitForFinish());

    EXPECT_EQ((std::vector<std::string>{"OnStart(1, 1800)", "OnData(776, 1800, 1800, 100%)", kSuccess}),
              client.Sink().Table());
    ASSERT_EQ(1u, http_.Requests().size());
    EXPECT_TRUE(http_.Requests()[0].absoluteForm);
    EXPECT_EQ(reply.body, ReadFileBytes(target));
}

} // namespace
