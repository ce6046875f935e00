// Counts the GDI objects the test process holds, to catch leaks.
#pragma once

#include <windows.h>

namespace kstest {

// GetGuiResources(GR_GDIOBJECTS) where the system implements it (Windows).
// Wine 8 answers 0 there; under Wine the count is taken instead from the
// process's GDI handle table, which Wine, like Windows, publishes through the
// PEB (GdiSharedHandleTable): every entry with an object type is a live object.
DWORD GdiObjectCount();

// A 32-bit BGRA, top-down DIB description of the given size, for reading
// pixels back with CreateDIBSection or GetDIBits.
BITMAPINFO TopDownBgraInfo(int width, int height);

}  // namespace kstest
