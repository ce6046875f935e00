// The stand-in host's own behaviour where the add-in's tests rely on it:
// named properties set through Wine's real mapi32, command-bar positions and
// temporary controls, Click events as Office raises them, injected failures.
#include <windows.h>
#include <mapidefs.h>
#include <mapicode.h>
#include <mapitags.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include "host/outlook/addin_site.h"
#include "server/owners.h"

namespace {

using SetOneProp = HRESULT(WINAPI*)(LPMAPIPROP, LPSPropValue);
using FreeBuffer = ULONG(WINAPI*)(LPVOID);

FARPROC Mapi32(const char* plain, const char* decorated) {
    HMODULE module = LoadLibraryW(L"mapi32.dll");
    FARPROC proc = module ? GetProcAddress(module, plain) : nullptr;
    return proc ? proc : (module ? GetProcAddress(module, decorated) : nullptr);
}

ULONG MapName(IMAPIProp* prop, const wchar_t* name, ULONG flags, HRESULT* result = nullptr) {
    MAPINAMEID id = {};
    GUID set = kshost::PS_InternetHeaders;
    id.lpguid = &set;
    id.ulKind = MNID_STRING;
    id.Kind.lpwstrName = const_cast<LPWSTR>(name);
    LPMAPINAMEID names[1] = {&id};
    LPSPropTagArray tags = nullptr;
    HRESULT hr = prop->GetIDsFromNames(1, names, flags, &tags);
    if (result) *result = hr;
    ULONG tag = tags && tags->cValues == 1 ? tags->aulPropTag[0] : 0;
    reinterpret_cast<FreeBuffer>(reinterpret_cast<void (*)()>(Mapi32("MAPIFreeBuffer", "MAPIFreeBuffer@4")))(tags);
    return tag;
}

TEST(MapiMessage, NamedHeaderSetThroughWineHrSetOnePropReadsBack) {
    kshost::Outlook outlook;
    kshost::MailItem& mail = outlook.Compose(L"<html></html>");
    IMAPIProp* prop = &mail.Message();

    HRESULT hr = S_OK;
    EXPECT_EQ(PROP_TAG(PT_ERROR, 0), MapName(prop, L"x-rdz-select", 0, &hr));
    EXPECT_EQ(MAPI_W_ERRORS_RETURNED, hr);
    ULONG tag = MapName(prop, L"x-rdz-select", MAPI_CREATE, &hr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(PROP_TAG(PT_UNSPECIFIED, 0x8000), tag);
    EXPECT_EQ(tag, MapName(prop, L"x-rdz-select", 0));  // mapped once, found again

    auto setOneProp = reinterpret_cast<SetOneProp>(reinterpret_cast<void (*)()>(Mapi32("HrSetOneProp", "HrSetOneProp@8")));
    ASSERT_NE(nullptr, setOneProp);
    SPropValue value = {};
    value.ulPropTag = PROP_TAG(PT_STRING8, PROP_ID(tag));
    value.Value.lpszA = const_cast<LPSTR>("select");
    EXPECT_EQ(S_OK, setOneProp(prop, &value));
    EXPECT_EQ(std::optional<std::string>("select"), mail.Message().NamedString(kshost::PS_InternetHeaders, L"x-rdz-select"));
    EXPECT_FALSE(mail.Message().NamedString(kshost::PS_InternetHeaders, L"x-rdz-unselect").has_value());
}

TEST(MapiMessage, StoresGiveTheirOwnIdsToTheSameName) {
    ksdouble::Context context = std::make_shared<ksdouble::HostContext>();
    auto first = ks::ComRef<kshost::MapiMessage>::Attach(
        new kshost::MapiMessage(context, "first", std::make_shared<kshost::MapiStore>()));
    auto second = ks::ComRef<kshost::MapiMessage>::Attach(
        new kshost::MapiMessage(context, "second", std::make_shared<kshost::MapiStore>(0x8400)));
    EXPECT_EQ(PROP_TAG(PT_UNSPECIFIED, 0x8000), MapName(first.Get(), L"x-rdz-unselect", MAPI_CREATE));
    EXPECT_EQ(PROP_TAG(PT_UNSPECIFIED, 0x8400), MapName(second.Get(), L"x-rdz-unselect", MAPI_CREATE));
}

TEST(MapiMessage, InjectedFailureAndEmptyAnswerOfGetIDsFromNames) {
    kshost::Outlook outlook;
    kshost::MailItem& mail = outlook.Compose(L"");
    HRESULT hr = S_OK;
    mail.Message().Fail("IMAPIProp.GetIDsFromNames", MAPI_E_NOT_ENOUGH_MEMORY, 0, 1);
    EXPECT_EQ(0u, MapName(&mail.Message(), L"x", MAPI_CREATE, &hr));
    EXPECT_EQ(MAPI_E_NOT_ENOUGH_MEMORY, hr);
    mail.Message().Empty("IMAPIProp.GetIDsFromNames");
    EXPECT_EQ(0u, MapName(&mail.Message(), L"x", MAPI_CREATE, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(2u, outlook.Host().CountOf("IMAPIProp.GetIDsFromNames"));
}

// ---------------------------------------------------------------------------
// Command bars

VARIANT I4(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT I2(short value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    return v;
}

ks::ComRef<CommandBarControl> AddTo(CommandBarControls& controls, long type, VARIANT before, VARIANT temporary) {
    ks::ComRef<CommandBarControl> control;
    VARIANT omitted = ksdouble::Omitted();
    EXPECT_EQ(S_OK, controls.Add(I4(type), omitted, omitted, before, temporary, control.Put()));
    return control;
}

TEST(CommandBars, AddInsertsBeforeTheGivenPositionOrAppends) {
    kshost::Outlook outlook;
    kshost::Controls& bar = outlook.MenuBarControls();
    ASSERT_EQ(7u, bar.Size());
    auto before = AddTo(bar, kshost::kControlPopup, I4(7), ksdouble::Omitted());
    before->put_Caption(ks::UniqueBstr(SysAllocString(L"Before help")).Get());
    auto appended = AddTo(bar, kshost::kControlButton, ksdouble::Omitted(), ksdouble::Omitted());
    appended->put_Caption(ks::UniqueBstr(SysAllocString(L"Last")).Get());
    auto past = AddTo(bar, kshost::kControlButton, I4(99), ksdouble::Omitted());
    past->put_Caption(ks::UniqueBstr(SysAllocString(L"Past the end")).Get());
    EXPECT_EQ((std::vector<std::wstring>{L"&File", L"&Edit", L"&View", L"&Go", L"&Tools", L"&Actions", L"Before help",
                                         L"&Help", L"Last", L"Past the end"}),
              bar.Captions());

    ks::ComRef<CommandBarControl> seventh;
    EXPECT_EQ(S_OK, bar.get_Item(I4(7), seventh.Put()));
    EXPECT_EQ(before.Get(), seventh.Get());
    EXPECT_EQ(E_INVALIDARG, bar.get_Item(I4(0), seventh.Put()));
    EXPECT_EQ(nullptr, seventh.Get());
}

TEST(CommandBars, TemporaryControlsVanishWhenTheMainWindowCloses) {
    kshost::Outlook outlook;
    kshost::Controls& bar = outlook.MenuBarControls();
    VARIANT_BOOL yes = VARIANT_TRUE;
    VARIANT flag;
    VariantInit(&flag);
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = yes;
    auto popup = AddTo(bar, kshost::kControlPopup, ksdouble::Omitted(), I2(-1));
    AddTo(bar, kshost::kControlButton, ksdouble::Omitted(), flag);
    AddTo(bar, kshost::kControlButton, ksdouble::Omitted(), I4(1));
    auto kept = AddTo(bar, kshost::kControlButton, ksdouble::Omitted(), I2(0));
    kshost::Popup* menu = dynamic_cast<kshost::Popup*>(&bar.At(7));
    ASSERT_NE(nullptr, menu);
    AddTo(menu->Items(), kshost::kControlButton, ksdouble::Omitted(), I2(-1));
    ASSERT_EQ(11u, bar.Size());

    outlook.CloseMainWindow();
    EXPECT_EQ(8u, bar.Size());
    EXPECT_EQ(static_cast<kshost::ControlData*>(dynamic_cast<kshost::Button*>(kept.Get())), &bar.At(7));
    EXPECT_TRUE(dynamic_cast<kshost::Popup*>(popup.Get())->deleted);
}

TEST(CommandBars, DeletedControlLeavesItsCollectionOnce) {
    kshost::Outlook outlook;
    kshost::Controls& bar = outlook.MenuBarControls();
    auto control = AddTo(bar, kshost::kControlButton, ksdouble::Omitted(), ksdouble::Omitted());
    EXPECT_EQ(S_OK, control->Delete(ksdouble::Omitted()));
    EXPECT_EQ(7u, bar.Size());
    EXPECT_EQ(E_FAIL, control->Delete(ksdouble::Omitted()));
    EXPECT_EQ(1u, control->AddRef() - 1);  // only this test's reference is left
    control->Release();
}

// A sink that records the Click events it receives.
class ClickRecorder final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, ks::IID_CommandBarButtonEvents)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        dispid = id;
        methodFlags = flags;
        argCount = params->cArgs;
        if (params->cArgs == 2) {
            controlType = V_VT(&params->rgvarg[1]);
            control = V_DISPATCH(&params->rgvarg[1]);
            cancelType = V_VT(&params->rgvarg[0]);
            *V_BOOLREF(&params->rgvarg[0]) = VARIANT_TRUE;
        }
        return S_OK;
    }

    ULONG refs = 1;
    DISPID dispid = 0;
    WORD methodFlags = 0;
    UINT argCount = 0;
    VARTYPE controlType = VT_EMPTY;
    VARTYPE cancelType = VT_EMPTY;
    IDispatch* control = nullptr;
};

TEST(CommandBars, ClickArrivesAsOfficeRaisesIt) {
    kshost::Outlook outlook;
    auto control = AddTo(outlook.MenuBarControls(), kshost::kControlButton, ksdouble::Omitted(), ksdouble::Omitted());
    kshost::Button* button = dynamic_cast<kshost::Button*>(control.Get());
    ClickRecorder sink;

    ks::ComRef<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, control->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    ks::ComRef<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(ks::IID_CommandBarButtonEvents, point.Put()));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
    EXPECT_EQ(2u, sink.refs);

    EXPECT_EQ(VARIANT_TRUE, button->Click());
    EXPECT_EQ(1, sink.dispid);
    EXPECT_EQ(DISPATCH_METHOD, sink.methodFlags);
    EXPECT_EQ(2u, sink.argCount);
    EXPECT_EQ(VT_DISPATCH, sink.controlType);
    EXPECT_EQ(static_cast<IDispatch*>(static_cast<_CommandBarButton*>(button)), sink.control);
    EXPECT_EQ(VT_BOOL | VT_BYREF, sink.cancelType);

    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
    EXPECT_EQ(1u, sink.refs);
}

TEST(HostContext, FailureSkipsAndCountsCallsHostWide) {
    kshost::Outlook outlook;
    outlook.Host().Fail("CommandBarControls.Add", DISP_E_EXCEPTION, 1, 1);
    ks::ComRef<CommandBarControl> control;
    VARIANT omitted = ksdouble::Omitted();
    kshost::Controls& bar = outlook.MenuBarControls();
    EXPECT_EQ(S_OK, bar.Add(I4(1), omitted, omitted, omitted, omitted, control.Put()));
    EXPECT_EQ(DISP_E_EXCEPTION, bar.Add(I4(1), omitted, omitted, omitted, omitted, control.Put()));
    EXPECT_EQ(nullptr, control.Get());
    EXPECT_EQ(S_OK, bar.Add(I4(1), omitted, omitted, omitted, omitted, control.Put()));
    EXPECT_EQ(3u, outlook.Host().CountOf("CommandBarControls.Add"));
    EXPECT_EQ(9u, bar.Size());
}

TEST(HostContext, ObjectsAnswerByDispid) {
    kshost::Outlook outlook;
    kshost::MailItem& mail = outlook.Compose(L"<html>body</html>");
    ks::ComRef<IDispatch> app(static_cast<_Application*>(&outlook.App()));
    ks::UniqueVariant inspector;
    EXPECT_EQ(S_OK, kshost::InvokeByName(app.Get(), L"ActiveInspector", {}, inspector.Get()));
    ASSERT_EQ(VT_DISPATCH, V_VT(inspector.Get()));
    ks::UniqueVariant item;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK, V_DISPATCH(inspector.Get())->Invoke(0x2102, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, item.Get(),
                                                        nullptr, nullptr));
    ASSERT_EQ(VT_DISPATCH, V_VT(item.Get()));
    ks::UniqueVariant body;
    EXPECT_EQ(S_OK, V_DISPATCH(item.Get())->Invoke(0xF404, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, body.Get(),
                                                   nullptr, nullptr));
    EXPECT_STREQ(L"<html>body</html>", V_BSTR(body.Get()));
    EXPECT_EQ(static_cast<IDispatch*>(static_cast<_MailItem*>(&mail)), V_DISPATCH(item.Get()));
}

}  // namespace
