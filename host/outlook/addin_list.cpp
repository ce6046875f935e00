#include "host/outlook/addin_list.h"

#include <new>

namespace standin {
namespace {

const wchar_t kAddinList[] = L"Software\\Microsoft\\Office\\Outlook\\Addins";

std::wstring ReadText(HKEY key, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"";
    }
    buffer[bytes / sizeof(wchar_t)] = L'\0';
    return buffer;
}

void ReadHive(HKEY hive, bool currentUser, std::vector<AddinEntry>& entries) {
    ks::UniqueHKey list;
    if (RegOpenKeyExW(hive, kAddinList, 0, KEY_READ, list.Put()) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ks::UniqueHKey key;
        if (RegOpenKeyExW(list.Get(), name, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) continue;
        AddinEntry entry;
        entry.progId = name;
        entry.fromCurrentUser = currentUser;
        entry.friendlyName = ReadText(key.Get(), L"FriendlyName");
        entry.description = ReadText(key.Get(), L"Description");
        DWORD behavior = 0, bytes = sizeof(behavior), type = 0;
        if (RegQueryValueExW(key.Get(), L"LoadBehavior", nullptr, &type, reinterpret_cast<BYTE*>(&behavior), &bytes) ==
                ERROR_SUCCESS && type == REG_DWORD) {
            entry.loadBehavior = behavior;
        }
        bool replaced = false;
        for (AddinEntry& existing : entries) {
            if (lstrcmpiW(existing.progId.c_str(), entry.progId.c_str()) == 0) {
                if (currentUser) existing = entry;
                replaced = true;
            }
        }
        if (!replaced) entries.push_back(entry);
    }
}

}  // namespace

std::vector<AddinEntry> ReadAddinList() {
    std::vector<AddinEntry> entries;
    ReadHive(HKEY_LOCAL_MACHINE, false, entries);
    ReadHive(HKEY_CURRENT_USER, true, entries);
    return entries;
}

}  // namespace standin
