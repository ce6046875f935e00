// Helpers for tests that look at the About box while it is open: a deferred
// action on the open dialog (run from the modal loop), and the client area's
// pixels as they stand on the window's surface.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace kstest {

// Runs action(dialog) once, from the modal loop of the dialog that is being
// activated, after delayMs; the dialog has then been shown and painted.
void AfterShown(HWND dialog, std::function<void(HWND)> action, UINT delayMs = 30);

// The client area of a window, read back from its surface.
struct ClientPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // row by row from the top

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // How many pixels of the rectangle [x0, x1) x [y0, y1) are exactly colour.
    int Count(int x0, int y0, int x1, int y1, COLORREF colour) const;
};

ClientPixels CaptureClient(HWND window);

// The rectangle of a child control in its parent's client coordinates.
RECT ChildRect(HWND parent, int id);

}  // namespace kstest
