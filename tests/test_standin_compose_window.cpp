// The stand-in compose window: a real frame of Outlook's class that runs its
// send command from a WM_COMMAND, whoever sent it, and refuses it as Outlook
// does when the To box is empty or holds a name that does not resolve.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <cwctype>
#include <utility>
#include <vector>

#include "host/outlook/addin_site.h"
#include "host/outlook/compose_window.h"
#include "host/outlook/outbox.h"
#include "host/outlook/recipients.h"
#include "support/addin_dll.h"
#include "support/message_boxes.h"
#include "host/outlook/editor.h"
#include "support/visible_text.h"
#include "server/owners.h"

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
    for (WPARAM source : {MAKEWPARAM(ks::kSendCommand, 1), MAKEWPARAM(ks::kSendCommand, 0)}) {
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
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(ks::kSendCommand, 1), 0);
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
        PostMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(ks::kSendCommand, 1), 0);
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
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(ks::kSendCommand, 1), 0);
    ASSERT_TRUE(window.IsOpen());
    EXPECT_EQ(m_item.Send(), static_cast<HRESULT>(0x80040607)) << "nor does the object model's Send send it";
    EXPECT_TRUE(outbox.Files().empty());

    window.To().Type(L"finance@example.com");
    SendMessageW(window.Frame(), WM_COMMAND, MAKEWPARAM(ks::kSendCommand, 1), 0);
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

// ---------------------------------------------------------------------------
// The editor behind the window's body: what HTMLBody hands back.

