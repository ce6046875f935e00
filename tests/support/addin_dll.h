// Access to the built add-in DLL from a test program: its path, its exports,
// and registration in the test prefix.
#pragma once

#include <windows.h>
#include <string>

#include "server/owners.h"

namespace kstest {

// The add-in's ProgID, as Outlook's add-in list names it.
inline constexpr wchar_t kAddinProgId[] = L"KestrinSelectATL.Connect";

// Full path of KestrinSelect.dll beside the running test program.
std::wstring AddinDllPath();
// Directory of the running test program, with a trailing backslash.
std::wstring TestDirectory();

// The DLL loaded by path, with its four exports.
class AddinLibrary {
public:
    explicit AddinLibrary(const std::wstring& path = AddinDllPath());
    bool Loaded() const { return static_cast<bool>(m_module); }
    HMODULE Handle() const { return m_module.Get(); }

    HRESULT CanUnloadNow() const;
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT Register() const;
    HRESULT Unregister() const;

private:
    FARPROC Proc(const char* name) const;
    ks::UniqueLibrary m_module;
};

// Registers the add-in DLL built beside the test (class keys and type library).
HRESULT RegisterAddin();

// Registry helpers for reading back what was written.
bool KeyExists(HKEY root, const std::wstring& path);
// The string value, or false when absent or not a string.
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
void DeleteTree(HKEY root, const std::wstring& path);

// GUID as "{XXXXXXXX-...}".
std::wstring GuidText(REFGUID guid);

}  // namespace kstest
