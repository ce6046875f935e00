#include "host/outlook/addin_list.h"

#include <objbase.h>

#include <new>

namespace kshost {
namespace {

const wchar_t kAddinList[] = L"Software\\Microsoft\\Office\\Outlook\\Addins";

// A string value, or false when the key does not hold one.
bool ReadText(HKEY key, const wchar_t* name, std::wstring& text) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    buffer[bytes / sizeof(wchar_t)] = L'\0';
    text = buffer;
    return true;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD bytes = sizeof(value), type = 0;
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

AddinEntry* Find(std::vector<AddinEntry>& entries, const wchar_t* progId) {
    for (AddinEntry& entry : entries)
        if (lstrcmpiW(entry.progId.c_str(), progId) == 0) return &entry;
    return nullptr;
}

void ReadHive(HKEY hive, bool currentUser, std::vector<AddinEntry>& entries) {
    UniqueHKey list;
    if (RegOpenKeyExW(hive, kAddinList, 0, KEY_READ, list.Put()) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        UniqueHKey key;
        if (RegOpenKeyExW(list.Get(), name, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) continue;
        AddinEntry* entry = Find(entries, name);
        if (!entry) {
            entries.push_back(AddinEntry{name});
            entry = &entries.back();
        }
        ReadText(key.Get(), L"FriendlyName", entry->friendlyName);
        ReadText(key.Get(), L"Description", entry->description);
        if (ReadDword(key.Get(), L"LoadBehavior", entry->loadBehavior)) entry->fromCurrentUser = currentUser;
    }
}

}  // namespace

std::vector<AddinEntry> ReadAddinList() {
    std::vector<AddinEntry> entries;
    ReadHive(HKEY_LOCAL_MACHINE, false, entries);
    ReadHive(HKEY_CURRENT_USER, true, entries);
    return entries;
}

HMODULE LoadedModuleOf(const std::wstring& progId) {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) return nullptr;
    wchar_t guid[40] = {};
    StringFromGUID2(clsid, guid, 40);
    UniqueHKey server;
    const std::wstring path = std::wstring(L"CLSID\\") + guid + L"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, server.Put()) != ERROR_SUCCESS) return nullptr;
    std::wstring module;
    if (!ReadText(server.Get(), nullptr, module)) return nullptr;
    return GetModuleHandleW(module.c_str());
}

}  // namespace kshost
