// The About box: dialog template 208 painted with bitmap 209 and three lines
// of white text.
#pragma once

#include <windows.h>

namespace ks {

// The dialog procedure of the About box.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Paints the picture and the three lines into the dialog's client area;
// the WM_PAINT step of AboutDialogProc, between BeginPaint and EndPaint.
void PaintAboutBox(HDC paintDc) noexcept;

// Deletes the cached picture and forgets it; the next About box loads it
// again. Called at each connection, and when the module unloads.
void ForgetAboutBitmap() noexcept;

}  // namespace ks
