// The host interfaces' vtable slots, checked by raw slot index against the
// host contract's tables (addin/host_abi/): each slot is called on a
// stand-in object through a bare function pointer taken from the vtable,
// and the member that answered is read from the host's call log. The rows
// and IIDs are read out of the tables by tools/gen_host_abi_rows.py, on its
// own and not through the header's generator, so a slot that drifts in the
// shared header, or a stand-in member put in the wrong place, fails here.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "host/outlook/addin_site.h"
#include "support/addin_dll.h"

namespace {

// kOther: parameters that are not a single plain value; called by the
// tests below that give them real arguments.
enum Shape { kNone, kOutBstr, kOutIface, kOutScalar, kOutVariant, kInPtr, kIn32, kInBool, kOther };

struct SlotRow {
    const char* iface;   // the interface the slot is reached through
    int slot;
    const char* member;  // as the stand-in logs it: "DeclaringInterface.Member"
    Shape shape;
};

struct IidRow {
    const char* iface;
    const wchar_t* iid;
};

// kSlotRows, kIidRows: every slot from 7 on of every interface of the tables.
#include "host_abi_rows.inc"

// Interfaces of the tables with no stand-in object of their own: Office's
// two bases, reached through the interfaces derived from them, and the
// add-in's two, which the host calls (AddinSlots below).
const std::set<std::string> kNotStandInObjects = {"_IMsoDispObj", "_IMsoOleAccDispObj", "IRibbonExtensibility",
                                                  "_IDTExtensibility2"};

IID IidOf(const std::string& iface) {
    IID iid = IID_NULL;
    for (const IidRow& row : kIidRows)
        if (iface == row.iface) IIDFromString(row.iid, &iid);
    return iid;
}

// The slot of a member on an interface, as the tables give it.
int SlotOf(const std::string& iface, const std::string& member) {
    for (const SlotRow& row : kSlotRows)
        if (iface == row.iface && member == row.member) return row.slot;
    throw std::runtime_error("the tables have no " + member + " on " + iface);
}

void* Slot(void* object, int slot) {
    return (*static_cast<void***>(object))[slot];
}

// Calls one slot with a harmless argument of the row's shape and frees what comes back.
HRESULT CallSlot(void* object, const SlotRow& row) {
    void* fn = Slot(object, row.slot);
    switch (row.shape) {
    case kNone:
        return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*)>(fn)(object);
    case kOutBstr: {
        BSTR text = nullptr;
        HRESULT hr = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR*)>(fn)(object, &text);
        SysFreeString(text);
        return hr;
    }
    case kOutIface: {
        IUnknown* out = nullptr;
        HRESULT hr = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, IUnknown**)>(fn)(object, &out);
        if (out) out->Release();
        return hr;
    }
    case kOutScalar: {
        double value = 0;  // wide enough for every scalar out-value, DATE included
        return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, void*)>(fn)(object, &value);
    }
    case kOutVariant: {
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT*)>(fn)(object, &value);
        VariantClear(&value);
        return hr;
    }
    case kInPtr:
        return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, void*)>(fn)(object, nullptr);
    case kIn32:
        return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, long)>(fn)(object, 0);
    case kInBool:
        return reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT_BOOL)>(fn)(object, VARIANT_TRUE);
    case kOther:
        break;  // no harmless argument: the tests below call these with real ones
    }
    return E_UNEXPECTED;
}

class HostSlots : public ::testing::Test {
protected:
    void SetUp() override {
        outlook.Compose(L"<html><body>x</body></html>");
        CommandBarControl* control = nullptr;
        VARIANT omitted = ksdouble::Omitted();
        VARIANT type;
        VariantInit(&type);
        V_VT(&type) = VT_I4;
        V_I4(&type) = kshost::kControlButton;
        ASSERT_EQ(S_OK, outlook.MenuBarControls().Add(type, omitted, omitted, omitted, omitted, &control));
        button = ks::ComRef<CommandBarControl>::Attach(control);
        V_I4(&type) = kshost::kControlPopup;
        ASSERT_EQ(S_OK, outlook.MenuBarControls().Add(type, omitted, omitted, omitted, omitted, &control));
        popup = ks::ComRef<CommandBarControl>::Attach(control);
        ribbonControl = ks::ComRef<kshost::RibbonControl>::Attach(
            new kshost::RibbonControl(outlook.SharedContext(), L"ctl", nullptr));
    }

