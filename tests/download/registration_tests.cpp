// Registration of Pullwire.dll in the test prefix: every entry that DllRegisterServer writes, their
// removal by DllUnregisterServer, regsvr32, the class table, the version resource and the type library.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "tests/download/pullwire_client.h"

using namespace pwtest;

namespace {

const wchar_t kClsid[] = L"{025E18E0-37E9-4CCE-9256-181B42D90D87}";
const wchar_t kAppId[] = L"{AE37CAFD-EECE-4938-BA2F-645B2040EB57}";
const wchar_t kLibId[] = L"{C26A2C8B-DE34-47CE-B7E3-0F67A6734F08}";
const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsid;

using DllFunction = HRESULT(STDAPICALLTYPE*)();

// The module loaded but not registered; whatever a test registers is removed at its end.
class PullwireRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        module_.Reset(::LoadLibraryA(ModulePath().c_str()));
        ASSERT_TRUE(module_) << ModulePath();
        reg_ = reinterpret_cast<DllFunction>(::GetProcAddress(module_.Get(), "DllRegisterServer"));
        unreg_ = reinterpret_cast<DllFunction>(::GetProcAddress(module_.Get(), "DllUnregisterServer"));
        ASSERT_TRUE(reg_ && unreg_);
    }
    void TearDown() override {
        if (unreg_)
            unreg_();
        ::CoUninitialize();
    }

    fw::Library module_;
    DllFunction reg_ = nullptr;
    DllFunction unreg_ = nullptr;
};

bool KeyExists(const std::wstring& key) {
    fw::RegKey h;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.Put()) == ERROR_SUCCESS;
}

// The string value, or "<missing>".
std::wstring ReadValue(const std::wstring& key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    if (type != REG_SZ)
        return L"<not a string>";
    return data;
}

std::wstring ModulePathW() {
    return fw::ToWide(ModulePath());
}

struct Entry {
    std::wstring key;
    const wchar_t* name;
    std::wstring data;
};

std::vector<Entry> ExpectedEntries() {
    return {
        {std::wstring(L"AppID\\") + kAppId, nullptr, L"Pullwire"},
        {L"AppID\\Pullwire.DLL", L"AppID", kAppId},
        {L"Pullwire.URLDownload.1", nullptr, L"URLDownload Class"},
        {L"Pullwire.URLDownload.1\\CLSID", nullptr, kClsid},
        {L"Pullwire.URLDownload", nullptr, L"URLDownload Class"},
        {L"Pullwire.URLDownload\\CLSID", nullptr, kClsid},
        {L"Pullwire.URLDownload\\CurVer", nullptr, L"Pullwire.URLDownload.1"},
        {kClassKey, nullptr, L"URLDownload Class"},
        {kClassKey, L"AppID", kAppId},
        {kClassKey + L"\\ProgID", nullptr, L"Pullwire.URLDownload.1"},
        {kClassKey + L"\\VersionIndependentProgID", nullptr, L"Pullwire.URLDownload"},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\TypeLib", nullptr, kLibId},
    };
}

void ExpectRegistered() {
    for (const Entry& e : ExpectedEntries()) {
        std::wstring actual = ReadValue(e.key, e.name);
        EXPECT_EQ(0, _wcsicmp(e.data.c_str(), actual.c_str()))
            << fw::ToAnsi(e.key.c_str()) << " [" << (e.name ? fw::ToAnsi(e.name) : std::string("default"))
            << "]: expected " << fw::ToAnsi(e.data.c_str()) << ", actual " << fw::ToAnsi(actual.c_str());
    }
    EXPECT_TRUE(KeyExists(kClassKey + L"\\Programmable"));
    std::wstring server = ReadValue(kClassKey + L"\\InprocServer32", nullptr);
    EXPECT_EQ(0, _wcsicmp(ModulePathW().c_str(), server.c_str())) << fw::ToAnsi(server.c_str());
}

void ExpectUnregistered() {
    const wchar_t* keys[] = {L"AppID\\{AE37CAFD-EECE-4938-BA2F-645B2040EB57}", L"AppID\\Pullwire.DLL",
                             L"Pullwire.URLDownload.1", L"Pullwire.URLDownload",
                             L"CLSID\\{025E18E0-37E9-4CCE-9256-181B42D90D87}"};
    for (const wchar_t* key : keys)
        EXPECT_FALSE(KeyExists(key)) << fw::ToAnsi(key) << " is still there";
    EXPECT_TRUE(KeyExists(L"AppID"));
    EXPECT_TRUE(KeyExists(L"CLSID"));
    fw::ComPtr<ITypeLib> library;
    EXPECT_HRESULT_FAILED(::LoadRegTypeLib(LIBID_PullwireLib, 1, 0, LOCALE_NEUTRAL, library.Put()));
}

