// The two registry switches that choose the ribbon buttons, read afresh at
// every request from HKEY_LOCAL_MACHINE\Software\KestrinCorp\KestrinSelectATL.
// The add-in never writes them.
#pragma once

namespace ks {

// Registry key of the switches under HKEY_LOCAL_MACHINE.
inline constexpr char kSettingsKey[] = "Software\\KestrinCorp\\KestrinSelectATL";
inline constexpr char kSelectEnabledValue[] = "selectEnabled";
inline constexpr char kUnselectEnabledValue[] = "unselectEnabled";

// Whether the named value under the machine's key reads "true" (in any ASCII
// letter case). A missing key or value, a refused access, data that does not
// fit the buffer or any other text means off. Shows nothing, never fails.
bool ReadEnabledSetting(const char* valueName) noexcept;

// The switch of the "Encrypt && Send" button.
bool IsSelectEnabled() noexcept;
// The switch of the "Send Unencrypted" button.
bool IsUnselectEnabled() noexcept;

}  // namespace ks
