// How the stand-in Outlook finds the COM add-ins to load at start-up: the
// add-in list in the registry.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <string>
#include <vector>

#include "addin/host_interfaces.h"
#include "server/owners.h"

namespace standin {

// One entry of Software\Microsoft\Office\Outlook\Addins\<ProgID>.
struct AddinEntry {
    std::wstring progId;
    std::wstring friendlyName;
    std::wstring description;
    DWORD loadBehavior = 0;
    bool fromCurrentUser = false;  // the current user's entry overrides the machine's
};

// The add-in list of both hives; for a ProgID listed in both, the current
// user's LoadBehavior wins.
std::vector<AddinEntry> ReadAddinList();

// Outlook's limit for OnConnection before it disables an add-in.
constexpr double kConnectionBudgetMs = 1000.0;

}  // namespace standin
