// The add-in loaded through COM, with its own allocations of texts and memory
// made to fail one at a time (its imports of SysAllocString, SysAllocStringLen,
// GlobalAlloc, CreateStreamOnHGlobal and OleCreatePictureIndirect pointed at
// failing stand-ins; the rest of the process keeps the real ones). Each
// allocation point in turn fails once; the call answers with its documented
// result, leaks nothing, and the next call works.
#include <windows.h>
#include <olectl.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "KestrinSelect_h.h"
#include "host/outlook/addin_site.h"
#include "support/addin_dll.h"
#include "host/outlook/compose_window.h"
#include "support/expected_texts.h"
#include "support/gdi_objects.h"
#include "support/import_patch.h"
#include "support/message_boxes.h"
#include "support/ribbon_switches.h"

namespace {

const std::string kModifyHtml = kstest::expected::ErrorBox(kstest::expected::kBodyNotModified);
const std::string kSendFailed = kstest::expected::SendFailedBox();

// Which call of one function fails: calls are counted from 0 and call
// `failAt` fails; -1 lets every call through.
struct Plan {
    int calls = 0;
    int failAt = -1;
    void* real = nullptr;
    bool FailsNow() { return calls++ == failAt; }
    void Arm(int at) {
        calls = 0;
        failAt = at;
    }
    // Whether the armed failure was reached.
    bool Hit() const { return failAt >= 0 && calls > failAt; }
};

Plan g_sysAllocString, g_sysAllocStringLen, g_globalAlloc, g_createStream, g_createPicture;

BSTR WINAPI FaultySysAllocString(const OLECHAR* text) {
    if (g_sysAllocString.FailsNow()) return nullptr;
    return reinterpret_cast<decltype(&SysAllocString)>(g_sysAllocString.real)(text);
}
BSTR WINAPI FaultySysAllocStringLen(const OLECHAR* text, UINT length) {
    if (g_sysAllocStringLen.FailsNow()) return nullptr;
    return reinterpret_cast<decltype(&SysAllocStringLen)>(g_sysAllocStringLen.real)(text, length);
}
HGLOBAL WINAPI FaultyGlobalAlloc(UINT flags, SIZE_T bytes) {
    if (g_globalAlloc.FailsNow()) return nullptr;
    return reinterpret_cast<decltype(&GlobalAlloc)>(g_globalAlloc.real)(flags, bytes);
}
HRESULT WINAPI FaultyCreateStream(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream) {
    if (g_createStream.FailsNow()) return E_OUTOFMEMORY;
    return reinterpret_cast<decltype(&CreateStreamOnHGlobal)>(g_createStream.real)(block, deleteOnRelease, stream);
}
HRESULT WINAPI FaultyCreatePicture(LPPICTDESC description, REFIID iid, BOOL own, LPVOID* picture) {
    if (g_createPicture.FailsNow()) return E_OUTOFMEMORY;
    return reinterpret_cast<decltype(&OleCreatePictureIndirect)>(g_createPicture.real)(description, iid, own, picture);
}

class OutOfMemorySweep : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_addin.Create(kstest::kAddinProgId), S_OK);
        ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
        ASSERT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, m_callback.PutVoid()), S_OK);
        HMODULE module = GetModuleHandleW(L"KestrinSelect.dll");
        ASSERT_NE(module, nullptr);
        Patch(module, "OLEAUT32.dll", "SysAllocString", &FaultySysAllocString, g_sysAllocString);
        Patch(module, "OLEAUT32.dll", "SysAllocStringLen", &FaultySysAllocStringLen, g_sysAllocStringLen);
        Patch(module, "KERNEL32.dll", "GlobalAlloc", &FaultyGlobalAlloc, g_globalAlloc);
        Patch(module, "ole32.dll", "CreateStreamOnHGlobal", &FaultyCreateStream, g_createStream);
        Patch(module, "OLEAUT32.dll", "OleCreatePictureIndirect", &FaultyCreatePicture, g_createPicture);
        m_boxes.Clear();
    }
    void TearDown() override {
        for (Plan* plan : {&g_sysAllocString, &g_sysAllocStringLen, &g_globalAlloc, &g_createStream, &g_createPicture})
            plan->Arm(-1);
        m_callback.Reset();
        m_addin.Disconnect();
        m_addin.Release();
    }

    template <typename F>
    void Patch(HMODULE module, const char* dll, const char* function, F* replacement, Plan& plan) {
        m_patches.emplace_back(new kstest::ImportPatch(module, dll, function, reinterpret_cast<void*>(replacement)));
        ASSERT_TRUE(m_patches.back()->Patched()) << function << " is not imported by the add-in";
        plan.real = m_patches.back()->Original();
        plan.Arm(-1);
    }

    // Fails call 0, 1, 2, ... of the plan in turn, running `check` each time,
    // until a run no longer reaches the failure. Returns the points tried.
    int EachFailure(Plan& plan, const std::function<void(int)>& check) {
        int points = 0;
        for (int at = 0; at < 64; ++at) {
            plan.Arm(at);
            SCOPED_TRACE("allocation " + std::to_string(at));
            check(at);
            const bool hit = plan.Hit();
            plan.Arm(-1);
            if (!hit) break;
            ++points;
        }
        return points;
    }

    // The select command from the message's compose window, the body
    // focused; the window then runs the send command the add-in posted.
    HRESULT Select(kshost::MailItem& item) {
        kshost::ComposeWindow window(static_cast<_MailItem*>(&item));
        EXPECT_TRUE(window.FocusBody());
        const HRESULT hr = m_callback->onClickSelect(nullptr);
        kshost::ComposeWindow::PumpMessages();
        return hr;
    }

    HRESULT Image(const wchar_t* name, ks::ComRef<IPictureDisp>& picture) {
        ks::UniqueBstr text(SysAllocString(name));
        return m_callback->getImage(text.Get(), picture.Put());
    }

    kshost::Outlook m_outlook{false};
    kshost::LoadedAddIn m_addin;
    ks::ComRef<IRibbonCallback> m_callback;
    kstest::BoxRecorder m_boxes;
    std::vector<std::unique_ptr<kstest::ImportPatch>> m_patches;
};

