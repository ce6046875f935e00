// The class object that creates CConnect. One cached instance per module;
// references beyond the cache's own keep the module locked.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace ks {

using CreateObjectFn = HRESULT (*)(REFIID iid, void** object);

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(CreateObjectFn create) noexcept : m_create(create) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~CClassFactory() = default;

    volatile LONG m_ref = 1;  // the module cache's reference
    CreateObjectFn m_create;
};

// DllGetClassObject's work: the cached class object for CLSID_Connect.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;
// Releases the cached class object (module unload).
void ReleaseClassObjects(bool processEnding) noexcept;

}  // namespace ks
