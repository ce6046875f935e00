// A mapi32.dll of no use to anyone, planted beside a program to show which
// mapi32.dll the add-in loads: every call fails.
#include <windows.h>

#define PLANTED extern "C" __declspec(dllexport)

PLANTED HRESULT WINAPI HrSetOneProp(void*, void*) { return E_ACCESSDENIED; }
PLANTED ULONG WINAPI MAPIFreeBuffer(void*) { return 0; }
PLANTED HRESULT WINAPI MAPIAllocateBuffer(ULONG, void** buffer) {
    if (buffer) *buffer = nullptr;
    return E_OUTOFMEMORY;
}
PLANTED HRESULT WINAPI MAPIAllocateMore(ULONG, void*, void** buffer) {
    if (buffer) *buffer = nullptr;
    return E_OUTOFMEMORY;
}
