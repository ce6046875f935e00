// A lack of memory while a send command works on the body: the command
// reports it, leaves the message as it was, sends nothing and returns
// E_OUTOFMEMORY instead of letting an exception out of the callback.
//
// The add-in object here is the one linked into this program (not the DLL),
// so that this program's replacement of operator new reaches its copies of
// the body; everything else is as in the DLL tests.
#include <windows.h>

#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "addin/connect.h"
#include "host/outlook/addin_site.h"
#include "host/outlook/compose_window.h"
#include "support/expected_texts.h"
#include "support/message_boxes.h"

namespace {

// Fails exactly one allocation of at least `g_failFrom` bytes: the one after
// `g_skip` such allocations have passed.
std::size_t g_failFrom = static_cast<std::size_t>(-1);
int g_skip = 0;

void* Allocate(std::size_t size) {
    if (size >= g_failFrom) {
        if (g_skip-- == 0) {
            g_failFrom = static_cast<std::size_t>(-1);
            throw std::bad_alloc();
        }
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

void FailOneLargeAllocation(std::size_t from, int skip) {
    g_failFrom = from;
    g_skip = skip;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr std::size_t kLarge = 512 * 1024;
const std::string kModifyHtml = kstest::expected::ErrorBox(kstest::expected::kBodyNotModified);

class OutOfMemory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ks::CConnect::CreateInstance(ks::IID__IDTExtensibility2, m_addin.PutVoid()), S_OK);
        ASSERT_EQ(m_addin->OnConnection(&m_outlook.App(), ks::ext_cm_Startup, &m_outlook.AddIn(), nullptr),
                  S_OK);
        ASSERT_EQ(m_addin.QueryTo(IID_IRibbonCallback, m_callback), S_OK);
        m_boxes.Clear();
    }
    void TearDown() override {
        g_failFrom = static_cast<std::size_t>(-1);
        m_callback.Reset();
        if (m_addin) m_addin->OnDisconnection(ks::ext_dm_HostShutdown, nullptr);
        m_addin.Reset();
    }

    kshost::Outlook m_outlook{false};  // no main window: no legacy menu needed
    ks::ComRef<_IDTExtensibility2> m_addin;
    ks::ComRef<IRibbonCallback> m_callback;
    kstest::BoxRecorder m_boxes;
};

}  // namespace

// Taking the footer out of a message stamped for encryption reads the
// body's markup: for a body of many elements that is the command's one large
// allocation. Its lack is reported, the body stays as it was with its
// footer, nothing is sent, and the next try works.
TEST_F(OutOfMemory, ReadingTheMarkupFailsUnselectReportsLeavesTheBodyAndSendsNothing) {
    std::wstring paragraphs;
    for (int i = 0; i < 40000; ++i) paragraphs += L"<p>line</p>";
    kshost::MailItem& item = m_outlook.Compose(L"<html><body>" + paragraphs + L"</body></html>");
    kshost::ComposeWindow window(static_cast<_MailItem*>(&item));
    item.Fail("_MailItem.Send", E_ABORT, 0, 1);  // the host refuses the encrypted send
    ASSERT_TRUE(window.FocusBody());
    ASSERT_EQ(m_callback->onClickSelect(nullptr), S_OK);
    kshost::ComposeWindow::PumpMessages();
    const std::wstring branded = item.HtmlBody();
    ASSERT_NE(branded.find(L"This message was secured by"), std::wstring::npos);
    const ULONG itemRefs = item.RefCount();
    m_boxes.Clear();

    ASSERT_TRUE(window.FocusBody());
    FailOneLargeAllocation(kLarge, 0);
    HRESULT hr = m_callback->onClickUnselect(nullptr);
    ASSERT_EQ(g_failFrom, static_cast<std::size_t>(-1)) << "the allocation was never made";
    kshost::ComposeWindow::PumpMessages();
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(kstest::Texts(m_boxes.Boxes()), std::vector<std::string>{kModifyHtml});
    EXPECT_EQ(item.HtmlBody(), branded);
    EXPECT_EQ(window.SendCommands(), 1) << "only the refused encrypted send";
    EXPECT_EQ(item.RefCount(), itemRefs);

    ASSERT_TRUE(window.FocusBody());
    EXPECT_EQ(m_callback->onClickUnselect(nullptr), S_OK);
    kshost::ComposeWindow::PumpMessages();
    EXPECT_EQ(window.SendCommands(), 2);
    EXPECT_TRUE(item.IsSent());
    EXPECT_EQ(item.HtmlBody().find(L"This message was secured by"), std::wstring::npos);
}
