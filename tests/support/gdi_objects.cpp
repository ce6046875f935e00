#include "support/gdi_objects.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>

namespace kstest {

namespace {

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Wine's table entry (include/ntgdi.h): the same 24 bytes on both bitnesses.
struct WineGdiHandleEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;  // 0 for a free entry
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(WineGdiHandleEntry) == 24, "layout of Wine's GDI handle entry");

constexpr size_t kWineGdiHandleCount = 0x10000;

const WineGdiHandleEntry* WineGdiHandleTable() {
    // PEB.GdiSharedHandleTable: offset 0xF8 in a 64-bit PEB, 0x94 in a 32-bit one.
#ifdef _WIN64
    const size_t offset = 0xF8;
#else
    const size_t offset = 0x94;
#endif
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) {
        return nullptr;
    }
    const BYTE* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
    const void* table = nullptr;
    std::memcpy(&table, peb + offset, sizeof(table));
    return static_cast<const WineGdiHandleEntry*>(table);
}

}  // namespace

DWORD GdiObjectCount() {
    if (!RunningUnderWine()) return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const WineGdiHandleEntry* table = WineGdiHandleTable();
    if (!table) return 0;
    DWORD count = 0;
    for (size_t i = 0; i < kWineGdiHandleCount; ++i) {
        if (table[i].type != 0) ++count;
    }
    return count;
}

BITMAPINFO TopDownBgraInfo(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace kstest
