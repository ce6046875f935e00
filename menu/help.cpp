// The legacy menu's "&Help" item: the online help page in the default browser.
#include "addin/connect.h"

#include <shellapi.h>

#include "menu/menu_texts.h"

namespace ks {

void CConnect::OnHelpClick(IDispatch*, VARIANT_BOOL*) noexcept {
    HINSTANCE result = ShellExecuteA(nullptr, "open", kHelpPageAddress, nullptr, nullptr, SW_SHOWNORMAL);
    // Values up to 32 are the shell's error codes.
    if (reinterpret_cast<INT_PTR>(result) <= 32) ShowErrorBox(kBrowserFailed);
}

}  // namespace ks
