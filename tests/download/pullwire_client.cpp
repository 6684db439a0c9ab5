#include "tests/download/pullwire_client.h"

#include "framework/com.h"

#include <shellapi.h>

#include <cstdio>

namespace pwtest {

std::string ModulePath() {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    dir.erase(dir.find_last_of('\\') + 1);
    return dir + "Pullwire.dll";
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() >= deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (!done() && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return true;
}

void PumpFor(DWORD ms) {
    const ULONGLONG deadline = ::GetTickCount64() + ms;
    PumpUntil([&] { return ::GetTickCount64() >= deadline; }, ms + 1000);
}

std::string Event::Describe() const {
    char buffer[256] = {};
    switch (id) {
    case 1:
        if (ints.size() == 4)
            snprintf(buffer, sizeof buffer, "OnData(%ld, %ld, %ld, %ld%%)", static_cast<long>(ints[0]),
                     static_cast<long>(ints[1]), static_cast<long>(ints[2]), static_cast<long>(ints[3]));
        break;
    case 2:
        if (ints.size() == 1)
            snprintf(buffer, sizeof buffer, "OnFinish(%ld, \"%s\")", static_cast<long>(ints[0]),
                     fw::ToAnsi(text.c_str()).c_str());
        break;
    case 3:
        if (ints.size() == 2)
            snprintf(buffer, sizeof buffer, "OnStart(%ld, %ld)", static_cast<long>(ints[0]),
                     static_cast<long>(ints[1]));
        break;
    }
    if (!buffer[0])
        snprintf(buffer, sizeof buffer, "event %ld with %u arguments", static_cast<long>(id),
                 static_cast<unsigned>(types.size()));
    return buffer;
}

STDMETHODIMP RecordingSink::QueryInterface(REFIID iid, void** object) {
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown))
        *object = static_cast<IUnknown*>(this);
    else if (IsEqualIID(iid, DIID__IURLDownloadEvents) && answers_ == Answers::EventInterface)
        *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(iid, IID_IDispatch) && answers_ != Answers::Nothing)
        *object = static_cast<IDispatch*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) RecordingSink::Release() {
    LONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP RecordingSink::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

STDMETHODIMP RecordingSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP RecordingSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) {
    if (flags != DISPATCH_METHOD || !params || params->cNamedArgs != 0)
        return E_INVALIDARG;
    Event e;
    e.id = id;
    e.threadId = ::GetCurrentThreadId();
    // The arguments come last parameter first.
    for (UINT i = params->cArgs; i-- > 0;) {
        const VARIANTARG& a = params->rgvarg[i];
        e.types.push_back(V_VT(&a));
        switch (V_VT(&a)) {
        case VT_I4:
            e.ints.push_back(V_I4(&a));
            break;
        case VT_R8:
            e.doubles.push_back(V_R8(&a));
            break;
        case VT_BSTR:
            e.textIsNull = V_BSTR(&a) == nullptr;
            if (V_BSTR(&a))
                e.text.assign(V_BSTR(&a), ::SysStringLen(V_BSTR(&a)));
            break;
        default:
            break;
        }
    }
    events_.push_back(e);
    finished_ = finished_ || id == 2;
    if (onEvent)
        onEvent(events_.back());
    return invokeResult;
}

std::vector<std::string> RecordingSink::Table() const {
    std::vector<std::string> table;
    for (const Event& e : events_)
        table.push_back(e.Describe());
    return table;
}

bool InUnregisteredPrefix() {
    char kind[32] = {};
    const DWORD n = ::GetEnvironmentVariableA("RVL_PREFIX_KIND", kind, sizeof kind);
    return n > 0 && n < sizeof kind && std::string(kind) == "unregistered";
}

std::vector<std::string> PullwireKeys() {
    const std::wstring keys[] = {
        L"CLSID\\" + fw::GuidToString(CLSID_URLDownload),
        L"TypeLib\\" + fw::GuidToString(LIBID_PullwireLib),
        L"Interface\\" + fw::GuidToString(IID_IURLDownload),
        L"Interface\\" + fw::GuidToString(DIID__IURLDownloadEvents),
        L"Pullwire.URLDownload",
        L"Pullwire.URLDownload.1",
        L"AppID\\Pullwire.DLL",
    };
    std::vector<std::string> found;
    for (const std::wstring& key : keys) {
        const struct {
            HKEY root;
            std::wstring path;
            const char* name;
        } places[] = {{HKEY_CLASSES_ROOT, key, "HKCR\\"},
                      {HKEY_CURRENT_USER, L"Software\\Classes\\" + key, "HKCU\\Software\\Classes\\"}};
        for (const auto& place : places) {
            fw::RegKey h;
            if (::RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_READ, h.Put()) == ERROR_SUCCESS)
                found.push_back(place.name + fw::ToAnsi(key.c_str()));
        }
    }
    return found;
}

