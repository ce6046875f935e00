#include "host/outlook/ribbon_control.h"

#include <new>

#include "addin/host_interfaces.h"

namespace standin {
namespace {

class RibbonControl final : public IRibbonControl {
public:
    RibbonControl(std::wstring id, IDispatch* context) : m_id(std::move(id)), m_context(context) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID_IRibbonControl)) {
            *object = static_cast<IRibbonControl*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_ref)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&m_ref);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const struct { const wchar_t* name; DISPID id; } known[] = {{L"Id", 1}, {L"Context", 2}, {L"Tag", 3}};
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const auto& k : known) {
                if (lstrcmpiW(names[i], k.name) == 0) ids[i] = k.id;
            }
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_POINTER;
        VariantInit(result);
        switch (id) {
        case 1:
            result->vt = VT_BSTR;
            return get_Id(&result->bstrVal);
        case 2:
            result->vt = VT_DISPATCH;
            return get_Context(&result->pdispVal);
        case 3:
            result->vt = VT_BSTR;
            return get_Tag(&result->bstrVal);
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    STDMETHODIMP get_Id(BSTR* id) override {
        if (!id) return E_POINTER;
        *id = SysAllocString(m_id.c_str());
        return *id ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_Context(IDispatch** context) override {
        if (!context) return E_POINTER;
        *context = m_context.Get();
        if (*context) (*context)->AddRef();
        return S_OK;
    }
    STDMETHODIMP get_Tag(BSTR* tag) override {
        if (!tag) return E_POINTER;
        *tag = SysAllocString(L"");
        return *tag ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~RibbonControl() = default;
    volatile LONG m_ref = 1;
    std::wstring m_id;
    ks::ComRef<IDispatch> m_context;
};

}  // namespace

HRESULT CreateRibbonControl(const std::wstring& id, IDispatch* context, ks::ComRef<IDispatch>& control) {
    RibbonControl* made = new (std::nothrow) RibbonControl(id, context);
    if (!made) return E_OUTOFMEMORY;
    control = ks::ComRef<IDispatch>::Attach(made);
    return S_OK;
}

}  // namespace standin
