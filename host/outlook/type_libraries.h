// Registers the type libraries that Outlook's machine has: the add-in
// designer library (for _IDTExtensibility2) and the Office library's ribbon
// interfaces. They lie beside the host program (AddInDesignerObjects.tlb,
// OfficeRibbon.tlb). Done once per process; every Outlook host calls it.
#pragma once

#include <windows.h>

namespace kshost {

// S_OK when both are registered, else the first failing load's result.
HRESULT RegisterHostTypeLibraries();

}  // namespace kshost
