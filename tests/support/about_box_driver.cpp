#include "support/about_box_driver.h"

#include <algorithm>

#include "server/owners.h"
#include "support/gdi_objects.h"

namespace kstest {
namespace {

struct Pending {
    HWND dialog = nullptr;
    std::function<void(HWND)> action;
    UINT_PTR timer = 0;
};
thread_local Pending t_pending;

void CALLBACK RunPending(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    Pending pending = std::move(t_pending);
    t_pending = Pending();
    if (!pending.action) return;
    UpdateWindow(pending.dialog);
    pending.action(pending.dialog);
}

}  // namespace

void AfterShown(HWND dialog, std::function<void(HWND)> action, UINT delayMs) {
    t_pending.dialog = dialog;
    t_pending.action = std::move(action);
    t_pending.timer = SetTimer(nullptr, 0, delayMs, &RunPending);
}

int ClientPixels::Count(int x0, int y0, int x1, int y1, COLORREF colour) const {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y) {
        for (int x = std::max(0, x0); x < std::min(width, x1); ++x) {
            if (At(x, y) == colour) ++n;
        }
    }
    return n;
}

ClientPixels CaptureClient(HWND window) {
    ClientPixels out;
    RECT client;
    if (!GetClientRect(window, &client)) return out;
    out.width = client.right;
    out.height = client.bottom;

    BITMAPINFO info = TopDownBgraInfo(out.width, out.height);
    void* bits = nullptr;
    ks::UniqueGdiObject dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ks::UniqueMemoryDc memory(CreateCompatibleDC(nullptr));
    HDC windowDc = GetDC(window);
    if (!dib || !memory || !windowDc || !bits) {
        if (windowDc) ReleaseDC(window, windowDc);
        out.width = out.height = 0;
        return out;
    }
    {
        ks::SelectionGuard select(memory.Get(), dib.Get());
        BitBlt(memory.Get(), 0, 0, out.width, out.height, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
    }
    ReleaseDC(window, windowDc);

    const DWORD* p = static_cast<const DWORD*>(bits);
    out.pixels.reserve(static_cast<size_t>(out.width) * out.height);
    for (int i = 0; i < out.width * out.height; ++i) {
        DWORD v = p[i];  // 0x00RRGGBB
        out.pixels.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    }
    return out;
}

RECT ChildRect(HWND parent, int id) {
    RECT r = {};
    HWND child = GetDlgItem(parent, id);
    if (!child) return r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace kstest
