#include "host/outlook/addin_site.h"

#include <objbase.h>

namespace kshost {

namespace {

enum : DISPID { kDispRibbonId = 1, kDispRibbonContext = 2, kDispRibbonTag = 3 };

// The empty custom array Office passes to every _IDTExtensibility2 call.
class CustomArray {
public:
    CustomArray() : m_array(SafeArrayCreateVector(VT_VARIANT, 0, 0)) {}
    ~CustomArray() {
        if (m_array) SafeArrayDestroy(m_array);
    }
    CustomArray(const CustomArray&) = delete;
    CustomArray& operator=(const CustomArray&) = delete;
    SAFEARRAY** Get() { return &m_array; }

private:
    SAFEARRAY* m_array;
};

}  // namespace

RibbonControl::RibbonControl(ksdouble::Context context, std::wstring id, IDispatch* window, std::wstring tag)
    : NotImpl_IRibbonControl(std::move(context), "RibbonControl"), m_id(std::move(id)), m_tag(std::move(tag)),
      m_window(window) {}

void* RibbonControl::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID_IRibbonControl))
        return static_cast<IRibbonControl*>(this);
    return nullptr;
}

const std::vector<ksdouble::DispName>& RibbonControl::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {
        {L"Id", kDispRibbonId}, {L"Context", kDispRibbonContext}, {L"Tag", kDispRibbonTag}};
    return names;
}

HRESULT RibbonControl::Dispatch(DISPID id, WORD, DISPPARAMS*, VARIANT* result, UINT*) {
    switch (id) {
    case kDispRibbonId:
    case kDispRibbonTag: {
        BSTR text = nullptr;
        HRESULT hr = id == kDispRibbonId ? get_Id(&text) : get_Tag(&text);
        return ksdouble::BstrResult(result, hr, text);
    }
    case kDispRibbonContext: {
        IDispatch* window = nullptr;
        HRESULT hr = get_Context(&window);
        return ksdouble::DispatchResult(result, hr, window);
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT InvokeByName(IDispatch* target, const wchar_t* name, const std::vector<VARIANT>& args, VARIANT* result) {
    if (!target || !name) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO info = {};
    UINT argErr = 0;
    hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &info, &argErr);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

HRESULT LoadedAddIn::Create(const wchar_t* progId) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    ComRef<IUnknown> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid());
    if (FAILED(hr)) return hr;
    return object.QueryTo(ks::IID__IDTExtensibility2, m_addIn);
}

HRESULT LoadedAddIn::Connect(Outlook& outlook, long mode) {
    return ConnectWith(static_cast<_Application*>(&outlook.App()), &outlook.AddIn(), mode);
}

HRESULT LoadedAddIn::ConnectWith(IDispatch* application, IDispatch* addInInstance, long mode) {
    if (!m_addIn) return E_UNEXPECTED;
    CustomArray custom;
    return m_addIn->OnConnection(application, mode, addInInstance, custom.Get());
}

HRESULT LoadedAddIn::StartupComplete() {
    if (!m_addIn) return E_UNEXPECTED;
    CustomArray custom;
    return m_addIn->OnStartupComplete(custom.Get());
}

HRESULT LoadedAddIn::AddInsUpdate() {
    if (!m_addIn) return E_UNEXPECTED;
    CustomArray custom;
    return m_addIn->OnAddInsUpdate(custom.Get());
}

HRESULT LoadedAddIn::BeginShutdown() {
    if (!m_addIn) return E_UNEXPECTED;
    CustomArray custom;
    return m_addIn->OnBeginShutdown(custom.Get());
}

HRESULT LoadedAddIn::Disconnect(long mode) {
    if (!m_addIn) return E_UNEXPECTED;
    CustomArray custom;
    return m_addIn->OnDisconnection(mode, custom.Get());
}

HRESULT LoadedAddIn::GetCustomUI(const wchar_t* ribbonId, std::wstring& markup) {
    markup.clear();
    if (!m_addIn) return E_UNEXPECTED;
    ComRef<IRibbonExtensibility> ribbon;
    HRESULT hr = m_addIn.QueryTo(ks::IID_IRibbonExtensibility, ribbon);
    if (FAILED(hr)) return hr;
    UniqueBstr id(SysAllocString(ribbonId));
    UniqueBstr xml;
    hr = ribbon->GetCustomUI(id.Get(), xml.Put());
    if (SUCCEEDED(hr) && xml) markup.assign(xml.Get(), xml.Length());
    return hr;
}

HRESULT LoadedAddIn::RunRibbonAction(Outlook& outlook, const wchar_t* callback, const wchar_t* controlId) {
    if (!m_addIn) return E_UNEXPECTED;
    ComRef<IDispatch> dispatch;
    HRESULT hr = m_addIn.QueryTo(IID_IDispatch, dispatch);
    if (FAILED(hr)) return hr;
    IDispatch* window = outlook.ActiveInspectorObject() ? static_cast<_Inspector*>(outlook.ActiveInspectorObject()) : nullptr;
    auto control = ComRef<RibbonControl>::Attach(new RibbonControl(outlook.SharedContext(), controlId, window));
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_DISPATCH;
    V_DISPATCH(&arg) = static_cast<IRibbonControl*>(control.Get());
    UniqueVariant result;
    return InvokeByName(dispatch.Get(), callback, {arg}, result.Get());
}

}  // namespace kshost
