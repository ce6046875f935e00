// The About box as Outlook opens it: the stand-in raises Click on the
// "&About KestrinSelect" button, reached on the main window's Add-ins tab,
// and the add-in loaded through COM shows the box, owned by Outlook's main
// window, with its picture loaded once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/outlook/addins_tab.h"
#include "support/about_box_driver.h"
#include "support/expected_texts.h"
#include "support/host_fixture.h"
#include "support/import_counter.h"
#include "support/import_patch.h"
#include "support/message_boxes.h"

using kstest::AfterShown;

namespace {

const COLORREF kField = RGB(5, 41, 94);

// The texts the add-in draws with TextOutA, recorded on their way to the
// real call.
std::vector<std::string> g_drawn;
void* g_textOut = nullptr;
BOOL WINAPI RecordingTextOut(HDC dc, int x, int y, LPCSTR text, int length) {
    g_drawn.emplace_back(text, text + (length > 0 ? length : 0));
    return reinterpret_cast<BOOL(WINAPI*)(HDC, int, int, LPCSTR, int)>(g_textOut)(dc, x, y, text, length);
}

// A top-level window of Outlook's frame class, standing for its main window.
class OutlookFrameWindow {
public:
    OutlookFrameWindow() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "rctrl_renwnd32";
        RegisterClassA(&wc);
        m_window = CreateWindowA("rctrl_renwnd32", "Inbox - Outlook", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
                                 480, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~OutlookFrameWindow() {
        if (m_window) DestroyWindow(m_window);
    }
    HWND Get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

// What was seen of one About box while it was open.
struct SeenBox {
    std::string title;
    HWND owner = nullptr;
    bool ownerEnabled = true;
    COLORREF topLeft = 0;
    COLORREF emblem = 0;
};

class AboutClick : public kstest::HostFixture {
protected:
    // Clicks the About item; each box that opens is looked at, then closed
    // with OK. Returns the cancel-default flag as the sinks left it.
    VARIANT_BOOL ClickAbout(VARIANT_BOOL cancelDefault = VARIANT_FALSE) {
        kstest::BoxRecorder recorder;
        recorder.OnDialog([this](HWND dialog) {
            AfterShown(dialog, [this](HWND d) {
                SeenBox seen;
                char title[128] = {};
                GetWindowTextA(d, title, sizeof(title));
                seen.title = title;
                seen.owner = GetWindow(d, GW_OWNER);
                seen.ownerEnabled = seen.owner && IsWindowEnabled(seen.owner);
                kstest::ClientPixels shot = kstest::CaptureClient(d);
                if (shot.width > 60 && shot.height > 60) {
                    seen.topLeft = shot.At(0, 0);
                    seen.emblem = shot.At(40, 40);
                }
                seenBoxes.push_back(seen);
                PostMessageW(d, WM_COMMAND, IDOK, 0);
            });
        });
        // Clicked where Outlook 2010 and later show the menu: the Add-ins tab.
        if (!Menu()) return cancelDefault;
        kshost::Button* about =
            kshost::FindAddInsTabItem(kshost::AddInsTabOf(outlook->MenuBarControls()), L"About KestrinSelect");
        EXPECT_EQ(about, AboutItem()) << "the tab's item is the menu's own button";
        if (!about) return cancelDefault;
        return about->Click(cancelDefault);
    }

    std::vector<SeenBox> seenBoxes;
};

}  // namespace

TEST_F(AboutClick, ClickOnTheAboutItemOpensTheBox) {
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(ClickAbout(), VARIANT_FALSE);
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].title, kstest::expected::kAboutTitle);
    EXPECT_EQ(seenBoxes[0].topLeft, kField) << "the picture at the top left";
    EXPECT_NE(seenBoxes[0].emblem, kField) << "the emblem drawn in the band";
}

