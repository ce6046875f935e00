// The three Extended MAPI functions the header step needs, found by name in
// mapi32.dll at run time. The 32-bit MinGW import library names HrSetOneProp
// without its stdcall decoration, which mapi32.dll does not export; looking
// the names up here works for both builds.
#pragma once

#include <windows.h>
#include <mapidefs.h>

#include "server/owners.h"

namespace ks {

class MapiFunctions {
public:
    // Loads mapi32.dll for the lifetime of this object.
    MapiFunctions() noexcept;
    MapiFunctions(const MapiFunctions&) = delete;
    MapiFunctions& operator=(const MapiFunctions&) = delete;

    // Both functions were found.
    bool Ready() const noexcept { return m_setOneProp && m_freeBuffer; }

    HRESULT SetOneProp(IMAPIProp* object, SPropValue* value) const noexcept;
    void FreeBuffer(void* buffer) const noexcept;

private:
    using SetOnePropFn = HRESULT(STDAPICALLTYPE*)(IMAPIProp*, SPropValue*);
    using FreeBufferFn = ULONG(STDAPICALLTYPE*)(void*);

    UniqueLibrary m_module;
    SetOnePropFn m_setOneProp = nullptr;
    FreeBufferFn m_freeBuffer = nullptr;
};

// A buffer that MAPI allocated for the caller, freed with MAPIFreeBuffer.
template <typename T>
class MapiBuffer {
public:
    explicit MapiBuffer(const MapiFunctions& mapi) noexcept : m_mapi(mapi) {}
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    ~MapiBuffer() { if (m_p) m_mapi.FreeBuffer(m_p); }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T** Put() noexcept {
        if (m_p) m_mapi.FreeBuffer(m_p);
        m_p = nullptr;
        return &m_p;
    }

private:
    const MapiFunctions& m_mapi;
    T* m_p = nullptr;
};

}  // namespace ks