TEST_F(PullwireRegistration, RegisterWritesEveryEntry) {
    ASSERT_EQ(S_OK, reg_());
    ExpectRegistered();
}

TEST_F(PullwireRegistration, RegisterRegistersTheTypeLibraryFromTheModule) {
    ASSERT_EQ(S_OK, reg_());
    fw::ComPtr<ITypeLib> library;
    ASSERT_EQ(S_OK, ::LoadRegTypeLib(LIBID_PullwireLib, 1, 0, LOCALE_NEUTRAL, library.Put()));
    EXPECT_TRUE(KeyExists(std::wstring(L"TypeLib\\") + kLibId + L"\\1.0"));
    // The interfaces are registered with the library, so that they can be marshalled by it.
    EXPECT_TRUE(KeyExists(L"Interface\\{B592CBAE-0831-45C5-BCFB-E123B08531E2}"));
}

TEST_F(PullwireRegistration, RegisterReplacesTheClassKeyWhole) {
    fw::RegKey stale;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, (kClassKey + L"\\Programmable\\Stale").c_str(), 0,
                                               nullptr, 0, KEY_WRITE, nullptr, stale.Put(), nullptr));
    stale.Reset();
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CLASSES_ROOT, kClassKey.c_str(), L"Stale", REG_SZ, L"x", 4));
    ASSERT_EQ(S_OK, reg_());
    EXPECT_FALSE(KeyExists(kClassKey + L"\\Programmable\\Stale"));
    EXPECT_EQ(L"<missing>", ReadValue(kClassKey, L"Stale"));
    ExpectRegistered();
}

TEST_F(PullwireRegistration, UnregisterRemovesTheEntriesAndKeepsTheParentKeys) {
    ASSERT_EQ(S_OK, reg_());
    ASSERT_EQ(S_OK, unreg_());
    ExpectUnregistered();
}

// Runs regsvr32 of the prefix silently and returns its exit code.
DWORD RunRegsvr32(const std::string& arguments) {
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    std::string command = std::string("\"") + system + "\\regsvr32.exe\" /s " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return ~0u;
    fw::KernelHandle process(pi.hProcess);
    fw::KernelHandle thread(pi.hThread);
    if (::WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0)
        return ~0u - 1;
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

bool ClassKeyInView(REGSAM view) {
    fw::RegKey h;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey.c_str(), 0, KEY_READ | view, h.Put()) == ERROR_SUCCESS;
}

// regsvr32 of the system folder is the one of the module's own width (a 32-bit process sees SysWOW64 there);
// the class lands in that width's registry view alone, where a client of the same width creates it.
TEST_F(PullwireRegistration, Regsvr32RegistersAndUnregisters) {
    const std::string quoted = "\"" + ModulePath() + "\"";
    ASSERT_EQ(0u, RunRegsvr32(quoted));
    ExpectRegistered();
    const bool is32 = sizeof(void*) == 4;
    EXPECT_EQ(is32, ClassKeyInView(KEY_WOW64_32KEY));
    EXPECT_EQ(!is32, ClassKeyInView(KEY_WOW64_64KEY));
    {
        fw::ComPtr<IURLDownload> object;
        EXPECT_EQ(S_OK, ::CoCreateInstance(CLSID_URLDownload, nullptr, CLSCTX_INPROC_SERVER, IID_IURLDownload,
                                           object.PutVoid()));
        EXPECT_TRUE(object);
    }
    ASSERT_EQ(0u, RunRegsvr32("/u " + quoted));
    ExpectUnregistered();
}

TEST_F(PullwireRegistration, ClassObjectOnlyForURLDownload) {
    auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        ::GetProcAddress(module_.Get(), "DllGetClassObject"));
    ASSERT_TRUE(get);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, get(CLSID_URLDownload, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    factory->Release();
    struct {
        const CLSID* clsid;
        const char* name;
    } others[] = {{&CLSID_EventSink, "EventSink"}, {&IID_IURLDownload, "an interface id"}, {&GUID_NULL, "null"}};
    for (const auto& other : others) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get(*other.clsid, IID_IClassFactory, &object)) << other.name;
        EXPECT_EQ(nullptr, object) << other.name;
    }
}

