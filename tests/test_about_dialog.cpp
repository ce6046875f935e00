// The About box's dialog procedure run on the real template from the built
// DLL: how each way of closing it ends the dialog, and what it paints with
// and without its picture (pixels read back from the window's surface).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "addin/connect.h"
#include "menu/about_box.h"
#include "support/about_box_driver.h"
#include "support/addin_dll.h"
#include "support/expected_texts.h"
#include "support/message_boxes.h"

using kstest::AfterShown;
using kstest::CaptureClient;
using kstest::ClientPixels;

namespace {

const COLORREF kField = RGB(5, 41, 94);
const COLORREF kWhite = RGB(255, 255, 255);

bool IsWhite(COLORREF c) {
    return GetRValue(c) >= 250 && GetGValue(c) >= 250 && GetBValue(c) >= 250;
}

int WhiteIn(const ClientPixels& shot, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1 && y < shot.height; ++y) {
        for (int x = x0; x < x1 && x < shot.width; ++x) {
            if (IsWhite(shot.At(x, y))) ++n;
        }
    }
    return n;
}

int LeftmostWhite(const ClientPixels& shot, int y0, int y1) {
    for (int x = 0; x < shot.width; ++x) {
        for (int y = y0; y < y1 && y < shot.height; ++y) {
            if (IsWhite(shot.At(x, y))) return x;
        }
    }
    return -1;
}

// The first row from y0 down that has white from x = 15 on, or -1.
int TopmostWhite(const ClientPixels& shot, int y0, int y1) {
    for (int y = y0; y < y1 && y < shot.height; ++y) {
        if (WhiteIn(shot, 15, y, shot.width, y + 1) > 0) return y;
    }
    return -1;
}

// The three lines' tops stand 14 pixels apart from y = 80; the glyphs' ink
// begins a few pixels below each top.
void ExpectThreeLinesAt80And94And108(const ClientPixels& shot) {
    int previous = -1;
    for (int top : {80, 94, 108}) {
        EXPECT_GT(WhiteIn(shot, 15, top, shot.width, top + 14), 30) << "a white line at y = " << top;
        int ink = TopmostWhite(shot, top - 2, top + 14);
        EXPECT_GE(ink, top) << "line at y = " << top;
        EXPECT_LE(ink, top + 4) << "line at y = " << top;
        if (previous >= 0) {
            EXPECT_EQ(ink - previous, 14) << "line at y = " << top;
        }
        previous = ink;
    }
}

// Records whether the dialog was sent the cancel command, then lets the
// About box's own procedure answer.
bool g_sawCancel = false;
INT_PTR CALLBACK RecordingCancel(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) g_sawCancel = true;
    return ks::AboutDialogProc(dialog, message, wParam, lParam);
}

class AboutDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll.Reset(LoadLibraryW(kstest::AddinDllPath().c_str()));
        ASSERT_TRUE(m_dll);
    }
    void TearDown() override {
        if (ks::g_aboutBitmap) DeleteObject(ks::g_aboutBitmap);
        ks::g_aboutBitmap = nullptr;
    }

    // Opens the box from the DLL's template and runs action once it shows.
    INT_PTR Run(std::function<void(HWND)> action, DLGPROC proc = ks::AboutDialogProc) {
        kstest::BoxRecorder boxes;
        boxes.OnDialog([&](HWND dialog) { AfterShown(dialog, action); });
        INT_PTR result = DialogBoxParamA(m_dll.Get(), MAKEINTRESOURCEA(208), nullptr, proc, 0);
        m_titles.clear();
        for (const kstest::ShownBox& b : boxes.Boxes()) m_titles.push_back(b.title);
        return result;
    }

    // Opens the box, photographs its client area, closes it with OK.
    ClientPixels Photograph(RECT* okButton = nullptr) {
        ClientPixels shot;
        Run([&](HWND dialog) {
            shot = CaptureClient(dialog);
            if (okButton) *okButton = kstest::ChildRect(dialog, IDOK);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        return shot;
    }

    HMODULE Dll() const { return m_dll.Get(); }
    std::vector<std::string> m_titles;

private:
    ks::UniqueLibrary m_dll;
};

}  // namespace

