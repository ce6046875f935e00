#include "support/import_counter.h"

#include <cstring>

namespace kstest {
namespace {

using LoadBitmapAFn = HBITMAP(WINAPI*)(HINSTANCE, LPCSTR);

LoadBitmapAFn g_realLoadBitmapA = nullptr;
int g_loadBitmapCalls = 0;

HBITMAP WINAPI CountingLoadBitmapA(HINSTANCE instance, LPCSTR name) {
    ++g_loadBitmapCalls;
    return g_realLoadBitmapA(instance, name);
}

// The import-address-table slot of dll!function in module, or null.
void** FindImportSlot(HMODULE module, const char* dll, const char* function) {
    auto base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), dll) != 0) continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (desc->OriginalFirstThunk ? desc->OriginalFirstThunk
                                                                                           : desc->FirstThunk));
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return;
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

}  // namespace

ImportCounter::ImportCounter(HMODULE module, const char* dll, const char* function) {
    if (!module || std::strcmp(function, "LoadBitmapA") != 0) return;
    m_slot = FindImportSlot(module, dll, function);
    if (!m_slot) return;
    m_original = *m_slot;
    g_realLoadBitmapA = reinterpret_cast<LoadBitmapAFn>(m_original);
    g_loadBitmapCalls = 0;
    WriteSlot(m_slot, reinterpret_cast<void*>(&CountingLoadBitmapA));
}

ImportCounter::~ImportCounter() {
    if (m_slot) WriteSlot(m_slot, m_original);
}

int ImportCounter::Calls() const { return g_loadBitmapCalls; }
void ImportCounter::Reset() { g_loadBitmapCalls = 0; }

}  // namespace kstest
