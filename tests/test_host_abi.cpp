// The host interfaces' vtable slots, checked by raw slot index against the
// published slot tables: each slot is called on a stand-in object through a
// bare function pointer taken from the vtable, and the member that answered
// is read from the host's call log. The rows below are transcribed from the
// slot tables (every slot whose parameters are a single value or none), and
// the IIDs are written out again here, so a slot that drifts in the shared
// header, or a stand-in member put in the wrong place, fails here.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "host/addin_site.h"
#include "support/addin_dll.h"

namespace {

enum Shape { kNone, kOutBstr, kOutIface, kOutScalar, kOutVariant, kInPtr, kIn32, kInBool };

struct SlotRow {
    const char* iface;
    int slot;
    const char* member;  // as the stand-in logs it: "DeclaringInterface.Member"
    Shape shape;
};

const SlotRow kRows[] = {
    {"_Application", 7, "_Application.get_Application", kOutIface},
    {"_Application", 8, "_Application.get_Class", kOutScalar},
    {"_Application", 9, "_Application.get_Session", kOutIface},
    {"_Application", 10, "_Application.get_Parent", kOutIface},
    {"_Application", 11, "_Application.get_Assistant", kOutIface},
    {"_Application", 12, "_Application.get_Name", kOutBstr},
    {"_Application", 13, "_Application.get_Version", kOutBstr},
    {"_Application", 14, "_Application.ActiveExplorer", kOutIface},
    {"_Application", 15, "_Application.ActiveInspector", kOutIface},
    {"_Explorer", 7, "_Explorer.get_Application", kOutIface},
    {"_Explorer", 8, "_Explorer.get_Class", kOutScalar},
    {"_Explorer", 9, "_Explorer.get_Session", kOutIface},
    {"_Explorer", 10, "_Explorer.get_Parent", kOutIface},
    {"_Explorer", 11, "_Explorer.get_CommandBars", kOutIface},
    {"_Inspector", 7, "_Inspector.get_Application", kOutIface},
    {"_Inspector", 8, "_Inspector.get_Class", kOutScalar},
    {"_Inspector", 9, "_Inspector.get_Session", kOutIface},
    {"_Inspector", 10, "_Inspector.get_Parent", kOutIface},
    {"_Inspector", 11, "_Inspector.get_CommandBars", kOutIface},
    {"_Inspector", 12, "_Inspector.get_CurrentItem", kOutIface},
    {"_MailItem", 7, "_MailItem.get_Application", kOutIface},
    {"_MailItem", 8, "_MailItem.get_Class", kOutScalar},
    {"_MailItem", 9, "_MailItem.get_Session", kOutIface},
    {"_MailItem", 10, "_MailItem.get_Parent", kOutIface},
    {"_MailItem", 11, "_MailItem.get_Actions", kOutIface},
    {"_MailItem", 12, "_MailItem.get_Attachments", kOutIface},
    {"_MailItem", 13, "_MailItem.get_BillingInformation", kOutBstr},
    {"_MailItem", 14, "_MailItem.put_BillingInformation", kInPtr},
    {"_MailItem", 15, "_MailItem.get_Body", kOutBstr},
    {"_MailItem", 16, "_MailItem.put_Body", kInPtr},
    {"_MailItem", 17, "_MailItem.get_Categories", kOutBstr},
    {"_MailItem", 18, "_MailItem.put_Categories", kInPtr},
    {"_MailItem", 19, "_MailItem.get_Companies", kOutBstr},
    {"_MailItem", 20, "_MailItem.put_Companies", kInPtr},
    {"_MailItem", 21, "_MailItem.get_ConversationIndex", kOutBstr},
    {"_MailItem", 22, "_MailItem.get_ConversationTopic", kOutBstr},
    {"_MailItem", 23, "_MailItem.get_CreationTime", kOutScalar},
    {"_MailItem", 24, "_MailItem.get_EntryID", kOutBstr},
    {"_MailItem", 25, "_MailItem.get_FormDescription", kOutIface},
    {"_MailItem", 26, "_MailItem.get_GetInspector", kOutIface},
    {"_MailItem", 27, "_MailItem.get_Importance", kOutScalar},
    {"_MailItem", 28, "_MailItem.put_Importance", kIn32},
    {"_MailItem", 29, "_MailItem.get_LastModificationTime", kOutScalar},
    {"_MailItem", 30, "_MailItem.get_MAPIOBJECT", kOutIface},
    {"_MailItem", 31, "_MailItem.get_MessageClass", kOutBstr},
    {"_MailItem", 32, "_MailItem.put_MessageClass", kInPtr},
    {"_MailItem", 33, "_MailItem.get_Mileage", kOutBstr},
    {"_MailItem", 34, "_MailItem.put_Mileage", kInPtr},
    {"_MailItem", 35, "_MailItem.get_NoAging", kOutScalar},
    {"_MailItem", 36, "_MailItem.put_NoAging", kInBool},
    {"_MailItem", 37, "_MailItem.get_OutlookInternalVersion", kOutScalar},
    {"_MailItem", 38, "_MailItem.get_OutlookVersion", kOutBstr},
    {"_MailItem", 39, "_MailItem.get_Saved", kOutScalar},
    {"_MailItem", 40, "_MailItem.get_Sensitivity", kOutScalar},
    {"_MailItem", 41, "_MailItem.put_Sensitivity", kIn32},
    {"_MailItem", 42, "_MailItem.get_Size", kOutScalar},
    {"_MailItem", 43, "_MailItem.get_Subject", kOutBstr},
    {"_MailItem", 44, "_MailItem.put_Subject", kInPtr},
    {"_MailItem", 45, "_MailItem.get_UnRead", kOutScalar},
    {"_MailItem", 46, "_MailItem.put_UnRead", kInBool},
    {"_MailItem", 47, "_MailItem.get_UserProperties", kOutIface},
    {"_MailItem", 48, "_MailItem.Close", kIn32},
    {"_MailItem", 49, "_MailItem.Copy", kOutIface},
    {"_MailItem", 50, "_MailItem.Delete", kNone},
    {"_MailItem", 53, "_MailItem.PrintOut", kNone},
    {"_MailItem", 54, "_MailItem.Save", kNone},
    {"_MailItem", 56, "_MailItem.get_AlternateRecipientAllowed", kOutScalar},
    {"_MailItem", 57, "_MailItem.put_AlternateRecipientAllowed", kInBool},
    {"_MailItem", 58, "_MailItem.get_AutoForwarded", kOutScalar},
    {"_MailItem", 59, "_MailItem.put_AutoForwarded", kInBool},
    {"_MailItem", 60, "_MailItem.get_BCC", kOutBstr},
    {"_MailItem", 61, "_MailItem.put_BCC", kInPtr},
    {"_MailItem", 62, "_MailItem.get_CC", kOutBstr},
    {"_MailItem", 63, "_MailItem.put_CC", kInPtr},
    {"_MailItem", 64, "_MailItem.get_DeferredDeliveryTime", kOutScalar},
    {"_MailItem", 66, "_MailItem.get_DeleteAfterSubmit", kOutScalar},
    {"_MailItem", 67, "_MailItem.put_DeleteAfterSubmit", kInBool},
    {"_MailItem", 68, "_MailItem.get_ExpiryTime", kOutScalar},
    {"_MailItem", 70, "_MailItem.get_FlagDueBy", kOutScalar},
    {"_MailItem", 72, "_MailItem.get_FlagRequest", kOutBstr},
    {"_MailItem", 73, "_MailItem.put_FlagRequest", kInPtr},
    {"_MailItem", 74, "_MailItem.get_FlagStatus", kOutScalar},
    {"_MailItem", 75, "_MailItem.put_FlagStatus", kIn32},
    {"_MailItem", 76, "_MailItem.get_HTMLBody", kOutBstr},
    {"_MailItem", 77, "_MailItem.put_HTMLBody", kInPtr},
    {"_MailItem", 78, "_MailItem.get_OriginatorDeliveryReportRequested", kOutScalar},
    {"_MailItem", 79, "_MailItem.put_OriginatorDeliveryReportRequested", kInBool},
    {"_MailItem", 80, "_MailItem.get_ReadReceiptRequested", kOutScalar},
    {"_MailItem", 81, "_MailItem.put_ReadReceiptRequested", kInBool},
    {"_MailItem", 82, "_MailItem.get_ReceivedByEntryID", kOutBstr},
    {"_MailItem", 83, "_MailItem.get_ReceivedByName", kOutBstr},
    {"_MailItem", 84, "_MailItem.get_ReceivedOnBehalfOfEntryID", kOutBstr},
    {"_MailItem", 85, "_MailItem.get_ReceivedOnBehalfOfName", kOutBstr},
    {"_MailItem", 86, "_MailItem.get_ReceivedTime", kOutScalar},
    {"_MailItem", 87, "_MailItem.get_RecipientReassignmentProhibited", kOutScalar},
    {"_MailItem", 88, "_MailItem.put_RecipientReassignmentProhibited", kInBool},
    {"_MailItem", 89, "_MailItem.get_Recipients", kOutIface},
    {"_MailItem", 90, "_MailItem.get_ReminderOverrideDefault", kOutScalar},
    {"_MailItem", 91, "_MailItem.put_ReminderOverrideDefault", kInBool},
    {"_MailItem", 92, "_MailItem.get_ReminderPlaySound", kOutScalar},
    {"_MailItem", 93, "_MailItem.put_ReminderPlaySound", kInBool},
    {"_MailItem", 94, "_MailItem.get_ReminderSet", kOutScalar},
    {"_MailItem", 95, "_MailItem.put_ReminderSet", kInBool},
    {"_MailItem", 96, "_MailItem.get_ReminderSoundFile", kOutBstr},
    {"_MailItem", 97, "_MailItem.put_ReminderSoundFile", kInPtr},
    {"_MailItem", 98, "_MailItem.get_ReminderTime", kOutScalar},
    {"_MailItem", 100, "_MailItem.get_RemoteStatus", kOutScalar},
    {"_MailItem", 101, "_MailItem.put_RemoteStatus", kIn32},
    {"_MailItem", 102, "_MailItem.get_ReplyRecipientNames", kOutBstr},
    {"_MailItem", 103, "_MailItem.get_ReplyRecipients", kOutIface},
    {"_MailItem", 104, "_MailItem.get_SaveSentMessageFolder", kOutIface},
    {"_MailItem", 105, "_MailItem.putref_SaveSentMessageFolder", kInPtr},
    {"_MailItem", 106, "_MailItem.get_SenderName", kOutBstr},
    {"_MailItem", 107, "_MailItem.get_Sent", kOutScalar},
    {"_MailItem", 108, "_MailItem.get_SentOn", kOutScalar},
    {"_MailItem", 109, "_MailItem.get_SentOnBehalfOfName", kOutBstr},
    {"_MailItem", 110, "_MailItem.put_SentOnBehalfOfName", kInPtr},
    {"_MailItem", 111, "_MailItem.get_Submitted", kOutScalar},
    {"_MailItem", 112, "_MailItem.get_To", kOutBstr},
    {"_MailItem", 113, "_MailItem.put_To", kInPtr},
    {"_MailItem", 114, "_MailItem.get_VotingOptions", kOutBstr},
    {"_MailItem", 115, "_MailItem.put_VotingOptions", kInPtr},
    {"_MailItem", 116, "_MailItem.get_VotingResponse", kOutBstr},
    {"_MailItem", 117, "_MailItem.put_VotingResponse", kInPtr},
    {"_MailItem", 118, "_MailItem.ClearConversationIndex", kNone},
    {"_MailItem", 119, "_MailItem.Forward", kOutIface},
    {"_MailItem", 120, "_MailItem.Reply", kOutIface},
    {"_MailItem", 121, "_MailItem.ReplyAll", kOutIface},
    {"_MailItem", 122, "_MailItem.Send", kNone},
    {"_CommandBars", 7, "_IMsoDispObj.get_Application", kOutIface},
    {"_CommandBars", 8, "_IMsoDispObj.get_Creator", kOutScalar},
    {"_CommandBars", 9, "_CommandBars.get_ActionControl", kOutIface},
    {"_CommandBars", 10, "_CommandBars.get_ActiveMenuBar", kOutIface},
    {"CommandBar", 7, "IAccessible.get_accParent", kOutIface},
    {"CommandBar", 8, "IAccessible.get_accChildCount", kOutScalar},
    {"CommandBar", 18, "IAccessible.get_accFocus", kOutVariant},
    {"CommandBar", 19, "IAccessible.get_accSelection", kOutVariant},
    {"CommandBar", 28, "_IMsoOleAccDispObj.get_Application", kOutIface},
    {"CommandBar", 29, "_IMsoOleAccDispObj.get_Creator", kOutScalar},
    {"CommandBar", 30, "CommandBar.get_BuiltIn", kOutScalar},
    {"CommandBar", 31, "CommandBar.get_Context", kOutBstr},
    {"CommandBar", 32, "CommandBar.put_Context", kInPtr},
    {"CommandBar", 33, "CommandBar.get_Controls", kOutIface},
    {"CommandBarControls", 7, "_IMsoDispObj.get_Application", kOutIface},
    {"CommandBarControls", 8, "_IMsoDispObj.get_Creator", kOutScalar},
    {"CommandBarControls", 10, "CommandBarControls.get_Count", kOutScalar},
    {"CommandBarControl", 30, "CommandBarControl.get_BeginGroup", kOutScalar},
    {"CommandBarControl", 31, "CommandBarControl.put_BeginGroup", kInBool},
    {"CommandBarControl", 32, "CommandBarControl.get_BuiltIn", kOutScalar},
    {"CommandBarControl", 33, "CommandBarControl.get_Caption", kOutBstr},
    {"CommandBarControl", 34, "CommandBarControl.put_Caption", kInPtr},
    {"CommandBarControl", 35, "CommandBarControl.get_Control", kOutIface},
    {"CommandBarControl", 38, "CommandBarControl.get_DescriptionText", kOutBstr},
    {"CommandBarControl", 39, "CommandBarControl.put_DescriptionText", kInPtr},
    {"CommandBarControl", 40, "CommandBarControl.get_Enabled", kOutScalar},
    {"CommandBarControl", 41, "CommandBarControl.put_Enabled", kInBool},
    {"CommandBarControl", 42, "CommandBarControl.Execute", kNone},
    {"CommandBarControl", 43, "CommandBarControl.get_Height", kOutScalar},
    {"CommandBarControl", 44, "CommandBarControl.put_Height", kIn32},
    {"CommandBarControl", 45, "CommandBarControl.get_HelpContextId", kOutScalar},
    {"CommandBarControl", 46, "CommandBarControl.put_HelpContextId", kIn32},
    {"CommandBarControl", 47, "CommandBarControl.get_HelpFile", kOutBstr},
    {"CommandBarControl", 48, "CommandBarControl.put_HelpFile", kInPtr},
    {"CommandBarControl", 49, "CommandBarControl.get_Id", kOutScalar},
    {"CommandBarControl", 50, "CommandBarControl.get_Index", kOutScalar},
    {"CommandBarControl", 51, "CommandBarControl.get_InstanceId", kOutScalar},
    {"CommandBarControl", 53, "CommandBarControl.get_Left", kOutScalar},
    {"CommandBarControl", 54, "CommandBarControl.get_OLEUsage", kOutScalar},
    {"CommandBarControl", 55, "CommandBarControl.put_OLEUsage", kIn32},
    {"CommandBarControl", 56, "CommandBarControl.get_OnAction", kOutBstr},
    {"CommandBarControl", 57, "CommandBarControl.put_OnAction", kInPtr},
    {"CommandBarControl", 58, "CommandBarControl.get_Parent", kOutIface},
    {"CommandBarControl", 59, "CommandBarControl.get_Parameter", kOutBstr},
    {"CommandBarControl", 60, "CommandBarControl.put_Parameter", kInPtr},
    {"CommandBarControl", 61, "CommandBarControl.get_Priority", kOutScalar},
    {"CommandBarControl", 62, "CommandBarControl.put_Priority", kIn32},
    {"CommandBarControl", 63, "CommandBarControl.Reset", kNone},
    {"CommandBarControl", 64, "CommandBarControl.SetFocus", kNone},
    {"CommandBarControl", 65, "CommandBarControl.get_Tag", kOutBstr},
    {"CommandBarControl", 66, "CommandBarControl.put_Tag", kInPtr},
    {"CommandBarControl", 67, "CommandBarControl.get_TooltipText", kOutBstr},
    {"CommandBarControl", 68, "CommandBarControl.put_TooltipText", kInPtr},
    {"CommandBarControl", 69, "CommandBarControl.get_Top", kOutScalar},
    {"CommandBarControl", 70, "CommandBarControl.get_Type", kOutScalar},
    {"CommandBarControl", 71, "CommandBarControl.get_Visible", kOutScalar},
    {"CommandBarControl", 72, "CommandBarControl.put_Visible", kInBool},
    {"CommandBarControl", 73, "CommandBarControl.get_Width", kOutScalar},
    {"CommandBarControl", 74, "CommandBarControl.put_Width", kIn32},
    {"CommandBarControl", 75, "CommandBarControl.get_IsPriorityDropped", kOutScalar},
    {"CommandBarControl", 76, "CommandBarControl.Reserved1", kNone},
    {"CommandBarControl", 77, "CommandBarControl.Reserved2", kNone},
    {"CommandBarControl", 78, "CommandBarControl.Reserved3", kNone},
    {"CommandBarControl", 79, "CommandBarControl.Reserved4", kNone},
    {"CommandBarControl", 80, "CommandBarControl.Reserved5", kNone},
    {"CommandBarControl", 81, "CommandBarControl.Reserved6", kNone},
    {"CommandBarControl", 82, "CommandBarControl.Reserved7", kNone},
    {"CommandBarPopup", 83, "CommandBarPopup.get_CommandBar", kOutIface},
    {"CommandBarPopup", 84, "CommandBarPopup.get_Controls", kOutIface},
    {"CommandBarPopup", 85, "CommandBarPopup.get_OLEMenuGroup", kOutScalar},
    {"CommandBarPopup", 86, "CommandBarPopup.put_OLEMenuGroup", kIn32},
    {"CommandBarPopup", 87, "CommandBarPopup.get_InstanceIdPtr", kOutVariant},
    {"_CommandBarButton", 83, "_CommandBarButton.get_BuiltInFace", kOutScalar},
    {"_CommandBarButton", 84, "_CommandBarButton.put_BuiltInFace", kInBool},
    {"_CommandBarButton", 85, "_CommandBarButton.CopyFace", kNone},
    {"_CommandBarButton", 86, "_CommandBarButton.get_FaceId", kOutScalar},
    {"_CommandBarButton", 87, "_CommandBarButton.put_FaceId", kIn32},
    {"_CommandBarButton", 88, "_CommandBarButton.PasteFace", kNone},
    {"_CommandBarButton", 89, "_CommandBarButton.get_ShortcutText", kOutBstr},
    {"_CommandBarButton", 90, "_CommandBarButton.put_ShortcutText", kInPtr},
    {"_CommandBarButton", 91, "_CommandBarButton.get_State", kOutScalar},
    {"_CommandBarButton", 92, "_CommandBarButton.put_State", kIn32},
    {"_CommandBarButton", 93, "_CommandBarButton.get_Style", kOutScalar},
    {"_CommandBarButton", 94, "_CommandBarButton.put_Style", kIn32},
    {"_CommandBarButton", 95, "_CommandBarButton.get_HyperlinkType", kOutScalar},
    {"_CommandBarButton", 96, "_CommandBarButton.put_HyperlinkType", kIn32},
    {"_CommandBarButton", 97, "_CommandBarButton.get_Picture", kOutIface},
    {"_CommandBarButton", 98, "_CommandBarButton.put_Picture", kInPtr},
    {"_CommandBarButton", 99, "_CommandBarButton.get_Mask", kOutIface},
    {"_CommandBarButton", 100, "_CommandBarButton.put_Mask", kInPtr},
    {"_CommandBarButton", 101, "_CommandBarButton.get_InstanceIdPtr", kOutVariant},
    {"IRibbonControl", 7, "IRibbonControl.get_Id", kOutBstr},
    {"IRibbonControl", 8, "IRibbonControl.get_Context", kOutIface},
    {"IRibbonControl", 9, "IRibbonControl.get_Tag", kOutBstr},
};

struct IidRow {
    const char* iface;
    const wchar_t* iid;
};

const IidRow kIids[] = {
    {"_Application", L"{00063001-0000-0000-C000-000000000046}"},
    {"_Explorer", L"{00063003-0000-0000-C000-000000000046}"},
    {"_Inspector", L"{00063005-0000-0000-C000-000000000046}"},
    {"_MailItem", L"{00063034-0000-0000-C000-000000000046}"},
    {"_CommandBars", L"{000C0302-0000-0000-C000-000000000046}"},
    {"CommandBar", L"{000C0304-0000-0000-C000-000000000046}"},
    {"CommandBarControls", L"{000C0306-0000-0000-C000-000000000046}"},
    {"CommandBarControl", L"{000C0308-0000-0000-C000-000000000046}"},
    {"CommandBarPopup", L"{000C030A-0000-0000-C000-000000000046}"},
    {"_CommandBarButton", L"{000C030E-0000-0000-C000-000000000046}"},
    {"IRibbonControl", L"{000C0395-0000-0000-C000-000000000046}"},
};

IID IidOf(const std::string& iface) {
    IID iid = IID_NULL;
    for (const IidRow& row : kIids)
        if (iface == row.iface) IIDFromString(row.iid, &iid);
    return iid;
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
    }
    return E_UNEXPECTED;
}

