// Creates the add-in by its ProgID, as Outlook does, and prints what COM
// sees of it: the registered keys, the type library and the interfaces the
// object answers. Used by `make demo` to show a freshly registered DLL.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <cstdio>
#include <string>

#include "addin/host_interfaces.h"
#include "host/outlook/owners.h"

namespace {

// The add-in's type library and its callback interface, as the library
// registers them: what a host that knew the add-in would look for.
constexpr GUID kLibrary = {0xFECAE1F1, 0x387C, 0x4BCF, {0xB3, 0x06, 0xB5, 0xFB, 0x0D, 0xBA, 0x52, 0xB6}};
constexpr IID kRibbonCallback = {0xB199C953, 0xA6A4, 0x4231, {0xB0, 0x8C, 0xDF, 0x5A, 0xA5, 0x79, 0x43, 0x16}};

std::string Narrow(const wchar_t* text) {
    if (!text) return "(null)";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

void PrintKey(const wchar_t* path, const wchar_t* value = nullptr) {
    kshost::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
        std::printf("  HKCR\\%s: (absent)\n", Narrow(path).c_str());
        return;
    }
    wchar_t data[512] = L"";
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    LONG rc = RegQueryValueExW(key.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    std::printf("  HKCR\\%s%s%s = %s\n", Narrow(path).c_str(), value ? " : " : "", value ? Narrow(value).c_str() : "",
                rc == ERROR_SUCCESS ? ("\"" + Narrow(data) + "\"").c_str() : "(no value)");
}

void PrintInterface(IUnknown* object, REFIID iid, const char* name) {
    kshost::ComRef<IUnknown> answer;
    HRESULT hr = object->QueryInterface(iid, answer.PutVoid());
    std::printf("  %-22s %s\n", name, SUCCEEDED(hr) ? "yes" : "no");
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    std::printf("Registration keys:\n");
    PrintKey(L"KestrinSelectATL.Connect");
    PrintKey(L"KestrinSelectATL.Connect\\CLSID");
    PrintKey(L"KestrinSelectATL.Connect\\CurVer");
    PrintKey(L"CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}\\InprocServer32");
    PrintKey(L"CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}\\InprocServer32", L"ThreadingModel");
    PrintKey(L"CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}\\TypeLib");

    kshost::ComRef<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(kLibrary, 1, 0, 0, library.Put());
    std::printf("Type library {FECAE1F1-...} 1.0: %s\n", SUCCEEDED(hr) ? "registered" : "NOT registered");
    if (SUCCEEDED(hr)) {
        kshost::UniqueBstr name, doc;
        library->GetDocumentation(-1, name.Put(), doc.Put(), nullptr, nullptr);
        std::printf("  %s: \"%s\"\n", Narrow(name.Get()).c_str(), Narrow(doc.Get()).c_str());
    }

    CLSID clsid{};
    hr = CLSIDFromProgID(L"KestrinSelectATL.Connect", &clsid);
    if (FAILED(hr)) {
        std::printf("ProgID KestrinSelectATL.Connect not found: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    kshost::ComRef<IUnknown> connect;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, connect.PutVoid());
    if (FAILED(hr)) {
        std::printf("CoCreateInstance failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("Created the add-in by ProgID. Interfaces it answers:\n");
    PrintInterface(connect.Get(), ks::IID__IDTExtensibility2, "_IDTExtensibility2");
    PrintInterface(connect.Get(), ks::IID_IRibbonExtensibility, "IRibbonExtensibility");
    PrintInterface(connect.Get(), kRibbonCallback, "IRibbonCallback");
    PrintInterface(connect.Get(), IID_IDispatch, "IDispatch");
    PrintInterface(connect.Get(), IID_IClassFactory, "IClassFactory");

    kshost::ComRef<IDispatch> dispatch;
    connect->QueryInterface(IID_IDispatch, dispatch.PutVoid());
    for (const wchar_t* method : {L"onClickSelect", L"onClickUnselect", L"getImage"}) {
        LPOLESTR n = const_cast<LPOLESTR>(method);
        DISPID id = 0;
        hr = dispatch->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
        std::printf("  by name %-16s -> DISPID %ld (0x%08lx)\n", Narrow(method).c_str(), static_cast<long>(id),
                    static_cast<unsigned long>(hr));
    }
    dispatch.Reset();
    connect.Reset();
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
    return 0;
}
