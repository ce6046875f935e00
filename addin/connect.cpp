#include "addin/connect.h"

#include <new>

#include "server/module.h"

namespace ks {

HBITMAP g_aboutBitmap = nullptr;

CTypeInfoHolder& ExtensibilityTypeInfo() noexcept {
    static CTypeInfoHolder holder(IID__IDTExtensibility2, LIBID_AddInDesignerObjects, 1, 0);
    return holder;
}

CTypeInfoHolder& RibbonExtensibilityTypeInfo() noexcept {
    static CTypeInfoHolder holder(IID_IRibbonExtensibility, LIBID_Office, 2, 4);
    return holder;
}

CTypeInfoHolder& RibbonCallbackTypeInfo() noexcept {
    static CTypeInfoHolder holder(IID_IRibbonCallback, LIBID_KestrinSelectATLLib, 1, 0);
    return holder;
}

CConnect::CConnect() noexcept
    : m_aboutSink(*this, kAboutClickSink, IID_CommandBarButtonEvents),
      m_helpSink(*this, kHelpClickSink, IID_CommandBarButtonEvents),
      m_explorerSink(*this, kExplorerSink, IID_ExplorerEvents) {
    Module().Lock();
}

CConnect::~CConnect() {
    Module().Unlock();
}

HRESULT CConnect::CreateInstance(REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    CConnect* connect = new (std::nothrow) CConnect();
    if (!connect) return E_OUTOFMEMORY;
    // A temporary reference around the query: a failed query destroys the object.
    connect->AddRef();
    HRESULT hr = connect->QueryInterface(iid, object);
    connect->Release();
    return hr;
}

STDMETHODIMP CConnect::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IRibbonCallback)) {
        *object = static_cast<IRibbonCallback*>(this);
    } else if (IsEqualIID(iid, IID__IDTExtensibility2)) {
        *object = static_cast<_IDTExtensibility2*>(this);
    } else if (IsEqualIID(iid, IID_IRibbonExtensibility)) {
        *object = static_cast<IRibbonExtensibility*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CConnect::AddRef() {
    return ++m_ref;
}

STDMETHODIMP_(ULONG) CConnect::Release() {
    ULONG count = --m_ref;
    if (count == 0) delete this;
    return count;
}

const CEventSink& CConnect::Sink(SinkId id) const noexcept {
    return const_cast<CConnect*>(this)->SinkFor(id);
}

CEventSink& CConnect::SinkFor(SinkId id) noexcept {
    switch (id) {
    case kAboutClickSink: return m_aboutSink;
    case kHelpClickSink: return m_helpSink;
    default: return m_explorerSink;
    }
}

STDMETHODIMP CConnect::OnConnection(IDispatch*, long, IDispatch*, SAFEARRAY**) {
    return E_NOTIMPL;
}

STDMETHODIMP CConnect::OnDisconnection(long, SAFEARRAY**) {
    return S_OK;
}

STDMETHODIMP CConnect::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }
STDMETHODIMP CConnect::OnStartupComplete(SAFEARRAY**) { return S_OK; }
STDMETHODIMP CConnect::OnBeginShutdown(SAFEARRAY**) { return S_OK; }

}  // namespace ks
