// Long runs that a day of use adds up to: thousands of button images, About
// boxes painted over and over, the add-in connected and disconnected again and
// again. The process's GDI and USER objects, handles, memory and the host's
// references end where they started.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "KestrinSelect_h.h"
#include "host/outlook/addin_site.h"
#include "support/about_box_driver.h"
#include "support/addin_dll.h"
#include "support/gdi_objects.h"
#include "support/message_boxes.h"

namespace {

DWORD UserObjects() { return GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS); }

// Wine answers 0 for the process's handle count, so a leak of kernel handles
// (registry keys included) is seen another way: handle values are handed out
// from the lowest free slot, so the value the next new handle gets moves up
// only when handles stay open.
DWORD Handles() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    if (count) return count;
    HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(probe) / 4);
}

// Bytes in use in every heap of the process (the add-in's and the C
// runtime's allocations all come from them).
SIZE_T HeapBytesInUse() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

struct Counts {
    DWORD gdi = kstest::GdiObjectCount();
    DWORD user = UserObjects();
    DWORD handles = Handles();
};

class LongRuns : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_addin.Create(kstest::kAddinProgId), S_OK); }
    void TearDown() override {
        if (m_addin.Created()) m_addin.Disconnect();
        m_addin.Release();
    }

    kshost::Outlook m_outlook;
    kshost::LoadedAddIn m_addin;
};

TEST_F(LongRuns, TenThousandImagesGiveBackEveryGdiObject) {
    ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
    ks::ComRef<IRibbonCallback> callback;
    ASSERT_EQ(m_addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
    ks::UniqueBstr names[] = {ks::UniqueBstr(SysAllocString(L"KestrinSelectImage")),
                              ks::UniqueBstr(SysAllocString(L"KestrinUnselectImage"))};
    auto oneImage = [&](int i) {
        ks::ComRef<IPictureDisp> picture;
        HRESULT hr = callback->getImage(names[i % 2].Get(), picture.Put());
        return SUCCEEDED(hr) && picture;
    };
    ASSERT_TRUE(oneImage(0));  // GDI+ and the picture factory settle their own state once
    ASSERT_TRUE(oneImage(1));
    const Counts before;
    const DWORD start = GetTickCount();
    int made = 0;
    for (int i = 0; i < 10000; ++i) made += oneImage(i) ? 1 : 0;
    const Counts after;
    std::printf("10000 images in %lu ms; GDI objects %lu -> %lu, USER %lu -> %lu, handles %lu -> %lu\n",
                GetTickCount() - start, before.gdi, after.gdi, before.user, after.user, before.handles,
                after.handles);
    EXPECT_EQ(made, 10000);
    EXPECT_GT(before.gdi, 0u) << "the GDI count must be readable for this test to mean anything";
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);
    EXPECT_LE(after.handles, before.handles + 4);
}

// Counts the paint messages the About box's window procedure receives.
WNDPROC g_aboutProc = nullptr;
int g_paints = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) ++g_paints;
    return CallWindowProcA(g_aboutProc, window, message, wParam, lParam);
}

TEST_F(LongRuns, AThousandAboutPaintsGiveBackEveryGdiObject) {
    ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
    kshost::Popup* menu = dynamic_cast<kshost::Popup*>(m_outlook.MenuBarControls().FindByTag(L"KestrinSelectATL"));
    ASSERT_NE(menu, nullptr);
    auto* about = dynamic_cast<kshost::Button*>(&menu->Items().At(1));
    ASSERT_NE(about, nullptr);

    kstest::BoxRecorder recorder;
    Counts during;
    Counts afterPaints;
    recorder.OnDialog([&](HWND dialog) {
        kstest::AfterShown(dialog, [&](HWND d) {
            g_paints = 0;
            g_aboutProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
            during = Counts();
            for (int i = 0; i < 1000; ++i) {
                InvalidateRect(d, nullptr, TRUE);
                UpdateWindow(d);
            }
            afterPaints = Counts();
            SetWindowLongPtrA(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_aboutProc));
            PostMessageA(d, WM_COMMAND, IDOK, 0);
        });
    });
    about->Click(VARIANT_FALSE);  // the first box loads and caches the picture
    const Counts before;
    for (int i = 0; i < 20; ++i) about->Click(VARIANT_FALSE);
    const Counts after;

    std::printf("About: %d paints, GDI objects %lu -> %lu; 20 more boxes: GDI %lu -> %lu, USER %lu -> %lu\n", g_paints,
                during.gdi, afterPaints.gdi, before.gdi, after.gdi, before.user, after.user);
    EXPECT_GE(g_paints, 1000) << "the paints did not reach the box";
    EXPECT_EQ(afterPaints.gdi, during.gdi);
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);
    EXPECT_LE(after.handles, before.handles + 4);
}

