#include "server/registration.h"

#include <new>
#include <string>

#include "resources/resource_ids.h"
#include "server/module.h"
#include "server/owners.h"
#include "server/regscript_apply.h"
#include "server/regscript_parse.h"

namespace ks {
namespace {

// Switches the thread to the system locale for the scope, so that the text
// conversions of registration do not depend on the calling user's settings.
class ThreadLocaleScope {
public:
    ThreadLocaleScope() noexcept : m_saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ThreadLocaleScope(const ThreadLocaleScope&) = delete;
    ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;
    ~ThreadLocaleScope() { SetThreadLocale(m_saved); }

private:
    LCID m_saved;
};

// The module's full file name, as the system names the loaded DLL: wide,
// since a folder's name need not fit the ANSI code page, and longer than
// MAX_PATH where the system allows it.
HRESULT ModulePath(std::wstring& path) {
    for (DWORD size = MAX_PATH;; size *= 2) {
        path.resize(size);
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetModuleFileNameW(Module().Instance(), &path[0], size);
        if (length == 0) return LastErrorResult();
        if (length < size) {
            path.resize(length);
            return S_OK;
        }
        if (size >= 32768) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
}

HRESULT LoadScriptText(UINT resourceId, std::wstring& text) {
    HMODULE module = Module().Instance();
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    if (!info) return LastErrorResult();
    DWORD size = SizeofResource(module, info);
    HGLOBAL data = LoadResource(module, info);
    if (!data) return LastErrorResult();
    const char* bytes = static_cast<const char*>(LockResource(data));
    if (!bytes) return E_FAIL;
    return AnsiToWide(bytes, static_cast<int>(size), text) ? S_OK : LastErrorResult();
}

HRESULT AddReplacement(void* context, const wchar_t* name, const wchar_t* value) noexcept {
    try {
        static_cast<regscript::Replacements*>(context)->emplace_back(name, value);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

std::wstring DoubleQuotes(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out.push_back(c);
        if (c == L'\'') out.push_back(L'\'');
    }
    return out;
}

HRESULT RunScript(UINT resourceId, bool registering) {
    std::wstring modulePath;
    HRESULT hr = ModulePath(modulePath);
    if (FAILED(hr)) return hr;

    regscript::Replacements table;
    hr = Module().AddCommonReplacements(&AddReplacement, &table);
    if (FAILED(hr)) return hr;
    table.emplace_back(L"Module", DoubleQuotes(modulePath));
    table.emplace_back(L"Module_Raw", modulePath);

    std::wstring raw;
    hr = LoadScriptText(resourceId, raw);
    if (FAILED(hr)) return hr;
    std::wstring text;
    if (!regscript::ExpandReplacements(raw, table, text)) return DISP_E_EXCEPTION;
    regscript::Script script;
    if (!regscript::Parse(text, script)) return DISP_E_EXCEPTION;
    return registering ? regscript::Register(script) : regscript::Unregister(script);
}

// Loads the type library from the module's own file, or failing that from the
// .tlb file beside it; `loadedFrom` receives the path that worked.
HRESULT LoadModuleTypeLib(ComRef<ITypeLib>& library, std::wstring& loadedFrom) {
    HRESULT hr = ModulePath(loadedFrom);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLibEx(loadedFrom.c_str(), REGKIND_NONE, library.Put());
    if (SUCCEEDED(hr)) return hr;
    size_t dot = loadedFrom.find_last_of(L'.');
    size_t slash = loadedFrom.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) dot = loadedFrom.size();
    loadedFrom.replace(dot, std::wstring::npos, L".tlb");
    return LoadTypeLibEx(loadedFrom.c_str(), REGKIND_NONE, library.Put());
}

HRESULT RegisterTypeLibrary() {
    ComRef<ITypeLib> library;
    std::wstring path;
    HRESULT hr = LoadModuleTypeLib(library, path);
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(library.Get(), &path[0], nullptr);
}

HRESULT UnregisterTypeLibrary() {
    ComRef<ITypeLib> library;
    std::wstring path;
    HRESULT hr = LoadModuleTypeLib(library, path);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    library->ReleaseTLibAttr(attr);
    return hr;
}

}  // namespace

HRESULT RunRegistryScript(UINT resourceId, bool registering) noexcept {
    try {
        return RunScript(resourceId, registering);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RegisterServer() noexcept {
    ThreadLocaleScope locale;
    HRESULT hr = RunRegistryScript(IDR_CONNECT, true);
    if (FAILED(hr)) return hr;
    try {
        hr = RegisterTypeLibrary();
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    // Without its type library the class cannot answer the host's calls by
    // name: take its keys out again rather than leave a half registration.
    if (FAILED(hr)) RunRegistryScript(IDR_CONNECT, false);
    return hr;
}

HRESULT UnregisterServer() noexcept {
    ThreadLocaleScope locale;
    HRESULT hr = RunRegistryScript(IDR_CONNECT, false);
    if (FAILED(hr)) return hr;
    try {
        hr = UnregisterTypeLibrary();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace ks
