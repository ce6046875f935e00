// Turns one of the module's PNG resources into an OLE picture for the ribbon.
#pragma once

#include <windows.h>
#include <ocidl.h>

namespace ks {

// Decodes the "PNG" resource `resourceId` (US English) of `module` with GDI+
// into a GDI bitmap and wraps it in a picture object that owns the bitmap.
// GDI+ is started and shut down within the call. A resource that is missing
// or does not decode gives S_OK and leaves *picture unwritten; a refusal of
// the picture factory is returned as its HRESULT.
HRESULT CreateRibbonPicture(HMODULE module, WORD resourceId, IPictureDisp** picture) noexcept;

}  // namespace ks
