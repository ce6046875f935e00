#include "addin/connect.h"

namespace ks {

STDMETHODIMP CConnect::GetCustomUI(BSTR, BSTR* markup) {
    if (!markup) return E_POINTER;
    *markup = SysAllocString(L"");
    return *markup ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CConnect::getImage(BSTR, IPictureDisp**) {
    return S_OK;
}

}  // namespace ks