    IUnknown* ObjectFor(const std::string& iface) {
        if (iface == "_Application") return static_cast<_Application*>(&outlook.App());
        if (iface == "_Explorer") return static_cast<_Explorer*>(outlook.MainWindow());
        if (iface == "_Inspector") return static_cast<_Inspector*>(outlook.ActiveInspectorObject());
        if (iface == "_MailItem") {
            ks::ComRef<IDispatch> item;
            outlook.ActiveInspectorObject()->get_CurrentItem(item.Put());
            return item.Get();  // the inspector keeps it alive
        }
        if (iface == "_CommandBars") return static_cast<_CommandBars*>(&outlook.MainWindow()->CommandBarsObject());
        if (iface == "CommandBar") return static_cast<CommandBar*>(outlook.MainWindow()->CommandBarsObject().MenuBar());
        if (iface == "CommandBarControls") return static_cast<CommandBarControls*>(&outlook.MenuBarControls());
        if (iface == "CommandBarPopup") return popup.Get();
        if (iface == "IRibbonControl") return static_cast<IRibbonControl*>(ribbonControl.Get());
        if (iface == "CommandBarControl" || iface == "_CommandBarButton") return button.Get();
        return nullptr;
    }

    kshost::Outlook outlook;
    ks::ComRef<CommandBarControl> button;
    ks::ComRef<CommandBarControl> popup;
    ks::ComRef<kshost::RibbonControl> ribbonControl;
};

TEST_F(HostSlots, EverySingleValueSlotReachesTheMemberOfItsTable) {
    std::set<std::string> checked;
    for (const SlotRow& row : kSlotRows) {
        if (row.shape == kOther || kNotStandInObjects.count(row.iface)) continue;
        SCOPED_TRACE(std::string(row.iface) + " slot " + std::to_string(row.slot));
        IUnknown* stand = ObjectFor(row.iface);
        ASSERT_NE(nullptr, stand) << "no stand-in object answers " << row.iface;
        void* object = nullptr;
        ASSERT_EQ(S_OK, stand->QueryInterface(IidOf(row.iface), &object));
        outlook.Host().ClearCalls();
        CallSlot(object, row);
        ASSERT_FALSE(outlook.Host().Calls().empty());
        EXPECT_EQ(row.member, outlook.Host().Calls().front().member);
        static_cast<IUnknown*>(object)->Release();
        checked.insert(row.iface);
    }
    // Every interface the stand-in answers had its slots called.
    for (const IidRow& row : kIidRows) {
        if (kNotStandInObjects.count(row.iface)) continue;
        EXPECT_EQ(1u, checked.count(row.iface)) << row.iface;
    }
}

