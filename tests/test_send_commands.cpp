// The two send commands through the real boundary: the add-in DLL created by
// COM and connected to the stand-in Outlook, ribbon callbacks called by name,
// compose windows as real windows, the message written to the outbox, and
// every box read by a hook.
#include <windows.h>
#include <mapicode.h>

#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "KestrinSelect_h.h"
#include "host/outlook/addin_site.h"
#include "host/outlook/compose_window.h"
#include "host/outlook/editor.h"
#include "host/outlook/outbox.h"
#include "support/addin_dll.h"
#include "support/expected_texts.h"
#include "support/import_patch.h"
#include "support/message_boxes.h"
#include "support/visible_text.h"

using kshost::ComposeWindow;
using kshost::ReceivedMessage;
using kstest::Texts;

namespace {

namespace ex = kstest::expected;

const std::string kLocateMessage = ex::ErrorBox(ex::kNoCurrentMessage);
const std::string kLocateDispatch = ex::ErrorBox(ex::kNoMailItemDispatch);
const std::string kLocateMail = ex::ErrorBox(ex::kNoMailItem);
const std::string kModifyHtml = ex::ErrorBox(ex::kBodyNotModified);
const std::string kNoMessageObject = ex::ErrorBox(ex::kNoMessageObject);
const std::string kNoPropertyId = ex::ErrorBox(ex::kNoHeaderPropertyId);
const std::string kNotSet = ex::ErrorBox(ex::kHeaderNotSet);
const std::string kSendFailed = ex::SendFailedBox();

constexpr HRESULT kNoFrame = static_cast<HRESULT>(0x80070490);

std::vector<std::string> None() { return {}; }
std::vector<std::string> Just(const std::string& box) { return {box}; }

std::wstring BrandedBody(const std::wstring& before, const std::wstring& after = L"") {
    return before + ex::Footer() + L"</html>" + after;
}

class SendCommands : public ::testing::Test {
protected:
    void SetUp() override {
        m_outbox.Clear();
        m_applicationRefs = m_outlook.App().RefCount();
        ASSERT_EQ(m_addin.Create(kstest::kAddinProgId), S_OK);
        ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
        m_boxes.Clear();
    }

    void TearDown() override {
        m_window.reset();
        m_addin.Disconnect();
        m_addin.Release();
        // Whatever the add-in took from the host it has given back.
        EXPECT_EQ(m_outlook.App().RefCount(), m_applicationRefs);
        m_outbox.Clear();
    }

    // A compose window on a new message, its body focused, whose Send writes
    // the message to the outbox.
    kshost::MailItem& Compose(const std::wstring& body, bool window = true) {
        kshost::MailItem& item = m_outlook.Compose(body);
        kshost::SendThroughOutbox(item, m_outbox);
        if (window) {
            m_window = std::make_unique<ComposeWindow>(static_cast<_MailItem*>(&item));
            EXPECT_TRUE(m_window->FocusBody());
        }
        m_item = ks::ComRef<kshost::MailItem>(&item);
        return item;
    }

    // A ribbon button pressed: through the callback interface's vtable, so
    // that the command's own HRESULT is seen, or by name as Office calls it
    // (a failure then arrives as DISP_E_EXCEPTION).
    HRESULT Press(bool select, bool byName) {
        m_outlook.Host().ClearCalls();
        const ULONG itemRefs = m_item ? m_item->RefCount() : 0;
        const ULONG messageRefs = m_item ? m_item->Message().RefCount() : 0;
        kshost::Inspector* inspector = m_outlook.ActiveInspectorObject();
        const ULONG inspectorRefs = inspector ? inspector->RefCount() : 0;
        HRESULT hr;
        if (byName) {
            hr = m_addin.RunRibbonAction(m_outlook, select ? L"onClickSelect" : L"onClickUnselect",
                                         select ? L"KestrinSelectButton" : L"KestrinUnselectButton");
        } else {
            ks::ComRef<IRibbonCallback> callback;
            EXPECT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
            hr = select ? callback->onClickSelect(nullptr) : callback->onClickUnselect(nullptr);
        }
        if (inspector) {
            EXPECT_EQ(inspector->RefCount(), inspectorRefs);
        }
        if (m_item) {
            // Every host reference taken during the command was given back.
            EXPECT_EQ(m_item->RefCount(), itemRefs);
            EXPECT_EQ(m_item->Message().RefCount(), messageRefs);
            m_returnedBeforeSend = m_item->SendCount();
        }
        ComposeWindow::PumpMessages();
        return hr;
    }
    HRESULT Select() { return Press(true, false); }
    HRESULT Unselect() { return Press(false, false); }
    HRESULT SelectByName() { return Press(true, true); }
    HRESULT UnselectByName() { return Press(false, true); }

    std::vector<ReceivedMessage> Sent() const {
        std::vector<ReceivedMessage> messages;
        for (const std::wstring& file : m_outbox.Files()) {
            std::string text;
            ReceivedMessage message;
            EXPECT_TRUE(kshost::Outbox::ReadAll(file, text));
            EXPECT_TRUE(kshost::ParseRfc5322(text, message));
            messages.push_back(message);
        }
        return messages;
    }

