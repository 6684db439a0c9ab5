// The download page's receiver of the component's _IURLDownloadEvents: a small automation object that
// converts the arguments of each event and hands them to the page on the thread that raised them.
#pragma once

#include <windows.h>
#include <oaidl.h>

class CDownloadSetupPage;

// QueryInterface of a receiver of _IURLDownloadEvents: it answers as IUnknown, IDispatch and the events'
// dispinterface, through which the component's connection point calls it.
HRESULT QueryDownloadEventsSink(IDispatch* sink, REFIID iid, void** object);

class CDownloadSetupEventSink final : public IDispatch {
public:
    // The DISPIDs of _IURLDownloadEvents.
    static constexpr DISPID kOnData = 1;
    static constexpr DISPID kOnFinish = 2;
    static constexpr DISPID kOnStart = 3;

    // Starts with one reference, the creator's. The page pointer is not counted: the page clears it
    // with DetachPage before it goes, and a connection that still holds the sink then reaches nothing.
    explicit CDownloadSetupEventSink(CDownloadSetupPage* page) : page_(page) {}
    CDownloadSetupEventSink(const CDownloadSetupEventSink&) = delete;
    CDownloadSetupEventSink& operator=(const CDownloadSetupEventSink&) = delete;

    void DetachPage() { page_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

private:
    ~CDownloadSetupEventSink() = default;
    // The page when it exists and has its window; the events are dropped otherwise.
    CDownloadSetupPage* LivePage() const;

    LONG refs_ = 1;
    CDownloadSetupPage* page_;
};
