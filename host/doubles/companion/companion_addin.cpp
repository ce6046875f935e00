// A second COM add-in for the stand-in Outlook, of the kind KestrinSelect
// shares Outlook with (a telephony add-in, say): it connects, puts a group
// "Call Log" with one button on the same compose tab, and says so when its
// button is pressed. It knows nothing of KestrinSelect; the stand-in hosts
// the two alike.
//
// ProgID "StandInCompanion.Connect"; regsvr32 registers it.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <new>
#include <string>

#include "addin/host_interfaces.h"

namespace {

// {6E1C2B7A-5D43-4F0E-9B2A-3C8D7F1E4A20}
constexpr CLSID kClsid = {0x6E1C2B7A, 0x5D43, 0x4F0E, {0x9B, 0x2A, 0x3C, 0x8D, 0x7F, 0x1E, 0x4A, 0x20}};
constexpr wchar_t kClsidText[] = L"{6E1C2B7A-5D43-4F0E-9B2A-3C8D7F1E4A20}";
constexpr wchar_t kProgId[] = L"StandInCompanion.Connect";

constexpr wchar_t kComposeMarkup[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\"><ribbon><tabs>"
    L"<tab idMso=\"TabNewMailMessage\"><group id=\"CallLogGroup\" label=\"Call Log\">"
    L"<button id=\"LogCallButton\" label=\"Log Call\" size=\"large\" onAction=\"onLogCall\"/>"
    L"</group></tab></tabs></ribbon></customUI>";

constexpr DISPID kLogCall = 1;

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

void Say(const char* text) {
    std::printf("[companion] %s\n", text);
    std::fflush(stdout);
}

class Companion final : public _IDTExtensibility2, public IRibbonExtensibility {
public:
    Companion() { InterlockedIncrement(&g_objects); }
    ~Companion() { InterlockedDecrement(&g_objects); }

    // IUnknown, for both interfaces.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__IDTExtensibility2)) {
            *object = static_cast<_IDTExtensibility2*>(this);
        } else if (IsEqualIID(iid, ks::IID_IRibbonExtensibility)) {
            *object = static_cast<IRibbonExtensibility*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_ref; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG count = --m_ref;
        if (count == 0) delete this;
        return count;
    }

    // IDispatch: the ribbon callback by name; no type information.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        if (names[0] && lstrcmpiW(names[0], L"onLogCall") == 0) {
            ids[0] = kLogCall;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (result) VariantInit(result);
        if (id != kLogCall) return DISP_E_MEMBERNOTFOUND;
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH) return DISP_E_BADPARAMCOUNT;
        Say("\"Log Call\" pressed");
        return S_OK;
    }

    // _IDTExtensibility2
    STDMETHODIMP OnConnection(IDispatch*, long, IDispatch*, SAFEARRAY**) override {
        Say("OnConnection");
        return S_OK;
    }
    STDMETHODIMP OnDisconnection(long mode, SAFEARRAY**) override {
        std::printf("[companion] OnDisconnection(%ld)\n", mode);
        std::fflush(stdout);
        return S_OK;
    }
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY**) override {
        Say("OnAddInsUpdate");
        return S_OK;
    }
    STDMETHODIMP OnStartupComplete(SAFEARRAY**) override {
        Say("OnStartupComplete");
        return S_OK;
    }
    STDMETHODIMP OnBeginShutdown(SAFEARRAY**) override { return S_OK; }

    // IRibbonExtensibility: a group on the compose tab; nothing elsewhere.
    STDMETHODIMP GetCustomUI(BSTR ribbonId, BSTR* markup) override {
        if (!markup) return E_POINTER;
        const bool compose = ribbonId && lstrcmpW(ribbonId, L"Microsoft.Outlook.Mail.Compose") == 0;
        *markup = SysAllocString(compose ? kComposeMarkup : L"");
        return *markup ? S_OK : E_OUTOFMEMORY;
    }

private:
    ULONG m_ref = 0;
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // a static object
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Companion* companion = new (std::nothrow) Companion();
        if (!companion) return E_OUTOFMEMORY;
        companion->AddRef();
        const HRESULT hr = companion->QueryInterface(iid, object);
        companion->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&g_locks);
        } else {
            InterlockedDecrement(&g_locks);
        }
        return S_OK;
    }
};

Factory g_factory;

LONG SetText(const wchar_t* path, const wchar_t* name, const wchar_t* value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
    return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(g_module, path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    const std::wstring server = clsidKey + L"\\InprocServer32";
    const std::wstring progIdKey = std::wstring(kProgId) + L"\\CLSID";
    LONG rc = SetText(clsidKey.c_str(), nullptr, L"Stand-in companion add-in");
    if (rc == ERROR_SUCCESS) rc = SetText(server.c_str(), nullptr, path);
    if (rc == ERROR_SUCCESS) rc = SetText(server.c_str(), L"ThreadingModel", L"Apartment");
    if (rc == ERROR_SUCCESS) rc = SetText(progIdKey.c_str(), nullptr, kClsidText);
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

STDAPI DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}