const wchar_t kBody[] = L"<html><body>\u4f60\u597d \U0001F600</body></html>\r\ntail";
std::wstring Branded() {
    return std::wstring(L"<html><body>\u4f60\u597d \U0001F600</body>") + kstest::expected::Footer() +
           L"</html>\r\ntail";
}

TEST_F(OutOfMemorySweep, SelectCommandBstrCopies) {
    for (Plan* plan : {&g_sysAllocStringLen, &g_sysAllocString}) {
        const int points = EachFailure(*plan, [&](int) {
            kshost::MailItem& item = m_outlook.Compose(kBody);
            const HRESULT hr = Select(item);
            const auto boxes = kstest::Texts(m_boxes.Boxes());
            m_boxes.Clear();
            if (hr == S_OK) {
                EXPECT_TRUE(boxes.empty());
                EXPECT_EQ(item.SendCount(), 1);
                EXPECT_TRUE(item.HtmlBody() == Branded());
            } else {
                EXPECT_EQ(hr, E_OUTOFMEMORY);
                EXPECT_EQ(boxes, std::vector<std::string>{kModifyHtml});
                EXPECT_EQ(item.SendCount(), 0);
                EXPECT_TRUE(item.HtmlBody() == kBody) << "the body must stay as written";
            }
        });
        std::printf("select command: %d allocation points\n", points);
    }
    // Still usable.
    kshost::MailItem& item = m_outlook.Compose(kBody);
    EXPECT_EQ(Select(item), S_OK);
    EXPECT_EQ(item.SendCount(), 1);
}

// A send that fails after branding: the body goes back as the very text the
// command read, so no copy is needed and a lack of memory cannot keep the
// footer on the message. Branding is the command's only BSTR copy.
TEST_F(OutOfMemorySweep, RestoreNeedsNoMemory) {
    const int points = EachFailure(g_sysAllocStringLen, [&](int at) {
        kshost::MailItem& item = m_outlook.Compose(kBody);
        SetFocus(nullptr);  // no compose window in the focus: the item is sent directly
        m_outlook.Host().Fail("_MailItem.Send", E_ABORT, 0, 1);
        const HRESULT hr = m_callback->onClickSelect(nullptr);
        m_outlook.Host().ClearFailures();
        const auto boxes = kstest::Texts(m_boxes.Boxes());
        m_boxes.Clear();
        EXPECT_EQ(item.SendCount(), 0);
        EXPECT_TRUE(item.HtmlBody() == kBody);
        if (at == 0) {
            EXPECT_EQ(hr, E_OUTOFMEMORY);
            EXPECT_EQ(boxes, std::vector<std::string>{kModifyHtml});
        } else {
            EXPECT_EQ(hr, E_ABORT);
            EXPECT_EQ(boxes, std::vector<std::string>{kSendFailed});
        }
    });
    EXPECT_EQ(points, 1);
}