    std::vector<std::string> Shown() const { return Texts(m_boxes.Boxes()); }
    std::optional<std::string> Header(const wchar_t* name) {
        return m_item->Message().NamedString(kshost::PS_InternetHeaders, name);
    }
    size_t Calls(const char* member) { return m_outlook.Host().CountOf(member); }

    // The commands need no main window; without one the connection does not
    // depend on the legacy menu.
    kshost::Outlook m_outlook{false};
    kshost::LoadedAddIn m_addin;
    kshost::Outbox m_outbox{kstest::TestDirectory() + L"outbox-send"};
    kstest::BoxRecorder m_boxes;
    std::unique_ptr<ComposeWindow> m_window;
    ks::ComRef<kshost::MailItem> m_item;  // kept alive past a closed inspector
    int m_returnedBeforeSend = 0;
    ULONG m_applicationRefs = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// The road of one event

TEST_F(SendCommands, SelectBrandsStampsAndSendsFromTheComposeWindow) {
    kshost::MailItem& item = Compose(L"<html><body>Hello</body></html>");
    EXPECT_EQ(SelectByName(), S_OK);
    EXPECT_EQ(Shown(), None());
    EXPECT_EQ(m_returnedBeforeSend, 0) << "the callback must return before the message is sent";
    EXPECT_EQ(m_window->SendCommands(), 1);
    EXPECT_EQ(m_window->LastSendCommand(), static_cast<WPARAM>(0x00010411)) << "as from the keyboard";
    EXPECT_FALSE(m_window->IsOpen()) << "a sent message's window closes";
    EXPECT_TRUE(item.IsSent());

    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Values("x-rdz-select"), std::vector<std::string>{"select"});
    EXPECT_EQ(sent[0].CountWithPrefix("x-rdz-"), 1u);
    EXPECT_EQ(sent[0].htmlBody, BrandedBody(L"<html><body>Hello</body>"));
}

TEST_F(SendCommands, UnselectStampsAndSendsWithoutBranding) {
    kshost::MailItem& item = Compose(L"<html><body>Hello</body></html>");
    EXPECT_EQ(UnselectByName(), S_OK);
    EXPECT_EQ(Shown(), None());
    EXPECT_EQ(Calls("_MailItem.put_HTMLBody"), 0u);
    EXPECT_TRUE(item.IsSent());

    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Values("x-rdz-unselect"), std::vector<std::string>{"unselect"});
    EXPECT_EQ(sent[0].CountWithPrefix("x-rdz-"), 1u);
    EXPECT_EQ(sent[0].htmlBody, L"<html><body>Hello</body></html>");
}

TEST_F(SendCommands, HeaderNameIsMappedOnFirstUseAndSetAgainOnRepeat) {
    kshost::MailItem& item = Compose(L"<html>x</html>", false);
    const size_t mappedBefore = m_outlook.Store()->MappedCount();
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT);  // keep the message open for a second press
    EXPECT_EQ(Select(), E_ABORT);
    EXPECT_EQ(m_outlook.Store()->MappedCount(), mappedBefore + 1);
    EXPECT_EQ(Select(), E_ABORT);
    EXPECT_EQ(m_outlook.Store()->MappedCount(), mappedBefore + 1);
    EXPECT_EQ(Header(L"x-rdz-select"), std::optional<std::string>("select"));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>") << "a failed send puts the body back";
    EXPECT_EQ(Shown(), (std::vector<std::string>{kSendFailed, kSendFailed}));
}

// ---------------------------------------------------------------------------
// Finding the message

TEST_F(SendCommands, NoActiveInspector) {
    Compose(L"<html>x</html>");
    m_outlook.CloseInspector();
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kLocateMessage, kLocateMessage}));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendCommands, ActiveInspectorFails) {
    Compose(L"<html>x</html>");
    m_outlook.Host().Fail("_Application.ActiveInspector", E_FAIL);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Shown(), Just(kLocateMessage));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendCommands, CurrentItemFailsOrIsEmpty) {
    kshost::MailItem& item = Compose(L"<html>x</html>");
    m_outlook.Host().Fail("_Inspector.get_CurrentItem", E_FAIL, 0, 1);
    EXPECT_EQ(Select(), S_OK);
    m_outlook.Host().Empty("_Inspector.get_CurrentItem", 0, 1);
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kLocateDispatch, kLocateDispatch}));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendCommands, ItemThatIsNotMailIsLeftAlone) {
    m_outlook.ComposeOther();
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kLocateMail, kLocateMail}));
    EXPECT_EQ(Calls("IMAPIProp.SetProps"), 0u);
}

TEST_F(SendCommands, ErrorBoxLooksAsTheUserExpects) {
    m_outlook.ComposeOther();
    Select();
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(m_boxes.Boxes()[0].okOnly);
}

// ---------------------------------------------------------------------------
// Branding failures

