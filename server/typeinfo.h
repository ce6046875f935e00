// Lazily loaded type information for one dual interface. The type library
// is looked up in the registry by LIBID and version on first need, guarded
// by the module lock, and kept until the module unloads.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

namespace ks {

class CTypeInfoHolder {
public:
    CTypeInfoHolder(const IID& iid, const GUID& libId, WORD major, WORD minor) noexcept
        : m_iid(iid), m_libId(libId), m_major(major), m_minor(minor) {}

    // The interface's type information, loaded on first call.
    HRESULT GetTI(LCID lcid, ITypeInfo** info) noexcept;

    // The four IDispatch methods of a dual interface. `self` is the pointer
    // to the interface that the type information describes.
    HRESULT GetTypeInfoCount(UINT* count) noexcept;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept;
    HRESULT Invoke(IDispatch* self, DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept;

private:
    static void Cleanup(void* holder) noexcept;
    static HRESULT VtableTypeInfo(ITypeInfo* info, ITypeInfo** callInfo) noexcept;

    const IID& m_iid;
    const GUID& m_libId;
    WORD m_major;
    WORD m_minor;
    // Other threads may enter. m_info is published with release once
    // m_callInfo is set, and read with acquire: a thread that sees it sees
    // both complete.
    std::atomic<ITypeInfo*> m_info{nullptr};  // as the library describes the interface
    ITypeInfo* m_callInfo = nullptr;          // its vtable half, for calls by name
    // The published type information, loading it first when needed.
    HRESULT Loaded(LCID lcid, ITypeInfo*& info) noexcept;
};

}  // namespace ks
