// Without its registered type library the add-in cannot be reached by name,
// while its vtable stays usable. A program of its own, because the type
// information, once loaded, is kept for the life of the process.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include "KestrinSelect_h.h"
#include "server/owners.h"
#include "support/addin_dll.h"

namespace {

HRESULT UnregisterOwnTypeLib() {
    return UnRegisterTypeLib(LIBID_KestrinSelectATLLib, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

}  // namespace

TEST(MissingTypeLibrary, CallsByNameFailWithTheLoadError) {
    ASSERT_EQ(UnregisterOwnTypeLib(), S_OK);
    ks::ComRef<ITypeLib> probe;
    ASSERT_TRUE(FAILED(LoadRegTypeLib(LIBID_KestrinSelectATLLib, 1, 0, 0, probe.Put())));

    ks::ComRef<IDispatch> dispatch;
    ASSERT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.PutVoid()),
              S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"getImage");
    DISPID id = 0;
    const HRESULT byName = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    EXPECT_EQ(byName, TYPE_E_LIBNOTREGISTERED);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              byName);
    ks::ComRef<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), byName);

    // The vtable does not need the type library.
    ks::ComRef<IRibbonCallback> callback;
    ASSERT_EQ(dispatch->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
    ks::UniqueBstr imageName(SysAllocString(L"KestrinSelectImage"));
    ks::ComRef<IPictureDisp> picture;
    EXPECT_EQ(callback->getImage(imageName.Get(), picture.Put()), S_OK);

    ASSERT_EQ(kstest::RegisterAddin(), S_OK);
}