TEST_F(SendCommands, BrandedBodyCannotBeWritten) {
    kshost::MailItem& item = Compose(L"<html>x</html>");
    m_outlook.Host().Fail("_MailItem.put_HTMLBody", E_FAIL);
    EXPECT_EQ(Select(), S_OK);
    // The restore writes the saved body and fails the same way.
    EXPECT_EQ(Shown(), (std::vector<std::string>{kModifyHtml, kModifyHtml}));
    EXPECT_EQ(Calls("_MailItem.put_HTMLBody"), 2u);
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    // The header comes first, so that no footer is ever without it.
    EXPECT_EQ(Header(L"x-rdz-select"), std::optional<std::string>("select"));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendCommands, OnlyTheRestoreFails) {
    kshost::MailItem& item = Compose(L"<html>x</html>", false);
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT);
    m_outlook.Host().Fail("_MailItem.put_HTMLBody", E_FAIL, 1);
    EXPECT_EQ(Select(), E_ABORT);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kSendFailed, kModifyHtml}));
    EXPECT_EQ(item.HtmlBody(), BrandedBody(L"<html>x")) << "the host refused the restore";
    // What Outlook's own Send button would now transmit is true: the footer
    // goes with the request to encrypt.
    EXPECT_EQ(Header(L"x-rdz-select"), std::optional<std::string>("select"));
    EXPECT_FALSE(Header(L"x-rdz-unselect").has_value());
}

// ---------------------------------------------------------------------------
// Header failures: each puts the branded body back and sends nothing

TEST_F(SendCommands, MessageObjectCannotBeHad) {
    kshost::MailItem& item = Compose(L"<html>x</html>");
    m_outlook.Host().Fail("_MailItem.get_MAPIOBJECT", E_FAIL);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Shown(), Just(kNoMessageObject));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendCommands, NameCannotBeMapped) {
    kshost::MailItem& item = Compose(L"<html>x</html>");
    m_outlook.Host().Fail("IMAPIProp.GetIDsFromNames", MAPI_E_NO_SUPPORT);
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kNoPropertyId, kNoPropertyId}));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SendCommands, PropertyCannotBeSet) {
    kshost::MailItem& item = Compose(L"<html>x</html>");
    m_outlook.Host().Fail("IMAPIProp.SetProps", MAPI_E_NO_ACCESS);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Shown(), Just(kNotSet));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_FALSE(Header(L"x-rdz-select").has_value());
    EXPECT_TRUE(Sent().empty());
}

// ---------------------------------------------------------------------------
// Sending

TEST_F(SendCommands, FocusChainWithoutAFrameFailsAndRestores) {
    kshost::MailItem& item = Compose(L"<html>x</html>", false);
    HWND lone = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(lone);
    SetForegroundWindow(lone);
    SetFocus(lone);
    EXPECT_EQ(Select(), kNoFrame);
    EXPECT_EQ(Shown(), Just(kSendFailed));
    EXPECT_EQ(m_boxes.Boxes()[0].icon, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_EQ(Header(L"x-rdz-select"), std::optional<std::string>("select")) << "the header stays set";
    EXPECT_EQ(Unselect(), kNoFrame);
    EXPECT_EQ(Calls("_MailItem.put_HTMLBody"), 0u) << "unselect never touches the body";
    EXPECT_EQ(item.SendCount(), 0);
    DestroyWindow(lone);
}

TEST_F(SendCommands, NoFocusAndNoForegroundSendsTheItemDirectly) {
    kshost::MailItem& item = Compose(L"<html>x</html>", false);
    SetFocus(nullptr);
    ASSERT_EQ(GetFocus(), nullptr);
    ASSERT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(m_returnedBeforeSend, 1) << "sent within the callback";
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0].htmlBody, BrandedBody(L"<html>x"));
    EXPECT_EQ(item.SendCount(), 1);
}

TEST_F(SendCommands, DirectSendFailureIsReturned) {
    kshost::MailItem& item = Compose(L"<html>x</html>", false);
    ASSERT_EQ(GetForegroundWindow(), nullptr);
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT);
    EXPECT_EQ(Unselect(), E_ABORT);
    EXPECT_EQ(Select(), E_ABORT);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kSendFailed, kSendFailed}));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_TRUE(Sent().empty());
}

namespace {

// A window class named like the frame class in other letters. Class names
// match without case within one module, so it is registered for another one.
HWND CreateLookAlike(HWND parent, const wchar_t* className) {
    HINSTANCE other = GetModuleHandleW(L"kernel32.dll");
    WNDCLASSEXW wc{sizeof(wc)};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = other;
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
    DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    return CreateWindowExW(0, className, L"", style, 0, 0, 200, 200, parent, nullptr, other, nullptr);
}

HWND CreateFocusableChild(HWND parent) {
    return CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 100, 20, parent, nullptr,
                           nullptr, nullptr);
}

std::string ClassNameOf(HWND window) {
    char name[260] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

}  // namespace

