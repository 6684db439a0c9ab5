#include "framework/com.h"

#include <objbase.h>

#include <new>

#include "framework/owners.h"

namespace fw {

namespace {

HINSTANCE moduleInstance = nullptr;
LONG moduleCount = 0;

// The factory counts in the module while it lives, so that the module stays loaded for as long as a
// client holds it.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(ComCreateFunction create) : create_(create) { ComModule::AddRef(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown))
            *object = static_cast<IUnknown*>(this);
        else if (IsEqualIID(iid, IID_IClassFactory))
            *object = static_cast<IClassFactory*>(this);
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

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        // An aggregated object hands its non-delegating unknown to the outer object, and only that.
        if (outer && !IsEqualIID(iid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        return create_(outer, iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ComModule::AddRef();
        else
            ComModule::Release();
        return S_OK;
    }

private:
    ~ClassFactory() { ComModule::Release(); }

    LONG refs_ = 1;
    ComCreateFunction create_;
};

} // namespace

void ComModule::SetInstance(HINSTANCE instance) {
    moduleInstance = instance;
}

HINSTANCE ComModule::Instance() {
    return moduleInstance;
}

void ComModule::AddRef() {
    ::InterlockedIncrement(&moduleCount);
}

void ComModule::Release() {
    ::InterlockedDecrement(&moduleCount);
}

LONG ComModule::Count() {
    return ::InterlockedCompareExchange(&moduleCount, 0, 0);
}

std::wstring ComModule::FileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(moduleInstance, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        // A result that fills the buffer may be cut short.
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT GetClassObjectFromTable(const ComClassEntry* table, size_t count, REFCLSID clsid, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (!IsEqualCLSID(*table[i].clsid, clsid))
            continue;
        auto* factory = new (std::nothrow) ClassFactory(table[i].create);
        if (!factory)
            return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT WriteRegistryEntries(HKEY root, const std::vector<RegistryEntry>& entries) {
    for (const RegistryEntry& entry : entries) {
        RegKey key;
        LONG error = ::RegCreateKeyExW(root, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                       nullptr, key.Put(), nullptr);
        if (error == ERROR_SUCCESS && entry.hasData) {
            const DWORD bytes = static_cast<DWORD>((entry.data.size() + 1) * sizeof(wchar_t));
            error = ::RegSetValueExW(key.Get(), entry.valueName, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(entry.data.c_str()), bytes);
        }
        if (error != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(error);
    }
    return S_OK;
}

HRESULT DeleteRegistryTree(HKEY root, const std::wstring& key) {
    // Given a subkey, RegDeleteTree removes that key itself along with everything below it.
    LONG error = ::RegDeleteTreeW(root, key.c_str());
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_SUCCESS)
        return S_OK;
    return HRESULT_FROM_WIN32(error);
}

std::wstring GuidToString(REFGUID guid) {
    wchar_t text[40] = {};
    if (::StringFromGUID2(guid, text, 40) == 0)
        return std::wstring();
    return text;
}

} // namespace fw