class HostSlots : public ::testing::Test {
protected:
    void SetUp() override {
        outlook.Compose(L"<html><body>x</body></html>");
        CommandBarControl* control = nullptr;
        VARIANT omitted = kshost::Omitted();
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
        return button.Get();
    }

    kshost::Outlook outlook;
    ks::ComRef<CommandBarControl> button;
    ks::ComRef<CommandBarControl> popup;
    ks::ComRef<kshost::RibbonControl> ribbonControl;
};

TEST_F(HostSlots, EverySingleValueSlotReachesTheMemberOfItsTable) {
    for (const SlotRow& row : kRows) {
        SCOPED_TRACE(std::string(row.iface) + " slot " + std::to_string(row.slot));
        void* object = nullptr;
        ASSERT_EQ(S_OK, ObjectFor(row.iface)->QueryInterface(IidOf(row.iface), &object));
        outlook.Host().ClearCalls();
        CallSlot(object, row);
        ASSERT_FALSE(outlook.Host().Calls().empty());
        EXPECT_EQ(row.member, outlook.Host().Calls().front().member);
        static_cast<IUnknown*>(object)->Release();
    }
}

TEST_F(HostSlots, SlotsThatTakeVariantsLandOnTheirMembers) {
    // CommandBarControls: Add (9), Count (10), Item (11).
    void* controls = nullptr;
    ASSERT_EQ(S_OK, ObjectFor("CommandBarControls")->QueryInterface(IidOf("CommandBarControls"), &controls));
    VARIANT omitted = kshost::Omitted();
    VARIANT type;
    VariantInit(&type);
    V_VT(&type) = VT_I4;
    V_I4(&type) = 1;
    IUnknown* added = nullptr;
    using AddFn = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT, VARIANT, VARIANT, VARIANT, VARIANT, IUnknown**);
    EXPECT_EQ(S_OK, reinterpret_cast<AddFn>(Slot(controls, 9))(controls, type, omitted, omitted, omitted, omitted, &added));
    ASSERT_NE(nullptr, added);
    int count = 0;
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, int*)>(Slot(controls, 10))(controls, &count));
    EXPECT_EQ(10, count);  // seven built-in menus, the two set-up controls, the new one
    IUnknown* last = nullptr;
    VARIANT index;
    VariantInit(&index);
    V_VT(&index) = VT_I4;
    V_I4(&index) = count;
    using ItemFn = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT, IUnknown**);
    EXPECT_EQ(S_OK, reinterpret_cast<ItemFn>(Slot(controls, 11))(controls, index, &last));
    EXPECT_EQ(added, last);
    if (last) last->Release();

    // CommandBarControl.Delete (37) with Temporary omitted.
    void* control = nullptr;
    ASSERT_EQ(S_OK, added->QueryInterface(IidOf("CommandBarControl"), &control));
    using DeleteFn = HRESULT(STDMETHODCALLTYPE*)(void*, VARIANT);
    EXPECT_EQ(S_OK, reinterpret_cast<DeleteFn>(Slot(control, 37))(control, omitted));
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

    ks::UniqueBstr body(SysAllocString(L"<html>new</html>"));
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR)>(Slot(mail, 77))(mail, body.Get()));
    EXPECT_EQ(L"<html>new</html>", stand.HtmlBody());
    ks::UniqueBstr read;
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, BSTR*)>(Slot(mail, 76))(mail, read.Put()));
    EXPECT_STREQ(L"<html>new</html>", read.Get());

    IUnknown* message = nullptr;
    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, IUnknown**)>(Slot(mail, 30))(mail, &message));
    EXPECT_EQ(static_cast<IMessage*>(&stand.Message()), message);
    if (message) message->Release();

    EXPECT_EQ(S_OK, reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*)>(Slot(mail, 122))(mail));
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
    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    using CustomFn = HRESULT(STDMETHODCALLTYPE*)(void*, SAFEARRAY**);
    using DisconnectFn = HRESULT(STDMETHODCALLTYPE*)(void*, long, SAFEARRAY**);
    using ConnectFn = HRESULT(STDMETHODCALLTYPE*)(void*, IDispatch*, long, IDispatch*, SAFEARRAY**);
    // A null application is refused before anything else happens.
    EXPECT_EQ(E_POINTER, reinterpret_cast<ConnectFn>(Slot(ext, 7))(ext, nullptr, 1, nullptr, &custom));
    EXPECT_EQ(S_OK, reinterpret_cast<DisconnectFn>(Slot(ext, 8))(ext, 1, &custom));

    // 7 connects: the application is held and the three sinks are advised.
    IDispatch* application = static_cast<_Application*>(&outlook.App());
    IDispatch* instance = static_cast<IDispatch*>(&outlook.AddIn());
    outlook.Host().ClearCalls();
    EXPECT_EQ(S_OK, reinterpret_cast<ConnectFn>(Slot(ext, 7))(ext, application, ks::ext_cm_Startup, instance,
                                                               &custom));
    const ULONG connectedRefs = outlook.App().RefCount();
    EXPECT_GT(connectedRefs, applicationRefs);
    EXPECT_EQ(3u, outlook.Host().CountOf("IConnectionPoint.Advise"));

    // 9 to 11 change nothing and call nothing.
    for (int slot : {9, 10, 11}) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        outlook.Host().ClearCalls();
        EXPECT_EQ(S_OK, reinterpret_cast<CustomFn>(Slot(ext, slot))(ext, &custom));
        EXPECT_EQ(connectedRefs, outlook.App().RefCount());
        EXPECT_TRUE(outlook.Host().Calls().empty()) << outlook.Host().Calls().front().member;
    }

    // 8 disconnects: the application given back, the three sinks unadvised.
    outlook.Host().ClearCalls();
    EXPECT_EQ(S_OK, reinterpret_cast<DisconnectFn>(Slot(ext, 8))(ext, ks::ext_dm_HostShutdown, &custom));
    EXPECT_EQ(applicationRefs, outlook.App().RefCount());
    EXPECT_EQ(3u, outlook.Host().CountOf("IConnectionPoint.Unadvise"));
    SafeArrayDestroy(custom);
}

TEST(AddinSlots, GetCustomUISitsAtSlotSevenOfRibbonExtensibility) {
    kshost::LoadedAddIn addin;
    ASSERT_EQ(S_OK, addin.Create(kstest::kAddinProgId));
    IID iid;
    ASSERT_EQ(S_OK, IIDFromString(L"{000C0396-0000-0000-C000-000000000046}", &iid));
    void* ribbon = nullptr;
    ASSERT_EQ(S_OK, addin.Extensibility()->QueryInterface(iid, &ribbon));
    // A reading window's ribbon is not customised: empty markup.
    ks::UniqueBstr id(SysAllocString(L"Microsoft.Outlook.Mail.Read"));
    ks::UniqueBstr markup;
    using GetCustomUIFn = HRESULT(STDMETHODCALLTYPE*)(void*, BSTR, BSTR*);
    EXPECT_EQ(S_OK, reinterpret_cast<GetCustomUIFn>(Slot(ribbon, 7))(ribbon, id.Get(), markup.Put()));
    EXPECT_EQ(0u, markup.Length());
    static_cast<IUnknown*>(ribbon)->Release();
}

}  // namespace
