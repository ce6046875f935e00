#include "host/outlook/addin_host.h"

#include <new>

namespace standin {
namespace {

const wchar_t kAddinList[] = L"Software\\Microsoft\\Office\\Outlook\\Addins";

std::wstring ReadText(HKEY key, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"";
    }
    buffer[bytes / sizeof(wchar_t)] = L'\0';
    return buffer;
}

void ReadHive(HKEY hive, bool currentUser, std::vector<AddinEntry>& entries) {
    ks::UniqueHKey list;
    if (RegOpenKeyExW(hive, kAddinList, 0, KEY_READ, list.Put()) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ks::UniqueHKey key;
        if (RegOpenKeyExW(list.Get(), name, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) continue;
        AddinEntry entry;
        entry.progId = name;
        entry.fromCurrentUser = currentUser;
        entry.friendlyName = ReadText(key.Get(), L"FriendlyName");
        entry.description = ReadText(key.Get(), L"Description");
        DWORD behavior = 0, bytes = sizeof(behavior), type = 0;
        if (RegQueryValueExW(key.Get(), L"LoadBehavior", nullptr, &type, reinterpret_cast<BYTE*>(&behavior), &bytes) ==
                ERROR_SUCCESS && type == REG_DWORD) {
            entry.loadBehavior = behavior;
        }
        bool replaced = false;
        for (AddinEntry& existing : entries) {
            if (lstrcmpiW(existing.progId.c_str(), entry.progId.c_str()) == 0) {
                if (currentUser) existing = entry;
                replaced = true;
            }
        }
        if (!replaced) entries.push_back(entry);
    }
}

// A COMAddIn object: answers ProgId, Description and Connect by name.
class ComAddIn final : public IDispatch {
public:
    explicit ComAddIn(const AddinEntry& entry) : m_entry(entry) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_ref)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&m_ref);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            if (lstrcmpiW(names[i], L"ProgId") == 0) ids[i] = 1;
            else if (lstrcmpiW(names[i], L"Description") == 0) ids[i] = 2;
            else if (lstrcmpiW(names[i], L"Connect") == 0) ids[i] = 3;
            else { ids[i] = DISPID_UNKNOWN; hr = DISP_E_UNKNOWNNAME; }
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        VariantInit(result);
        switch (id) {
        case 1: result->vt = VT_BSTR; result->bstrVal = SysAllocString(m_entry.progId.c_str()); return S_OK;
        case 2: result->vt = VT_BSTR; result->bstrVal = SysAllocString(m_entry.description.c_str()); return S_OK;
        case 3: result->vt = VT_BOOL; result->boolVal = VARIANT_TRUE; return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ~ComAddIn() = default;
    volatile LONG m_ref = 1;
    AddinEntry m_entry;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

std::vector<AddinEntry> ReadAddinList() {
    std::vector<AddinEntry> entries;
    ReadHive(HKEY_LOCAL_MACHINE, false, entries);
    ReadHive(HKEY_CURRENT_USER, true, entries);
    return entries;
}

HRESULT CreateComAddInObject(const AddinEntry& entry, ks::ComRef<IDispatch>& object) {
    try {
        object = ks::ComRef<IDispatch>::Attach(new ComAddIn(entry));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT LoadAddin(const AddinEntry& entry, IDispatch* application, LoadedAddin& loaded) {
    loaded = LoadedAddin{};
    loaded.entry = entry;
    HRESULT hr = CLSIDFromProgID(entry.progId.c_str(), &loaded.clsid);
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(loaded.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, loaded.object.PutVoid());
    if (FAILED(hr)) return hr;
    hr = loaded.object->QueryInterface(ks::IID__IDTExtensibility2, loaded.extensibility.PutVoid());
    if (FAILED(hr)) return hr;
    hr = CreateComAddInObject(entry, loaded.instance);
    if (FAILED(hr)) return hr;

    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    const long ext_cm_Startup = 1;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    loaded.connectResult = loaded.extensibility->OnConnection(application, ext_cm_Startup, loaded.instance.Get(), &custom);
    QueryPerformanceCounter(&end);
    loaded.connectMilliseconds = Milliseconds(start, end);
    if (SUCCEEDED(loaded.connectResult)) loaded.extensibility->OnStartupComplete(&custom);
    if (custom) SafeArrayDestroy(custom);
    return loaded.connectResult;
}

void UnloadAddin(LoadedAddin& loaded) {
    if (loaded.extensibility) {
        SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
        const long ext_dm_HostShutdown = 0;
        if (SUCCEEDED(loaded.connectResult)) loaded.extensibility->OnBeginShutdown(&custom);
        loaded.extensibility->OnDisconnection(ext_dm_HostShutdown, &custom);
        if (custom) SafeArrayDestroy(custom);
    }
    loaded.extensibility.Reset();
    loaded.object.Reset();
    loaded.instance.Reset();
}

}  // namespace standin
