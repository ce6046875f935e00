// The About box, opened from the legacy menu's "&About KestrinSelect" item.
#include "menu/about_box.h"

#include "addin/connect.h"
#include "addin/host_windows.h"
#include "menu/menu_texts.h"
#include "resources/resource_ids.h"
#include "server/module.h"

namespace ks {
namespace {

// The three lines stand at fixed pixel positions on the picture's plain
// lower part, 14 pixels apart.
constexpr int kTextLeft = 15;
constexpr int kProductTop = 80;
constexpr int kVersionTop = 94;
constexpr int kCopyrightTop = 108;
constexpr int kTextPoints = 10;

void DrawLine(HDC dc, int top, const char* text) noexcept {
    TextOutA(dc, kTextLeft, top, text, lstrlenA(text));
}

// Copies the cached picture one pixel for one pixel to the top-left corner;
// a picture that did not load leaves the dialog's own background.
void DrawPicture(HDC paintDc) noexcept {
    UniqueMemoryDc memoryDc(CreateCompatibleDC(paintDc));
    if (!memoryDc || !g_aboutBitmap) return;
    SelectionGuard selectBitmap(memoryDc.Get(), g_aboutBitmap);
    BITMAP info = {};
    if (GetObjectA(g_aboutBitmap, sizeof(info), &info) == 0) return;
    BitBlt(paintDc, 0, 0, info.bmWidth, info.bmHeight, memoryDc.Get(), 0, 0, SRCCOPY);
}

// Whether the module deletes the cached picture when it unloads.
bool g_bitmapDeletedAtUnload = false;

void DeleteAboutBitmapAtUnload(void*) noexcept {
    ForgetAboutBitmap();
}

// Loads the picture on first need. The module's termination list deletes it
// when the DLL unloads while the process goes on; at process exit nothing is
// called, since GDI may already be gone.
void LoadAboutBitmap(HINSTANCE module) noexcept {
    if (g_aboutBitmap) return;
    g_aboutBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_ABOUTBOX));
    if (g_aboutBitmap && !g_bitmapDeletedAtUnload) {
        g_bitmapDeletedAtUnload = SUCCEEDED(Module().AddTermFunc(&DeleteAboutBitmapAtUnload, nullptr));
    }
}

}  // namespace

void ForgetAboutBitmap() noexcept {
    if (g_aboutBitmap) DeleteObject(g_aboutBitmap);
    g_aboutBitmap = nullptr;
}

void PaintAboutBox(HDC paintDc) noexcept {
    DrawPicture(paintDc);

    SetBkMode(paintDc, TRANSPARENT);
    SetTextColor(paintDc, RGB(255, 255, 255));
    // The size is in points, so the glyphs grow with the display's
    // resolution while the line positions above stay put.
    const int height = -MulDiv(kTextPoints, GetDeviceCaps(paintDc, LOGPIXELSY), 72);
    UniqueGdiObject font(CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                                     "Times New Roman"));
    SelectionGuard selectFont(paintDc, font.Get());
    DrawLine(paintDc, kProductTop, kAboutProductLine);
    DrawLine(paintDc, kVersionTop, kAboutVersionLine);
    DrawLine(paintDc, kCopyrightTop, kAboutCopyrightLine);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) noexcept {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;  // the system gives the focus to the OK button
    case WM_COMMAND:
        // Only OK ends the box: Escape's IDCANCEL is deliberately not handled.
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, static_cast<INT_PTR>(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(dialog, &paint);
        if (dc) {
            PaintAboutBox(dc);
            EndPaint(dialog, &paint);
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void CConnect::OnAboutClick(IDispatch*, VARIANT_BOOL*) noexcept {
    HINSTANCE module = Module().Instance();
    LoadAboutBitmap(module);
    // Owned by Outlook's main window when there is one, so that it stays
    // disabled while the box is open.
    HWND owner = FindWindowA(kOutlookFrameClass, nullptr);
    DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutDialogProc, 0);
}

void CConnect::OnExplorerClose() noexcept {
    // Closing the main window leaves the menu to Outlook, which discards its
    // temporary controls itself; nothing is held only for the window.
}

}  // namespace ks
