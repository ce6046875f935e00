// DllRegisterServer and DllUnregisterServer: the class keys from the
// registry script resource, and the type library from the module's file.
#pragma once

#include <windows.h>

namespace ks {

HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

// Runs the registry script resource `resourceId` of the module in register or
// unregister mode, with the module's path as %MODULE%.
HRESULT RunRegistryScript(UINT resourceId, bool registering) noexcept;

}  // namespace ks
