// The ribbon methods of CConnect: the markup for the compose window and the
// button images.
#include "addin/connect.h"
#include "ribbon/markup.h"
#include "ribbon/ribbon_picture.h"
#include "ribbon/settings.h"
#include "resources/resource_ids.h"
#include "server/module.h"

namespace ks {

namespace {

// Compares a host text with a narrow constant as the host compares texts: on
// copies of both, by the locale-aware BSTR comparison for the user's default
// locale with no flags (so case-sensitive). A null text counts as empty.
HRESULT HostTextEquals(BSTR hostText, const char* constant, bool& equal) noexcept {
    UniqueBstr expected(AnsiToBstr(constant));
    if (!expected) return E_OUTOFMEMORY;
    UniqueBstr copy(SysAllocStringLen(hostText, SysStringLen(hostText)));
    if (!copy) return E_OUTOFMEMORY;
    equal = VarBstrCmp(copy.Get(), expected.Get(), LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
    return S_OK;
}

}  // namespace

STDMETHODIMP CConnect::GetCustomUI(BSTR ribbonId, BSTR* markup) {
    if (!markup) return E_POINTER;
    bool isCompose = false;
    HRESULT hr = HostTextEquals(ribbonId, kComposeRibbonId, isCompose);
    if (FAILED(hr)) {
        *markup = nullptr;
        return hr;
    }
    const wchar_t* text = L"";
    if (isCompose) {
        // Both switches are always read, the unselect switch first.
        const bool unselectEnabled = IsUnselectEnabled();
        const bool selectEnabled = IsSelectEnabled();
        text = ChooseRibbonMarkup(selectEnabled, unselectEnabled);
    }
    *markup = SysAllocString(text);
    return *markup ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CConnect::getImage(BSTR imageName, IPictureDisp** ppDispPicture) {
    bool isSelect = false;
    HRESULT hr = HostTextEquals(imageName, kSelectImageName, isSelect);
    if (FAILED(hr)) return hr;
    // Outlook always passes an address; a null one is refused here rather
    // than handed to the picture factory, which may write through it.
    if (!ppDispPicture) return E_POINTER;
    return CreateRibbonPicture(Module().Instance(), isSelect ? IDB_SELECT_PNG : IDB_UNSELECT_PNG, ppDispPicture);
}

}  // namespace ks
