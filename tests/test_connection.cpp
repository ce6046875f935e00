// The add-in as Outlook connects it: created through COM, OnConnection with
// the stand-in host's application, the three event sinks advised on the menu
// items and the main window, OnDisconnection, and what stays referenced.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include "KestrinSelect_h.h"
#include "support/host_fixture.h"
#include "host/outlook/type_libraries.h"
#include "support/message_boxes.h"

using kstest::HostFixture;

namespace {

const IID kExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kExplorerEvents10 = {0x0006300F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The tests of the menu items' sinks need the menu: without it they fail
// here, saying why, rather than at whichever step first misses a button.
#define ASSERT_LEGACY_MENU() \
    ASSERT_TRUE(kstest::AddinBuildsLegacyMenu()) << "the add-in built no menu on the main window's menu bar"

size_t ExplorerSinks(kshost::Outlook& outlook, const IID& iid) {
    return outlook.MainWindow()->Points().Point(iid)->SinkCount();
}

// ---------------------------------------------------------------------------
// Identity

TEST_F(HostFixture, DispatchAndIdentityAreTheRibbonCallbackInterface) {
    _IDTExtensibility2* extensibility = addin.Extensibility();
    ks::ComRef<IUnknown> identity, dispatch, callback, ribbon, again;
    ASSERT_EQ(S_OK, extensibility->QueryInterface(IID_IUnknown, identity.PutVoid()));
    ASSERT_EQ(S_OK, extensibility->QueryInterface(IID_IDispatch, dispatch.PutVoid()));
    ASSERT_EQ(S_OK, extensibility->QueryInterface(IID_IRibbonCallback, callback.PutVoid()));
    ASSERT_EQ(S_OK, extensibility->QueryInterface(ks::IID_IRibbonExtensibility, ribbon.PutVoid()));
    EXPECT_EQ(callback.Get(), identity.Get());
    EXPECT_EQ(callback.Get(), dispatch.Get());
    EXPECT_NE(static_cast<void*>(ribbon.Get()), static_cast<void*>(callback.Get()));
    EXPECT_NE(static_cast<void*>(extensibility), static_cast<void*>(callback.Get()));
    ASSERT_EQ(S_OK, ribbon->QueryInterface(IID_IUnknown, again.PutVoid()));
    EXPECT_EQ(identity.Get(), again.Get());

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, extensibility->QueryInterface(IID_IConnectionPointContainer, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, extensibility->QueryInterface(IID_IUnknown, nullptr));
}

// ---------------------------------------------------------------------------
// Connection without a main window, and refused connections

TEST_F(HostFixture, WithoutMainWindowConnectsWithoutMenuOrSinks) {
    UseHostWithoutMainWindow();
    ULONG appRefs = outlook->App().RefCount();
    ULONG instanceRefs = outlook->AddIn().RefCount();

    EXPECT_EQ(S_OK, Connect());
    EXPECT_EQ(std::vector<std::string>{"_Application.ActiveExplorer"}, outlook->Host().Members());
    // The application and the add-in instance are held until disconnection.
    EXPECT_EQ(appRefs + 1, outlook->App().RefCount());
    EXPECT_EQ(instanceRefs + 1, outlook->AddIn().RefCount());

    outlook->Host().ClearCalls();
    EXPECT_EQ(S_OK, Disconnect());
    EXPECT_TRUE(outlook->Host().Calls().empty());  // no sink to disconnect
    EXPECT_EQ(appRefs, outlook->App().RefCount());
    EXPECT_EQ(instanceRefs, outlook->AddIn().RefCount());
    addin.Release();
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, ActiveExplorerAnsweringNothingIsHostWithoutMainWindow) {
    outlook->App().Empty("_Application.ActiveExplorer");
    EXPECT_EQ(S_OK, Connect());
    EXPECT_FALSE(outlook->Host().Called("_Explorer.get_CommandBars"));
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
    EXPECT_EQ(nullptr, Menu());
}

TEST_F(HostFixture, NullApplicationOrInstanceIsRefusedWithoutCallingTheHost) {
    ULONG appRefs = outlook->App().RefCount();
    EXPECT_EQ(E_POINTER, addin.ConnectWith(nullptr, &outlook->AddIn()));
    EXPECT_EQ(E_POINTER, addin.ConnectWith(static_cast<_Application*>(&outlook->App()), nullptr));
    EXPECT_TRUE(outlook->Host().Calls().empty());
    EXPECT_EQ(S_OK, Disconnect());
    EXPECT_EQ(appRefs, outlook->App().RefCount());
    addin.Release();
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, ApplicationThatIsNotOutlookFailsWithTheQueryResult) {
    outlook->App().RefuseApplicationInterface(true);
    EXPECT_EQ(E_NOINTERFACE, Connect());
    EXPECT_TRUE(outlook->Host().Calls().empty());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
}

TEST_F(HostFixture, FailingActiveExplorerEndsTheConnectionWithItsResult) {
    outlook->App().Fail("_Application.ActiveExplorer", RPC_E_CALL_REJECTED);
    EXPECT_EQ(RPC_E_CALL_REJECTED, Connect());
    EXPECT_EQ(1u, outlook->Host().Calls().size());
    EXPECT_EQ(nullptr, Menu());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
}

TEST_F(HostFixture, MissingAboutItemGivesInvalidArgAndConnectsNoSink) {
    kstest::BoxRecorder boxes;
    // The popup and Help are added; the About item is refused.
    outlook->Host().Fail("CommandBarControls.Add", E_FAIL, 2);
    EXPECT_EQ(E_INVALIDARG, Connect());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
    if (HelpItem()) {
        EXPECT_EQ(0u, HelpItem()->SinkCount());
    }
    EXPECT_EQ(S_OK, Disconnect());
    addin.Release();
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST(Disconnection, OfAnAddinNeverConnectedCallsNothing) {
    kshost::Outlook outlook;
    kshost::LoadedAddIn addin;
    ASSERT_EQ(S_OK, addin.Create(kstest::kAddinProgId));
    EXPECT_EQ(S_OK, addin.Disconnect());
    EXPECT_EQ(S_OK, addin.Disconnect());
    EXPECT_TRUE(outlook.Host().Calls().empty());
}

// ---------------------------------------------------------------------------
// Connection with the main window: the sinks

TEST_F(HostFixture, ConnectsClickSinksToBothItemsAndCloseSinkToTheMainWindow) {
    ASSERT_LEGACY_MENU();
    ASSERT_EQ(S_OK, Connect());
    ASSERT_NE(nullptr, AboutItem());
    ASSERT_NE(nullptr, HelpItem());
    EXPECT_EQ(1u, AboutItem()->SinkCount());
    EXPECT_EQ(1u, HelpItem()->SinkCount());
    EXPECT_EQ(1u, ExplorerSinks(*outlook, kExplorerEvents));
    EXPECT_EQ(0u, ExplorerSinks(*outlook, kExplorerEvents10));
    // The sinks are advised after the menu is built, About first.
    const auto members = outlook->Host().Members();
    int firstAdvise = outlook->Host().IndexOf("IConnectionPoint.Advise");
    EXPECT_GT(firstAdvise, outlook->Host().IndexOf("CommandBarControls.Add"));
    EXPECT_EQ(3u, outlook->Host().CountOf("IConnectionPoint.Advise"));
    EXPECT_EQ(AboutItem()->Label(), outlook->Host().Calls()[firstAdvise].object);
}

TEST_F(HostFixture, ConnectedSinksKeepTheObjectAliveUntilDisconnection) {
    ASSERT_LEGACY_MENU();
    ASSERT_EQ(S_OK, Connect());
    // Not a reference: the object lives on through its sinks alone.
    _IDTExtensibility2* object = addin.Extensibility();
    addin.Release();
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    EXPECT_EQ(1u, outlook->MainWindow()->Fire(ks::DISPID_ExplorerEvents_SelectionChange));

    // Disconnection gives back the last references while it runs.
    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    EXPECT_EQ(S_OK, object->OnDisconnection(ks::ext_dm_UserClosed, &custom));
    SafeArrayDestroy(custom);
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, DisconnectionUnadvisesAllSinksAndLeavesTheMenu) {
    ASSERT_LEGACY_MENU();
    ULONG explorerRefs = outlook->MainWindow()->RefCount();
    ULONG appRefs = outlook->App().RefCount();
    ASSERT_EQ(S_OK, Connect());
    kshost::Button* about = AboutItem();
    kshost::Button* help = HelpItem();
    outlook->Host().ClearCalls();

    EXPECT_EQ(S_OK, Disconnect());
    EXPECT_EQ(0u, about->SinkCount());
    EXPECT_EQ(0u, help->SinkCount());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
    EXPECT_EQ(3u, outlook->Host().CountOf("IConnectionPoint.Unadvise"));
    EXPECT_EQ(1u, outlook->MenuBarControls().CountTagged(L"KestrinSelectATL"));
    EXPECT_EQ(appRefs, outlook->App().RefCount());
    // The main window stays referenced until the object goes.
    EXPECT_EQ(explorerRefs + 1, outlook->MainWindow()->RefCount());

    addin.Release();
    EXPECT_EQ(explorerRefs, outlook->MainWindow()->RefCount());
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, EveryHostObjectIsFreedOnceTheAddinAndTheHostAreGone) {
    ksdouble::Context host = outlook->SharedContext();
    Connect();  // with or without the menu, whatever was taken must come back
    outlook->MainWindow()->Fire(ks::DISPID_ExplorerEvents_Close);
    ASSERT_EQ(S_OK, Disconnect());
    addin.Release();
    outlook.reset();
    // A reference the add-in kept or forgot to release keeps its object alive.
    EXPECT_EQ(0, host->LiveObjects());
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, SecondDisconnectionTriesAgainAndIgnoresTheRefusal) {
    ASSERT_LEGACY_MENU();
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, Disconnect());
    outlook->Host().ClearCalls();
    EXPECT_EQ(S_OK, Disconnect());
    EXPECT_EQ(3u, outlook->Host().CountOf("IConnectionPoint.Unadvise"));
}

TEST_F(HostFixture, ReconnectionAfterDisconnectionReplacesTheMenu) {
    ASSERT_LEGACY_MENU();
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, Disconnect());
    ASSERT_EQ(S_OK, Connect());
    EXPECT_EQ(1u, outlook->MenuBarControls().CountTagged(L"KestrinSelectATL"));
    EXPECT_EQ(1u, AboutItem()->SinkCount());
    EXPECT_EQ(1u, HelpItem()->SinkCount());
    EXPECT_EQ(1u, outlook->MainWindow()->SinkCount());
    ASSERT_EQ(S_OK, Disconnect());
    addin.Release();
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, SecondConnectionWithoutDisconnectionFailsAtTheFirstSink) {
    ASSERT_LEGACY_MENU();
    ASSERT_EQ(S_OK, Connect());
    EXPECT_EQ(E_FAIL, Connect());
    // The new menu's items got no sink; the main window keeps the first one.
    EXPECT_EQ(0u, AboutItem()->SinkCount());
    EXPECT_EQ(0u, HelpItem()->SinkCount());
    EXPECT_EQ(1u, outlook->MainWindow()->SinkCount());
    EXPECT_EQ(S_OK, Disconnect());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
    addin.Release();
    EXPECT_EQ(S_OK, CanUnloadNow());  // the first menu's items went with their menu
}

TEST_F(HostFixture, FailedMainWindowSinkDisconnectsTheClickSinks) {
    ASSERT_LEGACY_MENU();
    outlook->MainWindow()->Fail("IConnectionPointContainer.FindConnectionPoint", E_UNEXPECTED);
    EXPECT_EQ(E_UNEXPECTED, Connect());
    EXPECT_EQ(0u, AboutItem()->SinkCount());
    EXPECT_EQ(0u, HelpItem()->SinkCount());
    addin.Release();
    // Nothing advised on the host keeps the object alive.
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, FailedHelpSinkDisconnectsTheAboutSink) {
    ASSERT_LEGACY_MENU();
    outlook->Host().Fail("IConnectionPoint.Advise", CONNECT_E_ADVISELIMIT, 1);
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, Connect());
    EXPECT_EQ(0u, AboutItem()->SinkCount());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
    addin.Release();
    EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(HostFixture, ButtonWithoutConnectionPointsFailsWithTheQueryResult) {
    ASSERT_LEGACY_MENU();
    // The container answers, but hands back no connection point.
    outlook->Host().Empty("IConnectionPointContainer.FindConnectionPoint");
    EXPECT_EQ(E_POINTER, Connect());
    EXPECT_EQ(0u, outlook->MainWindow()->SinkCount());
}

// ---------------------------------------------------------------------------
// Events arriving at the sinks

IDispatch* ExplorerSink(kshost::Outlook& outlook) {
    return outlook.MainWindow()->Points().Point(kExplorerEvents)->SinkAt(0);
}

HRESULT InvokeSink(IDispatch* sink, DISPID id, VARIANT* args, UINT count, DISPID* named = nullptr, UINT namedCount = 0) {
    DISPPARAMS params = {args, named, count, namedCount};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    EXPECT_EQ(VT_EMPTY, V_VT(&result));
    return hr;
}

TEST_F(HostFixture, MainWindowEventsAreAcceptedAndChangeNothing) {
    ASSERT_LEGACY_MENU();
    kstest::BoxRecorder boxes;
    ASSERT_EQ(S_OK, Connect());
    ULONG explorerRefs = outlook->MainWindow()->RefCount();
    outlook->Host().ClearCalls();
    for (DISPID id : {ks::DISPID_ExplorerEvents_Activate, ks::DISPID_ExplorerEvents_SelectionChange, ks::DISPID_ExplorerEvents_Deactivate,
                      ks::DISPID_ExplorerEvents_Close})
        EXPECT_EQ(1u, outlook->MainWindow()->Fire(id));
    EXPECT_TRUE(outlook->Host().Calls().empty());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(explorerRefs, outlook->MainWindow()->RefCount());
    EXPECT_EQ(1u, outlook->MainWindow()->SinkCount());
}

TEST_F(HostFixture, SinkRefusesEventsWhoseArgumentsDoNotFit) {
    ASSERT_LEGACY_MENU();
    kstest::BoxRecorder boxes;
    ASSERT_EQ(S_OK, Connect());
    IDispatch* sink = ExplorerSink(*outlook);
    ASSERT_NE(nullptr, sink);
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = 7;
    EXPECT_EQ(S_OK, InvokeSink(sink, ks::DISPID_ExplorerEvents_Close, nullptr, 0));
    EXPECT_EQ(E_FAIL, InvokeSink(sink, ks::DISPID_ExplorerEvents_Close, &arg, 1));
    DISPID outOfRange = 8;
    EXPECT_EQ(E_FAIL, InvokeSink(sink, ks::DISPID_ExplorerEvents_Close, &arg, 1, &outOfRange, 1));
    // Events the sink does not handle are accepted whatever their arguments.
    EXPECT_EQ(S_OK, InvokeSink(sink, 0xF003, &arg, 1));

    IDispatch* click = AboutItem()->Points().Point(ks::IID_CommandBarButtonEvents)->SinkAt(0);
    ASSERT_NE(nullptr, click);
    // Click with the control where a cancel flag belongs, and one argument short.
    VARIANT wrong[2];
    VariantInit(&wrong[0]);
    VariantInit(&wrong[1]);
    V_VT(&wrong[0]) = VT_I4;
    V_VT(&wrong[1]) = VT_I4;
    EXPECT_EQ(E_FAIL, InvokeSink(click, 1, wrong, 2));
    EXPECT_EQ(E_FAIL, InvokeSink(click, 1, wrong, 1));
    EXPECT_TRUE(boxes.Boxes().empty());  // no handler ran
}

TEST_F(HostFixture, SinkAnswersItsEventInterfaceAndNothingElse) {
    ASSERT_LEGACY_MENU();
    ASSERT_EQ(S_OK, Connect());
    IDispatch* sink = ExplorerSink(*outlook);
    ASSERT_NE(nullptr, sink);
    ks::ComRef<IUnknown> found;
    EXPECT_EQ(S_OK, sink->QueryInterface(kExplorerEvents, found.PutVoid()));
    EXPECT_EQ(S_OK, sink->QueryInterface(IID_IDispatch, found.PutVoid()));
    EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(IID_NULL, found.PutVoid()));
    EXPECT_EQ(E_NOINTERFACE, sink->QueryInterface(ks::IID_CommandBarButtonEvents, found.PutVoid()));
    EXPECT_EQ(E_POINTER, sink->QueryInterface(IID_IDispatch, nullptr));
    UINT count = 0;
    EXPECT_EQ(E_NOTIMPL, sink->GetTypeInfoCount(&count));
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The IDispatch halves of the host-facing interfaces, answered from the
// host's registered type libraries.

TEST_F(HostFixture, ExtensibilityAnswersByNameFromTheDesignerLibrary) {
    ASSERT_EQ(S_OK, kshost::RegisterHostTypeLibraries());
    _IDTExtensibility2* extensibility = addin.Extensibility();
    UINT count = 0;
    EXPECT_EQ(S_OK, extensibility->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"OnStartupComplete");
    ASSERT_EQ(S_OK, extensibility->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(4, id);

    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_ARRAY | VT_VARIANT | VT_BYREF;
    V_ARRAYREF(&arg) = &custom;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXPECT_EQ(S_OK, extensibility->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                          nullptr, nullptr));
    SafeArrayDestroy(custom);
}

TEST_F(HostFixture, RibbonExtensibilityNamesComeFromTheOfficeLibrary) {
    ASSERT_EQ(S_OK, kshost::RegisterHostTypeLibraries());
    ks::ComRef<IRibbonExtensibility> ribbon;
    ASSERT_EQ(S_OK, addin.Extensibility()->QueryInterface(ks::IID_IRibbonExtensibility, ribbon.PutVoid()));
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"GetCustomUI");
    EXPECT_EQ(S_OK, ribbon->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(1, id);
    ks::ComRef<ITypeInfo> info;
    ASSERT_EQ(S_OK, ribbon->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(ks::IID_IRibbonExtensibility, attr->guid));
    info->ReleaseTypeAttr(attr);
}

}  // namespace
