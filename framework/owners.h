// Small owners for Win32 and COM resources: each releases what it holds exactly once, on the path
// that acquired it. Move-only; Release() hands the resource on, Get() lends it.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <unknwn.h>
#include <string>
#include <utility>

namespace fw {

template <typename Traits> class Owner {
public:
    using Type = typename Traits::Type;
    Owner() = default;
    explicit Owner(Type h) : h_(h) {}
    ~Owner() { Reset(); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& o) noexcept : h_(o.Release()) {}
    Owner& operator=(Owner&& o) noexcept {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }
    Type Get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }
    Type Release() { return std::exchange(h_, Traits::Invalid()); }
    void Reset(Type h = Traits::Invalid()) {
        if (h_ != Traits::Invalid())
            Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters of the APIs that create the resource.
    Type* Put() {
        Reset();
        return &h_;
    }

private:
    Type h_ = Traits::Invalid();
};

struct FileTraits { // CreateFile: INVALID_HANDLE_VALUE on failure
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct KernelTraits { // events, mutexes, threads, processes: NULL on failure
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
template <typename T> struct GdiTraits {
    using Type = T;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DestroyWindow(h); }
};
struct GlobalTraits {
    using Type = HGLOBAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::GlobalFree(h); }
};

using FileHandle = Owner<FileTraits>;
using KernelHandle = Owner<KernelTraits>;
using RegKey = Owner<RegKeyTraits>;
using Library = Owner<ModuleTraits>;
using Font = Owner<GdiTraits<HFONT>>;
using Bitmap = Owner<GdiTraits<HBITMAP>>;
using Brush = Owner<GdiTraits<HBRUSH>>;
using Icon = Owner<IconTraits>;
using WindowHandle = Owner<WindowTraits>;
using GlobalMemory = Owner<GlobalTraits>;

// A counted COM reference.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    // Adopts a reference that the caller already owns.
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    T* Detach() { return std::exchange(p_, nullptr); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    template <typename U> HRESULT As(ComPtr<U>& out, REFIID iid) const {
        if (!p_)
            return E_POINTER;
        return p_->QueryInterface(iid, out.PutVoid());
    }

private:
    T* p_ = nullptr;
};

// A BSTR that frees itself.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : b_(s ? ::SysAllocString(s) : nullptr) {}
    // Converts 8-bit text of the ANSI code page.
    static Bstr FromAnsi(const std::string& s);
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            ::SysFreeString(b_);
            b_ = std::exchange(o.b_, nullptr);
        }
        return *this;
    }
    BSTR Get() const { return b_; }
    BSTR* Put() {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    BSTR Detach() { return std::exchange(b_, nullptr); }
    UINT Length() const { return ::SysStringLen(b_); }

private:
    BSTR b_ = nullptr;
};

// Conversions between the ANSI code page and UTF-16; a null or empty input gives an empty result.
std::wstring ToWide(const std::string& s);
std::string ToAnsi(const wchar_t* s, int length = -1);
inline std::string ToAnsi(BSTR s) {
    return ToAnsi(s, s ? static_cast<int>(::SysStringLen(s)) : 0);
}

// OLE (and COM) on the calling thread for the object's life. An apartment of another kind that the thread
// already has is kept (the call then fails and nothing is balanced).
class OleScope {
public:
    OleScope() : initialized_(SUCCEEDED(::OleInitialize(nullptr))) {}
    ~OleScope() {
        if (initialized_)
            ::OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool initialized_;
};

} // namespace fw
