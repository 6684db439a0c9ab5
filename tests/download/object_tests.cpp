// The URLDownload object as a COM client sees it without a transfer: its interfaces, its connection
// point, the event-raising methods, aggregation, late binding and the module's unload answer.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include <cstring>

#include "tests/download/pullwire_client.h"

using namespace pwtest;

namespace {

class PullwireObject : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Ok()) << "DllRegisterServer of " << ModulePath(); }
    RegisteredServer server_;
};

TEST_F(PullwireObject, QueryInterfaceAnswersExactlyItsInterfaces) {
    Client client;
    ASSERT_EQ(S_OK, client.CreateResult());
    struct {
        const IID* iid;
        const char* name;
        HRESULT expected;
    } cases[] = {
        {&IID_IUnknown, "IUnknown", S_OK},
        {&IID_IURLDownload, "IURLDownload", S_OK},
        {&IID_IDispatch, "IDispatch", S_OK},
        {&IID_ISupportErrorInfo, "ISupportErrorInfo", S_OK},
        {&IID_IConnectionPointContainer, "IConnectionPointContainer", S_OK},
        {&IID_IConnectionPoint, "IConnectionPoint", E_NOINTERFACE},
        {&DIID__IURLDownloadEvents, "_IURLDownloadEvents", E_NOINTERFACE},
        {&IID_IProvideClassInfo, "IProvideClassInfo", E_NOINTERFACE},
        {&IID_IClassFactory, "IClassFactory", E_NOINTERFACE},
    };
    fw::ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, client.Object()->QueryInterface(IID_IUnknown, identity.PutVoid()));
    for (const auto& c : cases) {
        fw::ComPtr<IUnknown> p;
        EXPECT_EQ(c.expected, client.Object()->QueryInterface(*c.iid, p.PutVoid())) << c.name;
        if (!p)
            continue;
        fw::ComPtr<IUnknown> back;
        ASSERT_EQ(S_OK, p->QueryInterface(IID_IUnknown, back.PutVoid()));
        EXPECT_EQ(identity.Get(), back.Get()) << c.name << " has another identity";
    }
}

TEST_F(PullwireObject, SupportErrorInfoOnlyForTheCommandInterface) {
    Client client;
    fw::ComPtr<ISupportErrorInfo> info;
    ASSERT_EQ(S_OK, client.Object()->QueryInterface(IID_ISupportErrorInfo, info.PutVoid()));
    EXPECT_EQ(S_OK, info->InterfaceSupportsErrorInfo(IID_IURLDownload));
    EXPECT_EQ(S_FALSE, info->InterfaceSupportsErrorInfo(IID_IDispatch));
    EXPECT_EQ(S_FALSE, info->InterfaceSupportsErrorInfo(IID_IUnknown));
}

TEST_F(PullwireObject, ContainerHasOneConnectionPointForTheEvents) {
    Client client;
    fw::ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, client.Object()->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    fw::ComPtr<IConnectionPoint> point;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IDispatch, point.Put()));
    EXPECT_FALSE(point);
    ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID__IURLDownloadEvents, point.Put()));
    IID iid = {};
    ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(DIID__IURLDownloadEvents, iid));
    fw::ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.Put()));
    EXPECT_EQ(container.Get(), back.Get());

    fw::ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.Put()));
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(point.Get(), listed[0]);
    listed[0]->Release();
}

TEST_F(PullwireObject, AdviseTakesTheEventInterfaceOrIDispatchAndNothingElse) {
    Client client;
    fw::ComPtr<IConnectionPoint> point = client.ConnectionPoint();
    ASSERT_TRUE(point);
    struct {
        RecordingSink::Answers answers;
        const char* name;
        HRESULT expected;
    } cases[] = {
        {RecordingSink::Answers::EventInterface, "event interface", S_OK},
        {RecordingSink::Answers::DispatchOnly, "IDispatch only", S_OK},
        {RecordingSink::Answers::Nothing, "neither", CONNECT_E_CANNOTCONNECT},
    };
    for (const auto& c : cases) {
        auto* sink = new RecordingSink(c.answers);
        DWORD cookie = 77;
        EXPECT_EQ(c.expected, point->Advise(sink, &cookie)) << c.name;
        if (c.expected == S_OK) {
            EXPECT_EQ(2, sink->Refs()) << c.name << ": the connection holds one reference";
            EXPECT_EQ(S_OK, point->Unadvise(cookie));
        } else {
            EXPECT_EQ(0u, cookie) << c.name;
        }
        EXPECT_EQ(1, sink->Refs()) << c.name;
        sink->Release();
    }
}

