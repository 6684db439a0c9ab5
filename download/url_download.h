// URLDownload: downloads one URL into one file on a worker thread and raises _IURLDownloadEvents on
// the thread that created it. Written without ATL: the unknown, the dual interface, the connection
// point and the aggregation support are plain code.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "Pullwire.h"
#include "framework/owners.h"

class CHiddenWindow;

class CURLDownload final : public IURLDownload, public ISupportErrorInfo, public IConnectionPointContainer {
public:
    // The create function of the class factory. outer is the controlling unknown when aggregated.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    // IUnknown: delegates to the controlling unknown.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return outer_->QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

    // IDispatch, served from the type information of IURLDownload.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // IURLDownload
    STDMETHODIMP OnData(LONG nReadBytes, LONG nTotalBytes, LONG nMaxBytes, double dwTransfeRate,
                        INT nPercentileDownload, double dwElapsedTime) override;
    STDMETHODIMP OnFinish(INT nFinishSuccess, BSTR wsError) override;
    STDMETHODIMP OnStart(INT nDownloadID, LONG nMaxBytes) override;
    STDMETHODIMP StartDownload(BSTR szURL, BSTR szFilePath) override;
    STDMETHODIMP StopDownload() override;
    STDMETHODIMP SetProxy(BSTR wszProxy, LONG nPort, VARIANT_BOOL bUseProxy) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // The identity that counted references are taken on (the outer object's when aggregated).
    IUnknown* ControllingUnknown() const { return outer_; }
    // The hidden window tells its object that it is gone (destroyed with its thread, for instance).
    void HiddenWindowGone() { hiddenWindow_ = nullptr; }

private:
    // The non-delegating unknown: the object's own identity and reference count.
    class CInner final : public IUnknown {
    public:
        explicit CInner(CURLDownload* self) : self_(self) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        CURLDownload* self_;
    };

    // The one connection point, for _IURLDownloadEvents. It lives inside the object and shares its
    // reference count.
    class CConnectionPoint final : public IConnectionPoint {
    public:
        explicit CConnectionPoint(CURLDownload* self) : self_(self) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override { return self_->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return self_->Release(); }
        STDMETHODIMP GetConnectionInterface(IID* iid) override;
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
        STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
        STDMETHODIMP Unadvise(DWORD cookie) override;
        STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    private:
        CURLDownload* self_;
    };

    explicit CURLDownload(IUnknown* outer);
    ~CURLDownload();

    HRESULT LoadTypeInfo();
    // Invokes the event on every connected sink in slot order; args are in reverse order, as Invoke
    // wants them. A sink's failure neither stops the others nor is reported.
    void RaiseEvent(DISPID id, VARIANTARG* args, UINT count);

    CInner inner_;
    CConnectionPoint connectionPoint_;
    IUnknown* outer_;
    LONG refs_ = 1;
    fw::ComPtr<ITypeInfo> typeInfo_;
    std::string proxyHost_;
    LONG proxyPort_ = 0;
    bool useProxy_ = false;
    // Slot i holds the sink of cookie i + 1; a freed slot is null and is used again by the next Advise.
    std::vector<fw::ComPtr<IDispatch>> sinks_;
    CHiddenWindow* hiddenWindow_ = nullptr;
};
