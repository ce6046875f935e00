// The DLL's entry point and its four exports. No C++ exception may cross
// these boundaries: the callers are the system and the host, not C++.
#include <windows.h>

#include "server/class_factory.h"
#include "server/module.h"
#include "server/registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ks::Module().SetInstance(instance);
        DisableThreadLibraryCalls(instance);
        return ks::Module().InitFailed() ? FALSE : TRUE;
    case DLL_PROCESS_DETACH: {
        const bool processEnding = reserved != nullptr;
        ks::ReleaseClassObjects(processEnding);
        ks::Module().Term(processEnding);
        return TRUE;
    }
    default:
        return TRUE;
    }
}

STDAPI DllCanUnloadNow() {
    return ks::Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    try {
        return ks::GetClassObject(clsid, iid, object);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllRegisterServer() {
    try {
        return ks::RegisterServer();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return ks::UnregisterServer();
    } catch (...) {
        return E_UNEXPECTED;
    }
}
