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

// The boxes of the three steps that find the menu bar's controls; removing
// and adding the menu take the same steps and say which of the two failed.
struct MenuBarStepTexts {
    const char* noCommandBars;
    const char* noMenuBar;
    const char* noMenuBarControls;
};

constexpr MenuBarStepTexts kRemovingSteps{kRemoveNoCommandBars, kRemoveNoMenuBar, kRemoveNoMenuBarControls};
constexpr MenuBarStepTexts kAddingSteps{kAddNoCommandBars, kAddNoMenuBar, kAddNoMenuBarControls};

// The top-level controls of the main window's active menu bar, and their
// count (0 when it cannot be read). On failure the failed step's box has
// been shown and its result is returned; without a main window there is
// nothing to look for and no box.
HRESULT LocateMenuBarControls(_Explorer* explorer, const MenuBarStepTexts& texts,
                              ComRef<CommandBarControls>& controls, int& count) noexcept {
    if (!explorer) return E_POINTER;

    ComRef<_CommandBars> commandBars;
    HRESULT hr = Checked(explorer->get_CommandBars(commandBars.Put()), commandBars);
    if (FAILED(hr)) return Fail(texts.noCommandBars, hr);

    ComRef<CommandBar> menuBar;
    hr = Checked(commandBars->get_ActiveMenuBar(menuBar.Put()), menuBar);
    if (FAILED(hr)) return Fail(texts.noMenuBar, hr);

    hr = Checked(menuBar->get_Controls(controls.Put()), controls);
    if (FAILED(hr)) return Fail(texts.noMenuBarControls, hr);

    count = 0;
    if (FAILED(controls->get_Count(&count))) count = 0;
    return hr;
}

// Appends one temporary button to the popup and names it; the button is
// kept in `item`, which stays empty when the host refuses it.
HRESULT AddMenuItem(CommandBarControls* popupControls, const char* caption, const char* failureText,
                    ComRef<CommandBarControl>& item) noexcept {
    HRESULT hr = Checked(popupControls->Add(LongArgument(kMsoControlButton), OmittedArgument(), OmittedArgument(),
                                            OmittedArgument(), TemporaryArgument(), item.Put()),
                         item);
    if (FAILED(hr)) {
        item.Reset();
        return Fail(failureText, hr);
    }
    SetCaptionEnabledVisible(item.Get(), caption);
    return hr;
}

}  // namespace

HRESULT CConnect::RemoveLegacyMenu() noexcept {
    ComRef<CommandBarControls> controls;
    int count = 0;
    HRESULT hr = LocateMenuBarControls(m_explorer.Get(), kRemovingSteps, controls, count);
    if (FAILED(hr)) return hr;

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
    ComRef<CommandBarControls> barControls;
    int count = 0;
    HRESULT hr = LocateMenuBarControls(m_explorer.Get(), kAddingSteps, barControls, count);
    if (FAILED(hr)) return hr;

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

    hr = AddMenuItem(popupControls.Get(), kHelpCaption, kAddHelpFailed, m_helpButton);
    if (FAILED(hr)) return hr;
    return AddMenuItem(popupControls.Get(), kAboutCaption, kAddAboutFailed, m_aboutButton);
}

}  // namespace ks
