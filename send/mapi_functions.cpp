#include "send/mapi_functions.h"

namespace ks {

namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* const* names) noexcept {
    for (; *names; ++names) {
        if (FARPROC proc = GetProcAddress(module, *names)) {
            return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
        }
    }
    return nullptr;
}

#if defined(_WIN64)
// Microsoft's stub exports the plain names on x64; Wine's exports only the
// decorated ones, so try both.
const char* const kSetOnePropNames[] = {"HrSetOneProp", "HrSetOneProp@8", nullptr};
const char* const kFreeBufferNames[] = {"MAPIFreeBuffer", "MAPIFreeBuffer@4", nullptr};
#else
const char* const kSetOnePropNames[] = {"HrSetOneProp@8", nullptr};
const char* const kFreeBufferNames[] = {"MAPIFreeBuffer", "MAPIFreeBuffer@4", nullptr};
#endif

}  // namespace

// From the system folder only: a mapi32.dll planted in the application's
// folder (or the current one) would otherwise be found first.
MapiFunctions::MapiFunctions() noexcept
    : m_module(LoadLibraryExW(L"mapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (!m_module) return;
    m_setOneProp = Lookup<SetOnePropFn>(m_module.Get(), kSetOnePropNames);
    m_freeBuffer = Lookup<FreeBufferFn>(m_module.Get(), kFreeBufferNames);
}

HRESULT MapiFunctions::SetOneProp(IMAPIProp* object, SPropValue* value) const noexcept {
    return m_setOneProp ? m_setOneProp(object, value) : E_NOTIMPL;
}

void MapiFunctions::FreeBuffer(void* buffer) const noexcept {
    if (m_freeBuffer && buffer) m_freeBuffer(buffer);
}

}  // namespace ks