TEST_F(SendCommands, FrameClassInOtherLettersIsClimbedOver) {
    Compose(L"<html>x</html>");
    HWND lookAlike = CreateLookAlike(m_window->Pane(), L"RCTRL_RENWND32");
    ASSERT_TRUE(lookAlike);
    ASSERT_EQ(ClassNameOf(lookAlike), "RCTRL_RENWND32");
    HWND field = CreateFocusableChild(lookAlike);
    SetFocus(field);
    ASSERT_EQ(GetFocus(), field);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(m_window->SendCommands(), 1) << "the real frame above got the command";
    EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(SendCommands, FrameClassInOtherLettersAloneIsNoFrame) {
    Compose(L"<html>x</html>", false);
    HWND lookAlike = CreateLookAlike(nullptr, L"Rctrl_Renwnd32");
    ASSERT_TRUE(lookAlike);
    HWND field = CreateFocusableChild(lookAlike);
    SetForegroundWindow(lookAlike);
    SetFocus(field);
    EXPECT_EQ(Unselect(), kNoFrame);
    EXPECT_EQ(Shown(), Just(kSendFailed));
    DestroyWindow(lookAlike);
}

// ---------------------------------------------------------------------------
// Bodies

TEST_F(SendCommands, BodiesAsTheyLeaveTheOutbox) {
    struct Case {
        std::wstring body;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"<html><body>no closing tag", L"<html><body>no closing tag"},
        {L"", L""},
        {L"</html><p>starts with the tag", L"</html><p>starts with the tag"},
        {L"<HTML><BODY>caps</BODY></HTML>", BrandedBody(L"<HTML><BODY>caps</BODY>")},
        {L"<html><body>a</body></html>\r\n<!-- after -->", BrandedBody(L"<html><body>a</body>", L"\r\n<!-- after -->")},
        {BrandedBody(L"<html>again"), BrandedBody(L"<html>again" + ex::Footer())},
    };
    for (const Case& c : cases) {
        m_outbox.Clear();
        Compose(c.body);
        EXPECT_EQ(Select(), S_OK);
        const std::vector<ReceivedMessage> sent = Sent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].htmlBody, c.expected);
        EXPECT_EQ(sent[0].Values("x-rdz-select"), std::vector<std::string>{"select"});
    }
    EXPECT_EQ(Shown(), None());
}

TEST_F(SendCommands, TextOutsideTheCodePageSurvivesBrandingAndRestoring) {
    const std::wstring text =
        L"<p>\u65E5\u672C\u8A9E \U0001F600 \u05E9\u05DC\u05D5\u05DD \u200F\u0645\u0631\u062D\u0628\u0627 \u00E9</p>";
    kshost::MailItem& item = Compose(L"<html>" + text + L"</html>\u4E2D");
    m_outlook.Host().Fail("IMAPIProp.SetProps", E_FAIL, 0, 1);
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(item.HtmlBody(), L"<html>" + text + L"</html>\u4E2D") << "restored exactly";

    ASSERT_TRUE(m_window->FocusBody());
    EXPECT_EQ(Select(), S_OK);
    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].htmlBody, BrandedBody(L"<html>" + text, L"\u4E2D"));
}

TEST_F(SendCommands, NoRestoreBeforeAMailItemIsFound) {
    Compose(L"<html>first</html>", false);
    EXPECT_EQ(Select(), S_OK);  // sent directly; the add-in still holds the body it saved
    m_outlook.ComposeOther();
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Calls("_MailItem.put_HTMLBody"), 0u);
}

// ---------------------------------------------------------------------------
// Exactly one selection header

TEST_F(SendCommands, UnselectAfterAFailedSelectCarriesOnlyUnselect) {
    Compose(L"<html>x</html>", false);
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 1);
    EXPECT_EQ(Select(), E_ABORT);
    ASSERT_EQ(Header(L"x-rdz-select"), std::optional<std::string>("select"));
    EXPECT_EQ(Unselect(), S_OK);
    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Values("x-rdz-unselect"), std::vector<std::string>{"unselect"});
    EXPECT_EQ(sent[0].CountWithPrefix("x-rdz-"), 1u);
    EXPECT_EQ(sent[0].htmlBody, L"<html>x</html>");
}

TEST_F(SendCommands, SelectAfterAFailedUnselectCarriesOnlySelect) {
    Compose(L"<html>x</html>", false);
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 1);
    EXPECT_EQ(Unselect(), E_ABORT);
    EXPECT_EQ(Select(), S_OK);
    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Values("x-rdz-select"), std::vector<std::string>{"select"});
    EXPECT_EQ(sent[0].CountWithPrefix("x-rdz-"), 1u);
}

TEST_F(SendCommands, OtherHeaderThatCannotBeRemovedStopsTheSend) {
    kshost::MailItem& item = Compose(L"<html>x</html>", false);
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 1);
    EXPECT_EQ(Unselect(), E_ABORT);
    m_outlook.Host().Fail("IMAPIProp.DeleteProps", MAPI_E_NO_ACCESS);
    m_boxes.Clear();
    EXPECT_EQ(Select(), S_OK);
    EXPECT_EQ(Shown(), Just(kNotSet));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>");
    EXPECT_FALSE(item.IsSent());
    EXPECT_TRUE(Sent().empty());
    // Outlook's own Send button would now transmit what the message carries:
    // the choice it had, never both.
    EXPECT_EQ(Header(L"x-rdz-unselect"), std::optional<std::string>("unselect"));
    EXPECT_FALSE(Header(L"x-rdz-select").has_value());
}

