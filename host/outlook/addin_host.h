// How the stand-in Outlook finds, loads, connects and unloads COM add-ins:
// the add-in list in the registry, the ProgID, _IDTExtensibility2.
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

struct LoadedAddin {
    AddinEntry entry;
    CLSID clsid{};
    ks::ComRef<IUnknown> object;
    ks::ComRef<_IDTExtensibility2> extensibility;
    ks::ComRef<IDispatch> instance;  // the host's object describing the add-in
    HRESULT connectResult = E_FAIL;
    double connectMilliseconds = 0;
};

// Outlook's limit for OnConnection before it disables an add-in.
constexpr double kConnectionBudgetMs = 1000.0;

// Creates the add-in by its ProgID and connects it as at start-up
// (OnConnection with ext_cm_Startup, then OnStartupComplete).
HRESULT LoadAddin(const AddinEntry& entry, IDispatch* application, LoadedAddin& loaded);

// OnBeginShutdown, OnDisconnection(ext_dm_HostShutdown), then releases.
void UnloadAddin(LoadedAddin& loaded);

// The object Outlook passes as AddInInst: a COMAddIn with ProgId and Description.
HRESULT CreateComAddInObject(const AddinEntry& entry, ks::ComRef<IDispatch>& object);

}  // namespace standin
