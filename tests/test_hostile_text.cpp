// Bodies no one would write on purpose, branded by the select command and put
// back when the command fails after branding: every character comes back,
// whatever it is and however many there are.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "KestrinSelect_h.h"
#include "host/outlook/addin_site.h"
#include "support/addin_dll.h"
#include "host/outlook/compose_window.h"
#include "support/expected_texts.h"
#include "support/import_patch.h"
#include "support/message_boxes.h"

namespace {

const std::string kSendFailed = kstest::expected::SendFailedBox();

// The compose window's queue will not take the send command: the command
// fails after branding and puts the body back.
BOOL WINAPI PostThatFails(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
}

std::unique_ptr<kstest::ImportPatch> RefusePost() {
    return std::make_unique<kstest::ImportPatch>(GetModuleHandleW(L"KestrinSelect.dll"), "USER32.dll", "PostMessageA",
                                                 reinterpret_cast<void*>(&PostThatFails));
}

std::wstring Text(const wchar_t* chars, size_t length) { return std::wstring(chars, length); }

// Where branding goes, found the plain way: the first "</html>" in any ASCII
// letter case, or npos.
size_t ClosingTag(const std::wstring& body) {
    const wchar_t tag[] = L"</html>";
    for (size_t i = 0; i + 7 <= body.size(); ++i) {
        size_t k = 0;
        while (k < 7) {
            wchar_t c = body[i + k];
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != tag[k]) break;
            ++k;
        }
        if (k == 7) return i;
    }
    return std::wstring::npos;
}

// The body after a successful select command: unchanged without a tag or
// with the tag first; otherwise the footer in front of the first tag, the tag
// in lower case, and everything after it kept.
std::wstring ExpectedBranded(const std::wstring& body) {
    const size_t at = ClosingTag(body);
    if (at == std::wstring::npos || at == 0) return body;
    return body.substr(0, at) + kstest::expected::Footer() + L"</html>" + body.substr(at + 7);
}

struct HostileBody {
    const char* name;
    std::wstring body;
};

std::vector<HostileBody> HostileBodies() {
    std::wstring manyTags;
    for (int i = 0; i < 2000; ++i) manyTags += L"<p>" + std::to_wstring(i) + L"</p></html>";
    return {
        {"empty", L""},
        {"one character", L"x"},
        {"tag alone", L"</html>"},
        {"tag at the end only", L"<html><body>end</body></html>"},
        {"NUL characters around the tag", Text(L"<html>a\0b</html>\0tail\0", 23)},
        {"NUL right before the tag", Text(L"\0</html>", 8)},
        {"unpaired surrogates", L"<html>\xD800 lone high \xDC00 lone low \xDBFF</html>\xD83D"},
        {"CJK, emoji and right-to-left",
         L"<html dir=\"rtl\"><body>\u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627 "
         L"\u4F60\u597D\u3001\u4E16\u754C \U0001F512\U0001F600 \u202Eevil\u202C</body></html>\r\n"},
        {"many closing tags", manyTags},
        {"tag split across case", L"<html><b>x</b></HtMl>between</HTML>after"},
        {"near misses", L"<html></htm> </ html> </html > </html\0> <\\html></html>"},
        {"characters that fold elsewhere", L"<html>\u0130\u212A</\u0130TML></HTML>"},
        {"only a line break", L"\r\n"},
    };
}

class HostileText : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_addin.Create(kstest::kAddinProgId), S_OK);
        ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
        ASSERT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, m_callback.PutVoid()), S_OK);
    }
    void TearDown() override {
        m_callback.Reset();
        m_addin.Disconnect();
        m_addin.Release();
    }

    // A new message in its compose window, the body focused, as the user
    // leaves it when pressing a button.
    kshost::MailItem& Compose(const std::wstring& body) {
        kshost::MailItem& item = m_outlook.Compose(body);
        m_window = std::make_unique<kshost::ComposeWindow>(static_cast<_MailItem*>(&item));
        EXPECT_TRUE(m_window->FocusBody());
        return item;
    }
    // A button pressed; the compose window then runs the send command the
    // add-in posted.
    HRESULT Press(bool select) {
        HRESULT hr = select ? m_callback->onClickSelect(nullptr) : m_callback->onClickUnselect(nullptr);
        kshost::ComposeWindow::PumpMessages();
        m_window.reset();
        return hr;
    }

    kshost::Outlook m_outlook{false};
    kshost::LoadedAddIn m_addin;
    ks::ComRef<IRibbonCallback> m_callback;
    kstest::BoxRecorder m_boxes;
    std::unique_ptr<kshost::ComposeWindow> m_window;
};

TEST_F(HostileText, BrandedBodiesKeepEveryCharacter) {
    for (const HostileBody& hostile : HostileBodies()) {
        SCOPED_TRACE(hostile.name);
        kshost::MailItem& item = Compose(hostile.body);
        EXPECT_EQ(Press(true), S_OK);
        EXPECT_EQ(item.SendCount(), 1);
        EXPECT_TRUE(item.HtmlBody() == ExpectedBranded(hostile.body)) << "body changed other than by the footer";
        EXPECT_TRUE(m_boxes.Boxes().empty());
        m_boxes.Clear();
    }
}