TEST_F(PullwireRegistration, VersionResourceNamesTheComponent) {
    const std::string path = ModulePath();
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(2, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(2, 0), fixed->dwProductVersionLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        ::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x409, translation[0]);
    EXPECT_EQ(1252, translation[1]);

    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "1.0.0.2"},
        {"ProductVersion", "1.0.0.2"},
        {"FileDescription", "Pullwire"},
        {"InternalName", "Pullwire.dll"},
        {"OriginalFilename", "Pullwire.dll"},
        {"CompanyName", "Corvane"},
        {"ProductName", "Ravelin Customizer"},
    };
    for (const auto& s : strings) {
        char* value = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904e4\\") + s.first;
        ASSERT_TRUE(::VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << s.first;
        EXPECT_STREQ(s.second, value) << s.first;
    }
}

// The type library inside the module, as a client's tools see it.
class PullwireTypeLibrary : public PullwireRegistration {
protected:
    void SetUp() override {
        PullwireRegistration::SetUp();
        ASSERT_EQ(S_OK, ::LoadTypeLibEx(ModulePathW().c_str(), REGKIND_NONE, library_.Put()));
    }
    fw::ComPtr<ITypeLib> library_;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::string Doc(ITypeInfo* info, MEMBERID id, std::string* help = nullptr) {
    BSTR name = nullptr;
    BSTR doc = nullptr;
    info->GetDocumentation(id, &name, &doc, nullptr, nullptr);
    std::string result = fw::ToAnsi(name);
    if (help)
        *help = fw::ToAnsi(doc);
    ::SysFreeString(name);
    ::SysFreeString(doc);
    return result;
}

// The type named by guid in the library: its name, help string and kind, and a reference to it.
std::string Describe(ITypeLib* library, REFGUID guid, fw::ComPtr<ITypeInfo>& info) {
    if (FAILED(library->GetTypeInfoOfGuid(guid, info.Put())))
        return "<missing>";
    std::string help;
    std::string text = Doc(info.Get(), MEMBERID_NIL, &help) + " \"" + help + "\"";
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
        const char* kinds[] = {"enum", "record", "module", "interface", "dispinterface", "coclass", "alias", "union"};
        text += std::string(" ") + (attr->typekind < 8 ? kinds[attr->typekind] : "?");
        info->ReleaseTypeAttr(attr);
    }
    return text;
}

std::string TypeName(VARTYPE vt) {
    switch (vt) {
    case VT_I4:
        return "long";
    case VT_INT:
        return "int";
    case VT_R8:
        return "double";
    case VT_BSTR:
        return "BSTR";
    case VT_BOOL:
        return "VARIANT_BOOL";
    default:
        return "vt" + std::to_string(vt);
    }
}

// "1 OnData(long nReadBytes, ...) "help"" for every function of the type: DISPID, parameters, help string.
std::vector<std::string> Members(ITypeInfo* info) {
    std::vector<std::string> members;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)))
        return members;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f)))
            continue;
        BSTR names[8] = {};
        UINT count = 0;
        info->GetNames(f->memid, names, 8, &count);
        std::string help;
        Doc(info, f->memid, &help);
        std::string text = std::to_string(f->memid) + " " + fw::ToAnsi(names[0]) + "(";
        for (UINT n = 1; n < count; ++n)
            text += (n > 1 ? ", " : "") + TypeName(f->lprgelemdescParam[n - 1].tdesc.vt) + " " + fw::ToAnsi(names[n]);
        text += ") \"" + help + "\"";
        for (UINT n = 0; n < count; ++n)
            ::SysFreeString(names[n]);
        members.push_back(text);
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    return members;
}

const std::string kOnDataParameters = "long nReadBytes, long nTotalBytes, long nMaxBytes, double dwTransfeRate, int "
                                      "nPercentileDownload, double dwElapsedTime";

TEST_F(PullwireTypeLibrary, LibraryNameVersionAndHelp) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library_->GetLibAttr(&attr));
    EXPECT_EQ(std::wstring(kLibId), GuidText(attr->guid));
    EXPECT_EQ(LOCALE_NEUTRAL, attr->lcid) << "registered for every locale";
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    library_->ReleaseTLibAttr(attr);
    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(S_OK, library_->GetDocumentation(-1, &name, &help, nullptr, nullptr));
    EXPECT_EQ("PullwireLib", fw::ToAnsi(name));
    EXPECT_EQ("Pullwire 1.0 Type Library", fw::ToAnsi(help));
    ::SysFreeString(name);
    ::SysFreeString(help);
}

