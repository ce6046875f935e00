// The common ground of every stand-in host object: a reference count that
// tests can read, an ordered call log shared by the whole host, failures
// injected per member, and IDispatch answered by DISPID.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleacc.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "addin/host_interfaces.h"

namespace ksdouble {

// How a member is made to fail. skip calls pass first; then every call fails
// (times < 0) or the next `times` calls do.
struct Failure {
    HRESULT hr = E_FAIL;
    bool emptyOut = false;  // answer hr (a success code) but leave the out-value empty
    int skip = 0;
    int times = -1;
};

// One call made on a host object: the object's label and the member, named
// "Interface.Member" (for example "CommandBarControls.Add").
struct Call {
    std::string object;
    std::string member;
};

// What every object of one host shares: the call log, failures that apply to
// a member on any object, and the count of live objects.
class HostContext {
public:
    const std::vector<Call>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }
    // The members called, in order ("Interface.Member").
    std::vector<std::string> Members() const;
    // How many calls of the member were logged.
    size_t CountOf(const std::string& member) const;
    bool Called(const std::string& member) const { return CountOf(member) > 0; }
    // Position of the first call of the member in the log, or -1.
    int IndexOf(const std::string& member) const;

    // Makes the member fail on every object of this host.
    void Fail(const std::string& member, HRESULT hr, int skip = 0, int times = -1);
    // Makes the member succeed with an empty out-value on every object.
    void Empty(const std::string& member, int skip = 0, int times = -1);
    void ClearFailures() { m_failures.clear(); }

    long LiveObjects() const { return m_liveObjects; }

private:
    friend class StandIn;
    std::vector<Call> m_calls;
    std::map<std::string, Failure> m_failures;
    long m_liveObjects = 0;
};

using Context = std::shared_ptr<HostContext>;

// A name that GetIDsOfNames resolves.
struct DispName {
    const wchar_t* name;
    DISPID id;
};

// Base of every stand-in object. It starts with one reference, which the
// creator takes over (a counted reference attached to it).
class StandIn {
public:
    StandIn(Context context, std::string label);
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    virtual ~StandIn();

    ULONG RefCount() const { return m_ref; }
    const std::string& Label() const { return m_label; }
    HostContext& Host() const { return *m_context; }
    const Context& SharedContext() const { return m_context; }

    // Failures of this object only; they take precedence over the host's.
    void Fail(const std::string& member, HRESULT hr, int skip = 0, int times = -1);
    void Empty(const std::string& member, int skip = 0, int times = -1);
    void ClearFailures() { m_failures.clear(); }

    // IUnknown and IDispatch of the object, whichever interface is used.
    HRESULT QueryObject(REFIID iid, void** object);
    ULONG AddRefObject() { return ++m_ref; }
    ULONG ReleaseObject();
    HRESULT GetIDsOfNamesObject(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids);
    HRESULT InvokeObject(DISPID id, REFIID iid, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr);

    // The outcome of one call after logging it.
    struct Outcome {
        bool injected = false;  // a failure applies: return hr
        bool emptyOut = false;  // ... and it asks for an empty out-value
        HRESULT hr = S_OK;
    };
    // Logs a call of the member and tells whether a failure applies to it.
    Outcome Enter(const char* member);

protected:

    // Answers E_NOTIMPL for a slot the stand-in does not carry out.
    HRESULT NotImplementedCall(const char* member);

    // The interface for an IID, or null; the object's identity for IUnknown.
    virtual void* FindInterface(REFIID iid) = 0;
    // Names and the late-bound call of the object's members.
    virtual const std::vector<DispName>& DispNames() const;
    virtual HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr);

    // Helpers for out-values, honouring an injected failure or empty answer.
    template <typename T>
    HRESULT OutInterface(const char* member, T** out, T* value) {
        Outcome o = Enter(member);
        if (!out) return E_POINTER;
        *out = nullptr;
        if (o.injected) return o.hr;
        if (value) {
            value->AddRef();
            *out = value;
        }
        return S_OK;
    }
    HRESULT OutBstr(const char* member, BSTR* out, const std::wstring& value);
    HRESULT OutBool(const char* member, VARIANT_BOOL* out, bool value);
    HRESULT OutInt(const char* member, int* out, int value);
    HRESULT OutLong(const char* member, long* out, long value);
    // A setter: false when the call is to return `hr` without storing.
    bool EnterSetter(const char* member, HRESULT& hr);
    // A text setter: keeps the BSTR's characters, NULs included; `stored`
    // says whether it did (not when failed, "empty" or out of memory).
    HRESULT InBstr(const char* member, std::wstring& field, BSTR value, bool* stored = nullptr);