// Each connection deletes the picture the About box cached, and the module
// deletes the last one when it unloads.
TEST_F(LongRuns, AHundredReconnectionsWithAnAboutBoxEachKeepNoPicture) {
    kstest::BoxRecorder recorder;  // closes each About box as it opens
    auto openAbout = [&] {
        auto* menu = dynamic_cast<kshost::Popup*>(m_outlook.MenuBarControls().FindByTag(L"KestrinSelectATL"));
        ASSERT_NE(menu, nullptr);
        auto* about = dynamic_cast<kshost::Button*>(&menu->Items().At(1));
        ASSERT_NE(about, nullptr);
        about->Click(VARIANT_FALSE);
    };
    ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
    openAbout();  // whatever the first dialog of the process sets up for good
    ASSERT_EQ(m_addin.Disconnect(), S_OK);
    ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
    const Counts start;  // no picture: the connection forgot the one cached
    for (int i = 0; i < 100; ++i) {
        openAbout();
        EXPECT_EQ(m_addin.Disconnect(), S_OK);
        EXPECT_EQ(m_addin.Connect(m_outlook), S_OK);
    }
    const Counts reconnected;
    EXPECT_EQ(recorder.Boxes().size(), 101u);

    openAbout();
    m_addin.Disconnect();
    m_addin.Release();
    CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(GetModuleHandleW(L"KestrinSelect.dll"), nullptr) << "the module did not unload";
    const Counts unloaded;

    std::printf("100 reconnections with an About box each: GDI objects %lu -> %lu; after unloading %lu\n", start.gdi,
                reconnected.gdi, unloaded.gdi);
    EXPECT_EQ(reconnected.gdi, start.gdi);
    EXPECT_EQ(unloaded.gdi, start.gdi);
}

TEST_F(LongRuns, AThousandConnectionsLeaveNoGrowth) {
    ksdouble::HostContext& host = m_outlook.App().Host();
    const ULONG applicationRefs = m_outlook.App().RefCount();
    const ULONG instanceRefs = m_outlook.AddIn().RefCount();
    const ULONG explorerRefs = m_outlook.MainWindow()->RefCount();
    auto cycle = [&] {
        EXPECT_EQ(m_addin.Connect(m_outlook), S_OK);
        EXPECT_EQ(m_addin.Disconnect(), S_OK);
        host.ClearCalls();  // the stand-in's own log is not the add-in's memory
    };
    for (int i = 0; i < 100; ++i) cycle();
    const SIZE_T memoryBefore = HeapBytesInUse();
    const long objectsBefore = host.LiveObjects();
    const Counts before;
    for (int i = 0; i < 1000; ++i) cycle();
    const SIZE_T memoryAfter = HeapBytesInUse();
    const Counts after;

    std::printf("1000 connections: heap bytes in use %zu -> %zu, host objects %ld -> %ld, handles %lu -> %lu\n",
                static_cast<size_t>(memoryBefore), static_cast<size_t>(memoryAfter), objectsBefore,
                host.LiveObjects(), before.handles, after.handles);
    EXPECT_EQ(m_outlook.MenuBarControls().CountTagged(L"KestrinSelectATL"), 1u);
    EXPECT_EQ(host.LiveObjects(), objectsBefore);
    EXPECT_EQ(m_outlook.App().RefCount(), applicationRefs);
    EXPECT_EQ(m_outlook.AddIn().RefCount(), instanceRefs);
    EXPECT_GT(memoryBefore, 0u);
    EXPECT_LT(memoryAfter, memoryBefore + 1024 * 1024) << "memory grows with connections";
    EXPECT_LE(after.handles, before.handles + 4);
    EXPECT_EQ(after.gdi, before.gdi);

    // Let go of everything: the explorer and buttons the last connection
    // kept are released with the object, and the module may unload.
    m_addin.Release();
    EXPECT_EQ(m_outlook.MainWindow()->RefCount(), explorerRefs);
    kstest::AddinLibrary dll;
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

}  // namespace