TEST_F(AboutDialog, OkButtonEndsItWithOne) {
    INT_PTR result = Run([](HWND dialog) { SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(m_titles, std::vector<std::string>{kstest::expected::kAboutTitle});
}

TEST_F(AboutDialog, EnterPressesTheDefaultOkButton) {
    INT_PTR result = Run([](HWND dialog) {
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK)) << "the system gives OK the focus";
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(AboutDialog, CaptionCloseBoxEndsItWithZero) {
    INT_PTR result = Run([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(result, 0);
}

TEST_F(AboutDialog, EscapeLeavesItOpen) {
    g_sawCancel = false;
    bool openAfterEscape = false;
    INT_PTR result = Run(
        [&](HWND dialog) {
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
            AfterShown(dialog, [&](HWND d) {
                openAfterEscape = IsWindowVisible(d) != FALSE;
                PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            });
        },
        RecordingCancel);
    EXPECT_TRUE(g_sawCancel) << "Escape reached the box as the cancel command";
    EXPECT_TRUE(openAfterEscape);
    EXPECT_EQ(result, 0) << "closed by the close box, not by Escape";
}

TEST_F(AboutDialog, PaintsPictureTopLeftAndThreeWhiteLines) {
    ks::g_aboutBitmap = LoadBitmapA(Dll(), MAKEINTRESOURCEA(209));
    ASSERT_NE(ks::g_aboutBitmap, nullptr);
    RECT ok = {};
    ClientPixels shot = Photograph(&ok);
    ASSERT_GT(shot.width, 0);

    // The picture, one for one: compare its artwork rows with the bitmap.
    HRSRC info = FindResourceW(Dll(), MAKEINTRESOURCEW(209), RT_BITMAP);
    ASSERT_NE(info, nullptr);
    const BYTE* dib = static_cast<const BYTE*>(LockResource(LoadResource(Dll(), info)));
    const int width = std::min(293, shot.width);
    int differing = 0;
    for (int y = 0; y < 74; ++y) {
        for (int x = 0; x < width; ++x) {
            const BYTE* p = dib + 40 + (170 - y) * 880 + x * 3;
            if (shot.At(x, y) != RGB(p[2], p[1], p[0])) ++differing;
        }
    }
    EXPECT_EQ(differing, 0) << "rows 0 to 73 as in bitmap 209";
    EXPECT_EQ(shot.At(0, 0), kField);
    EXPECT_EQ(shot.At(0, std::min(170, shot.height - 1)), kField);

    EXPECT_EQ(WhiteIn(shot, 0, 74, shot.width, 80), 0) << "nothing white between artwork and text";
    ExpectThreeLinesAt80And94And108(shot);
    for (int top : {80, 94, 108}) {
        int left = LeftmostWhite(shot, top, top + 14);
        EXPECT_GE(left, 15) << "line at y = " << top;
        EXPECT_LE(left, 19) << "line at y = " << top;
    }
    EXPECT_GT(ok.left, shot.width / 2) << "OK at the right";
    EXPECT_GT(ok.top, shot.height / 2) << "OK at the bottom";
    EXPECT_EQ(shot.Count(ok.left + 3, ok.top + 3, ok.right - 3, ok.bottom - 3, kField), 0)
        << "the button is drawn over the picture";
}

TEST_F(AboutDialog, WithoutPictureShowsTextOnTheOrdinaryBackground) {
    ASSERT_EQ(ks::g_aboutBitmap, nullptr);
    ClientPixels shot = Photograph();
    ASSERT_GT(shot.width, 0);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    EXPECT_EQ(shot.At(0, 0), face);
    EXPECT_EQ(shot.At(100, 40), face);
    EXPECT_EQ(shot.Count(0, 0, shot.width, shot.height, kField), 0) << "no picture copied";
    ExpectThreeLinesAt80And94And108(shot);
    EXPECT_NE(kWhite, face);
}
