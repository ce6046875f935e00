// RAII owners for every kind of resource the add-in takes: COM references,
// BSTRs, VARIANTs, registry keys, GDI objects, global memory. Each early
// return then gives back whatever was taken, without a release by hand.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace ks {

// A counted COM reference. Independent of __uuidof, so callers name IIDs.
template <typename T>
class ComRef {
public:
    ComRef() noexcept = default;
    ComRef(std::nullptr_t) noexcept {}
    explicit ComRef(T* p) noexcept : m_p(p) { if (m_p) m_p->AddRef(); }
    ComRef(const ComRef& other) noexcept : m_p(other.m_p) { if (m_p) m_p->AddRef(); }
    ComRef(ComRef&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~ComRef() { Reset(); }

    ComRef& operator=(const ComRef& other) noexcept {
        ComRef(other).Swap(*this);
        return *this;
    }
    ComRef& operator=(ComRef&& other) noexcept {
        ComRef(std::move(other)).Swap(*this);
        return *this;
    }

    // Takes over a reference without adding one.
    static ComRef Attach(T* p) noexcept { ComRef r; r.m_p = p; return r; }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Releases what is held and returns the slot for an out-parameter.
    T** Put() noexcept { Reset(); return &m_p; }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    void Reset() noexcept {
        T* p = m_p;
        m_p = nullptr;
        if (p) p->Release();
    }
    T* Detach() noexcept { T* p = m_p; m_p = nullptr; return p; }
    void Swap(ComRef& other) noexcept { std::swap(m_p, other.m_p); }

    // QueryInterface into another reference; the result of the call.
    template <typename U>
    HRESULT QueryTo(REFIID iid, ComRef<U>& out) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.PutVoid());
    }

private:
    T* m_p = nullptr;
};

// A BSTR owned by this scope.
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR s) noexcept : m_s(s) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : m_s(other.m_s) { other.m_s = nullptr; }
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) { Reset(); m_s = other.m_s; other.m_s = nullptr; }
        return *this;
    }
    ~UniqueBstr() { Reset(); }

    BSTR Get() const noexcept { return m_s; }
    BSTR* Put() noexcept { Reset(); return &m_s; }
    BSTR Detach() noexcept { BSTR s = m_s; m_s = nullptr; return s; }
    void Reset(BSTR s = nullptr) noexcept { if (m_s) SysFreeString(m_s); m_s = s; }
    UINT Length() const noexcept { return SysStringLen(m_s); }
    explicit operator bool() const noexcept { return m_s != nullptr; }

private:
    BSTR m_s = nullptr;
};

// A VARIANT cleared on scope exit.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&m_v); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&m_v); }
    VARIANT* Get() noexcept { return &m_v; }
    const VARIANT* Get() const noexcept { return &m_v; }
    VARIANT* operator->() noexcept { return &m_v; }
    VARIANT* Put() noexcept { VariantClear(&m_v); return &m_v; }

private:
    VARIANT m_v;
};

// Generic owner of a handle with a free function.
template <typename H, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(H h) noexcept : m_h(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.m_h) { other.m_h = Traits::Invalid(); }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) { Reset(other.m_h); other.m_h = Traits::Invalid(); }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    H Get() const noexcept { return m_h; }
    H* Put() noexcept { Reset(); return &m_h; }
    H Detach() noexcept { H h = m_h; m_h = Traits::Invalid(); return h; }
    void Reset(H h = Traits::Invalid()) noexcept {
        if (m_h != Traits::Invalid()) Traits::Close(m_h);
        m_h = h;
    }
    explicit operator bool() const noexcept { return m_h != Traits::Invalid(); }

private:
    H m_h = Traits::Invalid();
};

struct RegKeyTraits {
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY h) noexcept { RegCloseKey(h); }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() noexcept { return nullptr; }
    static void Close(HGDIOBJ h) noexcept { DeleteObject(h); }
};
struct MemoryDcTraits {
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC h) noexcept { DeleteDC(h); }
};
struct GlobalTraits {
    static HGLOBAL Invalid() noexcept { return nullptr; }
    static void Close(HGLOBAL h) noexcept { GlobalFree(h); }
};
struct LibraryTraits {
    static HMODULE Invalid() noexcept { return nullptr; }
    static void Close(HMODULE h) noexcept { FreeLibrary(h); }
};

using UniqueHKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;
using UniqueHGlobal = UniqueHandle<HGLOBAL, GlobalTraits>;
using UniqueLibrary = UniqueHandle<HMODULE, LibraryTraits>;

// Keeps a movable global block locked for the scope.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL h) noexcept : m_h(h), m_p(h ? GlobalLock(h) : nullptr) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() { if (m_p) GlobalUnlock(m_h); }
    void* Get() const noexcept { return m_p; }

private:
    HGLOBAL m_h;
    void* m_p;
};

// Selects an object into a device context and puts the old one back on exit.
class SelectionGuard {
public:
    SelectionGuard(HDC dc, HGDIOBJ obj) noexcept : m_dc(dc), m_old(dc && obj ? SelectObject(dc, obj) : nullptr) {}
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;
    ~SelectionGuard() { if (m_old) SelectObject(m_dc, m_old); }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// Holds a critical section for the scope.
class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CRITICAL_SECTION& cs) noexcept : m_cs(cs) { EnterCriticalSection(&m_cs); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;
    ~CriticalSectionGuard() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION& m_cs;
};

// Runs a callable on scope exit (for the rare pairing no owner type covers).
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) noexcept : m_f(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { if (m_active) m_f(); }
    void Dismiss() noexcept { m_active = false; }

private:
    F m_f;
    bool m_active = true;
};

// The calling thread's last error as an HRESULT, for a Win32 call that has
// just failed; E_FAIL when that call left no error code.
inline HRESULT LastErrorResult() noexcept {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Narrow (ANSI) text to wide text: `length` bytes through the thread's code
// page. False when the bytes do not convert (GetLastError says why), leaving
// `out` empty. May throw std::bad_alloc.
inline bool AnsiToWide(const char* text, int length, std::wstring& out) {
    out.clear();
    if (length == 0) return true;
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_THREAD_ACP, 0, text, length, &out[0], n);
    return true;
}

// Turns a narrow ANSI constant into a BSTR through the thread's code page;
// null when it does not convert or memory is short.
inline BSTR AnsiToBstr(const char* text) noexcept {
    if (!text) return nullptr;
    try {
        std::wstring wide;
        if (!AnsiToWide(text, static_cast<int>(std::strlen(text)), wide)) return nullptr;
        return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace ks
