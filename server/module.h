// The module object: one per loaded DLL. Counts what keeps the DLL loaded,
// guards the creation of shared objects, and runs clean-up at unload.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace ks {

class CAddInModule {
public:
    CAddInModule() noexcept;
    virtual ~CAddInModule();

    CAddInModule(const CAddInModule&) = delete;
    CAddInModule& operator=(const CAddInModule&) = delete;

    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() const noexcept;
    // Created on first use; kept for parity with the module contract, the
    // add-in itself does not marshal anything.
    virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept;
    // Adds the replacements every registry script may use ("APPID").
    using AddReplacementFn = HRESULT (*)(void* context, const wchar_t* name, const wchar_t* value);
    virtual HRESULT AddCommonReplacements(AddReplacementFn add, void* context) noexcept;

    bool InitFailed() const noexcept { return m_initFailed; }
    CRITICAL_SECTION& ModuleLock() noexcept { return m_lock; }
    const GUID& LibId() const noexcept { return m_libId; }

    HINSTANCE Instance() const noexcept { return m_instance; }
    void SetInstance(HINSTANCE instance) noexcept { m_instance = instance; }

    // Registers a callback that runs once when the module is torn down.
    using TermFn = void (*)(void* data);
    HRESULT AddTermFunc(TermFn fn, void* data) noexcept;

    // Process detach: releases cached objects and runs the termination list.
    // processEnding is true when the whole process is exiting, in which case
    // no other DLL may be called.
    void Term(bool processEnding) noexcept;

private:
    struct TermEntry {
        TermFn fn;
        void* data;
        TermEntry* next;
    };

    volatile LONG m_lockCount = 0;
    CRITICAL_SECTION m_lock{};
    bool m_initFailed = false;
    bool m_terminated = false;
    GUID m_libId;
    HINSTANCE m_instance = nullptr;
    TermEntry* m_termList = nullptr;
    IGlobalInterfaceTable* m_git = nullptr;
};

CAddInModule& Module() noexcept;

}  // namespace ks
