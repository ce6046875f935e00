// Office command bars as Outlook's explorer shows them: the command bars
// collection, the menu bar, control collections, popups and buttons (with
// their Click events).
#pragma once

#include <string>
#include <vector>

#include "host/outlook/connection_points.h"
#include "host_stub_bases.h"
#include "host/outlook/owners.h"

namespace kshost {

// MsoControlType values the stand-in builds.
enum : long { kControlButton = 1, kControlPopup = 10 };

class Controls;

// What every control carries, whatever its interface.
class ControlData {
public:
    virtual ~ControlData() = default;
    // The control's default interface (a CommandBarControl), not counted.
    virtual CommandBarControl* Interface() = 0;
    virtual ksdouble::StandIn& Object() = 0;
    // Removes temporary controls inside this one (a popup's items).
    virtual void DropTemporary() {}

    std::wstring caption;
    std::wstring tag;
    bool enabled = true;
    bool visible = true;
    bool temporary = false;
    bool builtIn = false;
    bool deleted = false;
    long type = kControlButton;
    int id = 1;
    std::wstring parameter;
    Controls* parent = nullptr;  // the collection holding it; null once removed
};

// A collection of controls: a bar's or a popup's. Positions are 1-based.
class Controls final : public ksdouble::NotImpl_CommandBarControls<> {
public:
    Controls(ksdouble::Context context, std::string label) : NotImpl_CommandBarControls(std::move(context), std::move(label)) {}
    ~Controls() override;

    HRESULT STDMETHODCALLTYPE Add(VARIANT Type, VARIANT Id, VARIANT Parameter, VARIANT Before, VARIANT Temporary,
                                  CommandBarControl** control) override;
    HRESULT STDMETHODCALLTYPE get_Count(int* count) override;
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, CommandBarControl** control) override;

    // For the host and tests.
    size_t Size() const { return m_items.size(); }
    ControlData& At(size_t zeroBased) { return *m_items[zeroBased]; }
    // The first control with that caption or tag, or null.
    ControlData* FindByCaption(const std::wstring& caption);
    ControlData* FindByTag(const std::wstring& tag);
    size_t CountTagged(const std::wstring& tag) const;
    std::vector<std::wstring> Captions() const;
    // Adds a built-in, permanent control as the host's own menus are.
    ControlData& AddBuiltIn(long type, const std::wstring& caption);
    // Takes a control out of the collection (Delete, or a closing host).
    void Remove(ControlData& control);
    // Discards temporary controls, here and inside popups, as the host does when it closes.
    void DropTemporary();

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    HRESULT Create(long type, ControlData*& created);
    std::vector<ControlData*> m_items;  // each holds one reference to its control
};

// CommandBarControl members shared by popups and buttons.
template <class Base>
class ControlImpl : public Base, public ControlData {
public:
    using Base::Base;

    CommandBarControl* Interface() override { return this; }
    ksdouble::StandIn& Object() override { return *this; }

    HRESULT STDMETHODCALLTYPE get_BuiltIn(VARIANT_BOOL* value) override { return this->OutBool("CommandBarControl.get_BuiltIn", value, builtIn); }
    HRESULT STDMETHODCALLTYPE get_Caption(BSTR* value) override { return this->OutBstr("CommandBarControl.get_Caption", value, caption); }
    HRESULT STDMETHODCALLTYPE put_Caption(BSTR value) override { return this->InBstr("CommandBarControl.put_Caption", caption, value); }
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* value) override { return this->OutBstr("CommandBarControl.get_Tag", value, tag); }
    HRESULT STDMETHODCALLTYPE put_Tag(BSTR value) override { return this->InBstr("CommandBarControl.put_Tag", tag, value); }
    HRESULT STDMETHODCALLTYPE get_Parameter(BSTR* value) override { return this->OutBstr("CommandBarControl.get_Parameter", value, parameter); }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* value) override { return this->OutBool("CommandBarControl.get_Enabled", value, enabled); }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) override { return PutFlag("CommandBarControl.put_Enabled", enabled, value); }
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* value) override { return this->OutBool("CommandBarControl.get_Visible", value, visible); }
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) override { return PutFlag("CommandBarControl.put_Visible", visible, value); }
    HRESULT STDMETHODCALLTYPE get_Type(long* value) override { return this->OutLong("CommandBarControl.get_Type", value, type); }
    HRESULT STDMETHODCALLTYPE get_Id(int* value) override { return this->OutInt("CommandBarControl.get_Id", value, id); }
    HRESULT STDMETHODCALLTYPE get_Index(int* value) override;
    HRESULT STDMETHODCALLTYPE get_Control(IDispatch** value) override {
        // The control's own dispatch object: for a popup, the popup.
        return this->OutInterface("CommandBarControl.get_Control", value, static_cast<IDispatch*>(this));
    }
    HRESULT STDMETHODCALLTYPE Delete(VARIANT Temporary) override;

protected:
    HRESULT PutFlag(const char* member, bool& field, VARIANT_BOOL value) {
        HRESULT hr;
        if (this->EnterSetter(member, hr)) field = value != VARIANT_FALSE;
        return hr;
    }
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;
};

// A popup (msoControlPopup): a menu with its own controls.
class Popup final : public ControlImpl<ksdouble::NotImpl_CommandBarPopup<>> {
public:
    Popup(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE get_Controls(CommandBarControls** controls) override;

    Controls& Items() { return *m_controls.Get(); }
    void DropTemporary() override { m_controls->DropTemporary(); }

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    ComRef<Controls> m_controls;
};

// A button (msoControlButton) that raises Click to its connected sinks.
class Button final : public ControlImpl<ksdouble::NotImpl__CommandBarButton<>> {
public:
    Button(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE Execute() override;

    // Raises Click as Office does: (the button as VT_DISPATCH, the cancel-default
    // flag by reference). Returns the flag as the sinks left it.
    VARIANT_BOOL Click(VARIANT_BOOL cancelDefault = VARIANT_FALSE);
    size_t SinkCount() const { return m_points.SinkCount(); }
    ConnectionPoints& Points() { return m_points; }

protected:
    void* FindInterface(REFIID iid) override;

private:
    ConnectionPoints m_points;
};

// A command bar: the explorer's menu bar.
class Bar final : public ksdouble::NotImpl_CommandBar<> {
public:
    Bar(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE get_Controls(CommandBarControls** controls) override;
    HRESULT STDMETHODCALLTYPE get_BuiltIn(VARIANT_BOOL* value) override {
        return OutBool("CommandBar.get_BuiltIn", value, true);
    }

    Controls& Items() { return *m_controls.Get(); }

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    ComRef<Controls> m_controls;
};

// The command bars of a window. A new one carries Outlook's menu bar with
// its built-in menus.
class Bars final : public ksdouble::NotImpl__CommandBars<> {
public:
    Bars(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE get_ActiveMenuBar(CommandBar** bar) override;

    // The menu bar, or null after RemoveMenuBar (a window without one).
    Bar* MenuBar() { return m_menuBar.Get(); }
    void RemoveMenuBar() { m_menuBar.Reset(); }
    // Drops every temporary control, as the host does when the window closes.
    void DropTemporary();

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    ComRef<Bar> m_menuBar;
};

}  // namespace kshost
