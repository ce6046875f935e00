#include "server/regscript_apply.h"

#include "server/owners.h"

namespace ks::regscript {
namespace {

HKEY RootHandle(Root root) {
    switch (root) {
    case Root::ClassesRoot: return HKEY_CLASSES_ROOT;
    case Root::CurrentUser: return HKEY_CURRENT_USER;
    case Root::LocalMachine: return HKEY_LOCAL_MACHINE;
    case Root::Users: return HKEY_USERS;
    case Root::PerformanceData: return HKEY_PERFORMANCE_DATA;
    case Root::DynData: return HKEY_DYN_DATA;
    case Root::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CLASSES_ROOT;
}

bool IsAbsent(LONG error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

LONG SetValue(HKEY key, const Value& value) {
    const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.type == ValueType::Dword) {
        DWORD number = static_cast<DWORD>(value.number);
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    }
    const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes);
}

HRESULT RegisterKey(HKEY parent, const Key& key) {
    if (key.forceRemove && !IsProtectedKeyName(key.name)) {
        LONG error = RegDeleteTreeW(parent, key.name.c_str());
        if (error == ERROR_SUCCESS || IsAbsent(error)) {
            RegDeleteKeyW(parent, key.name.c_str());
        }
    }
    UniqueHKey handle;
    LONG error = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                 handle.Put(), nullptr);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    if (key.hasDefault) {
        error = SetValue(handle.Get(), key.defaultValue);
        if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    }
    for (const Value& value : key.values) {
        error = SetValue(handle.Get(), value);
        if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    }
    for (const Key& subkey : key.subkeys) {
        HRESULT hr = RegisterKey(handle.Get(), subkey);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

DWORD SubkeyCount(HKEY key) {
    DWORD count = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return 1;  // unknown: keep the key
    }
    return count;
}

HRESULT UnregisterKey(HKEY parent, const Key& key) {
    UniqueHKey handle;
    LONG error = RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, handle.Put());
    if (IsAbsent(error)) return S_OK;  // skipped with everything below it
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);

    for (const Value& value : key.values) {
        error = RegDeleteValueW(handle.Get(), value.name.c_str());
        if (error != ERROR_SUCCESS && !IsAbsent(error)) return HRESULT_FROM_WIN32(error);
    }
    for (const Key& subkey : key.subkeys) {
        HRESULT hr = UnregisterKey(handle.Get(), subkey);
        if (FAILED(hr)) return hr;
    }
    const bool empty = SubkeyCount(handle.Get()) == 0;
    handle.Reset();
    if (key.noRemove || !empty) return S_OK;
    error = RegDeleteKeyW(parent, key.name.c_str());
    if (error != ERROR_SUCCESS && !IsAbsent(error)) return HRESULT_FROM_WIN32(error);
    return S_OK;
}

// Removes a partly written block: each named key goes with all its subkeys,
// except protected and NoRemove keys, whose named contents are removed
// instead. Errors are passed over.
void RollBackKey(HKEY parent, const Key& key) {
    if (!key.noRemove && !IsProtectedKeyName(key.name)) {
        RegDeleteTreeW(parent, key.name.c_str());
        RegDeleteKeyW(parent, key.name.c_str());
        return;
    }
    UniqueHKey handle;
    if (RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, handle.Put()) != ERROR_SUCCESS) return;
    for (const Value& value : key.values) RegDeleteValueW(handle.Get(), value.name.c_str());
    for (const Key& subkey : key.subkeys) RollBackKey(handle.Get(), subkey);
}

}  // namespace

HRESULT Register(const Script& script) noexcept {
    for (const Block& block : script.blocks) {
        HKEY root = RootHandle(block.root);
        for (const Key& key : block.keys) {
            HRESULT hr = RegisterKey(root, key);
            if (FAILED(hr)) {
                for (const Key& written : block.keys) RollBackKey(root, written);
                return hr;
            }
        }
    }
    return S_OK;
}

HRESULT Unregister(const Script& script) noexcept {
    for (const Block& block : script.blocks) {
        HKEY root = RootHandle(block.root);
        for (const Key& key : block.keys) {
            HRESULT hr = UnregisterKey(root, key);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace ks::regscript
