#include "download/url_download.h"

#include <olectl.h>

#include <memory>
#include <new>

#include "download/download_engine.h"
#include "download/hidden_window.h"
#include "framework/com.h"
#include "framework/owners.h"

namespace {

// The standard enumerator over a snapshot of items, each holding its own reference. Traits give the
// enumerator's IID and how an item takes and drops its reference.
template <typename IEnum, typename Item, typename Traits> class CEnumerator final : public IEnum {
public:
    explicit CEnumerator(std::vector<Item> items) : items_(std::move(items)) {
        for (Item& item : items_)
            Traits::AddRef(item);
        fw::ComModule::AddRef();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Traits::Iid()))
            *object = static_cast<IEnum*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        while (n < count && next_ < items_.size()) {
            out[n] = items_[next_++];
            Traits::AddRef(out[n]);
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        size_t left = items_.size() - next_;
        if (count > left) {
            next_ = items_.size();
            return S_FALSE;
        }
        next_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** out) override {
        if (!out)
            return E_POINTER;
        auto* clone = new (std::nothrow) CEnumerator(items_);
        if (!clone) {
            *out = nullptr;
            return E_OUTOFMEMORY;
        }
        clone->next_ = next_;
        *out = clone;
        return S_OK;
    }

private:
    ~CEnumerator() {
        for (Item& item : items_)
            Traits::Release(item);
        fw::ComModule::Release();
    }

    LONG refs_ = 1;
    std::vector<Item> items_;
    size_t next_ = 0;
};

struct ConnectionTraits {
    static REFIID Iid() { return IID_IEnumConnections; }
    static void AddRef(CONNECTDATA& c) { c.pUnk->AddRef(); }
    static void Release(CONNECTDATA& c) { c.pUnk->Release(); }
};
struct ConnectionPointTraits {
    static REFIID Iid() { return IID_IEnumConnectionPoints; }
    static void AddRef(IConnectionPoint* p) { p->AddRef(); }
    static void Release(IConnectionPoint* p) { p->Release(); }
};
using CEnumConnections = CEnumerator<IEnumConnections, CONNECTDATA, ConnectionTraits>;
using CEnumConnectionPoints = CEnumerator<IEnumConnectionPoints, IConnectionPoint*, ConnectionPointTraits>;

// One event argument.
void SetI4(VARIANTARG& arg, LONG value) {
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = value;
}
void SetR8(VARIANTARG& arg, double value) {
    V_VT(&arg) = VT_R8;
    V_R8(&arg) = value;
}

} // namespace

HRESULT CURLDownload::Create(IUnknown* outer, REFIID iid, void** object) {
    auto* self = new (std::nothrow) CURLDownload(outer);
    if (!self)
        return E_OUTOFMEMORY;
    // The object starts with one reference, which this function gives back after the interface was
    // handed out (or not).
    HRESULT hr = self->inner_.QueryInterface(iid, object);
    self->inner_.Release();
    return hr;
}

CURLDownload::CURLDownload(IUnknown* outer) : inner_(this), connectionPoint_(this), outer_(outer ? outer : &inner_) {
    fw::ComModule::AddRef();
}

CURLDownload::~CURLDownload() {
    if (hiddenWindow_)
        hiddenWindow_->Close();
    // Everything that may call into other modules goes before the module may be unloaded.
    sinks_.clear();
    typeInfo_.Reset();
    fw::ComModule::Release();
}

STDMETHODIMP CURLDownload::CInner::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown))
        *object = static_cast<IUnknown*>(this);
    else if (IsEqualIID(iid, IID_IURLDownload))
        *object = static_cast<IURLDownload*>(self_);
    else if (IsEqualIID(iid, IID_IDispatch))
        *object = static_cast<IDispatch*>(self_);
    else if (IsEqualIID(iid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(self_);
    else if (IsEqualIID(iid, IID_IConnectionPointContainer))
        *object = static_cast<IConnectionPointContainer*>(self_);
    else
        return E_NOINTERFACE;
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CURLDownload::CInner::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&self_->refs_));
}

STDMETHODIMP_(ULONG) CURLDownload::CInner::Release() {
    LONG refs = ::InterlockedDecrement(&self_->refs_);
    if (refs == 0)
        delete self_;
    return static_cast<ULONG>(refs);
}

