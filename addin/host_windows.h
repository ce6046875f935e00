// Window-level values of the host, which no interface of its object model
// carries: the add-in finds Outlook's windows by them.
#pragma once

#include <windows.h>

namespace ks {

// The class of Outlook's main and compose frame windows.
inline constexpr char kOutlookFrameClass[] = "rctrl_renwnd32";

// The WM_COMMAND wParam that has a compose frame run its send command as if
// from the keyboard: accelerator (high word 1), command 0x0411.
inline constexpr WPARAM kSendCommandFromAccelerator = 0x00010411;

}  // namespace ks
