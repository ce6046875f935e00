#include "server/typeinfo.h"

#include "server/module.h"
#include "server/owners.h"

namespace ks {

void CTypeInfoHolder::Cleanup(void* holder) noexcept {
    auto* self = static_cast<CTypeInfoHolder*>(holder);
    if (ITypeInfo* info = self->m_info.exchange(nullptr)) info->Release();
    if (self->m_callInfo) {
        self->m_callInfo->Release();
        self->m_callInfo = nullptr;
    }
}

// A dual interface is described twice: as a dispinterface and as a vtable
// interface. Calls by name go through the vtable half, so that the method
// itself runs rather than another round of IDispatch::Invoke.
HRESULT CTypeInfoHolder::VtableTypeInfo(ITypeInfo* info, ITypeInfo** callInfo) noexcept {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const bool dualDispatch = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);
    if (!dualDispatch) {
        info->AddRef();
        *callInfo = info;
        return S_OK;
    }
    HREFTYPE vtableRef = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef);
    if (FAILED(hr)) return hr;
    return info->GetRefTypeInfo(vtableRef, callInfo);
}

HRESULT CTypeInfoHolder::Loaded(LCID lcid, ITypeInfo*& info) noexcept {
    info = m_info.load(std::memory_order_acquire);
    if (info) return S_OK;
    CriticalSectionGuard guard(Module().ModuleLock());
    info = m_info.load(std::memory_order_relaxed);
    if (info) return S_OK;
    ComRef<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(m_libId, m_major, m_minor, lcid, library.Put());
    if (FAILED(hr)) return hr;
    ComRef<ITypeInfo> typeInfo;
    hr = library->GetTypeInfoOfGuid(m_iid, typeInfo.Put());
    if (FAILED(hr)) return hr;
    ComRef<ITypeInfo> callInfo;
    hr = VtableTypeInfo(typeInfo.Get(), callInfo.Put());
    if (FAILED(hr)) return hr;
    hr = Module().AddTermFunc(&CTypeInfoHolder::Cleanup, this);
    if (FAILED(hr)) return hr;
    m_callInfo = callInfo.Detach();
    info = typeInfo.Detach();
    m_info.store(info, std::memory_order_release);
    return S_OK;
}

HRESULT CTypeInfoHolder::GetTI(LCID lcid, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    ITypeInfo* loaded = nullptr;
    HRESULT hr = Loaded(lcid, loaded);
    if (FAILED(hr)) return hr;
    loaded->AddRef();
    *info = loaded;
    return S_OK;
}

HRESULT CTypeInfoHolder::GetTypeInfoCount(UINT* count) noexcept {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CTypeInfoHolder::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept {
    if (index != 0) return DISP_E_BADINDEX;
    return GetTI(lcid, info);
}

HRESULT CTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept {
    ITypeInfo* info = nullptr;
    HRESULT hr = Loaded(lcid, info);
    if (FAILED(hr)) return hr;
    return m_callInfo->GetIDsOfNames(names, count, ids);
}

HRESULT CTypeInfoHolder::Invoke(IDispatch* self, DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept {
    ITypeInfo* info = nullptr;
    HRESULT hr = Loaded(lcid, info);
    if (FAILED(hr)) return hr;
    return m_callInfo->Invoke(self, id, flags, params, result, excepInfo, argErr);
}

}  // namespace ks