// ---------------------------------------------------------------------------
// A send command that cannot be queued

namespace {

BOOL WINAPI PostThatFails(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);  // the frame's queue is full
    return FALSE;
}

}  // namespace

TEST_F(SendCommands, FailedPostIsAFailedSend) {
    kshost::MailItem& item = Compose(L"<html>x</html>");
    kstest::ImportPatch post(GetModuleHandleW(L"KestrinSelect.dll"), "USER32.dll", "PostMessageA",
                             reinterpret_cast<void*>(&PostThatFails));
    ASSERT_TRUE(post.Patched());
    EXPECT_EQ(Select(), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_EQ(Unselect(), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_EQ(Shown(), (std::vector<std::string>{kSendFailed, kSendFailed}));
    EXPECT_EQ(item.HtmlBody(), L"<html>x</html>") << "the branded body is put back";
    EXPECT_EQ(m_window->SendCommands(), 0);
    EXPECT_TRUE(Sent().empty());
}

// ---------------------------------------------------------------------------
// The footer of a refused encrypted send

TEST_F(SendCommands, UnselectAfterRefusedSelectsTakesOutOnlyTheAddInsFooters) {
    // The sender quotes a branded message: that copy of the footer is theirs.
    const std::wstring written =
        L"<html><body>\u00c4rger \U0001F600<blockquote>" + ex::Footer() + L"</blockquote></body>";
    kshost::MailItem& item = Compose(written + L"</html>\r\n<!-- after -->");
    // A recipient missing, say, and the sender tries again before noticing:
    // two footers.
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 2);
    EXPECT_EQ(Select(), S_OK);
    ASSERT_TRUE(m_window->FocusBody());
    EXPECT_EQ(Select(), S_OK);
    ASSERT_TRUE(m_window->IsOpen()) << "the host refused the send";
    EXPECT_EQ(item.HtmlBody(), BrandedBody(written + ex::Footer(), L"\r\n<!-- after -->"));

    ASSERT_TRUE(m_window->FocusBody());
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Shown(), None());
    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].htmlBody, written + L"</html>\r\n<!-- after -->");
    EXPECT_EQ(sent[0].Values("x-rdz-unselect"), std::vector<std::string>{"unselect"});
    EXPECT_EQ(sent[0].CountWithPrefix("x-rdz-"), 1u);
}

TEST_F(SendCommands, UnselectLeavesAFooterTheSenderWrote) {
    // Before the closing tag, but not as the add-in writes it.
    std::wstring lookAlike = ex::Footer();
    lookAlike.replace(lookAlike.find(L"&#169"), 5, L"&#169;");
    Compose(L"<html>" + lookAlike + L"</html>");
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Calls("_MailItem.put_HTMLBody"), 0u);
    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].htmlBody, L"<html>" + lookAlike + L"</html>");
}

// ---------------------------------------------------------------------------
// The footer as Outlook's editor hands it back
//
// Outlook's editor keeps the body as a document and hands back HTML of its
// own making: a footer comes back re-quoted, re-wrapped, its odd tags gone.
// Each case runs under every editor of the stand-in; what is checked is
// what a reader of the sent message sees.

namespace {

using kshost::EditorKind;
const EditorKind kEditors[] = {EditorKind::Verbatim, EditorKind::WordProcessor, EditorKind::Html5Parser,
                               EditorKind::LibxmlParser};

std::string NameOf(EditorKind kind) { return kshost::ToUtf8(kshost::EditorName(kind)); }

}  // namespace

TEST_F(SendCommands, RefusedSelectsThenUnselectNeverSendTheClaimInTheClear) {
    const std::wstring written =
        L"<html><body><p>Quarterly figures \u00c4rger \U0001F600 attached.</p><p>Ana</p></body></html>";
    for (EditorKind editor : kEditors) {
        for (int refusals : {1, 2}) {
            SCOPED_TRACE(NameOf(editor) + ", refused " + std::to_string(refusals) + " time(s)");
            m_outbox.Clear();
            m_outlook.UseEditor(editor);
            kshost::MailItem& item = Compose(written);
            // A recipient missing, say: the host refuses each encrypted send.
            m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, refusals);
            for (int i = 0; i < refusals; ++i) {
                ASSERT_TRUE(m_window->FocusBody());
                EXPECT_EQ(Select(), S_OK);
            }
            ASSERT_TRUE(m_window->IsOpen());
            ASSERT_EQ(kstest::ClaimsIn(item.HtmlBody()), static_cast<size_t>(refusals)) << kshost::ToUtf8(item.HtmlBody());

            ASSERT_TRUE(m_window->FocusBody());
            EXPECT_EQ(Unselect(), S_OK);
            EXPECT_EQ(Shown(), None());
            const std::vector<ReceivedMessage> sent = Sent();
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(kstest::ClaimsIn(sent[0].htmlBody), 0u) << kshost::ToUtf8(sent[0].htmlBody);
            EXPECT_EQ(kstest::VisibleText(sent[0].htmlBody), kstest::VisibleText(written));
            EXPECT_EQ(sent[0].Values("x-rdz-unselect"), std::vector<std::string>{"unselect"});
            EXPECT_EQ(sent[0].CountWithPrefix("x-rdz-"), 1u);
            m_window.reset();
        }
    }
}

