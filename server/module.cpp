#include "server/module.h"

#include <new>

#include "server/owners.h"
#include "KestrinSelect_h.h"

namespace ks {

CAddInModule::CAddInModule() noexcept : m_libId(LIBID_KestrinSelectATLLib) {
    if (!InitializeCriticalSectionAndSpinCount(&m_lock, 0)) {
        m_initFailed = true;
    }
}

CAddInModule::~CAddInModule() {
    Term(true);
}

LONG CAddInModule::Lock() noexcept { return InterlockedIncrement(&m_lockCount); }
LONG CAddInModule::Unlock() noexcept { return InterlockedDecrement(&m_lockCount); }
LONG CAddInModule::GetLockCount() const noexcept { return m_lockCount; }

HRESULT CAddInModule::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept {
    if (!table) return E_POINTER;
    *table = nullptr;
    if (m_initFailed) return E_UNEXPECTED;
    CriticalSectionGuard guard(m_lock);
    if (!m_git) {
        HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&m_git));
        if (FAILED(hr)) return hr;
    }
    m_git->AddRef();
    *table = m_git;
    return S_OK;
}

HRESULT CAddInModule::AddCommonReplacements(AddReplacementFn add, void* context) noexcept {
    return add(context, L"APPID", L"");
}

HRESULT CAddInModule::AddTermFunc(TermFn fn, void* data) noexcept {
    if (m_initFailed) return E_UNEXPECTED;
    TermEntry* entry = new (std::nothrow) TermEntry{fn, data, nullptr};
    if (!entry) return E_OUTOFMEMORY;
    CriticalSectionGuard guard(m_lock);
    entry->next = m_termList;
    m_termList = entry;
    return S_OK;
}

void CAddInModule::Term(bool processEnding) noexcept {
    if (m_terminated) return;
    m_terminated = true;
    if (m_initFailed) return;

    // When the process is ending other DLLs may already be gone: calling into
    // them (Release on an oleaut32 object) is unsafe, so only free our memory.
    TermEntry* entry = m_termList;
    m_termList = nullptr;
    while (entry) {
        TermEntry* next = entry->next;
        if (!processEnding) entry->fn(entry->data);
        delete entry;
        entry = next;
    }
    if (m_git && !processEnding) m_git->Release();
    m_git = nullptr;
    DeleteCriticalSection(&m_lock);
}

CAddInModule& Module() noexcept {
    static CAddInModule module;
    return module;
}

}  // namespace ks