TEST_F(HostileText, RestoredBodiesAreTheBodiesAsRead) {
    for (const HostileBody& hostile : HostileBodies()) {
        SCOPED_TRACE(hostile.name);
        kshost::MailItem& item = Compose(hostile.body);
        const auto refused = RefusePost();
        ASSERT_TRUE(refused->Patched());
        EXPECT_EQ(Press(true), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_QUOTA));
        EXPECT_EQ(item.SendCount(), 0);
        EXPECT_TRUE(item.HtmlBody() == hostile.body) << "body not restored exactly";
        EXPECT_EQ(kstest::Texts(m_boxes.Boxes()), std::vector<std::string>{kSendFailed});
        m_boxes.Clear();
    }
}

// The unselect command writes the body only to take out a footer of
// branding's; these bodies have none.
TEST_F(HostileText, UnselectLeavesHostileBodiesAlone) {
    for (const HostileBody& hostile : HostileBodies()) {
        SCOPED_TRACE(hostile.name);
        kshost::MailItem& item = Compose(hostile.body);
        EXPECT_EQ(Press(false), S_OK);
        EXPECT_EQ(item.BodyWrites(), 0);
        EXPECT_TRUE(item.HtmlBody() == hostile.body);
    }
}

// Sizes from nothing to 64 MB (32 Mi UTF-16 units), the tag near the end as
// in a real message: branded and restored intact, in reasonable time.
TEST_F(HostileText, LargeBodiesRoundTrip) {
    const size_t sizes[] = {0, 1, 6, 7, 8, 4095, 65536, 1u << 20, 32u << 20};
    for (size_t units : sizes) {
        SCOPED_TRACE(units);
        std::wstring body;
        const std::wstring closing = L"</body></HTML>\r\n<!-- signature \U0001F4E7 -->";
        if (units >= closing.size() + 6) {
            body.reserve(units);
            body = L"<html>";
            // Cycles through ASCII, Latin, CJK and a surrogate pair so that a
            // character lost anywhere shows.
            const wchar_t pattern[] = L"abc \u00e9\u4e2d\xD83D\xDE00\r\n";
            const size_t patternLength = sizeof(pattern) / sizeof(pattern[0]) - 1;
            while (body.size() + closing.size() < units) body += pattern[body.size() % patternLength];
            body += closing;
        } else {
            body.assign(units, L'q');
        }
        const auto start = std::chrono::steady_clock::now();
        kshost::MailItem& sent = Compose(body);
        EXPECT_EQ(Press(true), S_OK);
        EXPECT_EQ(sent.SendCount(), 1);
        EXPECT_TRUE(sent.HtmlBody() == ExpectedBranded(body));
        sent.SetHtmlBody(std::wstring());

        kshost::MailItem& refused = Compose(body);
        {
            const auto post = RefusePost();
            Press(true);
        }
        EXPECT_EQ(refused.SendCount(), 0);
        EXPECT_TRUE(refused.HtmlBody() == body);
        refused.SetHtmlBody(std::wstring());
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (units >= (1u << 20)) std::printf("body of %zu bytes: branded and restored in %.2f s\n", units * 2, seconds);
        EXPECT_LT(seconds, 30.0);
        m_boxes.Clear();
    }
}

// Ribbon ids and image names as no Office would send them: the markup is the
// empty text for anything but the compose id, and every name gets a picture
// (the open padlock for any name but the select image's).
TEST_F(HostileText, RibbonInputsAreAnsweredSafely) {
    ks::ComRef<IRibbonExtensibility> ribbon;
    ASSERT_EQ(m_addin.Extensibility()->QueryInterface(ks::IID_IRibbonExtensibility, ribbon.PutVoid()), S_OK);
    const std::vector<std::wstring> texts = {
        std::wstring(),
        Text(L"Microsoft.Outlook.Mail.Compose\0", 31),
        Text(L"\0Microsoft.Outlook.Mail.Compose", 31),
        L"Microsoft.Outlook.Mail.Compose\xD800",
        L"KestrinSelectImage\xDC00",
        L"\U0001F512\u202EegamItcelesnirtseK",
        std::wstring(1u << 20, L'M'),
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(text.size());
        ks::UniqueBstr bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
        BSTR markup = nullptr;
        EXPECT_EQ(ribbon->GetCustomUI(bstr.Get(), &markup), S_OK);
        // With an embedded NUL, equality is whatever the system's BSTR
        // comparison says; only the answer itself is required.
        if (text.find(L'\0') == std::wstring::npos) {
            EXPECT_EQ(SysStringLen(markup), 0u) << "only the exact compose id has a group";
        }
        SysFreeString(markup);
        ks::ComRef<IPictureDisp> picture;
        EXPECT_EQ(m_callback->getImage(bstr.Get(), picture.Put()), S_OK);
        EXPECT_TRUE(picture);
    }
    BSTR markup = nullptr;
    EXPECT_EQ(ribbon->GetCustomUI(nullptr, &markup), S_OK);
    SysFreeString(markup);
    ks::ComRef<IPictureDisp> picture;
    EXPECT_EQ(m_callback->getImage(nullptr, picture.Put()), S_OK);
    EXPECT_TRUE(picture);
}

}  // namespace
