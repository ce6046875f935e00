// How the stand-in Outlook finds the COM add-ins to load at start-up: the
// add-in list in the registry.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <string>
#include <vector>

#include "addin/host_interfaces.h"
#include "host/outlook/owners.h"

namespace kshost {

// One entry of Software\Microsoft\Office\Outlook\Addins\<ProgID>.
struct AddinEntry {
    std::wstring progId;
    std::wstring friendlyName;
    std::wstring description;
    DWORD loadBehavior = 0;
    bool fromCurrentUser = false;  // LoadBehavior comes from the current user's entry
};

// The add-in list of both hives. For a ProgID listed in both, each value the
// current user's entry holds overrides the machine's, and only that value:
// "the value of the LoadBehavior value in the HKEY_CURRENT_USER hive
// overrides the default LoadBehavior defined in the HKEY_LOCAL_MACHINE hive"
// (Registry entries for VSTO Add-ins), which is what Outlook writes there
// when the user turns off an add-in installed for the machine.
std::vector<AddinEntry> ReadAddinList();

// The module of a loaded add-in, found from its ProgID through its class's
// InprocServer32; null when it is not loaded.
HMODULE LoadedModuleOf(const std::wstring& progId);

// Outlook's limit for OnConnection before it disables an add-in.
constexpr double kConnectionBudgetMs = 1000.0;

}  // namespace kshost
