#include "addin/connect.h"

#include <new>

#include "menu/about_box.h"
#include "server/module.h"

namespace ks {

HBITMAP g_aboutBitmap = nullptr;

CTypeInfoHolder& ExtensibilityTypeInfo() noexcept {
    static CTypeInfoHolder holder(IID__IDTExtensibility2, LIBID_AddInDesignerObjects, kAddInDesignerObjectsLibraryMajor,
                                  kAddInDesignerObjectsLibraryMinor);
    return holder;
}

CTypeInfoHolder& RibbonExtensibilityTypeInfo() noexcept {
    static CTypeInfoHolder holder(IID_IRibbonExtensibility, LIBID_Office, kOfficeLibraryMajor, kOfficeLibraryMinor);
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

// Connects the three sinks in order. A failure disconnects the sinks this
// call connected, so that a connection that did not happen leaves nothing
// advised on the host (and nothing keeping this object alive).
HRESULT CConnect::ConnectSinks() noexcept {
    struct Pairing {
        CEventSink& sink;
        IUnknown* source;
    };
    const Pairing pairings[] = {
        {m_aboutSink, m_aboutButton.Get()},
        {m_helpSink, m_helpButton.Get()},
        {m_explorerSink, m_explorer.Get()},
    };
    HRESULT hr = S_OK;
    for (size_t i = 0; i < sizeof(pairings) / sizeof(pairings[0]); ++i) {
        hr = pairings[i].sink.Connect(pairings[i].source);
        if (FAILED(hr)) {
            while (i-- > 0) pairings[i].sink.Disconnect(pairings[i].source);
            return hr;
        }
    }
    return hr;
}

STDMETHODIMP CConnect::OnConnection(IDispatch* application, long, IDispatch* addInInstance, SAFEARRAY**) {
    // Unadvising may drop the last outside reference while this call runs.
    ComRef<IUnknown> self(Identity());

    // Whatever an earlier connection left is given back first.
    m_aboutButton.Reset();
    m_helpButton.Reset();
    m_explorer.Reset();

    if (!application) return E_POINTER;
    HRESULT hr = application->QueryInterface(IID_IDispatch, m_application.PutVoid());
    if (FAILED(hr)) return hr;
    if (!addInInstance) return E_POINTER;
    hr = addInInstance->QueryInterface(IID_IDispatch, m_addInInstance.PutVoid());
    if (FAILED(hr)) return hr;

    ForgetAboutBitmap();  // the next About box loads it afresh

    ComRef<_Application> outlook;
    hr = application->QueryInterface(IID__Application, outlook.PutVoid());
    if (FAILED(hr)) return hr;
    if (!outlook) return E_POINTER;

    hr = outlook->ActiveExplorer(m_explorer.Put());
    if (FAILED(hr)) return hr;
    // No main window (Outlook started without one): no menu and no sinks.
    if (!m_explorer) return hr;

    hr = RemoveLegacyMenu();
    if (FAILED(hr)) return hr;
    AddLegacyMenu();  // its failure shows in the sink step: a missing button cannot be connected

    return ConnectSinks();
}

STDMETHODIMP CConnect::OnDisconnection(long, SAFEARRAY**) {
    ComRef<IUnknown> self(Identity());
    m_application.Reset();
    m_addInInstance.Reset();
    // The references stay: the menu's buttons and the explorer are given back
    // by the next connection or by destruction.
    if (m_aboutButton) m_aboutSink.Disconnect(m_aboutButton.Get());
    if (m_helpButton) m_helpSink.Disconnect(m_helpButton.Get());
    if (m_explorer) m_explorerSink.Disconnect(m_explorer.Get());
    return S_OK;
}

STDMETHODIMP CConnect::OnAddInsUpdate(SAFEARRAY**) { return S_OK; }
STDMETHODIMP CConnect::OnStartupComplete(SAFEARRAY**) { return S_OK; }
STDMETHODIMP CConnect::OnBeginShutdown(SAFEARRAY**) { return S_OK; }

}  // namespace ks
