#include "host/outlook/type_libraries.h"

#include <oleauto.h>
#include <string>

#include "host/outlook/owners.h"

namespace kshost {

namespace {

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    size_t slash = dir.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
}

HRESULT Register(const wchar_t* file) {
    ComRef<ITypeLib> library;
    return LoadTypeLibEx((ProgramDirectory() + file).c_str(), REGKIND_REGISTER, library.Put());
}

}  // namespace

HRESULT RegisterHostTypeLibraries() {
    static const HRESULT result = [] {
        HRESULT hr = Register(L"AddInDesignerObjects.tlb");
        HRESULT office = Register(L"OfficeRibbon.tlb");
        return FAILED(hr) ? hr : office;
    }();
    return result;
}

}  // namespace kshost
