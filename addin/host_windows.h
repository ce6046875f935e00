// Window-level values of the host, which no interface of its object model
// carries: the add-in finds Outlook's windows by them.
#pragma once

namespace ks {

// The class of Outlook's main and compose frame windows.
inline constexpr char kOutlookFrameClass[] = "rctrl_renwnd32";

}  // namespace ks