HRESULT CURLDownload::LoadTypeInfo() {
    if (typeInfo_)
        return S_OK;
    // The registered type library first; a server that is not registered (yet) uses its own resource.
    fw::ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadRegTypeLib(LIBID_PullwireLib, 1, 0, LOCALE_NEUTRAL, library.Put());
    if (FAILED(hr))
        hr = ::LoadTypeLibEx(fw::ComModule::FileName().c_str(), REGKIND_NONE, library.Put());
    if (FAILED(hr))
        return hr;
    return library->GetTypeInfoOfGuid(IID_IURLDownload, typeInfo_.Put());
}

STDMETHODIMP CURLDownload::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CURLDownload::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr))
        return hr;
    *info = fw::ComPtr<ITypeInfo>(typeInfo_).Detach();
    return S_OK;
}

STDMETHODIMP CURLDownload::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr))
        return hr;
    return ::DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
}

STDMETHODIMP CURLDownload::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argError) {
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr))
        return hr;
    return typeInfo_->Invoke(static_cast<IURLDownload*>(this), id, flags, params, result, exception, argError);
}

void CURLDownload::RaiseEvent(DISPID id, VARIANTARG* args, UINT count) {
    DISPPARAMS params = {args, nullptr, count, 0};
    // By index: a sink may advise or unadvise from inside its handler.
    for (size_t i = 0; i < sinks_.size(); ++i) {
        fw::ComPtr<IDispatch> sink = sinks_[i];
        if (sink)
            sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
}

// The arguments of each event go to Invoke in reverse order, the last parameter first.
STDMETHODIMP CURLDownload::OnData(LONG nReadBytes, LONG nTotalBytes, LONG nMaxBytes, double dwTransfeRate,
                                  INT nPercentileDownload, double dwElapsedTime) {
    VARIANTARG args[6];
    SetR8(args[0], dwElapsedTime);
    SetI4(args[1], nPercentileDownload);
    SetR8(args[2], dwTransfeRate);
    SetI4(args[3], nMaxBytes);
    SetI4(args[4], nTotalBytes);
    SetI4(args[5], nReadBytes);
    RaiseEvent(1, args, 6);
    return S_OK;
}

STDMETHODIMP CURLDownload::OnFinish(INT nFinishSuccess, BSTR wsError) {
    VARIANTARG args[2];
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = wsError;
    SetI4(args[1], nFinishSuccess);
    RaiseEvent(2, args, 2);
    return S_OK;
}

STDMETHODIMP CURLDownload::OnStart(INT nDownloadID, LONG nMaxBytes) {
    VARIANTARG args[2];
    SetI4(args[0], nMaxBytes);
    SetI4(args[1], nDownloadID);
    RaiseEvent(3, args, 2);
    return S_OK;
}

STDMETHODIMP CURLDownload::StartDownload(BSTR szURL, BSTR szFilePath) {
    return fw::ComTry([&]() -> HRESULT {
        // The process's code page (CP_ACP, UTF-8 in the wizard's process), which is also the one the ...A
        // file and WinINet functions read these strings in; a thread locale of its own would give a path
        // that CreateFileA misreads. A character that code page cannot hold (a system that keeps a legacy
        // code page) would turn into another file or address: such arguments are refused, with no event.
        std::string url, filePath;
        if (!fw::ToAnsiExact(szURL, szURL ? static_cast<int>(::SysStringLen(szURL)) : 0, &url) ||
            !fw::ToAnsiExact(szFilePath, szFilePath ? static_cast<int>(::SysStringLen(szFilePath)) : 0, &filePath))
            return E_INVALIDARG;

        // The target exists (empty) from now on, whatever becomes of the transfer; a file that cannot
        // be created is reported by the worker's finish notice.
        fw::FileHandle(::CreateFileA(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));

        if (!hiddenWindow_) {
            hiddenWindow_ = new (std::nothrow) CHiddenWindow(this);
            if (!hiddenWindow_)
                return E_OUTOFMEMORY;
        }
        // Without a window no notice could arrive: the client is told now rather than left waiting.
        const HRESULT window = hiddenWindow_->EnsureWindow();
        if (FAILED(window))
            return window;

        auto job = std::unique_ptr<DownloadJob>(new (std::nothrow) DownloadJob);
        if (!job)
            return E_OUTOFMEMORY;
        job->url = std::move(url);
        job->filePath = std::move(filePath);
        job->proxyHost = proxyHost_;
        job->proxyPort = proxyPort_;
        job->useProxy = useProxy_;
        job->notifyWindow = hiddenWindow_->Handle();

        hiddenWindow_->BeginTransfer();
        DWORD error = StartDownloadWorker(std::move(job));
        if (error != ERROR_SUCCESS) {
            hiddenWindow_->EndTransfer();
            return HRESULT_FROM_WIN32(error);
        }
        return S_OK;
    });
}

STDMETHODIMP CURLDownload::StopDownload() {
    // A started transfer always runs to its end and ends with OnFinish.
    return S_OK;
}

STDMETHODIMP CURLDownload::SetProxy(BSTR wszProxy, LONG nPort, VARIANT_BOOL bUseProxy) {
    return fw::ComTry([&]() -> HRESULT {
        std::string host;
        if (!fw::ToAnsiExact(wszProxy, wszProxy ? static_cast<int>(::SysStringLen(wszProxy)) : 0, &host))
            return E_INVALIDARG;
        proxyHost_ = std::move(host);
        proxyPort_ = nPort;
        // Only the value 1 switches the proxy on; VARIANT_TRUE (-1) switches it off like 0.
        useProxy_ = static_cast<USHORT>(bUseProxy) == 1;
        return S_OK;
    });
}

STDMETHODIMP CURLDownload::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, IID_IURLDownload) ? S_OK : S_FALSE;
}

