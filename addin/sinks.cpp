#include "addin/connect.h"

namespace ks {

STDMETHODIMP CEventSink::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_eventIid)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEventSink::AddRef() { return m_owner.AddRef(); }
STDMETHODIMP_(ULONG) CEventSink::Release() { return m_owner.Release(); }
STDMETHODIMP CEventSink::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
STDMETHODIMP CEventSink::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
STDMETHODIMP CEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP CEventSink::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return S_OK;
}

HRESULT CEventSink::Connect(IUnknown*) noexcept { return E_NOTIMPL; }
void CEventSink::Disconnect(IUnknown*) noexcept { m_cookie = kSinkNotConnected; }

}  // namespace ks
