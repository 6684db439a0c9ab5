#include "download/page/download_setup_sink.h"

#include "Pullwire.h"
#include "download/page/download_setup_page.h"
#include "framework/owners.h"

#include <oleauto.h>

namespace {

// One argument converted to the type the handler takes. The variant owns what the conversion made
// (a BSTR).
class Argument {
public:
    Argument() { ::VariantInit(&value_); }
    ~Argument() { ::VariantClear(&value_); }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
    HRESULT Convert(VARIANTARG& from, VARTYPE type) {
        // VariantChangeType follows VT_BYREF itself.
        return ::VariantChangeType(&value_, &from, 0, type);
    }
    const VARIANT& Value() const { return value_; }

private:
    VARIANT value_;
};

// The types each event's handler takes, in declared order.
struct EventSignature {
    DISPID id;
    const wchar_t* name;
    VARTYPE types[6];
    UINT count;
};

constexpr EventSignature kEvents[] = {
    {CDownloadSetupEventSink::kOnData, L"OnData", {VT_I4, VT_I4, VT_I4, VT_R8, VT_I4, VT_R8}, 6},
    {CDownloadSetupEventSink::kOnFinish, L"OnFinish", {VT_I2, VT_BSTR}, 2},
    {CDownloadSetupEventSink::kOnStart, L"OnStart", {VT_I2, VT_I4}, 2},
};

const EventSignature* FindEvent(DISPID id) {
    for (const EventSignature& e : kEvents)
        if (e.id == id)
            return &e;
    return nullptr;
}

} // namespace

HRESULT QueryDownloadEventsSink(IDispatch* sink, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__IURLDownloadEvents) {
        *object = sink;
        sink->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CDownloadSetupEventSink::QueryInterface(REFIID iid, void** object) {
    return QueryDownloadEventsSink(this, iid, object);
}

STDMETHODIMP_(ULONG) CDownloadSetupEventSink::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) CDownloadSetupEventSink::Release() {
    LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CDownloadSetupEventSink::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CDownloadSetupEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP CDownloadSetupEventSink::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const EventSignature& e : kEvents)
        if (names[0] && ::_wcsicmp(names[0], e.name) == 0)
            ids[0] = e.id;
    if (ids[0] == DISPID_UNKNOWN)
        hr = DISP_E_UNKNOWNNAME;
    // The handlers' parameters have no names of their own here.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP CDownloadSetupEventSink::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                             VARIANT* result, EXCEPINFO*, UINT* argError) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    const EventSignature* event = FindEvent(id);
    if (!event)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_INVALIDARG;
    if (params->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (params->cArgs != event->count)
        return DISP_E_BADPARAMCOUNT;
    if (event->count > 0 && !params->rgvarg)
        return E_INVALIDARG;
    if (result)
        ::VariantInit(result);

    // The arguments come last one first.
    Argument args[6];
    for (UINT i = 0; i < event->count; ++i) {
        UINT position = event->count - 1 - i;
        HRESULT hr = args[i].Convert(params->rgvarg[position], event->types[i]);
        if (FAILED(hr)) {
            if (argError)
                *argError = position;
            return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        }
    }

    CDownloadSetupPage* page = LivePage();
    if (!page)
        return S_OK;
    // A handler may end the page's connection; the caller holds its own reference on the sink.
    switch (id) {
    case kOnData:
        page->OnData(args[0].Value().lVal, args[1].Value().lVal, args[2].Value().lVal, args[3].Value().dblVal,
                     args[4].Value().lVal, args[5].Value().dblVal);
        break;
    case kOnFinish:
        page->OnFinish(args[0].Value().iVal, fw::ToAnsi(args[1].Value().bstrVal));
        break;
    case kOnStart:
        page->OnStart(args[0].Value().iVal, args[1].Value().lVal);
        break;
    }
    return S_OK;
}

CDownloadSetupPage* CDownloadSetupEventSink::LivePage() const {
    if (page_ && page_->Handle() && ::IsWindow(page_->Handle()))
        return page_;
    return nullptr;
}
