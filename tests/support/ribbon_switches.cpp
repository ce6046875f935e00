#include "support/ribbon_switches.h"

#include "server/owners.h"

namespace kstest {

namespace {

const char kCompanyKey[] = "Software\\KestrinCorp";
const char kSwitchKey[] = "Software\\KestrinCorp\\KestrinSelectATL";

}  // namespace

REGSAM OwnRegistryView() {
#ifdef _WIN64
    return KEY_WOW64_64KEY;
#else
    return KEY_WOW64_32KEY;
#endif
}

REGSAM OtherRegistryView() {
    return OwnRegistryView() == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool RegistryHasTwoViews() {
    // A marker written through one view and looked for through the other.
    const char probeKey[] = "Software\\KestrinCorp\\ViewProbe";
    bool separate = false;
    {
        ks::UniqueHKey key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, probeKey, 0, nullptr, 0, KEY_WRITE | OtherRegistryView(), nullptr,
                            key.Put(), nullptr) != ERROR_SUCCESS) {
            return false;
        }
    }
    {
        ks::UniqueHKey key;
        separate = RegOpenKeyExA(HKEY_LOCAL_MACHINE, probeKey, 0, KEY_READ | OwnRegistryView(), key.Put()) !=
                   ERROR_SUCCESS;
    }
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, probeKey, OtherRegistryView(), 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kCompanyKey, OtherRegistryView(), 0);
    return separate;
}

bool WriteSwitch(const char* name, DWORD type, const void* data, DWORD size, HKEY root, REGSAM view) {
    ks::UniqueHKey key;
    const REGSAM access = KEY_SET_VALUE | (root == HKEY_LOCAL_MACHINE ? view : 0);
    if (RegCreateKeyExA(root, kSwitchKey, 0, nullptr, 0, access, nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool WriteSwitchText(const char* name, const std::string& text, HKEY root, REGSAM view) {
    return WriteSwitch(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), root, view);
}

void DeleteSwitchKey(HKEY root, REGSAM view) {
    if (root == HKEY_LOCAL_MACHINE) {
        RegDeleteKeyExA(root, kSwitchKey, view, 0);
        RegDeleteKeyExA(root, kCompanyKey, view, 0);  // only when empty
    } else {
        RegDeleteKeyA(root, kSwitchKey);
        RegDeleteKeyA(root, kCompanyKey);
    }
}

void SwitchKeyScope::ClearAll() {
    DeleteSwitchKey(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    DeleteSwitchKey(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    DeleteSwitchKey(HKEY_CURRENT_USER, 0);
}

}  // namespace kstest
