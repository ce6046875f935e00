// The stand-in compose window: a real frame of Outlook's class that runs its
// send command from a WM_COMMAND, whoever sent it, and refuses it as Outlook
// does when the To box is empty or holds a name that does not resolve.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/addin_site.h"
#include "host/compose_window.h"
#include "host/outbox.h"
#include "host/recipients.h"
#include "support/addin_dll.h"
#include "support/message_boxes.h"

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

namespace {

// The static texts of a dialog, top to bottom.
std::vector<std::string> StaticTexts(HWND dialog) {
    std::vector<std::string> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = {}, text[512] = {};
        GetClassNameA(child, className, sizeof(className));
        if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0) texts.push_back(text);
    }
    return texts;
}

}  // namespace

// What Outlook does with the send command for each To box: sends to every
// name that resolves, or refuses with its box (no recipient) or the Check
// Names dialog (a name it does not know), and then leaves the window open
// without calling Send.
TEST_F(ComposeWindowTest, SendCommandChecksTheToBoxFirst) {
    const HRESULT noRecipients = static_cast<HRESULT>(0x80040607);  // MAPI_E_NO_RECIPIENTS
    const HRESULT notFound = static_cast<HRESULT>(0x8004010F);      // MAPI_E_NOT_FOUND
    struct Case {
        const wchar_t* typed;
        HRESULT refusal;       // S_OK: sent
        const char* toLine;    // of the sent message
    };
    const Case cases[] = {
        {L"finance@example.com", S_OK, "finance@example.com"},
        {L"  Jane Doe <jane@example.com> ", S_OK, "Jane Doe <jane@example.com>"},
        {L"a@example.com;b@example.com;", S_OK, "a@example.com, b@example.com"},
        {L"", noRecipients, nullptr},
        {L" ; ", noRecipients, nullptr},
        {L"Finance Team", notFound, nullptr},
        {L"a@example.com; Finance Team", notFound, nullptr},
        {L"jane@", notFound, nullptr},
        {L"Jane <jane at example.com>", notFound, nullptr},
    };
    kshost::Outbox outbox(kstest::TestDirectory() + L"outbox-to-box");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed, c.typed + wcslen(c.typed)));
        outbox.Clear();
        kshost::MailItem& item = m_outlook.Compose(L"<html>z</html>");
        auto to = std::make_shared<kshost::Recipients>(c.typed);
        kshost::SendThroughOutbox(item, outbox, to);
        ComposeWindow window(&item);
        window.UseRecipients(to);
        std::vector<std::vector<std::string>> dialogTexts;
        HWND dialogOwner = nullptr;
        kstest::BoxRecorder recorder;
        recorder.OnDialog([&](HWND dialog) {
            dialogTexts.push_back(StaticTexts(dialog));
            dialogOwner = GetWindow(dialog, GW_OWNER);
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        PostMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(kshost::kSendCommand, 1), 0);
        ComposeWindow::PumpMessages();

        EXPECT_EQ(window.SendCommands(), 1);
        EXPECT_EQ(window.LastSendResult(), c.refusal);
        if (c.refusal == S_OK) {
            EXPECT_TRUE(recorder.Boxes().empty());
            EXPECT_FALSE(window.IsOpen());
            ASSERT_EQ(outbox.Files().size(), 1u);
            std::string text;
            ASSERT_TRUE(kshost::Outbox::ReadAll(outbox.Files()[0], text));
            kshost::ReceivedMessage sent;
            ASSERT_TRUE(kshost::ParseRfc5322(text, sent));
            EXPECT_EQ(sent.Values("To"), std::vector<std::string>{c.toLine});
            continue;
        }
        EXPECT_TRUE(window.IsOpen()) << "a refused message stays open";
        EXPECT_EQ(window.RefusedSends(), 1);
        EXPECT_EQ(item.SendCount(), 0) << "Send is not called";
        EXPECT_TRUE(outbox.Files().empty());
        ASSERT_EQ(recorder.Boxes().size(), 1u);
        const kstest::ShownBox& shown = recorder.Boxes()[0];
        if (c.refusal == noRecipients) {
            EXPECT_TRUE(shown.isMessageBox);
            EXPECT_EQ(shown.title, "Microsoft Outlook");
            EXPECT_EQ(shown.text, "There must be at least one name or contact group in the To, Cc, or Bcc box.");
            EXPECT_EQ(shown.icon, static_cast<UINT>(MB_ICONWARNING));
            EXPECT_TRUE(shown.okOnly);
            EXPECT_TRUE(dialogTexts.empty());
        } else {
            EXPECT_FALSE(shown.isMessageBox);
            EXPECT_EQ(shown.title, "Check Names");
            ASSERT_EQ(dialogTexts.size(), 1u);
            ASSERT_FALSE(dialogTexts[0].empty());
            EXPECT_EQ(dialogTexts[0][0].rfind("Microsoft Outlook does not recognize \"", 0), 0u) << dialogTexts[0][0];
            EXPECT_EQ(dialogOwner, window.Frame()) << "modal over the compose window";
        }
    }
}

// The sender types the missing recipient and sends again: the same message
// goes out, to that address.
TEST_F(ComposeWindowTest, RefusedMessageGoesOnceTheRecipientIsTyped) {
    kshost::Outbox outbox(kstest::TestDirectory() + L"outbox-retyped");
    outbox.Clear();
    auto to = std::make_shared<kshost::Recipients>();
    kshost::SendThroughOutbox(m_item, outbox, to);
    ComposeWindow window(&m_item);
    window.UseRecipients(to);
    kstest::BoxRecorder recorder;
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(kshost::kSendCommand, 1), 0);
    ASSERT_TRUE(window.IsOpen());
    EXPECT_EQ(m_item.Send(), static_cast<HRESULT>(0x80040607)) << "nor does the object model's Send send it";
    EXPECT_TRUE(outbox.Files().empty());

    window.To().Type(L"finance@example.com");
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(kshost::kSendCommand, 1), 0);
    EXPECT_EQ(window.LastSendResult(), S_OK);
    EXPECT_FALSE(window.IsOpen());
    EXPECT_EQ(recorder.Boxes().size(), 1u) << "the box of the first attempt only";
    ASSERT_EQ(outbox.Files().size(), 1u);
    std::string text;
    ASSERT_TRUE(kshost::Outbox::ReadAll(outbox.Files()[0], text));
    kshost::ReceivedMessage sent;
    ASSERT_TRUE(kshost::ParseRfc5322(text, sent));
    EXPECT_EQ(sent.Values("To"), std::vector<std::string>{"finance@example.com"});
}