TEST_F(HostSlots, SlotsThatTakeVariantsLandOnTheirMembers) {
    // CommandBarControls: Add, Count, Item.
    const int add = SlotOf("CommandBarControls", "CommandBarControls.Add");
    const int countSlot = SlotOf("CommandBarControls", "CommandBarControls.get_Count");
    const int item = SlotOf("CommandBarControls", "CommandBarControls.get_Item");
    void* controls = nullptr;
    ASSERT_EQ(S_OK, ObjectFor("CommandBarControls")->QueryInterface(IidOf("CommandBarControls"), &controls));
    VARIANT omitted = ksdouble::Omitted();
    VARIANT type;
    VariantInit(&type);
    V_VT(&type) = VT_I4;
    V_I4(&type) = 1;
    IUnknown* added = nullptr;
    using AddFn = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT, VARIANT, VARIANT, VARIANT, VARIANT, IUnknown**);
    EXPECT_EQ(S_OK, reinterpret_cast<AddFn>(Slot(controls, add))(controls, type, omitted, omitted, omitted, omitted, &added));
    ASSERT_NE(nullptr, added);
    int count = 0;
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, int*)>(Slot(controls, countSlot))(controls, &count));
    EXPECT_EQ(10, count);  // seven built-in menus, the two set-up controls, the new one
    IUnknown* last = nullptr;
    VARIANT index;
    VariantInit(&index);
    V_VT(&index) = VT_I4;
    V_I4(&index) = count;
    using ItemFn = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT, IUnknown**);
    EXPECT_EQ(S_OK, reinterpret_cast<ItemFn>(Slot(controls, item))(controls, index, &last));
    EXPECT_EQ(added, last);
    if (last) last->Release();

    // CommandBarControl.Delete with Temporary omitted.
    const int remove = SlotOf("CommandBarControl", "CommandBarControl.Delete");
    void* control = nullptr;
    ASSERT_EQ(S_OK, added->QueryInterface(IidOf("CommandBarControl"), &control));
    using DeleteFn = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT);
    EXPECT_EQ(S_OK, reinterpret_cast<DeleteFn>(Slot(control, remove))(control, omitted));
    EXPECT_EQ(9u, outlook.MenuBarControls().Size());
    static_cast<IUnknown*>(control)->Release();
    added->Release();
    static_cast<IUnknown*>(controls)->Release();
}

TEST_F(HostSlots, MailItemMembersUsedByTheAddinHaveTheirEffectAtTheirSlots) {
    ks::ComRef<IDispatch> item;
    ASSERT_EQ(S_OK, outlook.ActiveInspectorObject()->get_CurrentItem(item.Put()));
    void* mail = nullptr;
    ASSERT_EQ(S_OK, item->QueryInterface(IidOf("_MailItem"), &mail));
    kshost::MailItem& stand = *static_cast<kshost::MailItem*>(static_cast<_MailItem*>(mail));
    const int putBody = SlotOf("_MailItem", "_MailItem.put_HTMLBody");
    const int getBody = SlotOf("_MailItem", "_MailItem.get_HTMLBody");
    const int mapiObject = SlotOf("_MailItem", "_MailItem.get_MAPIOBJECT");
    const int send = SlotOf("_MailItem", "_MailItem.Send");

    ks::UniqueBstr body(SysAllocString(L"<html>new</html>"));
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR)>(Slot(mail, putBody))(mail, body.Get()));
    EXPECT_EQ(L"<html>new</html>", stand.HtmlBody());
    ks::UniqueBstr read;
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR*)>(Slot(mail, getBody))(mail, read.Put()));
    EXPECT_STREQ(L"<html>new</html>", read.Get());

    IUnknown* message = nullptr;
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, IUnknown**)>(Slot(mail, mapiObject))(mail, &message));
    EXPECT_EQ(static_cast<IMessage*>(&stand.Message()), message);
    if (message) message->Release();

    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*)>(Slot(mail, send))(mail));
    EXPECT_EQ(1, stand.SendCount());
    static_cast<IUnknown*>(mail)->Release();
}