TEST_F(PullwireTypeLibrary, CommandInterfaceIsDualWithItsMethods) {
    // A dual interface is found as its dispatch half; the vtable half hangs off it as implemented type -1.
    fw::ComPtr<ITypeInfo> info;
    EXPECT_EQ("IURLDownload \"IURLDownload Interface\" dispinterface",
              Describe(library_.Get(), IID_IURLDownload, info));
    ASSERT_TRUE(info);
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref));
    fw::ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, vtable.Put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    const WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE;
    EXPECT_EQ(flags, attr->wTypeFlags & flags);
    // The six methods follow the seven of IDispatch.
    EXPECT_EQ(6, attr->cFuncs);
    EXPECT_EQ(static_cast<WORD>(13 * sizeof(void*)), attr->cbSizeVft);
    vtable->ReleaseTypeAttr(attr);
    const std::vector<std::string> expected = {
        "1 OnData(" + kOnDataParameters + ") \"method OnData\"",
        "2 OnFinish(int nFinishSuccess, BSTR wsError) \"method OnFinish\"",
        "3 OnStart(int nDownloadID, long nMaxBytes) \"method OnStart\"",
        "4 StartDownload(BSTR szURL, BSTR szFilePath) \"method StartDownload\"",
        "5 StopDownload() \"method StopDownload\"",
        "6 SetProxy(BSTR wszProxy, long nPort, VARIANT_BOOL bUseProxy) \"method SetProxy\"",
    };
    EXPECT_EQ(expected, Members(vtable.Get()));
}

TEST_F(PullwireTypeLibrary, EventInterfaceIsADispatchInterfaceWithThreeEvents) {
    fw::ComPtr<ITypeInfo> info;
    EXPECT_EQ("_IURLDownloadEvents \"_IURLDownloadEvents Interface\" dispinterface",
              Describe(library_.Get(), DIID__IURLDownloadEvents, info));
    ASSERT_TRUE(info);
    const std::vector<std::string> expected = {
        "1 OnData(" + kOnDataParameters + ") \"Data arrived\"",
        "2 OnFinish(int nFinishSuccess, BSTR wsError) \"Finish downloading\"",
        "3 OnStart(int nDownloadID, long nMaxBytes) \"Start downloading\"",
    };
    EXPECT_EQ(expected, Members(info.Get()));
}

TEST_F(PullwireTypeLibrary, ClassNamesItsDefaultAndSourceInterfaces) {
    fw::ComPtr<ITypeInfo> info;
    EXPECT_EQ("URLDownload \"URLDownload Class\" coclass", Describe(library_.Get(), CLSID_URLDownload, info));
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    ASSERT_EQ(2, attr->cImplTypes);
    info->ReleaseTypeAttr(attr);
    const std::pair<const char*, int> expected[] = {
        {"IURLDownload", IMPLTYPEFLAG_FDEFAULT}, {"_IURLDownloadEvents", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
    for (UINT i = 0; i < 2; ++i) {
        HREFTYPE ref = 0;
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(i, &ref));
        fw::ComPtr<ITypeInfo> implemented;
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, implemented.Put()));
        EXPECT_EQ(expected[i].first, Doc(implemented.Get(), MEMBERID_NIL));
        INT flags = 0;
        ASSERT_EQ(S_OK, info->GetImplTypeFlags(i, &flags));
        EXPECT_EQ(expected[i].second, flags) << expected[i].first;
    }
}

TEST_F(PullwireTypeLibrary, DeclaredOnlySinkTypes) {
    fw::ComPtr<ITypeInfo> info;
    EXPECT_EQ("IEventSink \"\" dispinterface", Describe(library_.Get(), DIID_IEventSink, info));
    EXPECT_EQ("EventSink \"\" coclass", Describe(library_.Get(), CLSID_EventSink, info));
}

} // namespace

namespace {

// A client that names Pullwire's own assembly manifest (its manifest resource 1) creates the class and
// finds its type library without any registration.
TEST(PullwireAssembly, ManifestCreatesTheClassWithoutRegistration) {
    ASSERT_EQ(std::vector<std::string>(), PullwireKeys()) << "registered by an earlier test";
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string module = ModulePath();
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = module.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE activation = ::CreateActCtxA(&context);
    ASSERT_NE(INVALID_HANDLE_VALUE, activation) << ::GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(::ActivateActCtx(activation, &cookie));
    {
        fw::ComPtr<IURLDownload> object;
        EXPECT_EQ(S_OK, ::CoCreateInstance(CLSID_URLDownload, nullptr, CLSCTX_INPROC_SERVER, IID_IURLDownload,
                                           object.PutVoid()));
        fw::ComPtr<ITypeInfo> info;
        if (object) {
            EXPECT_EQ(S_OK, object->GetTypeInfo(0, LOCALE_NEUTRAL, info.Put()));
        }
    }
    ::DeactivateActCtx(0, cookie);
    ::ReleaseActCtx(activation);
    ::CoUninitialize();
    EXPECT_EQ(std::vector<std::string>(), PullwireKeys());
}

} // namespace
