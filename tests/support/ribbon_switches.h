// The two ribbon switches as a test writes them: under the machine hive of
// the test prefix, in the registry view that the add-in of this build reads
// (or deliberately in the other one), and removed again afterwards.
#pragma once

#include <windows.h>
#include <string>

namespace kstest {

// The view of HKEY_LOCAL_MACHINE\Software that a DLL of this build reads,
// and the other one.
REGSAM OwnRegistryView();
REGSAM OtherRegistryView();
// False where the system has a single view (32-bit Windows or Wine prefix).
bool RegistryHasTwoViews();

// Writes one switch value of any type and data; false when the registry refused.
bool WriteSwitch(const char* name, DWORD type, const void* data, DWORD size, HKEY root = HKEY_LOCAL_MACHINE,
                 REGSAM view = OwnRegistryView());
// Writes a REG_SZ switch value (terminating zero included, as RegSetValueEx stores it).
bool WriteSwitchText(const char* name, const std::string& text, HKEY root = HKEY_LOCAL_MACHINE,
                     REGSAM view = OwnRegistryView());
// Removes the switch key (and its empty parent) from one hive and view.
void DeleteSwitchKey(HKEY root, REGSAM view);

// Clears the switch key from every place a test may write it, on entry and on exit.
class SwitchKeyScope {
public:
    SwitchKeyScope() { ClearAll(); }
    ~SwitchKeyScope() { ClearAll(); }
    SwitchKeyScope(const SwitchKeyScope&) = delete;
    SwitchKeyScope& operator=(const SwitchKeyScope&) = delete;

private:
    static void ClearAll();
};

}  // namespace kstest