// A reply quotes an encrypted message, footer and all, in the middle of its
// body: the quotation is the sender's text, also after a refused encrypted
// send left the add-in's own footer at the end.
TEST_F(SendCommands, ReplyQuotingAnEncryptedMessageKeepsTheQuotation) {
    const std::wstring written = L"<html><body><p>Thanks, see below.</p><blockquote><p>From the board:</p>" +
                                 ex::Footer() + L"<p>Figures attached.</p></blockquote><p>Regards, Ana</p></body></html>";
    for (EditorKind editor : kEditors) {
        for (bool refusedFirst : {false, true}) {
            SCOPED_TRACE(NameOf(editor) + (refusedFirst ? ", after a refused select" : ""));
            m_outbox.Clear();
            m_outlook.UseEditor(editor);
            kshost::MailItem& item = Compose(written);
            if (refusedFirst) {
                m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 1);
                EXPECT_EQ(Select(), S_OK);
                ASSERT_EQ(kstest::ClaimsIn(item.HtmlBody()), 2u);
                ASSERT_TRUE(m_window->FocusBody());
            }
            EXPECT_EQ(Unselect(), S_OK);
            EXPECT_EQ(Shown(), None());
            const std::vector<ReceivedMessage> sent = Sent();
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(kstest::ClaimsIn(sent[0].htmlBody), 1u) << "the quoted one";
            EXPECT_EQ(kstest::VisibleText(sent[0].htmlBody), kstest::VisibleText(written));
            m_window.reset();
        }
    }
}

// Where the claim's words stand at the end but not as a footer any editor
// leaves (its link gone), the command cannot take it out without guessing at
// the sender's text: it says so and sends nothing.
TEST_F(SendCommands, UnselectRefusesAClaimItCannotTakeOut) {
    kshost::MailItem& item = Compose(L"<html><body><p>Hello</p></body></html>");
    m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 1);
    EXPECT_EQ(Select(), S_OK);
    // The link became plain text, as a plain-text round trip leaves it.
    ASSERT_TRUE(item.SetHtmlBody(L"<html><body><p>Hello</p><p>This message was secured by KestrinCorp&#169;.<br>"
                                 L"To reach KestrinCorp, go to: https://www.kestrincorp.com/info/kestrinmail</p>"
                                 L"</body></html>"));
    ASSERT_TRUE(m_window->FocusBody());
    EXPECT_EQ(Unselect(), S_OK);
    EXPECT_EQ(Shown(), Just(kModifyHtml));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(m_window->SendCommands(), 1) << "only the refused encrypted send";
    EXPECT_EQ(kstest::ClaimsIn(item.HtmlBody()), 1u);
    EXPECT_TRUE(Header(L"x-rdz-select").has_value()) << "the message still asks for encryption";
    EXPECT_FALSE(Header(L"x-rdz-unselect").has_value());
}

// ---------------------------------------------------------------------------
// What happens in the compose window while a box is open
//
// The boxes have no owner window: the compose window stays usable while one
// is open. When the box closes, the failed select command puts back the body
// it read only if nothing changed the message since its own write.

namespace {

// Takes the focus out of every compose window, so that the select command's
// send fails within the command and its box opens while the message is
// branded.
struct FocusElsewhere {
    FocusElsewhere() {
        window = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                 nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(window);
        SetFocus(window);
    }
    ~FocusElsewhere() { DestroyWindow(window); }
    HWND window;
};

}  // namespace

TEST_F(SendCommands, UnselectInTheSameWindowWhileTheSelectsBoxIsOpenStands) {
    for (EditorKind editor : kEditors) {
        SCOPED_TRACE(NameOf(editor));
        m_outbox.Clear();
        m_outlook.UseEditor(editor);
        kshost::MailItem& item = Compose(L"<html><body><p>Board minutes, draft</p></body></html>");
        kshost::Inspector* inspector = m_outlook.ActiveInspectorObject();
        m_window->OnActivate([&] { m_outlook.Activate(inspector); });
        m_window->OnRibbonPress([&](const std::wstring& id) {
            m_addin.RunRibbonAction(m_outlook, id == L"KestrinUnselectButton" ? L"onClickUnselect" : L"onClickSelect",
                                    id.c_str());
        });
        // The first encrypted send is refused, and so is the unencrypted one
        // pressed while the second select's box is open.
        m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 2);
        EXPECT_EQ(Select(), S_OK);
        ASSERT_EQ(kstest::ClaimsIn(item.HtmlBody()), 1u);

        bool pressed = false;
        m_boxes.OnMessageBox([&](const kstest::ShownBox&) {
            if (!pressed) pressed = m_window->PostRibbonPress(L"KestrinUnselectButton");
        });
        {
            FocusElsewhere elsewhere;
            ks::ComRef<IRibbonCallback> callback;
            ASSERT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
            m_boxes.Clear();
            EXPECT_EQ(callback->onClickSelect(nullptr), kNoFrame);
            ComposeWindow::PumpMessages();
        }
        m_boxes.OnMessageBox(nullptr);
        ASSERT_TRUE(pressed);
        EXPECT_EQ(Shown(), Just(kSendFailed));
        // The unselect took every footer out and stamped the message for the
        // clear; the select's box closing must not bring a footer back.
        EXPECT_EQ(kstest::ClaimsIn(item.HtmlBody()), 0u) << kshost::ToUtf8(item.HtmlBody());
        EXPECT_TRUE(Header(L"x-rdz-unselect").has_value());
        EXPECT_FALSE(Header(L"x-rdz-select").has_value());
        EXPECT_TRUE(Sent().empty());
        m_window.reset();
    }
}

