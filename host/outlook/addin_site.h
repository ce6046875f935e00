// How Outlook drives an add-in: it creates the add-in's class from its ProgID
// through COM, calls _IDTExtensibility2 and IRibbonExtensibility through their
// vtables, and calls ribbon callbacks by name through IDispatch.
#pragma once

#include <string>
#include <vector>

#include "host/outlook/object_model.h"

namespace kshost {

// The control handed to a ribbon callback: its id, tag and window.
class RibbonControl final : public ksdouble::NotImpl_IRibbonControl<> {
public:
    RibbonControl(ksdouble::Context context, std::wstring id, IDispatch* window, std::wstring tag = L"");

    HRESULT STDMETHODCALLTYPE get_Id(BSTR* id) override { return OutBstr("IRibbonControl.get_Id", id, m_id); }
    HRESULT STDMETHODCALLTYPE get_Context(IDispatch** window) override {
        return OutInterface<IDispatch>("IRibbonControl.get_Context", window, m_window.Get());
    }
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* tag) override { return OutBstr("IRibbonControl.get_Tag", tag, m_tag); }

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    std::wstring m_id;
    std::wstring m_tag;
    ComRef<IDispatch> m_window;
};

// Calls `name` on `target` as Office calls a ribbon callback: GetIDsOfNames
// with the exact name, then Invoke(DISPATCH_METHOD) with the arguments
// (given here in declaration order) reversed into DISPPARAMS.
HRESULT InvokeByName(IDispatch* target, const wchar_t* name, const std::vector<VARIANT>& args, VARIANT* result);

// One add-in as Outlook holds it.
class LoadedAddIn {
public:
    LoadedAddIn() = default;
    LoadedAddIn(const LoadedAddIn&) = delete;
    LoadedAddIn& operator=(const LoadedAddIn&) = delete;

    // CLSIDFromProgID, CoCreateInstance(IUnknown), then QueryInterface for
    // _IDTExtensibility2 as Outlook does.
    HRESULT Create(const wchar_t* progId);
    // OnConnection(application, mode, add-in instance, empty custom array).
    HRESULT Connect(Outlook& outlook, long mode = ks::ext_cm_Startup);
    // OnConnection with the arguments given (for null or odd hosts).
    HRESULT ConnectWith(IDispatch* application, IDispatch* addInInstance, long mode = ks::ext_cm_Startup);
    HRESULT StartupComplete();
    HRESULT AddInsUpdate();
    HRESULT BeginShutdown();
    HRESULT Disconnect(long mode = ks::ext_dm_HostShutdown);
    // Drops Outlook's reference to the add-in.
    void Release() { m_addIn.Reset(); }

    // IRibbonExtensibility::GetCustomUI through the vtable; a null markup gives "".
    HRESULT GetCustomUI(const wchar_t* ribbonId, std::wstring& markup);
    // A button's onAction callback by name, with a ribbon control whose
    // context is the given window (the inspector).
    HRESULT RunRibbonAction(Outlook& outlook, const wchar_t* callback, const wchar_t* controlId);

    _IDTExtensibility2* Extensibility() const { return m_addIn.Get(); }
    bool Created() const { return static_cast<bool>(m_addIn); }

private:
    ComRef<_IDTExtensibility2> m_addIn;
};

}  // namespace kshost
