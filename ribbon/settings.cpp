#include "ribbon/settings.h"

#include <windows.h>

#include "ribbon/switch_text.h"
#include "server/owners.h"

namespace ks {

bool ReadEnabledSetting(const char* valueName) noexcept {
    // KEY_QUERY_VALUE and no view flag: each build reads its own view of the
    // machine hive, as Outlook of the same bitness would.
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    unsigned char buffer[kSwitchBufferSize] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;  // ignored: the data is taken as narrow text whatever its type
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
        return false;  // also ERROR_MORE_DATA: over-long data is off
    }
    key.Reset();
    const DWORD returned = size < sizeof(buffer) ? size : static_cast<DWORD>(sizeof(buffer));
    return SwitchTextMeansOn(buffer, returned);
}

bool IsSelectEnabled() noexcept {
    return ReadEnabledSetting(kSelectEnabledValue);
}

bool IsUnselectEnabled() noexcept {
    return ReadEnabledSetting(kUnselectEnabledValue);
}

}  // namespace ks