RegisteredServer::RegisteredServer() {
    coinit_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    module_.Reset(::LoadLibraryA(ModulePath().c_str()));
    if (!module_)
        return;
    auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(module_.Get(), "DllRegisterServer"));
    registered_ = reg && SUCCEEDED(reg());
}

RegisteredServer::~RegisteredServer() {
    if (registered_) {
        auto unreg =
            reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(module_.Get(), "DllUnregisterServer"));
        if (unreg)
            unreg();
    }
    if (SUCCEEDED(coinit_))
        ::CoUninitialize();
}

HRESULT RegisteredServer::CanUnloadNow() const {
    auto can = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(module_.Get(), "DllCanUnloadNow"));
    return can ? can() : E_FAIL;
}

Client::Client(RecordingSink::Answers answers) : sink_(new RecordingSink(answers)) {
    created_ =
        ::CoCreateInstance(CLSID_URLDownload, nullptr, CLSCTX_INPROC_SERVER, IID_IURLDownload, object_.PutVoid());
    if (FAILED(created_))
        return;
    fw::ComPtr<IConnectionPoint> point = ConnectionPoint();
    if (point && FAILED(point->Advise(static_cast<IDispatch*>(sink_), &cookie_)))
        cookie_ = 0;
}

Client::~Client() {
    if (cookie_) {
        fw::ComPtr<IConnectionPoint> point = ConnectionPoint();
        if (point)
            point->Unadvise(cookie_);
    }
    object_.Reset();
    sink_->Release();
}

fw::ComPtr<IConnectionPoint> Client::ConnectionPoint() const {
    fw::ComPtr<IConnectionPointContainer> container;
    fw::ComPtr<IConnectionPoint> point;
    if (object_ && SUCCEEDED(object_.As(container, IID_IConnectionPointContainer)))
        container->FindConnectionPoint(DIID__IURLDownloadEvents, point.Put());
    return point;
}

HRESULT Client::Start(const std::string& url, const std::string& path) {
    fw::Bstr u = fw::Bstr::FromAnsi(url);
    fw::Bstr p = fw::Bstr::FromAnsi(path);
    return object_->StartDownload(u.Get(), p.Get());
}

TempFolder::TempFolder() {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    char name[64];
    snprintf(name, sizeof name, "pullwire-%lu-%llu", ::GetCurrentProcessId(),
             static_cast<unsigned long long>(::GetTickCount64()));
    path_ = std::string(temp) + name;
    ::CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    // SHFileOperation wants a list ending in two zero bytes.
    std::string from = path_ + std::string(2, '\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationA(&op);
}

std::string ReadFileBytes(const std::string& path) {
    fw::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    return bytes;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string PatternBytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('A' + (i / 1024) % 26 + (i % 7));
    return s;
}

std::string ProgramBytes(size_t n) {
    std::string s = PatternBytes(n);
    const size_t lfanew = 0x80;
    s[0] = 'M';
    s[1] = 'Z';
    s.replace(0x3C, 4, std::string("\x80\0\0\0", 4));
    s.replace(lfanew, 4, std::string("PE\0\0", 4));
    // Machine i386, then the characteristics of an executable 32-bit image.
    s.replace(lfanew + 4, 2, std::string("\x4c\x01", 2));
    s.replace(lfanew + 22, 2, std::string("\x02\x01", 2));
    return s;
}

std::string StandinSetup(const std::string& signer) {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string path(module);
    path = path.substr(0, path.find_last_of('\\') + 1) + "standin\\";
    return ReadFileBytes(path + (signer.empty() ? "" : signer + "\\") + "rvl.exe");
}

std::string UniquePath(const std::string& stem) {
    static unsigned counter = 0;
    char buffer[128];
    snprintf(buffer, sizeof buffer, "/%s-%lu-%llu-%u", stem.c_str(), ::GetCurrentProcessId(),
             static_cast<unsigned long long>(::GetTickCount64()), ++counter);
    return buffer;
}

} // namespace pwtest
