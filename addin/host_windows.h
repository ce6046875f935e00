// Window-level values of the host, which no interface of its object model
// carries: the add-in finds Outlook's windows by them, and the stand-in
// Outlook makes its windows with them.
#pragma once

#include <windows.h>

namespace ks {

// The class of Outlook's main and compose frame windows.
inline constexpr char kOutlookFrameClass[] = "rctrl_renwnd32";

// The command that a compose frame runs as its send command when a
// WM_COMMAND brings it in the low word of wParam.
inline constexpr WORD kSendCommand = 0x0411;

// The WM_COMMAND wParam that has a compose frame run its send command as if
// from the keyboard: accelerator (high word 1), the send command.
inline constexpr WPARAM kSendCommandFromAccelerator = MAKEWPARAM(kSendCommand, 1);

}  // namespace ks
