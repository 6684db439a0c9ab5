// Generic pieces of an in-process COM server: the module-wide count behind DllCanUnloadNow, a class
// factory fed by a table of (CLSID, create function), and registry entries written from a table.
// Nothing here knows which classes a server offers.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <new>
#include <string>
#include <vector>

namespace fw {

// The server module: its HINSTANCE (set by DllMain) and the count of live objects, class factories,
// server locks and running workers. DllCanUnloadNow answers S_OK only while the count is 0.
class ComModule {
public:
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE Instance();
    static void AddRef();
    static void Release();
    static LONG Count();
    static HRESULT CanUnloadNow() { return Count() == 0 ? S_OK : S_FALSE; }
    // Full path of the module file, for InprocServer32 and for loading its own type library.
    static std::wstring FileName();
};

// Creates an object of one class. outer is the controlling unknown when the object is aggregated
// (then iid is IID_IUnknown and the non-delegating unknown is returned).
using ComCreateFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

struct ComClassEntry {
    const CLSID* clsid;
    ComCreateFunction create;
};

// DllGetClassObject over a table: a class factory for a listed CLSID, CLASS_E_CLASSNOTAVAILABLE for any
// other.
HRESULT GetClassObjectFromTable(const ComClassEntry* table, size_t count, REFCLSID clsid, REFIID iid, void** object);

// One registry value: the key under the root, the value name (null for the unnamed default value) and
// the string data. hasData false creates the key with no value (for marker keys such as Programmable).
struct RegistryEntry {
    std::wstring key;
    const wchar_t* valueName;
    std::wstring data;
    bool hasData = true;
};

// Writes the entries in order and stops at the first failure; returns S_OK or HRESULT_FROM_WIN32 of that
// failure.
HRESULT WriteRegistryEntries(HKEY root, const std::vector<RegistryEntry>& entries);

// Deletes a key with all its subkeys; a key that does not exist counts as deleted. Returns the Win32
// error as an HRESULT.
HRESULT DeleteRegistryTree(HKEY root, const std::wstring& key);

// Runs the body of a COM method or export and answers a C++ exception with a result instead, since none
// may cross the COM boundary.
template <typename F> HRESULT ComTry(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" for registry keys and values.
std::wstring GuidToString(REFGUID guid);

} // namespace fw
