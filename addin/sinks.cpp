#include "addin/connect.h"

#include <olectl.h>

namespace ks {

namespace {

constexpr UINT kMaxEventParams = 8;

// One event that a sink handles. Parameters are listed in declaration order.
struct SinkEntry {
    SinkId sink;
    const IID* eventIid;
    DISPID dispid;
    UINT paramCount;
    VARTYPE params[2];
};

// The same for every object: the two menu items' Click and the explorer's Close.
const SinkEntry kSinkTable[] = {
    {kAboutClickSink, &IID_CommandBarButtonEvents, DISPID_CommandBarButtonEvents_Click, 2, {VT_DISPATCH, VT_BOOL | VT_BYREF}},
    {kHelpClickSink, &IID_CommandBarButtonEvents, DISPID_CommandBarButtonEvents_Click, 2, {VT_DISPATCH, VT_BOOL | VT_BYREF}},
    {kExplorerSink, &IID_ExplorerEvents, DISPID_ExplorerEvents_Close, 0, {VT_EMPTY, VT_EMPTY}},
};

const SinkEntry* FindEntry(SinkId sink, DISPID dispid, const IID& eventIid) noexcept {
    for (const SinkEntry& entry : kSinkTable)
        if (entry.sink == sink && entry.dispid == dispid && IsEqualIID(*entry.eventIid, eventIid)) return &entry;
    return nullptr;
}

// Places the host's arguments on the declared parameters: named ones by their
// DISPID, positional ones from the last parameter backwards (the host's array
// holds them last first). False when they do not fit the declaration.
bool ArrangeArguments(const SinkEntry& entry, const DISPPARAMS* params, VARIANT* (&args)[kMaxEventParams]) noexcept {
    for (VARIANT*& arg : args) arg = nullptr;
    UINT count = params ? params->cArgs : 0;
    UINT named = params ? params->cNamedArgs : 0;
    if (count != entry.paramCount || named > count) return false;
    if (count > 0 && !params->rgvarg) return false;
    if (named > 0 && !params->rgdispidNamedArgs) return false;
    for (UINT i = 0; i < named; ++i) {
        DISPID position = params->rgdispidNamedArgs[i];
        if (position < 0 || position >= static_cast<DISPID>(kMaxEventParams)) return false;
        if (static_cast<UINT>(position) >= entry.paramCount || args[position]) return false;
        args[position] = &params->rgvarg[i];
    }
    int next = static_cast<int>(entry.paramCount) - 1;
    for (UINT i = named; i < count; ++i) {
        while (next >= 0 && args[next]) --next;
        if (next < 0) return false;
        args[next--] = &params->rgvarg[i];
    }
    // Each value must be of its declared type: the handler reads it as such.
    for (UINT i = 0; i < entry.paramCount; ++i)
        if (!args[i] || V_VT(args[i]) != entry.params[i]) return false;
    return true;
}

}  // namespace

STDMETHODIMP CEventSink::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_NULL)) return E_NOINTERFACE;
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

STDMETHODIMP CEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    const SinkEntry* entry = FindEntry(m_id, id, m_eventIid);
    // Every other event of the explorer and the buttons is accepted and ignored.
    if (!entry) return S_OK;
    VARIANT* args[kMaxEventParams];
    if (!ArrangeArguments(*entry, params, args)) return E_FAIL;

    switch (m_id) {
    case kAboutClickSink:
        m_owner.OnAboutClick(V_DISPATCH(args[0]), V_BOOLREF(args[1]));
        break;
    case kHelpClickSink:
        m_owner.OnHelpClick(V_DISPATCH(args[0]), V_BOOLREF(args[1]));
        break;
    case kExplorerSink:
        m_owner.OnExplorerClose();
        break;
    }
    return S_OK;
}

HRESULT CEventSink::Connect(IUnknown* source) noexcept {
    if (m_cookie != kSinkNotConnected) return E_FAIL;
    // A menu item that AddLegacyMenu could not create.
    if (!source) return E_INVALIDARG;
    ComRef<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (FAILED(hr)) return hr;
    if (!container) return E_POINTER;
    ComRef<IConnectionPoint> point;
    hr = container->FindConnectionPoint(m_eventIid, point.Put());
    if (FAILED(hr)) return hr;
    if (!point) return E_POINTER;
    DWORD cookie = kSinkNotConnected;
    hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
    if (FAILED(hr)) return hr;
    m_cookie = cookie;
    return hr;
}

void CEventSink::Disconnect(IUnknown* source) noexcept {
    // The host's refusal (an unknown cookie, a window already gone) changes nothing.
    ComRef<IConnectionPointContainer> container;
    if (source && SUCCEEDED(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid())) && container) {
        ComRef<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(m_eventIid, point.Put())) && point) point->Unadvise(m_cookie);
    }
    m_cookie = kSinkNotConnected;
}

}  // namespace ks
