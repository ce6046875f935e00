// The fixed texts of the legacy menu, the About box and the help command.
// The error texts are what users and support staff already know; they stay
// word for word, misspellings included.
#pragma once

#include "resources/version.h"

namespace ks {

// The tag by which a later connection finds the menu again.
inline constexpr char kMenuTag[] = "KestrinSelectATL";
inline constexpr char kMenuCaption[] = "&KestrinSelect";
inline constexpr char kHelpCaption[] = "&Help";
inline constexpr char kAboutCaption[] = "&About KestrinSelect";

inline constexpr char kRemoveNoCommandBars[] = "Removing KestrinSelect menu: Unable to locate Outlook command bars.";
inline constexpr char kRemoveNoMenuBar[] = "Removing KestrinSelect menu: Unable to locate Outlook menu bar.";
inline constexpr char kRemoveNoMenuBarControls[] =
    "Removing KestrinSelect menu: Unable to locate Oulook menu bar controls.";
inline constexpr char kRemoveNoNextControl[] =
    "Removing Kestrinselect menu: Unable to locate next Outlook menu bar control.";
inline constexpr char kRemoveDeleteFailed[] = "Removing Kestrinselect menu: Unable to remove KestrinSelect menu item.";

inline constexpr char kAddNoCommandBars[] = "Adding KestrinSelect menu: Unable to locate Outlook command bars.";
inline constexpr char kAddNoMenuBar[] = "Adding KestrinSelect menu: Unable to locate Outlook menu bar.";
inline constexpr char kAddNoMenuBarControls[] = "Adding KestrinSelect menu: Unable to locate Oulook menu bar controls.";
inline constexpr char kAddPopupFailed[] = "Adding KestrinSelect menu: Unable to add KestrinSelect menu to Outlook.";
inline constexpr char kAddNoPopupControl[] =
    "Adding KestrinSelect menu: Unable to locate KestrinSelect menu bar control.";
inline constexpr char kAddNoPopupControls[] =
    "Adding KestrinSelect menu: Unable to get KestrinSelect menu popup controls.";
inline constexpr char kAddHelpFailed[] = "Adding KestrinSelect menu: Unable to add KestrinSelect 'help' menu item.";
inline constexpr char kAddAboutFailed[] = "Adding KestrinSelect menu: Unable to add KestrinSelect 'about' menu item.";

// The About box's three lines.
inline constexpr char kAboutProductLine[] = "KestrinSelect";
inline constexpr char kAboutVersionLine[] = "Version: " KS_VERSION_TEXT;
inline constexpr char kAboutCopyrightLine[] = KS_COPYRIGHT_TEXT;

inline constexpr char kHelpPageAddress[] = "http://www.kestrincorp.com/kestrinselect/4.0/kestrinselecthelp.htm";
inline constexpr char kBrowserFailed[] = "Unable to open browser.";

}  // namespace ks