TEST_F(AboutClick, TheBoxDrawsItsThreeLines) {
    kstest::ImportPatch draw(GetModuleHandleW(kstest::AddinDllPath().c_str()), "gdi32.dll", "TextOutA",
                             reinterpret_cast<void*>(&RecordingTextOut));
    ASSERT_TRUE(draw.Patched()) << "the add-in imports TextOutA";
    g_textOut = draw.Original();
    g_drawn.clear();
    ASSERT_EQ(Connect(), S_OK);
    ClickAbout();
    ASSERT_EQ(seenBoxes.size(), 1u);
    // Painted at least once; every further paint draws the same lines again.
    const std::vector<std::string> lines = {kstest::expected::kAboutProductLine, kstest::expected::kAboutVersionLine,
                                            kstest::expected::kAboutCopyrightLine};
    ASSERT_GE(g_drawn.size(), lines.size());
    EXPECT_EQ(g_drawn.size() % lines.size(), 0u);
    for (size_t i = 0; i < g_drawn.size(); ++i) EXPECT_EQ(g_drawn[i], lines[i % lines.size()]) << "text " << i;
}

TEST_F(AboutClick, LeavesTheCancelDefaultFlagAsPassed) {
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(ClickAbout(VARIANT_TRUE), VARIANT_TRUE);
    EXPECT_EQ(seenBoxes.size(), 1u);
}

TEST_F(AboutClick, IsOwnedByOutlooksMainWindowWhichItDisables) {
    OutlookFrameWindow frame;
    ASSERT_NE(frame.Get(), nullptr);
    ASSERT_EQ(Connect(), S_OK);
    ClickAbout();
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].owner, frame.Get());
    EXPECT_FALSE(seenBoxes[0].ownerEnabled) << "modal: the main window is disabled while it is open";
    EXPECT_TRUE(IsWindowEnabled(frame.Get())) << "and enabled again after";
}

TEST_F(AboutClick, OpensWithoutOwnerWhenOutlookHasNoMainWindow) {
    ASSERT_EQ(FindWindowA("rctrl_renwnd32", nullptr), nullptr);
    ASSERT_EQ(Connect(), S_OK);
    ClickAbout();
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].owner, nullptr);
}

TEST_F(AboutClick, LoadsThePictureOnceAndAgainAfterReconnection) {
    kstest::ImportCounter loads(GetModuleHandleW(kstest::AddinDllPath().c_str()), "user32.dll", "LoadBitmapA");
    ASSERT_TRUE(loads.Hooked()) << "the add-in imports LoadBitmapA";
    ASSERT_EQ(Connect(), S_OK);

    ClickAbout();
    ClickAbout();
    EXPECT_EQ(seenBoxes.size(), 2u);
    EXPECT_EQ(loads.Calls(), 1) << "one load for two boxes";
    EXPECT_EQ(seenBoxes[1].topLeft, kField) << "the second box shows the same picture";

    ASSERT_EQ(Disconnect(), S_OK);
    ASSERT_EQ(Connect(), S_OK);
    ClickAbout();
    EXPECT_EQ(seenBoxes.size(), 3u);
    EXPECT_EQ(loads.Calls(), 2) << "a new connection forgets the picture";
    EXPECT_EQ(seenBoxes[2].topLeft, kField);
}

TEST_F(AboutClick, ClickAfterDisconnectionDoesNothing) {
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(Disconnect(), S_OK);
    ClickAbout();
    EXPECT_TRUE(seenBoxes.empty());
}

TEST_F(AboutClick, ClosingTheMainWindowShowsNothingAndKeepsTheAddInWorking) {
    ASSERT_EQ(Connect(), S_OK);
    kstest::BoxRecorder recorder;
    EXPECT_EQ(outlook->MainWindow()->Fire(ks::DISPID_ExplorerEvents_Close), 1u) << "the add-in listens to Close";
    EXPECT_TRUE(recorder.Boxes().empty());
    ASSERT_NE(AboutItem(), nullptr) << "the menu stays until Outlook discards it";
    ClickAbout();
    EXPECT_EQ(seenBoxes.size(), 1u);
}
