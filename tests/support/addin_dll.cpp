#include "support/addin_dll.h"

namespace kstest {

std::wstring TestDirectory() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring AddinDllPath() {
    return TestDirectory() + L"KestrinSelect.dll";
}

AddinLibrary::AddinLibrary(const std::wstring& path) : m_module(LoadLibraryW(path.c_str())) {}

FARPROC AddinLibrary::Proc(const char* name) const {
    return m_module ? GetProcAddress(m_module.Get(), name) : nullptr;
}

template <typename Fn>
Fn As(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

HRESULT AddinLibrary::CanUnloadNow() const {
    auto fn = As<HRESULT(STDAPICALLTYPE*)()>(Proc("DllCanUnloadNow"));
    return fn ? fn() : E_NOTIMPL;
}

HRESULT AddinLibrary::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    auto fn = As<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(Proc("DllGetClassObject"));
    return fn ? fn(clsid, iid, object) : E_NOTIMPL;
}

HRESULT AddinLibrary::Register() const {
    auto fn = As<HRESULT(STDAPICALLTYPE*)()>(Proc("DllRegisterServer"));
    return fn ? fn() : E_NOTIMPL;
}

HRESULT AddinLibrary::Unregister() const {
    auto fn = As<HRESULT(STDAPICALLTYPE*)()>(Proc("DllUnregisterServer"));
    return fn ? fn() : E_NOTIMPL;
}

HRESULT RegisterAddin() {
    AddinLibrary library;
    if (!library.Loaded()) return HRESULT_FROM_WIN32(GetLastError());
    return library.Register();
}

bool KeyExists(HKEY root, const std::wstring& path) {
    ks::UniqueHKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value) {
    ks::UniqueHKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ) return false;
    std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    buffer.resize(wcsnlen(buffer.c_str(), bytes / sizeof(wchar_t)));
    value = buffer;
    return true;
}

void DeleteTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

std::wstring GuidText(REFGUID guid) {
    wchar_t buffer[64];
    StringFromGUID2(guid, buffer, 64);
    return buffer;
}

}  // namespace kstest