STDMETHODIMP CURLDownload::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (!points)
        return E_POINTER;
    *points = nullptr;
    return fw::ComTry([&]() -> HRESULT {
        std::vector<IConnectionPoint*> items{&connectionPoint_};
        auto* enumerator = new CEnumConnectionPoints(std::move(items));
        *points = enumerator;
        return S_OK;
    });
}

STDMETHODIMP CURLDownload::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, DIID__IURLDownloadEvents))
        return CONNECT_E_NOCONNECTION;
    *point = &connectionPoint_;
    connectionPoint_.AddRef();
    return S_OK;
}

STDMETHODIMP CURLDownload::CConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint))
        *object = static_cast<IConnectionPoint*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP CURLDownload::CConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid)
        return E_POINTER;
    *iid = DIID__IURLDownloadEvents;
    return S_OK;
}

STDMETHODIMP CURLDownload::CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container)
        return E_POINTER;
    *container = static_cast<IConnectionPointContainer*>(self_);
    self_->AddRef();
    return S_OK;
}

STDMETHODIMP CURLDownload::CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    // The event interface itself, else any IDispatch: events are only ever invoked by DISPID.
    fw::ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(DIID__IURLDownloadEvents, dispatch.PutVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid())))
        return CONNECT_E_CANNOTCONNECT;
    return fw::ComTry([&]() -> HRESULT {
        std::vector<fw::ComPtr<IDispatch>>& sinks = self_->sinks_;
        size_t slot = 0;
        while (slot < sinks.size() && sinks[slot])
            ++slot;
        if (slot == sinks.size())
            sinks.emplace_back();
        sinks[slot] = std::move(dispatch);
        *cookie = static_cast<DWORD>(slot + 1);
        return S_OK;
    });
}

STDMETHODIMP CURLDownload::CConnectionPoint::Unadvise(DWORD cookie) {
    std::vector<fw::ComPtr<IDispatch>>& sinks = self_->sinks_;
    if (cookie == 0 || cookie > sinks.size() || !sinks[cookie - 1])
        return CONNECT_E_NOCONNECTION;
    // The slot is empty before the sink hears of its release, so a sink that calls back finds it gone.
    sinks[cookie - 1].Reset();
    return S_OK;
}

STDMETHODIMP CURLDownload::CConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections)
        return E_POINTER;
    *connections = nullptr;
    return fw::ComTry([&]() -> HRESULT {
        std::vector<CONNECTDATA> items;
        const std::vector<fw::ComPtr<IDispatch>>& sinks = self_->sinks_;
        for (size_t i = 0; i < sinks.size(); ++i)
            if (sinks[i])
                items.push_back(CONNECTDATA{sinks[i].Get(), static_cast<DWORD>(i + 1)});
        *connections = new CEnumConnections(std::move(items));
        return S_OK;
    });
}
