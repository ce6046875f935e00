#include "server/class_factory.h"

#include <atomic>
#include <new>

#include "addin/connect.h"
#include "server/module.h"
#include "server/owners.h"
#include "KestrinSelect_h.h"

namespace ks {
namespace {

// Other threads may ask for the class object: the pointer is published with
// release and read with acquire, so that a thread that sees it also sees the
// finished object behind it.
std::atomic<CClassFactory*> g_connectFactory{nullptr};

}  // namespace

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
    LONG count = InterlockedIncrement(&m_ref);
    if (count == 2) Module().Lock();
    return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
    LONG count = InterlockedDecrement(&m_ref);
    if (count == 1) {
        Module().Unlock();
    } else if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return m_create(iid, object);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
    if (lock) {
        Module().Lock();
    } else {
        Module().Unlock();
    }
    return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_Connect)) return CLASS_E_CLASSNOTAVAILABLE;

    CClassFactory* factory = g_connectFactory.load(std::memory_order_acquire);
    if (!factory) {
        CriticalSectionGuard guard(Module().ModuleLock());
        factory = g_connectFactory.load(std::memory_order_relaxed);
        if (!factory) {
            factory = new (std::nothrow) CClassFactory(&CConnect::CreateInstance);
            if (!factory) return E_OUTOFMEMORY;
            g_connectFactory.store(factory, std::memory_order_release);
        }
    }
    return factory->QueryInterface(iid, object);
}

void ReleaseClassObjects(bool processEnding) noexcept {
    CClassFactory* factory = g_connectFactory.exchange(nullptr, std::memory_order_acq_rel);
    // At process exit the memory goes with the process; a Release could run
    // into a lock count already torn down.
    if (factory && !processEnding) factory->Release();
}

}  // namespace ks