TEST_F(SendCommands, WhatTheSenderTypesWhileTheSelectsBoxIsOpenIsKept) {
    for (EditorKind editor : kEditors) {
        SCOPED_TRACE(NameOf(editor));
        m_outlook.UseEditor(editor);
        kshost::MailItem& item = Compose(L"<html><body><p>Board minutes, draft</p></body></html>");
        m_boxes.OnMessageBox([&](const kstest::ShownBox&) { item.SenderTypes(L"P.S. The figures are final."); });
        {
            FocusElsewhere elsewhere;
            ks::ComRef<IRibbonCallback> callback;
            ASSERT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
            m_boxes.Clear();
            EXPECT_EQ(callback->onClickSelect(nullptr), kNoFrame);
        }
        m_boxes.OnMessageBox(nullptr);
        EXPECT_EQ(Shown(), Just(kSendFailed));
        const std::wstring seen = kstest::VisibleText(item.HtmlBody());
        EXPECT_NE(seen.find(L"P.S. The figures are final."), std::wstring::npos) << kshost::ToUtf8(seen);
        EXPECT_NE(seen.find(L"Board minutes, draft"), std::wstring::npos);
        // The footer stayed with the typing, and with it the header.
        EXPECT_EQ(kstest::ClaimsIn(item.HtmlBody()), 1u);
        EXPECT_TRUE(Header(L"x-rdz-select").has_value());
        EXPECT_FALSE(Header(L"x-rdz-unselect").has_value());
        m_window.reset();
    }
}

// ---------------------------------------------------------------------------
// A press in another compose window while a box is open

// The boxes have no owner, so the other compose windows stay usable: a click
// on message B's button arrives through the open box's own message loop and
// runs B's command inside A's.
TEST_F(SendCommands, CommandFromAnotherWindowWhileABoxIsOpenPutsBackOnlyItsOwnBody) {
    const std::wstring bodyA = L"<html><body>Message A, lunch on Friday?</body></html>";
    const std::wstring bodyB = L"<html><body>Message B, confidential, for the board</body></html>";
    kshost::MailItem& a = m_outlook.Compose(bodyA);
    auto inspectorA = ks::ComRef<kshost::Inspector>(m_outlook.ActiveInspectorObject());
    kshost::MailItem& b = m_outlook.Compose(bodyB);
    auto inspectorB = ks::ComRef<kshost::Inspector>(m_outlook.ActiveInspectorObject());
    kshost::SendThroughOutbox(b, m_outbox);
    ComposeWindow windowB(static_cast<_MailItem*>(&b));
    windowB.OnActivate([&] { m_outlook.Activate(inspectorB.Get()); });
    windowB.OnRibbonPress([&](const std::wstring& id) { m_addin.RunRibbonAction(m_outlook, L"onClickSelect", id.c_str()); });

    // A's send fails within its command (no compose frame holds the focus),
    // so A's box opens while A is branded.
    m_outlook.Activate(inspectorA.Get());
    HWND elsewhere = CreateWindowExW(0, L"STATIC", L"elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                     nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(elsewhere);
    SetForegroundWindow(elsewhere);
    SetFocus(elsewhere);
    bool pressed = false;
    m_boxes.OnMessageBox([&](const kstest::ShownBox&) {
        if (!pressed) pressed = windowB.PostRibbonPress(L"KestrinSelectButton");
    });
    ks::ComRef<IRibbonCallback> callback;
    ASSERT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
    EXPECT_EQ(callback->onClickSelect(nullptr), kNoFrame);
    ComposeWindow::PumpMessages();
    DestroyWindow(elsewhere);

    ASSERT_TRUE(pressed);
    EXPECT_EQ(Shown(), Just(kSendFailed));
    EXPECT_EQ(a.HtmlBody(), bodyA) << "A got back exactly its own body";
    EXPECT_EQ(a.SendCount(), 0);
    const std::vector<ReceivedMessage> sent = Sent();
    ASSERT_EQ(sent.size(), 1u) << "B was sent from inside A's box";
    EXPECT_EQ(sent[0].htmlBody, BrandedBody(L"<html><body>Message B, confidential, for the board</body>"));
    EXPECT_EQ(sent[0].Values("x-rdz-select"), std::vector<std::string>{"select"});
}

// ---------------------------------------------------------------------------
// The MAPI message behind MAPIOBJECT

// MAPIOBJECT gives an IUnknown; the property interface is asked for. Here
// the IUnknown is an identity object of its own, whose slots fail if called.
TEST_F(SendCommands, MapiObjectIsAskedForItsPropertyInterface) {
    for (bool select : {true, false}) {
        SCOPED_TRACE(select ? "select" : "unselect");
        m_outbox.Clear();
        kshost::MailItem& item = Compose(L"<html>x</html>");
        item.HandOutSeparateMapiIdentity(true);
        const long alive = m_outlook.Host().LiveObjects();
        EXPECT_EQ(Press(select, true), S_OK);
        EXPECT_EQ(Shown(), None());
        // Unselect asks first whether the message is stamped for encryption.
        EXPECT_EQ(Calls("MAPIOBJECT.QueryInterface"), select ? 1u : 2u);
        for (const std::string& member : m_outlook.Host().Members()) {
            EXPECT_TRUE(member.rfind("MAPIOBJECT.", 0) != 0 || member == "MAPIOBJECT.QueryInterface")
                << member << " called on the identity as if it were the message";
        }
        EXPECT_EQ(m_outlook.Host().LiveObjects(), alive) << "the identity object was not released";
        const std::vector<ReceivedMessage> sent = Sent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].Values(select ? "x-rdz-select" : "x-rdz-unselect"),
                  std::vector<std::string>{select ? "select" : "unselect"});
    }
}

