// The "&KestrinSelect" menu on the stand-in Outlook's menu bar, built and
// found again by the add-in loaded through COM: where it goes, what it
// carries, how reconnection replaces it, which controls it deletes, and the
// error box of each failing host call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/outlook/addins_tab.h"
#include "support/expected_texts.h"
#include "support/host_fixture.h"
#include "support/message_boxes.h"

using kshost::ControlData;

namespace {

namespace ex = kstest::expected;

const wchar_t kTag[] = L"KestrinSelectATL";

std::vector<std::wstring> PutMembers(const ksdouble::HostContext& host) {
    std::vector<std::wstring> puts;
    for (const std::string& m : host.Members()) {
        if (m.find(".put_") != std::string::npos) puts.emplace_back(m.begin(), m.end());
    }
    return puts;
}

class LegacyMenu : public kstest::HostFixture {
protected:
    kshost::Controls& Bar() { return outlook->MenuBarControls(); }

    // Connects with the boxes read and closed; returns OnConnection's result.
    HRESULT ConnectRecording() {
        kstest::BoxRecorder recorder;
        HRESULT hr = Connect();
        boxes = recorder.Boxes();
        return hr;
    }

    std::vector<kstest::ShownBox> boxes;
};

}  // namespace

TEST_F(LegacyMenu, GoesBeforeTheLastMenuOfAPopulatedBar) {
    const std::vector<std::wstring> before = Bar().Captions();
    ASSERT_EQ(before.size(), 7u);
    ASSERT_EQ(before.back(), L"&Help");

    EXPECT_EQ(ConnectRecording(), S_OK);
    EXPECT_TRUE(boxes.empty());

    std::vector<std::wstring> expected = before;
    expected.insert(expected.end() - 1, L"&KestrinSelect");
    EXPECT_EQ(Bar().Captions(), expected) << "the menu takes position 7, Outlook's Help moves to 8";
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(&Bar().At(6), static_cast<ControlData*>(Menu()));
}

TEST_F(LegacyMenu, CarriesItsTagCaptionsAndTwoTemporaryItems) {
    ASSERT_EQ(Connect(), S_OK);
    kshost::Popup* menu = Menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->type, kshost::kControlPopup);
    EXPECT_EQ(menu->tag, kTag);
    EXPECT_EQ(menu->caption, L"&KestrinSelect");
    EXPECT_TRUE(menu->enabled);
    EXPECT_TRUE(menu->visible);
    EXPECT_TRUE(menu->temporary);
    EXPECT_TRUE(menu->parameter.empty());
    EXPECT_EQ(menu->Items().Captions(), (std::vector<std::wstring>{L"&Help", L"&About KestrinSelect"}));
    for (kshost::Button* item : {HelpItem(), AboutItem()}) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->type, kshost::kControlButton);
        EXPECT_TRUE(item->tag.empty()) << "only the menu is tagged";
        EXPECT_TRUE(item->enabled && item->visible && item->temporary);
        EXPECT_EQ(item->SinkCount(), 1u) << "its Click is connected";
    }
}

TEST_F(LegacyMenu, SetsTagCaptionEnabledVisibleInThatOrderAndNothingElse) {
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(PutMembers(outlook->Host()),
              (std::vector<std::wstring>{
                  L"CommandBarControl.put_Tag", L"CommandBarControl.put_Caption", L"CommandBarControl.put_Enabled",
                  L"CommandBarControl.put_Visible",                                   // the menu
                  L"CommandBarControl.put_Caption", L"CommandBarControl.put_Enabled",
                  L"CommandBarControl.put_Visible",                                   // Help
                  L"CommandBarControl.put_Caption", L"CommandBarControl.put_Enabled",
                  L"CommandBarControl.put_Visible"}));                                // About
}

// Outlook 2010 and later show no menu bar: the menu is found on the main
// window's Add-ins tab, alone (Outlook's own menus are not there), with its
// two items as a person reads them; reconnecting leaves one menu there.
TEST_F(LegacyMenu, ShowsOnTheAddInsTabWithItsItems) {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(Disconnect(), S_OK);
    ASSERT_EQ(Connect(), S_OK);
    const kshost::AddInsTab tab = kshost::AddInsTabOf(Bar());
    ASSERT_EQ(tab.menuCommands.size(), 1u);
    EXPECT_EQ(tab.menuCommands[0].label, L"KestrinSelect");
    EXPECT_EQ(tab.menuCommands[0].control, static_cast<ControlData*>(Menu()));
    EXPECT_EQ(tab.menuCommands[0].itemLabels, (std::vector<std::wstring>{L"Help", L"About KestrinSelect"}));
    EXPECT_EQ(kshost::FindAddInsTabItem(tab, L"Help"), HelpItem());
    EXPECT_EQ(kshost::FindAddInsTabItem(tab, L"&About KestrinSelect"), AboutItem());
    EXPECT_EQ(kshost::FindAddInsTabItem(tab, L"&Help"), HelpItem());
}