TEST_F(PullwireObject, CookiesAreSlotNumbersAndAreChecked) {
    Client client; // its own sink holds cookie 1
    fw::ComPtr<IConnectionPoint> point = client.ConnectionPoint();
    ASSERT_EQ(1u, client.Cookie());
    auto* b = new RecordingSink;
    auto* c = new RecordingSink;
    auto* d = new RecordingSink;
    DWORD cookieB = 0, cookieC = 0, cookieD = 0;
    ASSERT_EQ(S_OK, point->Advise(b, &cookieB));
    ASSERT_EQ(S_OK, point->Advise(c, &cookieC));
    EXPECT_EQ(2u, cookieB);
    EXPECT_EQ(3u, cookieC);

    EXPECT_EQ(S_OK, point->Unadvise(cookieB));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookieB)) << "a cookie is good once";
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(0));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(99));
    // The freed slot is used again.
    ASSERT_EQ(S_OK, point->Advise(d, &cookieD));
    EXPECT_EQ(2u, cookieD);

    fw::ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, point->EnumConnections(connections.Put()));
    std::vector<DWORD> cookies;
    CONNECTDATA data = {};
    while (connections->Next(1, &data, nullptr) == S_OK) {
        cookies.push_back(data.dwCookie);
        data.pUnk->Release();
    }
    EXPECT_EQ((std::vector<DWORD>{1, 2, 3}), cookies);
    connections.Reset();

    EXPECT_EQ(S_OK, point->Unadvise(cookieC));
    EXPECT_EQ(S_OK, point->Unadvise(cookieD));
    for (RecordingSink* sink : {b, c, d}) {
        EXPECT_EQ(1, sink->Refs());
        sink->Release();
    }
}

TEST_F(PullwireObject, EventMethodsReachEverySinkInSlotOrderWithTheirArgumentTypes) {
    Client client;
    fw::ComPtr<IConnectionPoint> point = client.ConnectionPoint();
    auto* second = new RecordingSink(RecordingSink::Answers::DispatchOnly);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(second, &cookie));
    std::vector<std::string> order;
    client.Sink().onEvent = [&](const Event& e) { order.push_back("first " + e.Describe()); };
    second->onEvent = [&](const Event& e) { order.push_back("second " + e.Describe()); };

    fw::Bstr text(L"disk full");
    EXPECT_EQ(S_OK, client.Object()->OnStart(1, 5000));
    EXPECT_EQ(S_OK, client.Object()->OnData(1024, 2048, 5000, 12.5, 40, 3.0));
    EXPECT_EQ(S_OK, client.Object()->OnFinish(0, text.Get()));

    const std::vector<std::string> expected = {
        "first OnStart(1, 5000)",
        "second OnStart(1, 5000)",
        "first OnData(1024, 2048, 5000, 40%)",
        "second OnData(1024, 2048, 5000, 40%)",
        "first OnFinish(0, \"disk full\")",
        "second OnFinish(0, \"disk full\")",
    };
    EXPECT_EQ(expected, order);

    const std::vector<Event>& events = second->Events();
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ((std::vector<VARTYPE>{VT_I4, VT_I4}), events[0].types);
    EXPECT_EQ((std::vector<VARTYPE>{VT_I4, VT_I4, VT_I4, VT_R8, VT_I4, VT_R8}), events[1].types);
    EXPECT_EQ((std::vector<double>{12.5, 3.0}), events[1].doubles);
    EXPECT_EQ((std::vector<VARTYPE>{VT_I4, VT_BSTR}), events[2].types);
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    second->Release();
}

TEST_F(PullwireObject, AFailingSinkStopsNeitherTheOthersNorTheCaller) {
    Client client;
    fw::ComPtr<IConnectionPoint> point = client.ConnectionPoint();
    auto* failing = new RecordingSink;
    failing->invokeResult = DISP_E_MEMBERNOTFOUND;
    auto* last = new RecordingSink;
    // Slot 1 is the client's sink; the failing sink takes slot 2, the last one slot 3.
    DWORD failingCookie = 0, lastCookie = 0;
    ASSERT_EQ(S_OK, point->Advise(failing, &failingCookie));
    ASSERT_EQ(S_OK, point->Advise(last, &lastCookie));
    EXPECT_EQ(S_OK, client.Object()->OnStart(1, 10));
    for (RecordingSink* sink : {&client.Sink(), failing, last})
        EXPECT_EQ(std::vector<std::string>{"OnStart(1, 10)"}, sink->Table());
    point->Unadvise(failingCookie);
    point->Unadvise(lastCookie);
    failing->Release();
    last->Release();
}

