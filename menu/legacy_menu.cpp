// The "&KestrinSelect" menu on the main window's menu bar: found again by its
// tag and deleted at each connection, then built anew as temporary controls
// that Outlook discards when it closes.
#include "addin/connect.h"
#include "menu/menu_texts.h"

namespace ks {
namespace {

// Office's control types for CommandBarControls::Add.
constexpr long kMsoControlButton = 1;
constexpr long kMsoControlPopup = 10;

// An argument by value that the callee sees as omitted.
VARIANT OmittedArgument() noexcept {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT LongArgument(long value) noexcept {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// Office reads any non-zero Temporary as true; Outlook's own add-ins pass
// the 16-bit -1, and so do we.
VARIANT TemporaryArgument() noexcept {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = -1;
    return v;
}

HRESULT Fail(const char* text, HRESULT hr) noexcept {
    ShowErrorBox(text);
    return hr;
}

// A null out-pointer with a success code is as useless as a failure; it
// must not be dereferenced, so it is reported like one.
template <typename T>
HRESULT Checked(HRESULT hr, const ComRef<T>& out) noexcept {
    if (SUCCEEDED(hr) && !out) return E_POINTER;
    return hr;
}

// The setters whose results the menu ignores: a failed one leaves the
// host's default in place.
void SetCaptionEnabledVisible(CommandBarControl* control, const char* caption) noexcept {
    UniqueBstr text(AnsiToBstr(caption));
    if (text) control->put_Caption(text.Get());
    control->put_Enabled(VARIANT_TRUE);
    control->put_Visible(VARIANT_TRUE);
}

bool TagMatches(CommandBarControl* control, BSTR wanted) noexcept {
    UniqueBstr tag;
    if (FAILED(control->get_Tag(tag.Put()))) return false;
    // A missing or empty tag never names our menu (a null BSTR would
    // otherwise compare like the empty text).
    if (tag.Length() == 0) return false;
    return VarBstrCmp(tag.Get(), wanted, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
}

}  // namespace

HRESULT CConnect::RemoveLegacyMenu() noexcept {
    if (!m_explorer) return E_POINTER;

    ComRef<_CommandBars> commandBars;
    HRESULT hr = Checked(m_explorer->get_CommandBars(commandBars.Put()), commandBars);
    if (FAILED(hr)) return Fail(kRemoveNoCommandBars, hr);

    ComRef<CommandBar> menuBar;
    hr = Checked(commandBars->get_ActiveMenuBar(menuBar.Put()), menuBar);
    if (FAILED(hr)) return Fail(kRemoveNoMenuBar, hr);

    ComRef<CommandBarControls> controls;
    hr = Checked(menuBar->get_Controls(controls.Put()), controls);
    if (FAILED(hr)) return Fail(kRemoveNoMenuBarControls, hr);

    int count = 0;
    if (FAILED(controls->get_Count(&count))) count = 0;

    UniqueBstr wanted(AnsiToBstr(kMenuTag));
    if (!wanted) return E_OUTOFMEMORY;

    for (int i = 1; i <= count; ++i) {
        ComRef<CommandBarControl> control;
        VARIANT index = LongArgument(i);
        hr = Checked(controls->get_Item(index, control.Put()), control);
        if (FAILED(hr)) return Fail(kRemoveNoNextControl, hr);

        if (TagMatches(control.Get(), wanted.Get())) {
            hr = control->Delete(OmittedArgument());
            if (FAILED(hr)) return Fail(kRemoveDeleteFailed, hr);
            break;  // only the first tagged control, the lowest one
        }
    }
    return hr;
}

HRESULT CConnect::AddLegacyMenu() noexcept {
    if (!m_explorer) return E_POINTER;

    ComRef<_CommandBars> commandBars;
    HRESULT hr = Checked(m_explorer->get_CommandBars(commandBars.Put()), commandBars);
    if (FAILED(hr)) return Fail(kAddNoCommandBars, hr);

    ComRef<CommandBar> menuBar;
    hr = Checked(commandBars->get_ActiveMenuBar(menuBar.Put()), menuBar);
    if (FAILED(hr)) return Fail(kAddNoMenuBar, hr);

    ComRef<CommandBarControls> barControls;
    hr = Checked(menuBar->get_Controls(barControls.Put()), barControls);
    if (FAILED(hr)) return Fail(kAddNoMenuBarControls, hr);

    int count = 0;
    if (FAILED(barControls->get_Count(&count))) count = 0;

    // Before = the count puts the menu in front of the last control (on
    // Outlook's bar, "Help" stays rightmost).
    ComRef<CommandBarControl> popupControl;
    hr = Checked(barControls->Add(LongArgument(kMsoControlPopup), OmittedArgument(), OmittedArgument(),
                                  LongArgument(count), TemporaryArgument(), popupControl.Put()),
                 popupControl);
    if (FAILED(hr)) return Fail(kAddPopupFailed, hr);

    {
        UniqueBstr tag(AnsiToBstr(kMenuTag));
        if (tag) popupControl->put_Tag(tag.Get());
    }
    SetCaptionEnabledVisible(popupControl.Get(), kMenuCaption);

    ComRef<IDispatch> popupDispatch;
    hr = Checked(popupControl->get_Control(popupDispatch.Put()), popupDispatch);
    if (FAILED(hr)) return Fail(kAddNoPopupControl, hr);

    ComRef<CommandBarPopup> popup;
    ComRef<CommandBarControls> popupControls;
    hr = Checked(popupDispatch.QueryTo(IID_CommandBarPopup, popup), popup);
    if (SUCCEEDED(hr)) hr = Checked(popup->get_Controls(popupControls.Put()), popupControls);
    if (FAILED(hr)) return Fail(kAddNoPopupControls, hr);

    hr = Checked(popupControls->Add(LongArgument(kMsoControlButton), OmittedArgument(), OmittedArgument(),
                                    OmittedArgument(), TemporaryArgument(), m_helpButton.Put()),
                 m_helpButton);
    if (FAILED(hr)) {
        m_helpButton.Reset();
        return Fail(kAddHelpFailed, hr);
    }
    SetCaptionEnabledVisible(m_helpButton.Get(), kHelpCaption);

    hr = Checked(popupControls->Add(LongArgument(kMsoControlButton), OmittedArgument(), OmittedArgument(),
                                    OmittedArgument(), TemporaryArgument(), m_aboutButton.Put()),
                 m_aboutButton);
    if (FAILED(hr)) {
        m_aboutButton.Reset();
        return Fail(kAddAboutFailed, hr);
    }
    SetCaptionEnabledVisible(m_aboutButton.Get(), kAboutCaption);
    return hr;
}

}  // namespace ks