TEST_F(LegacyMenu, OnAnEmptyBarIsTheOnlyMenu) {
    while (Bar().Size() > 0) Bar().Remove(Bar().At(0));
    EXPECT_EQ(ConnectRecording(), S_OK);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Bar().Captions(), std::vector<std::wstring>{L"&KestrinSelect"});
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(Menu()->Items().Size(), 2u);
}

TEST_F(LegacyMenu, ReconnectionReplacesTheMenuAndItsButtons) {
    ASSERT_EQ(Connect(), S_OK);
    ks::ComRef<IUnknown> oldMenu(Menu()->Interface());
    ks::ComRef<IUnknown> oldAbout(AboutItem()->Interface());
    kshost::Button* oldAboutItem = AboutItem();
    kshost::Button* oldHelpItem = HelpItem();
    ASSERT_EQ(Disconnect(), S_OK);
    EXPECT_NE(Menu(), nullptr) << "disconnection leaves the menu until Outlook closes";

    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Bar().CountTagged(kTag), 1u);
    EXPECT_EQ(Bar().Size(), 8u);
    ASSERT_NE(Menu(), nullptr);
    EXPECT_NE(static_cast<IUnknown*>(Menu()->Interface()), oldMenu.Get()) << "built anew";
    EXPECT_NE(AboutItem(), oldAboutItem);
    EXPECT_NE(HelpItem(), oldHelpItem);
    // The new buttons are the ones whose Click the add-in listens to.
    EXPECT_EQ(AboutItem()->SinkCount(), 1u);
    EXPECT_EQ(HelpItem()->SinkCount(), 1u);
    EXPECT_EQ(oldAboutItem->SinkCount(), 0u);
    // The add-in gave back its reference to the old About button: only ours
    // and the deleted popup's collection may still count on it.
    EXPECT_LE(oldAboutItem->RefCount(), 2u);
}

TEST_F(LegacyMenu, OfTwoTaggedControlsDeletesOnlyTheLowerOne) {
    Bar().At(2).tag = kTag;
    Bar().At(5).tag = kTag;
    const std::wstring lower = Bar().At(2).caption;
    const std::wstring higher = Bar().At(5).caption;

    ASSERT_EQ(ConnectRecording(), S_OK);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Bar().FindByCaption(lower), nullptr) << "the lower one is deleted";
    ASSERT_NE(Bar().FindByCaption(higher), nullptr) << "the higher one stays";
    EXPECT_EQ(Bar().CountTagged(kTag), 2u) << "the survivor and the new menu";
    EXPECT_EQ(Bar().Size(), 7u);
}

TEST_F(LegacyMenu, MatchesTheTagExactlyAndIgnoresCaptions) {
    Bar().At(1).tag = L"kestrinselectatl";
    ControlData& lookalike = Bar().AddBuiltIn(kshost::kControlPopup, L"&KestrinSelect");
    (void)lookalike;

    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(Bar().At(1).tag, L"kestrinselectatl") << "a tag differing in case survives";
    EXPECT_EQ(Bar().CountTagged(kTag), 1u);
    size_t sameCaption = 0;
    for (const std::wstring& c : Bar().Captions()) sameCaption += c == L"&KestrinSelect";
    EXPECT_EQ(sameCaption, 2u) << "the untagged lookalike survives beside the new menu";
    EXPECT_EQ(outlook->Host().CountOf("CommandBarControl.Delete"), 0u);
}

TEST_F(LegacyMenu, UnreadableCountMeansNothingToSearch) {
    Bar().At(3).tag = kTag;
    outlook->Host().Fail("CommandBarControls.get_Count", E_FAIL);
    EXPECT_EQ(ConnectRecording(), S_OK);
    EXPECT_TRUE(boxes.empty()) << "the count's failure is not reported";
    EXPECT_EQ(outlook->Host().CountOf("CommandBarControls.get_Item"), 0u);
    EXPECT_EQ(Bar().CountTagged(kTag), 2u) << "nothing deleted; the new menu added";
}

