// The server module: the four exports, the class table and the registration table.
#include <windows.h>
#include <olectl.h>

#include <iterator>
#include <string>
#include <vector>

#include "Pullwire.h"
#include "download/url_download.h"
#include "framework/com.h"
#include "framework/owners.h"

namespace {

const fw::ComClassEntry kClasses[] = {
    {&CLSID_URLDownload, &CURLDownload::Create},
};

const wchar_t kAppId[] = L"{AE37CAFD-EECE-4938-BA2F-645B2040EB57}";
const wchar_t kProgId[] = L"Pullwire.URLDownload.1";
const wchar_t kVersionIndependentProgId[] = L"Pullwire.URLDownload";
const wchar_t kClassName[] = L"URLDownload Class";

std::wstring ClassKey() {
    return L"CLSID\\" + fw::GuidToString(CLSID_URLDownload);
}

// Every value written under HKEY_CLASSES_ROOT, in order.
std::vector<fw::RegistryEntry> RegistrationTable(const std::wstring& modulePath) {
    const std::wstring clsid = fw::GuidToString(CLSID_URLDownload);
    const std::wstring classKey = ClassKey();
    const std::wstring appIdKey = std::wstring(L"AppID\\") + kAppId;
    return {
        {appIdKey, nullptr, L"Pullwire"},
        {L"AppID\\Pullwire.DLL", L"AppID", kAppId},
        {kProgId, nullptr, kClassName},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, clsid},
        {kVersionIndependentProgId, nullptr, kClassName},
        {std::wstring(kVersionIndependentProgId) + L"\\CLSID", nullptr, clsid},
        {std::wstring(kVersionIndependentProgId) + L"\\CurVer", nullptr, kProgId},
        {classKey, nullptr, kClassName},
        {classKey, L"AppID", kAppId},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {classKey + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId},
        {classKey + L"\\Programmable", nullptr, L"", false},
        {classKey + L"\\InprocServer32", nullptr, modulePath},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\TypeLib", nullptr, fw::GuidToString(LIBID_PullwireLib)},
    };
}

// The keys that unregistration removes; their parents (AppID, CLSID) stay.
std::vector<std::wstring> RegisteredKeys() {
    return {
        ClassKey(), kVersionIndependentProgId, kProgId, L"AppID\\Pullwire.DLL", std::wstring(L"AppID\\") + kAppId,
    };
}

HRESULT RegisterServer() {
    const std::wstring path = fw::ComModule::FileName();
    if (path.empty())
        return HRESULT_FROM_WIN32(::GetLastError());
    // The class key (with its Programmable key) is written whole: nothing of an earlier registration
    // survives in it.
    HRESULT hr = fw::DeleteRegistryTree(HKEY_CLASSES_ROOT, ClassKey());
    if (FAILED(hr))
        return hr;
    hr = fw::WriteRegistryEntries(HKEY_CLASSES_ROOT, RegistrationTable(path));
    if (FAILED(hr))
        return hr;
    fw::ComPtr<ITypeLib> library;
    return ::LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.Put());
}

HRESULT UnregisterServer() {
    HRESULT result = S_OK;
    for (const std::wstring& key : RegisteredKeys()) {
        HRESULT hr = fw::DeleteRegistryTree(HKEY_CLASSES_ROOT, key);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    // The type library is unregistered with the attributes it was registered with.
    fw::ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(fw::ComModule::FileName().c_str(), REGKIND_NONE, library.Put());
    if (SUCCEEDED(hr)) {
        TLIBATTR* attributes = nullptr;
        hr = library->GetLibAttr(&attributes);
        if (SUCCEEDED(hr)) {
            hr = ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                     attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
    }
    // A type library that was not registered is no failure of unregistration.
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_CANTLOADLIBRARY && SUCCEEDED(result))
        result = hr;
    return result;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        fw::ComModule::SetInstance(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return fw::GetClassObjectFromTable(kClasses, std::size(kClasses), clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    return fw::ComModule::CanUnloadNow();
}

STDAPI DllRegisterServer() {
    return fw::ComTry(RegisterServer);
}

STDAPI DllUnregisterServer() {
    return fw::ComTry(UnregisterServer);
}