// The add-in's own interfaces, as the host calls them: by slot. Of
// _IDTExtensibility2's own slots only OnConnection (7) and OnDisconnection (8)
// have an effect to see. OnAddInsUpdate (9), OnStartupComplete (10) and
// OnBeginShutdown (11) each do nothing and return S_OK, so no test can tell
// them from one another: an exchange among those three would pass here (and
// change nothing for the host). What is told apart: 7 connects, 9 to 11 leave
// the connection as it stands, 8 ends it.
TEST(AddinSlots, ExtensibilityMethodsSitAtSlotsSevenToEleven) {
    kshost::Outlook outlook;
    const ULONG applicationRefs = outlook.App().RefCount();
    kshost::LoadedAddIn addin;
    ASSERT_EQ(S_OK, addin.Create(kstest::kAddinProgId));
    void* ext = addin.Extensibility();
    const int connect = SlotOf("_IDTExtensibility2", "_IDTExtensibility2.OnConnection");
    const int disconnect = SlotOf("_IDTExtensibility2", "_IDTExtensibility2.OnDisconnection");
    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    using CustomFn = HRESULT(STDMETHODCALLTYPE*)(void*, SAFEARRAY**);
    using DisconnectFn = HRESULT(STDMETHODCALLTYPE*)(void*, long, SAFEARRAY**);
    using ConnectFn = HRESULT(STDMETHODCALLTYPE*)(void*, IDispatch*, long, IDispatch*, SAFEARRAY**);
    // A null application is refused before anything else happens.
    EXPECT_EQ(E_POINTER, reinterpret_cast<ConnectFn>(Slot(ext, connect))(ext, nullptr, 1, nullptr, &custom));
    EXPECT_EQ(S_OK, reinterpret_cast<DisconnectFn>(Slot(ext, disconnect))(ext, 1, &custom));

    // 7 connects: the application is held and the three sinks are advised.
    IDispatch* application = static_cast<_Application*>(&outlook.App());
    IDispatch* instance = static_cast<IDispatch*>(&outlook.AddIn());
    outlook.Host().ClearCalls();
    EXPECT_EQ(S_OK, reinterpret_cast<ConnectFn>(Slot(ext, connect))(ext, application, ks::ext_cm_Startup, instance,
                                                                     &custom));
    const ULONG connectedRefs = outlook.App().RefCount();
    EXPECT_GT(connectedRefs, applicationRefs);
    EXPECT_EQ(3u, outlook.Host().CountOf("IConnectionPoint.Advise"));

    // 9 to 11 change nothing and call nothing.
    for (const char* member : {"_IDTExtensibility2.OnAddInsUpdate", "_IDTExtensibility2.OnStartupComplete",
                               "_IDTExtensibility2.OnBeginShutdown"}) {
        const int slot = SlotOf("_IDTExtensibility2", member);
        SCOPED_TRACE("slot " + std::to_string(slot));
        outlook.Host().ClearCalls();
        EXPECT_EQ(S_OK, reinterpret_cast<CustomFn>(Slot(ext, slot))(ext, &custom));
        EXPECT_EQ(connectedRefs, outlook.App().RefCount());
        EXPECT_TRUE(outlook.Host().Calls().empty()) << outlook.Host().Calls().front().member;
    }

    // 8 disconnects: the application given back, the three sinks unadvised.
    outlook.Host().ClearCalls();
    EXPECT_EQ(S_OK, reinterpret_cast<DisconnectFn>(Slot(ext, disconnect))(ext, ks::ext_dm_HostShutdown, &custom));
    EXPECT_EQ(applicationRefs, outlook.App().RefCount());
    EXPECT_EQ(3u, outlook.Host().CountOf("IConnectionPoint.Unadvise"));
    SafeArrayDestroy(custom);
}

TEST(AddinSlots, GetCustomUISitsAtSlotSevenOfRibbonExtensibility) {
    kshost::LoadedAddIn addin;
    ASSERT_EQ(S_OK, addin.Create(kstest::kAddinProgId));
    void* ribbon = nullptr;
    ASSERT_EQ(S_OK, addin.Extensibility()->QueryInterface(IidOf("IRibbonExtensibility"), &ribbon));
    // A reading window's ribbon is not customised: empty markup.
    ks::UniqueBstr id(SysAllocString(L"Microsoft.Outlook.Mail.Read"));
    ks::UniqueBstr markup;
    using GetCustomUIFn = HRESULT(STDMETHODCALLTYPE*)(void*, BSTR, BSTR*);
    const int getCustomUI = SlotOf("IRibbonExtensibility", "IRibbonExtensibility.GetCustomUI");
    EXPECT_EQ(S_OK, reinterpret_cast<GetCustomUIFn>(Slot(ribbon, getCustomUI))(ribbon, id.Get(), markup.Put()));
    EXPECT_EQ(0u, markup.Length());
    static_cast<IUnknown*>(ribbon)->Release();
}

}  // namespace