TEST_F(LegacyMenu, StaysAfterDisconnectionAndVanishesWhenOutlookCloses) {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(Disconnect(), S_OK);
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(AboutItem()->SinkCount(), 0u);
    EXPECT_EQ(HelpItem()->SinkCount(), 0u);

    outlook->MainWindow()->CommandBarsObject().DropTemporary();
    EXPECT_EQ(Bar().CountTagged(kTag), 0u);
    EXPECT_EQ(Bar().Size(), 7u) << "Outlook's own menus stay";
}

// ---------------------------------------------------------------------------
// Each failing host call: one error box with its text, and the call's HRESULT.

namespace {

struct FailingCall {
    const char* member;
    int skip;  // calls of the member that pass first
    const char* text;
    bool removing;  // a failure while removing aborts the connection with its HRESULT
};

const HRESULT kInjected = static_cast<HRESULT>(0x80045A01);

const FailingCall kFailingCalls[] = {
    {"_Explorer.get_CommandBars", 0, ex::kRemoveNoCommandBars, true},
    {"_CommandBars.get_ActiveMenuBar", 0, ex::kRemoveNoMenuBar, true},
    {"CommandBar.get_Controls", 0, ex::kRemoveNoMenuBarControls, true},
    {"CommandBarControls.get_Item", 0, ex::kRemoveNoNextControl, true},
    {"_Explorer.get_CommandBars", 1, ex::kAddNoCommandBars, false},
    {"_CommandBars.get_ActiveMenuBar", 1, ex::kAddNoMenuBar, false},
    {"CommandBar.get_Controls", 1, ex::kAddNoMenuBarControls, false},
    {"CommandBarControls.Add", 0, ex::kAddPopupFailed, false},
    {"CommandBarControl.get_Control", 0, ex::kAddNoPopupControl, false},
    {"CommandBarPopup.get_Controls", 0, ex::kAddNoPopupControls, false},
    {"CommandBarControls.Add", 1, ex::kAddHelpFailed, false},
    {"CommandBarControls.Add", 2, ex::kAddAboutFailed, false},
};

}  // namespace

TEST_F(LegacyMenu, EachFailingHostCallShowsItsOwnErrorBox) {
    for (const FailingCall& call : kFailingCalls) {
        SCOPED_TRACE(std::string(call.member) + " after " + std::to_string(call.skip) + " calls");
        TearDown();
        SetUp();
        outlook->Host().Fail(call.member, kInjected, call.skip, 1);

        HRESULT hr = ConnectRecording();
        ASSERT_EQ(boxes.size(), 1u) << "exactly one box";
        EXPECT_EQ(boxes[0].title, ex::kErrorTitle);
        EXPECT_EQ(boxes[0].text, call.text);
        if (call.removing) {
            EXPECT_EQ(hr, kInjected) << "the connection fails with the call's HRESULT";
            EXPECT_EQ(outlook->Host().CountOf("CommandBarControls.Add"), 0u) << "nothing is built";
        } else {
            EXPECT_TRUE(FAILED(hr)) << "a button missing, its Click cannot be connected";
        }
    }
}

TEST_F(LegacyMenu, FailedDeleteShowsItsBoxAndAbortsTheConnection) {
    Bar().At(4).tag = kTag;
    outlook->Host().Fail("CommandBarControl.Delete", kInjected);
    EXPECT_EQ(ConnectRecording(), kInjected);
    EXPECT_EQ(kstest::Texts(boxes), std::vector<std::string>{ex::ErrorBox(ex::kRemoveDeleteFailed)});
    EXPECT_EQ(Bar().CountTagged(kTag), 1u) << "the old menu stays, no new one";
}

TEST_F(LegacyMenu, FailedAboutItemLeavesOnlyHelpInTheMenu) {
    outlook->Host().Fail("CommandBarControls.Add", kInjected, 2, 1);
    ConnectRecording();
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(Menu()->Items().Captions(), std::vector<std::wstring>{L"&Help"});
    EXPECT_EQ(Menu()->tag, kTag);
}

TEST_F(LegacyMenu, SuccessWithoutAnObjectIsReportedNotFollowed) {
    // A host that answers S_OK with no object must not crash the add-in:
    // the step fails with E_POINTER after its box.
    outlook->Host().Empty("_CommandBars.get_ActiveMenuBar", 0, 1);
    HRESULT hr = ConnectRecording();
    EXPECT_EQ(hr, E_POINTER);
    EXPECT_EQ(kstest::Texts(boxes), std::vector<std::string>{ex::ErrorBox(ex::kRemoveNoMenuBar)});
}