// ---------------------------------------------------------------------------
// mapi32.dll from the system folder only

namespace {

std::wstring ThisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return Lower(path);
}

std::wstring SystemMapiPath() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return Lower(std::wstring(folder) + L"\\mapi32.dll");
}

// Runs a program to its end; its exit code, or -1 when it did not start.
long RunToEnd(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

// What a test program's report (--gtest_output=json) says of its run: how
// many tests it selected, and how many of them ran to the end (neither
// skipped nor left out). The run's own figures come before its suites'.
struct RunReport {
    int selected = -1;
    int completed = 0;
};

RunReport ReadRunReport(const std::filesystem::path& path) {
    RunReport report;
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string tests = "\"tests\": ";
    const size_t at = text.find(tests);
    if (at != std::string::npos) report.selected = std::atoi(text.c_str() + at + tests.size());
    const std::string completed = "\"result\": \"COMPLETED\"";
    for (size_t from = text.find(completed); from != std::string::npos; from = text.find(completed, from + 1)) {
        ++report.completed;
    }
    return report;
}

}  // namespace

// Windows searches a program's own folder before the system folder: a
// mapi32.dll planted beside Outlook must not be the one the add-in calls. A
// copy of this program runs with one beside it, and the add-in is the first
// in that process to load mapi32.
TEST_F(SendCommands, MapiComesFromTheSystemFolderEvenWithAnotherBesideTheProgram) {
    namespace fs = std::filesystem;
    if (fs::exists(fs::path(kstest::TestDirectory()) / L"mapi32.dll")) {
        ASSERT_EQ(GetModuleHandleW(L"mapi32.dll"), nullptr) << "mapi32 was loaded before the add-in";
        Compose(L"<html>x</html>");
        EXPECT_EQ(Select(), S_OK);
        EXPECT_EQ(Shown(), None());
        const std::vector<ReceivedMessage> sent = Sent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].Values("x-rdz-select"), std::vector<std::string>{"select"});
        EXPECT_EQ(ModulePath(GetModuleHandleW(L"mapi32.dll")), SystemMapiPath());
        return;
    }
    const fs::path here = kstest::TestDirectory();
    const fs::path copy = here / L"beside-planted-mapi32";
    std::error_code error;
    fs::remove_all(copy, error);
    fs::create_directories(copy, error);
    const fs::path program = copy / fs::path(ThisProgram()).filename();
    fs::copy_file(ThisProgram(), program, error);
    fs::copy_file(here / L"KestrinSelect.dll", copy / L"KestrinSelect.dll", error);
    fs::copy_file(here / L"planted-mapi32" / L"mapi32.dll", copy / L"mapi32.dll", error);
    ASSERT_TRUE(fs::exists(copy / L"mapi32.dll")) << "no planted mapi32.dll to copy";

    // The copy runs this test alone, named as it is named now, and reports
    // what ran: a filter that selects nothing passes too.
    const ::testing::TestInfo* self = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(self->test_suite_name()) + "." + self->name();
    const fs::path reportPath = copy / L"report.json";
    const long code = RunToEnd(program.wstring(), L"--gtest_filter=" + std::wstring(name.begin(), name.end()) +
                                                      L" \"--gtest_output=json:" + reportPath.wstring() + L"\"");
    const RunReport report = ReadRunReport(reportPath);
    // The copy registered its own DLL; this program's goes back.
    EXPECT_EQ(kstest::RegisterAddin(), S_OK);
    fs::remove_all(copy, error);
    EXPECT_EQ(code, 0) << "the copy beside the planted mapi32.dll failed (its output is above)";
    EXPECT_EQ(report.selected, 1) << "the copy's report selects " << report.selected << " tests, not " << name;
    EXPECT_EQ(report.completed, 1) << "the copy ran " << report.completed << " tests to the end";
}