namespace {

using kshost::EditorKind;

// The footer as the gateway's partners know it, written out here on its own.
const std::wstring kFooter =
    L"<div><br><span style='font-size:13.0pt;font-family:Arial;color:black'>This message was secured by </span>"
    L"<b><span style='font-size:13.0pt;font-family:Arial;color:#0038A8'>Kestrin</span></b><b><span "
    L"style='font-size:13.0pt;font-family:Arial;color:#6D5E51'>Corp</span></b><b><spanstyle='font-size:13.0pt;"
    L"font-family:Arial;color:black'>&#169</span></b><spanstyle='font-size:13.0pt;font-family:Arial;color:black'>."
    L"</span><br><i><span style='font-size:10.0pt;font-family:Arial;color:black'>To reach KestrinCorp, go to: <a "
    L"href='https://www.kestrincorp.com/info/kestrinmail'>https://www.kestrincorp.com/info/kestrinmail</a></span>"
    L"</i></span></div>";

const std::wstring kBranded = L"<html><body><p>Hello</p></body>" + kFooter + L"</html>";
// Text of several scripts, references, and text after the closing tag,
// which a browser shows.
const std::wstring kScripts =
    L"<html><head><title>not shown</title></head><body><p>Figures: \u6570\u5b57 \U0001F4CA \u05e9\u05dc\u05d5\u05dd "
    L"caf\u00e9 &amp; &lt;tags&gt; &copy; 2024 &#x263A;</p></body></HTML>\r\n<!-- not shown -->after the tag";
// Formatting that crosses, a link, a line break, preformatted text, a list,
// an empty paragraph, a table and a long paragraph to wrap.
const std::wstring kFormatted =
    L"<div style=\"font-family:Arial;text-align:center\">Dear team, <b>bold <i>both</b> italic</i> and "
    L"<a href=\"http://example.com/?a=1&amp;b=2\">a link</a><br>line two</div><pre>  two  spaces\nnext line</pre>"
    L"<ul><li>one</li><li>two</li></ul><p></p><table><tr><td>cell</td><td>other</td></tr></table>"
    L"<p>The quarterly figures are attached; please read them before Thursday's meeting, where we will go "
    L"through every line of the forecast with the regional managers and decide on the budget for the next "
    L"year. https://intranet.example.com/finance/reports/2024/quarterly/forecast-final-version.xlsx ends it.</p>";

std::wstring FormOf(EditorKind kind, const std::wstring& written) {
    std::wstring form;
    EXPECT_TRUE(kshost::EditorForm(kind, written, form))
        << kshost::ToUtf8(kshost::EditorName(kind)) << ": " << kshost::ToUtf8(kshost::LastEditorError());
    return form;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace

TEST(Editor, EveryEditorKeepsEveryVisibleCharacter) {
    ASSERT_EQ(kstest::VisibleText(kBranded),
              L"Hello This message was secured by KestrinCorp\u00a9. To reach KestrinCorp, go to: "
              L"https://www.kestrincorp.com/info/kestrinmail");
    for (EditorKind kind :
         {EditorKind::Verbatim, EditorKind::WordProcessor, EditorKind::Html5Parser, EditorKind::LibxmlParser}) {
        for (const std::wstring* body : {&kBranded, &kScripts, &kFormatted}) {
            const std::wstring form = FormOf(kind, *body);
            EXPECT_EQ(kshost::ToUtf8(kstest::VisibleText(form)), kshost::ToUtf8(kstest::VisibleText(*body)))
                << kshost::ToUtf8(kshost::EditorName(kind)) << " form:\n" << kshost::ToUtf8(form);
            if (kind != EditorKind::Verbatim) {
                EXPECT_NE(form, *body) << "a real editor writes its own form";
            }
        }
    }
}

TEST(Editor, WordFormIsWordsDocumentWrappedAndStable) {
    for (const std::wstring* body : {&kBranded, &kScripts, &kFormatted}) {
        const std::wstring form = FormOf(EditorKind::WordProcessor, *body);
        SCOPED_TRACE(kshost::ToUtf8(form));
        EXPECT_EQ(FormOf(EditorKind::WordProcessor, form), form) << "what Word wrote it reads back the same";
        EXPECT_NE(form.find(L"xmlns:o=\"urn:schemas-microsoft-com:office:office\""), std::wstring::npos);
        EXPECT_NE(form.find(L"<meta name=Generator content=\"Microsoft Word 15 (filtered medium)\">"),
                  std::wstring::npos);
        EXPECT_NE(form.find(L"<div class=WordSection1>"), std::wstring::npos);
        EXPECT_EQ(form.find(L"spanstyle"), std::wstring::npos) << "a tag Word does not know is dropped";
        EXPECT_EQ(form.find(L"<!--"), form.find(L"<style><!--") + 7) << "only Word's own style block";
        EXPECT_EQ(form.find(L"title"), std::wstring::npos) << "the head written is replaced by Word's";
        EXPECT_EQ(form.find(L'\n'), form.find(L"\r\n") + 1) << "lines end in CRLF";
        for (const std::wstring& line : Lines(form)) {
            EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << "no bare CR or LF";
            // A line may only run longer where one word of text does.
            const bool longWord = line.find(L"forecast-final-version.xlsx") != std::wstring::npos;
            if (!longWord) {
                EXPECT_LE(line.size(), 76u) << kshost::ToUtf8(line);
            }
        }
    }
    const std::wstring branded = FormOf(EditorKind::WordProcessor, kBranded);
    EXPECT_NE(branded.find(L"<p class=MsoNormal>Hello<o:p></o:p></p>"), std::wstring::npos);
    EXPECT_NE(branded.find(L"<b>\u00a9</b>."), std::wstring::npos) << "&#169 completed, its tag gone, its text kept";
    EXPECT_NE(branded.find(L"font-family:\"Arial\",sans-serif"), std::wstring::npos);
    EXPECT_NE(branded.find(L"<a\r\nhref=\"https://www.kestrincorp.com/info/kestrinmail\">"), std::wstring::npos)
        << "double quotes, and a break between a tag's name and its attribute";
    const std::wstring formatted = FormOf(EditorKind::WordProcessor, kFormatted);
    EXPECT_NE(formatted.find(L"<p class=MsoNormal><o:p>&nbsp;</o:p></p>"), std::wstring::npos) << "an empty paragraph";
    EXPECT_NE(formatted.find(L"https://intranet.example.com/finance/reports/2024/quarterly/forecast-final-version.xlsx"),
              std::wstring::npos) << "a word longer than a line stays whole";
    EXPECT_NE(formatted.find(L"&nbsp;&nbsp;two&nbsp;&nbsp;spaces<br>"), std::wstring::npos)
        << "preformatted blanks and line ends are kept";
}

TEST(Editor, ParsersWriteTheirOwnForm) {
    const std::wstring html5 = FormOf(EditorKind::Html5Parser, kScripts);
    EXPECT_NE(html5.find(L"after the tag</body></html>"), std::wstring::npos)
        << "HTML5 moves text after the document into its body:\n" << kshost::ToUtf8(html5);
    // A legacy reference without its semicolon: HTML5 reads it, libxml2
    // leaves it as text (so its form shows other characters than a browser).
    const std::wstring legacy = L"<p>&copy 2024</p>";
    EXPECT_NE(FormOf(EditorKind::Html5Parser, legacy).find(L"<p>\u00a9 2024</p>"), std::wstring::npos);
    EXPECT_NE(FormOf(EditorKind::LibxmlParser, legacy).find(L"<p>&amp;copy 2024</p>"), std::wstring::npos);
    const std::wstring branded5 = FormOf(EditorKind::Html5Parser, kBranded);
    EXPECT_EQ(branded5.find(L"&#169"), std::wstring::npos);
    // A tag name runs to the first blank, '/' or '>', quotes and all.
    EXPECT_NE(branded5.find(L"<spanstyle='font-size:13.0pt;font-family:arial;color:black'>\u00a9"),
              std::wstring::npos) << kshost::ToUtf8(branded5);
    EXPECT_NE(branded5.find(L"<p>Hello</p><div><br>"), std::wstring::npos) << "the footer moved into the body";

    const std::wstring libxml = FormOf(EditorKind::LibxmlParser, kFormatted);
    const std::wstring formatted5 = FormOf(EditorKind::Html5Parser, kFormatted);
    // Crossed formatting: HTML5 opens the italic again after the bold ends;
    // libxml2 closes it with the bold.
    EXPECT_NE(formatted5.find(L"<b>bold <i>both</i></b><i> italic</i>"), std::wstring::npos) << kshost::ToUtf8(formatted5);
    EXPECT_NE(libxml.find(L"<b>bold <i>both</i></b> italic"), std::wstring::npos) << kshost::ToUtf8(libxml);
    EXPECT_EQ(FormOf(EditorKind::LibxmlParser, kBranded).find(L"&#169"), std::wstring::npos);
}

TEST(Editor, ParserThatCannotStartFailsTheWrite) {
    kshost::Outlook outlook;
    outlook.UseEditor(EditorKind::Html5Parser);
    kshost::MailItem& mail = outlook.Compose(L"<p>kept</p>");
    ASSERT_EQ(mail.EditorFailures(), 0) << kshost::ToUtf8(kshost::LastEditorError());
    const std::wstring before = mail.HtmlBody();
    for (auto [interpreter, script] : {std::pair<const wchar_t*, const wchar_t*>{L"/nonexistent/python3", L""},
                                       {L"", L"/nonexistent/editor_form.py"}}) {
        kshost::SetParserCommand(interpreter, script);
        std::wstring form = L"untouched";
        EXPECT_FALSE(kshost::EditorForm(EditorKind::Html5Parser, L"<p>x</p>", form));
        EXPECT_FALSE(kshost::EditorForm(EditorKind::LibxmlParser, L"<p>x</p>", form));
        EXPECT_EQ(form, L"untouched");
        EXPECT_NE(kshost::LastEditorError().find(L"nonexistent"), std::wstring::npos);
        ks::UniqueBstr written(SysAllocString(L"<p>new</p>"));
        EXPECT_TRUE(FAILED(static_cast<_MailItem&>(mail).put_HTMLBody(written.Get())));
        EXPECT_EQ(mail.HtmlBody(), before);
        EXPECT_EQ(mail.BodyWrites(), 0);
        EXPECT_FALSE(mail.SenderTypes(L"typed"));
        EXPECT_EQ(mail.HtmlBody(), before);
    }
    kshost::SetParserCommand(L"", L"");
    EXPECT_EQ(mail.EditorFailures(), 4);
}

TEST(Editor, HtmlBodyReadsTheEditorsFormOfTheLastWrite) {
    kshost::Outlook outlook;
    outlook.UseEditor(EditorKind::WordProcessor);
    kshost::MailItem& mail = outlook.Compose(kScripts);
    _MailItem& item = mail;
    auto read = [&] {
        BSTR body = nullptr;
        EXPECT_EQ(item.get_HTMLBody(&body), S_OK);
        ks::UniqueBstr owner(body);
        return std::wstring(body ? body : L"", body ? SysStringLen(body) : 0);
    };
    EXPECT_EQ(read(), FormOf(EditorKind::WordProcessor, kScripts)) << "the window opens the body in its editor";
    ks::UniqueBstr written(SysAllocString(kBranded.c_str()));
    ASSERT_EQ(item.put_HTMLBody(written.Get()), S_OK);
    EXPECT_EQ(read(), FormOf(EditorKind::WordProcessor, kBranded));
    EXPECT_EQ(mail.BodyWrites(), 1);

    // The sender goes back to the top and types: a new first paragraph, an
    // edit rather than a write.
    ASSERT_TRUE(mail.SenderTypes(L"P.S. <see> & note"));
    EXPECT_EQ(mail.BodyWrites(), 1);
    EXPECT_EQ(kstest::VisibleText(read()), L"P.S. <see> & note " + kstest::VisibleText(kBranded));
    EXPECT_NE(read().find(L"<p class=MsoNormal>P.S. &lt;see&gt; &amp; note<o:p></o:p></p>"), std::wstring::npos);
    outlook.UseEditor(EditorKind::Verbatim);
    kshost::MailItem& bare = outlook.Compose(L"no tags at all");
    ASSERT_TRUE(bare.SenderTypes(L"first"));
    EXPECT_EQ(bare.HtmlBody(), L"<p>first</p>no tags at all");
    kshost::MailItem& verbatim = outlook.Compose(L"<HTML><Body class=x>text</Body></HTML>");
    ASSERT_TRUE(verbatim.SenderTypes(L"top"));
    EXPECT_EQ(verbatim.HtmlBody(), L"<HTML><Body class=x><p>top</p>text</Body></HTML>")
        << "the verbatim editor keeps the bytes, typed text included";
}
