// The arguments the add-in passes to CommandBarControls.Add for its menu, as
// a host receives them: Office tells an omitted argument by VT_ERROR with
// DISP_E_PARAMNOTFOUND and reads Temporary as a number, so the VARIANT types
// matter. The stand-in's menu bar is reached here through thin forwarding
// objects that write down each Add's arguments before passing it on.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "support/host_fixture.h"
#include "support/message_boxes.h"

namespace {

struct ArgumentSeen {
    VARTYPE vt = VT_EMPTY;
    LONG value = 0;  // lVal, iVal or scode, by type
};

ArgumentSeen Seen(const VARIANT& v) {
    ArgumentSeen seen;
    seen.vt = V_VT(&v);
    switch (V_VT(&v)) {
    case VT_I4: seen.value = V_I4(&v); break;
    case VT_I2: seen.value = V_I2(&v); break;
    case VT_BOOL: seen.value = V_BOOL(&v); break;
    case VT_ERROR: seen.value = V_ERROR(&v); break;
    default: break;
    }
    return seen;
}

// The menu bar's controls: records Add, forwards Add, Count and Item.
class RecordingControls final : public ksdouble::NotImpl_CommandBarControls<> {
public:
    RecordingControls(ksdouble::Context context, CommandBarControls* real)
        : NotImpl_CommandBarControls(std::move(context), "RecordingControls"), m_real(real) {}

    HRESULT STDMETHODCALLTYPE Add(VARIANT type, VARIANT id, VARIANT parameter, VARIANT before, VARIANT temporary,
                                  CommandBarControl** control) override {
        adds.push_back({Seen(type), Seen(id), Seen(parameter), Seen(before), Seen(temporary)});
        return m_real->Add(type, id, parameter, before, temporary, control);
    }
    HRESULT STDMETHODCALLTYPE get_Count(int* count) override { return m_real->get_Count(count); }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, CommandBarControl** control) override {
        return m_real->get_Item(index, control);
    }

    std::vector<std::vector<ArgumentSeen>> adds;

protected:
    void* FindInterface(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__IMsoDispObj) ||
            IsEqualIID(iid, ks::IID_CommandBarControls))
            return static_cast<CommandBarControls*>(this);
        return nullptr;
    }

private:
    ks::ComRef<CommandBarControls> m_real;
};

class ForwardingBar final : public ksdouble::NotImpl_CommandBar<> {
public:
    ForwardingBar(ksdouble::Context context, RecordingControls* controls)
        : NotImpl_CommandBar(std::move(context), "ForwardingBar"), m_controls(controls) {}
    HRESULT STDMETHODCALLTYPE get_Controls(CommandBarControls** controls) override {
        return OutInterface<CommandBarControls>("CommandBar.get_Controls", controls, m_controls);
    }

protected:
    void* FindInterface(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IAccessible) ||
            IsEqualIID(iid, ks::IID__IMsoOleAccDispObj) || IsEqualIID(iid, ks::IID_CommandBar))
            return static_cast<CommandBar*>(this);
        return nullptr;
    }

private:
    RecordingControls* m_controls;
};

class ForwardingBars final : public ksdouble::NotImpl__CommandBars<> {
public:
    ForwardingBars(ksdouble::Context context, ForwardingBar* bar)
        : NotImpl__CommandBars(std::move(context), "ForwardingBars"), m_bar(bar) {}
    HRESULT STDMETHODCALLTYPE get_ActiveMenuBar(CommandBar** bar) override {
        return OutInterface<CommandBar>("_CommandBars.get_ActiveMenuBar", bar, m_bar);
    }

protected:
    void* FindInterface(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__IMsoDispObj) ||
            IsEqualIID(iid, ks::IID__CommandBars))
            return static_cast<_CommandBars*>(this);
        return nullptr;
    }

private:
    ForwardingBar* m_bar;
};

class ForwardingExplorer final : public ksdouble::NotImpl__Explorer<> {
public:
    ForwardingExplorer(ksdouble::Context context, ForwardingBars* bars)
        : NotImpl__Explorer(std::move(context), "ForwardingExplorer"), m_bars(bars) {}
    HRESULT STDMETHODCALLTYPE get_CommandBars(_CommandBars** bars) override {
        return OutInterface<_CommandBars>("_Explorer.get_CommandBars", bars, m_bars);
    }

protected:
    void* FindInterface(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__Explorer))
            return static_cast<_Explorer*>(this);
        return nullptr;
    }

private:
    ForwardingBars* m_bars;
};

class ForwardingApplication final : public ksdouble::NotImpl__Application<> {
public:
    ForwardingApplication(ksdouble::Context context, ForwardingExplorer* explorer)
        : NotImpl__Application(std::move(context), "ForwardingApplication"), m_explorer(explorer) {}
    HRESULT STDMETHODCALLTYPE ActiveExplorer(_Explorer** explorer) override {
        return OutInterface<_Explorer>("_Application.ActiveExplorer", explorer, m_explorer);
    }

protected:
    void* FindInterface(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__Application))
            return static_cast<_Application*>(this);
        return nullptr;
    }

private:
    ForwardingExplorer* m_explorer;
};

}  // namespace

class MenuArguments : public kstest::HostFixture {};

TEST_F(MenuArguments, PopupIsAddedWithTypedArgumentsBeforeTheLastControl) {
    ksdouble::Context context = outlook->SharedContext();
    kshost::Controls& realControls = outlook->MenuBarControls();
    auto controls = ks::ComRef<RecordingControls>::Attach(new RecordingControls(context, &realControls));
    auto bar = ks::ComRef<ForwardingBar>::Attach(new ForwardingBar(context, controls.Get()));
    auto bars = ks::ComRef<ForwardingBars>::Attach(new ForwardingBars(context, bar.Get()));
    auto explorer = ks::ComRef<ForwardingExplorer>::Attach(new ForwardingExplorer(context, bars.Get()));
    auto application = ks::ComRef<ForwardingApplication>::Attach(new ForwardingApplication(context, explorer.Get()));

    {
        // The forwarding explorer has no events, so the connection stops at
        // its Close sink, after the menu is built.
        kstest::BoxRecorder boxes;
        addin.ConnectWith(static_cast<_Application*>(application.Get()), &outlook->AddIn());
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    addin.Disconnect();

    ASSERT_EQ(controls->adds.size(), 1u) << "one Add on the menu bar: the popup";
    const std::vector<ArgumentSeen>& add = controls->adds[0];
    EXPECT_EQ(add[0].vt, VT_I4) << "Type";
    EXPECT_EQ(add[0].value, 10) << "Type: msoControlPopup";
    for (int omitted : {1, 2}) {
        EXPECT_EQ(add[omitted].vt, VT_ERROR) << "Id and Parameter are omitted";
        EXPECT_EQ(add[omitted].value, DISP_E_PARAMNOTFOUND);
    }
    EXPECT_EQ(add[3].vt, VT_I4) << "Before";
    EXPECT_EQ(add[3].value, 7) << "Before: the count of the bar's seven menus";
    EXPECT_EQ(add[4].vt, VT_I2) << "Temporary is a 16-bit integer, not a VT_BOOL";
    EXPECT_EQ(add[4].value, -1);

    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(Menu()->Items().Captions(), (std::vector<std::wstring>{L"&Help", L"&About KestrinSelect"}));
    EXPECT_TRUE(HelpItem()->temporary && AboutItem()->temporary);
}
