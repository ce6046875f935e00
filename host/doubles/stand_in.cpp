#include "host/doubles/stand_in.h"

#include <oleauto.h>

namespace ksdouble {

std::vector<std::string> HostContext::Members() const {
    std::vector<std::string> members;
    for (const Call& call : m_calls) members.push_back(call.member);
    return members;
}

size_t HostContext::CountOf(const std::string& member) const {
    size_t count = 0;
    for (const Call& call : m_calls) count += call.member == member ? 1 : 0;
    return count;
}

int HostContext::IndexOf(const std::string& member) const {
    for (size_t i = 0; i < m_calls.size(); ++i)
        if (m_calls[i].member == member) return static_cast<int>(i);
    return -1;
}

void HostContext::Fail(const std::string& member, HRESULT hr, int skip, int times) {
    m_failures[member] = Failure{hr, false, skip, times};
}

void HostContext::Empty(const std::string& member, int skip, int times) {
    m_failures[member] = Failure{S_OK, true, skip, times};
}

StandIn::StandIn(Context context, std::string label) : m_context(std::move(context)), m_label(std::move(label)) {
    ++m_context->m_liveObjects;
}

StandIn::~StandIn() {
    --m_context->m_liveObjects;
}

void StandIn::Fail(const std::string& member, HRESULT hr, int skip, int times) {
    m_failures[member] = Failure{hr, false, skip, times};
}

void StandIn::Empty(const std::string& member, int skip, int times) {
    m_failures[member] = Failure{S_OK, true, skip, times};
}

bool StandIn::TakeFailure(std::map<std::string, Failure>& failures, const std::string& member, Outcome& outcome) {
    auto it = failures.find(member);
    if (it == failures.end()) return false;
    Failure& failure = it->second;
    if (failure.skip > 0) {
        --failure.skip;
        return true;  // this call passes, but the rule stays the host's answer for it
    }
    if (failure.times == 0) return false;
    if (failure.times > 0) --failure.times;
    outcome.injected = true;
    outcome.emptyOut = failure.emptyOut;
    outcome.hr = failure.hr;
    return true;
}

StandIn::Outcome StandIn::Enter(const char* member) {
    Outcome outcome;
    try {
        m_context->m_calls.push_back(Call{m_label, member});
        // An object's own rule wins over the host-wide one for the same member.
        if (!TakeFailure(m_failures, member, outcome)) TakeFailure(m_context->m_failures, member, outcome);
    } catch (...) {
        // Without memory for the log the call still runs as the host would.
    }
    return outcome;
}

HRESULT StandIn::NotImplementedCall(const char* member) {
    Outcome o = Enter(member);
    return o.injected ? o.hr : E_NOTIMPL;
}

HRESULT StandIn::OutBstr(const char* member, BSTR* out, const std::wstring& value) {
    Outcome o = Enter(member);
    if (!out) return E_POINTER;
    *out = nullptr;
    if (o.injected) return o.hr;
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT StandIn::OutBool(const char* member, VARIANT_BOOL* out, bool value) {
    Outcome o = Enter(member);
    if (!out) return E_POINTER;
    *out = VARIANT_FALSE;
    if (o.injected) return o.hr;
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT StandIn::OutInt(const char* member, int* out, int value) {
    Outcome o = Enter(member);
    if (!out) return E_POINTER;
    *out = 0;
    if (o.injected) return o.hr;
    *out = value;
    return S_OK;
}

HRESULT StandIn::OutLong(const char* member, long* out, long value) {
    Outcome o = Enter(member);
    if (!out) return E_POINTER;
    *out = 0;
    if (o.injected) return o.hr;
    *out = value;
    return S_OK;
}

bool StandIn::EnterSetter(const char* member, HRESULT& hr) {
    Outcome o = Enter(member);
    hr = o.injected ? o.hr : S_OK;
    // An "empty" answer to a setter reports success and stores nothing.
    return !o.injected;
}

HRESULT StandIn::InBstr(const char* member, std::wstring& field, BSTR value, bool* stored) {
    if (stored) *stored = false;
    HRESULT hr;
    if (!EnterSetter(member, hr)) return hr;
    try {
        field.assign(value ? value : L"", value ? SysStringLen(value) : 0);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (stored) *stored = true;
    return S_OK;
}

HRESULT StandIn::QueryObject(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = FindInterface(iid);
    if (!*object) return E_NOINTERFACE;
    AddRefObject();
    return S_OK;
}

ULONG StandIn::ReleaseObject() {
    ULONG count = --m_ref;
    if (count == 0) delete this;
    return count;
}

const std::vector<DispName>& StandIn::DispNames() const {
    static const std::vector<DispName> none;
    return none;
}

HRESULT StandIn::Dispatch(DISPID, WORD, DISPPARAMS*, VARIANT*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT StandIn::GetIDsOfNamesObject(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    // Only the member name is resolved; argument names are not known.
    for (const DispName& entry : DispNames()) {
        if (names[0] && lstrcmpiW(names[0], entry.name) == 0) {
            ids[0] = entry.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT StandIn::InvokeObject(DISPID id, REFIID iid, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    if (result) VariantInit(result);
    try {
        return Dispatch(id, flags, params, result, argErr);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

const VARIANT* RawArg(DISPPARAMS* params, UINT position) {
    if (!params) return nullptr;
    for (UINT i = 0; i < params->cNamedArgs; ++i)
        if (params->rgdispidNamedArgs[i] == static_cast<DISPID>(position)) return &params->rgvarg[i];
    UINT positional = params->cArgs - params->cNamedArgs;
    if (position >= positional) return nullptr;
    // Positional arguments arrive last first.
    return &params->rgvarg[params->cArgs - 1 - position];
}

HRESULT DispArg(DISPPARAMS* params, UINT position, VARTYPE type, VARIANT* value) {
    VariantInit(value);
    const VARIANT* raw = RawArg(params, position);
    if (!raw) return DISP_E_PARAMNOTFOUND;
    return VariantChangeType(value, const_cast<VARIANT*>(raw), 0, type);
}

HRESULT PutArg(DISPPARAMS* params, VARTYPE type, VARIANT* value) {
    VariantInit(value);
    if (!params || params->cArgs < 1) return DISP_E_PARAMNOTFOUND;
    return VariantChangeType(value, &params->rgvarg[0], 0, type);
}

VARIANT Omitted() {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    return v;
}

HRESULT BstrResult(VARIANT* result, HRESULT hr, BSTR value) {
    if (SUCCEEDED(hr) && result) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = value;
    } else {
        SysFreeString(value);
    }
    return hr;
}

HRESULT BoolResult(VARIANT* result, HRESULT hr, VARIANT_BOOL value) {
    if (SUCCEEDED(hr) && result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value;
    }
    return hr;
}

HRESULT LongResult(VARIANT* result, HRESULT hr, long value) {
    if (SUCCEEDED(hr) && result) {
        V_VT(result) = VT_I4;
        V_I4(result) = value;
    }
    return hr;
}

HRESULT DispatchResult(VARIANT* result, HRESULT hr, IDispatch* value) {
    if (SUCCEEDED(hr) && result) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = value;
    } else if (value) {
        value->Release();
    }
    return hr;
}

HRESULT UnknownResult(VARIANT* result, HRESULT hr, IUnknown* value) {
    if (SUCCEEDED(hr) && result) {
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = value;
    } else if (value) {
        value->Release();
    }
    return hr;
}

}  // namespace ksdouble
