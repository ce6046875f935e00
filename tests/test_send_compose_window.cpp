// The stand-in compose window: a real frame of Outlook's class that runs its
// send command from a WM_COMMAND, whoever sent it.
#include <windows.h>

#include <gtest/gtest.h>

#include "host/addin_site.h"
#include "host/compose_window.h"

using kshost::ComposeWindow;

namespace {

class ComposeWindowTest : public ::testing::Test {
protected:
    kshost::Outlook m_outlook;
    kshost::MailItem& m_item = m_outlook.Compose(L"<html>x</html>");
};

std::string ClassNameOf(HWND window) {
    char name[260] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

}  // namespace

TEST_F(ComposeWindowTest, FrameHasOutlooksClassAndAFocusableBody) {
    ComposeWindow window(&m_item);
    ASSERT_TRUE(window.IsOpen());
    EXPECT_EQ(ClassNameOf(window.Frame()), "rctrl_renwnd32");
    EXPECT_EQ(GetAncestor(window.Body(), GA_ROOT), window.Frame());
    EXPECT_NE(GetParent(window.Body()), window.Frame()) << "the body sits deeper than the frame";
    ASSERT_TRUE(window.FocusBody());
    EXPECT_EQ(GetFocus(), window.Body());
}

TEST_F(ComposeWindowTest, SendCommandFromKeyboardOrMenuSendsAndCloses) {
    for (WPARAM source : {MAKEWPARAM(kshost::kSendCommand, 1), MAKEWPARAM(kshost::kSendCommand, 0)}) {
        kshost::MailItem& item = m_outlook.Compose(L"<html>y</html>");
        const ULONG refs = item.RefCount();
        ComposeWindow window(&item);
        PostMessageW(window.Frame(), WM_COMMAND, source, 0);
        EXPECT_EQ(item.SendCount(), 0) << "only when the queue is run";
        ComposeWindow::PumpMessages();
        EXPECT_EQ(item.SendCount(), 1);
        EXPECT_TRUE(item.IsSent());
        EXPECT_FALSE(window.IsOpen());
        EXPECT_EQ(item.RefCount(), refs) << "the closed window let go of its item";
    }
}

TEST_F(ComposeWindowTest, OtherCommandsDoNotSend) {
    ComposeWindow window(&m_item);
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(0x0412, 1), 0);
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(0x0410, 0), 0);
    EXPECT_EQ(window.SendCommands(), 0);
    EXPECT_EQ(m_item.SendCount(), 0);
    EXPECT_TRUE(window.IsOpen());
}

TEST_F(ComposeWindowTest, RefusedSendLeavesTheWindowOpen) {
    ComposeWindow window(&m_item);
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT);
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(kshost::kSendCommand, 1), 0);
    EXPECT_EQ(window.SendCommands(), 1);
    EXPECT_EQ(window.LastSendResult(), E_ABORT);
    EXPECT_TRUE(window.IsOpen());
    EXPECT_FALSE(m_item.IsSent());
}