TEST_F(OutOfMemorySweep, MarkupText) {
    kstest::SwitchKeyScope scope;
    ASSERT_TRUE(kstest::WriteSwitchText("selectEnabled", "true"));
    ASSERT_TRUE(kstest::WriteSwitchText("unselectEnabled", "true"));
    ks::ComRef<IRibbonExtensibility> ribbon;
    ASSERT_EQ(m_addin.Extensibility()->QueryInterface(ks::IID_IRibbonExtensibility, ribbon.PutVoid()), S_OK);
    ks::UniqueBstr id(SysAllocString(L"Microsoft.Outlook.Mail.Compose"));
    int points = 0;
    for (Plan* plan : {&g_sysAllocStringLen, &g_sysAllocString}) {
        points += EachFailure(*plan, [&](int) {
            BSTR markup = reinterpret_cast<BSTR>(1);
            const HRESULT hr = ribbon->GetCustomUI(id.Get(), &markup);
            if (hr == S_OK) {
                EXPECT_NE(std::wstring(markup ? markup : L"").find(L"KestrinSelectButton"), std::wstring::npos);
                SysFreeString(markup);
            } else {
                EXPECT_EQ(hr, E_OUTOFMEMORY);
                EXPECT_EQ(markup, nullptr) << "no text, and nothing left to free";
            }
        });
    }
    std::printf("markup: %d allocation points\n", points);
    EXPECT_GE(points, 2);
    EXPECT_TRUE(m_boxes.Boxes().empty());
    BSTR markup = nullptr;
    EXPECT_EQ(ribbon->GetCustomUI(id.Get(), &markup), S_OK);
    EXPECT_NE(markup, nullptr);
    SysFreeString(markup);
}

TEST_F(OutOfMemorySweep, ImagesLeakNothingWhateverFails) {
    ks::ComRef<IPictureDisp> warm;
    ASSERT_EQ(Image(L"KestrinSelectImage", warm), S_OK);
    warm.Reset();
    const DWORD gdi = kstest::GdiObjectCount();
    int points = 0;
    // The name's copies: E_OUTOFMEMORY and nothing else done.
    for (Plan* plan : {&g_sysAllocStringLen, &g_sysAllocString}) {
        points += EachFailure(*plan, [&](int) {
            ks::ComRef<IPictureDisp> picture;
            const HRESULT hr = Image(L"KestrinSelectImage", picture);
            EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY);
            EXPECT_EQ(static_cast<bool>(picture), hr == S_OK);
        });
    }
    // The image's memory block and stream: silently no picture.
    for (Plan* plan : {&g_globalAlloc, &g_createStream}) {
        points += EachFailure(*plan, [&](int) {
            ks::ComRef<IPictureDisp> picture;
            EXPECT_EQ(Image(L"KestrinUnselectImage", picture), S_OK);
            if (plan->Hit()) {
                EXPECT_FALSE(picture);
            }
        });
    }
    // The picture refused: its HRESULT, and the bitmap made for it not left behind.
    points += EachFailure(g_createPicture, [&](int) {
        ks::ComRef<IPictureDisp> picture;
        const HRESULT hr = Image(L"KestrinSelectImage", picture);
        if (g_createPicture.Hit()) {
            EXPECT_EQ(hr, E_OUTOFMEMORY);
            EXPECT_FALSE(picture);
        }
    });
    std::printf("images: %d failure points\n", points);
    EXPECT_GE(points, 4);
    EXPECT_EQ(kstest::GdiObjectCount(), gdi);
    ks::ComRef<IPictureDisp> after;
    EXPECT_EQ(Image(L"KestrinSelectImage", after), S_OK);
    EXPECT_TRUE(after);
}

// The menu's texts: the tag wanted by the removal cannot be made (the
// connection ends with E_OUTOFMEMORY and no box), or a text of the new menu
// cannot (that setter is skipped, as if the host had refused it).
TEST_F(OutOfMemorySweep, ConnectionWithMenuTexts) {
    int points = EachFailure(g_sysAllocStringLen, [&](int at) {
        ksdouble::Context host;
        {
            kshost::Outlook outlook;
            host = outlook.App().SharedContext();
            kshost::LoadedAddIn addin;
            ASSERT_EQ(addin.Create(kstest::kAddinProgId), S_OK);
            const HRESULT hr = addin.Connect(outlook);
            const auto boxes = kstest::Texts(m_boxes.Boxes());
            m_boxes.Clear();
            EXPECT_TRUE(boxes.empty());
            const size_t menus = outlook.MenuBarControls().CountTagged(L"KestrinSelectATL");
            if (at == 0) {
                EXPECT_EQ(hr, E_OUTOFMEMORY);
                EXPECT_EQ(menus, 0u);
            } else if (g_sysAllocStringLen.Hit()) {
                EXPECT_EQ(hr, S_OK);
                EXPECT_EQ(menus, at == 1 ? 0u : 1u) << "only a lost tag leaves the menu unfound";
            }
            addin.Disconnect();
            addin.Release();
        }
        EXPECT_EQ(host->LiveObjects(), 0) << "the add-in kept a host object";
    });
    std::printf("connection with the menu: %d allocation points\n", points);
    EXPECT_GE(points, 2);
}

}  // namespace