private:
    bool TakeFailure(std::map<std::string, Failure>& failures, const std::string& member, Outcome& outcome);

    Context m_context;
    std::string m_label;
    ULONG m_ref = 1;
    std::map<std::string, Failure> m_failures;
};

// Root of the stub chain of an IDispatch-based interface: IUnknown and
// IDispatch are answered by the StandIn.
template <class I>
class StubRoot : public I, public StandIn {
public:
    StubRoot(Context context, std::string label) : StandIn(std::move(context), std::move(label)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override { return QueryObject(iid, object); }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefObject(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseObject(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return GetIDsOfNamesObject(iid, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT* argErr) override {
        return InvokeObject(id, iid, flags, params, result, argErr);
    }

protected:
    HRESULT NotImplemented(const char* member) { return NotImplementedCall(member); }
};

// IAccessible's 21 members, unused by the add-in, for the command-bar objects.
template <class I>
class NotImpl_IAccessible : public StubRoot<I> {
public:
    using StubRoot<I>::StubRoot;
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch**) override { return this->NotImplemented("IAccessible.get_accParent"); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG*) override { return this->NotImplemented("IAccessible.get_accChildCount"); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch**) override { return this->NotImplemented("IAccessible.get_accChild"); }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT, BSTR*) override { return this->NotImplemented("IAccessible.get_accName"); }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR*) override { return this->NotImplemented("IAccessible.get_accValue"); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR*) override { return this->NotImplemented("IAccessible.get_accDescription"); }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT, VARIANT*) override { return this->NotImplemented("IAccessible.get_accRole"); }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT, VARIANT*) override { return this->NotImplemented("IAccessible.get_accState"); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR*) override { return this->NotImplemented("IAccessible.get_accHelp"); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR*, VARIANT, LONG*) override { return this->NotImplemented("IAccessible.get_accHelpTopic"); }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR*) override { return this->NotImplemented("IAccessible.get_accKeyboardShortcut"); }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT*) override { return this->NotImplemented("IAccessible.get_accFocus"); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT*) override { return this->NotImplemented("IAccessible.get_accSelection"); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR*) override { return this->NotImplemented("IAccessible.get_accDefaultAction"); }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return this->NotImplemented("IAccessible.accSelect"); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG*, LONG*, LONG*, LONG*, VARIANT) override { return this->NotImplemented("IAccessible.accLocation"); }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT, VARIANT*) override { return this->NotImplemented("IAccessible.accNavigate"); }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG, LONG, VARIANT*) override { return this->NotImplemented("IAccessible.accHitTest"); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return this->NotImplemented("IAccessible.accDoDefaultAction"); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return this->NotImplemented("IAccessible.put_accName"); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return this->NotImplemented("IAccessible.put_accValue"); }
};

// Late-bound calls. Positions count from 0 = the first declared parameter.
// The argument as passed (named or positional), or null when absent.
const VARIANT* RawArg(DISPPARAMS* params, UINT position);
// The argument coerced to `type`; an absent one gives DISP_E_PARAMNOTFOUND.
HRESULT DispArg(DISPPARAMS* params, UINT position, VARTYPE type, VARIANT* value);
// The value of a property put, coerced to `type`.
HRESULT PutArg(DISPPARAMS* params, VARTYPE type, VARIANT* value);
// An omitted optional argument (VT_ERROR, DISP_E_PARAMNOTFOUND).
VARIANT Omitted();
// Results of a getter called by DISPID: each takes over `value` and frees it
// when the call failed or no result is wanted.
HRESULT BstrResult(VARIANT* result, HRESULT hr, BSTR value);
HRESULT BoolResult(VARIANT* result, HRESULT hr, VARIANT_BOOL value);
HRESULT LongResult(VARIANT* result, HRESULT hr, long value);
HRESULT DispatchResult(VARIANT* result, HRESULT hr, IDispatch* value);
HRESULT UnknownResult(VARIANT* result, HRESULT hr, IUnknown* value);
inline bool IsPut(WORD flags) { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

}  // namespace ksdouble