TEST_F(PullwireObject, SinkThatUnadvisesItselfInItsHandlerIsSafe) {
    Client client;
    fw::ComPtr<IConnectionPoint> point = client.ConnectionPoint();
    auto* second = new RecordingSink;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(second, &cookie));
    second->onEvent = [&](const Event&) {
        if (cookie)
            point->Unadvise(std::exchange(cookie, 0));
    };
    EXPECT_EQ(S_OK, client.Object()->OnStart(1, 1));
    EXPECT_EQ(S_OK, client.Object()->OnStart(1, 2));
    EXPECT_EQ(std::vector<std::string>{"OnStart(1, 1)"}, second->Table());
    EXPECT_EQ((std::vector<std::string>{"OnStart(1, 1)", "OnStart(1, 2)"}), client.Sink().Table());
    EXPECT_EQ(1, second->Refs());
    second->Release();
}

TEST_F(PullwireObject, LateBoundCallsGoThroughTheTypeInformation) {
    Client client;
    fw::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, client.Object()->QueryInterface(IID_IDispatch, dispatch.PutVoid()));
    UINT count = 0;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    fw::ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(IID_IURLDownload, attr->guid));
    info->ReleaseTypeAttr(attr);

    LPOLESTR known = const_cast<LPOLESTR>(L"stopdownload");
    DISPID stop = 0;
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &known, 1, LOCALE_USER_DEFAULT, &stop)) << "names ignore case";
    EXPECT_EQ(5, stop);
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Cancel");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id));

    // OnStart(7, 99) by DISPID, as a script engine calls it: the event reaches the sink.
    VARIANTARG args[2];
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = 99;
    V_VT(&args[1]) = VT_I2;
    V_I2(&args[1]) = 7;
    DISPPARAMS params = {args, nullptr, 2, 0};
    EXPECT_EQ(S_OK,
              dispatch->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::vector<std::string>{"OnStart(7, 99)"}, client.Sink().Table());
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, dispatch->Invoke(3, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                                        nullptr, nullptr, nullptr));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK,
              dispatch->Invoke(5, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT,
              dispatch->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

// A controlling unknown that counts the references its inner object delegates to it.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
};

TEST_F(PullwireObject, AggregatedObjectDelegatesToItsOuterObject) {
    Outer outer;
    IURLDownload* wrong = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, ::CoCreateInstance(CLSID_URLDownload, &outer, CLSCTX_INPROC_SERVER,
                                                        IID_IURLDownload, reinterpret_cast<void**>(&wrong)));
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_URLDownload, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void**>(&outer.inner)));
    EXPECT_EQ(1u, outer.refs) << "creating the inner object leaves the outer count alone";

    IURLDownload* download = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IURLDownload, reinterpret_cast<void**>(&download)));
    EXPECT_EQ(2u, outer.refs) << "the interface counts on the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, download->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    EXPECT_EQ(S_OK, download->StopDownload());
    download->Release();
    EXPECT_EQ(1u, outer.refs);

    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());
    EXPECT_EQ(0u, std::exchange(outer.inner, nullptr)->Release());
    EXPECT_EQ(S_OK, server_.CanUnloadNow());
}

TEST_F(PullwireObject, ModuleStaysWhileAnObjectLives) {
    EXPECT_EQ(S_OK, server_.CanUnloadNow());
    {
        Client client;
        ASSERT_EQ(S_OK, client.CreateResult());
        EXPECT_EQ(S_FALSE, server_.CanUnloadNow());
    }
    EXPECT_EQ(S_OK, server_.CanUnloadNow());
}

TEST_F(PullwireObject, ServerLockKeepsTheModule) {
    fw::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_URLDownload, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, server_.CanUnloadNow());
    ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_URLDownload, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
    EXPECT_EQ(S_OK, server_.CanUnloadNow());
}

// Refuses the creation of the component's hidden window on this thread: the window class is the
// component's own.
LRESULT CALLBACK RefuseHiddenWindow(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        char name[64] = {};
        ::GetClassNameA(reinterpret_cast<HWND>(wp), name, sizeof name);
        if (strcmp(name, "PullwireHiddenWindow") == 0)
            return 1;
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

// Without its hidden window no event could reach the client: StartDownload fails with the error of
// the call that failed, not with one left over from replacing an existing target file.
TEST_F(PullwireObject, StartDownloadWithoutItsWindowFailsWithItsOwnError) {
    TempFolder temp;
    const std::string target = temp.Path("setup.exe");
    {
        fw::FileHandle old(::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(old);
    }
    Client client;
    HHOOK hook = ::SetWindowsHookExA(WH_CBT, RefuseHiddenWindow, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    const HRESULT hr = client.Start("http://127.0.0.1:1/setup.exe", target);
    ::UnhookWindowsHookEx(hook);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_NE(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), hr);
    PumpFor(200);
    EXPECT_TRUE(client.Sink().Events().empty());
}

} // namespace
