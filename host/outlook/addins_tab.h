// The Add-ins tab of the stand-in Outlook's main window, as Outlook 2010 and
// later show what add-ins put on the explorer's command bars: there is no
// menu bar on the screen, and the add-ins' own top-level menu-bar controls
// appear as commands of one group on the tab. The command bars underneath
// are unchanged: an add-in builds its menu through ActiveMenuBar as before.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/outlook/command_bars.h"

namespace kshost {

inline constexpr wchar_t kAddInsTabLabel[] = L"Add-ins";
inline constexpr wchar_t kMenuCommandsGroupLabel[] = L"Menu Commands";

// One command of the group: an add-in's menu (with its items) or button.
struct AddInsTabCommand {
    ControlData* control = nullptr;
    std::wstring label;                        // as shown: access keys dropped
    std::vector<ControlData*> items;   // a menu's visible items, in order
    std::vector<std::wstring> itemLabels;
};

struct AddInsTab {
    std::vector<AddInsTabCommand> menuCommands;
};

// What the tab shows of a menu bar now: its visible controls that are not
// Outlook's own, in the menu bar's order. The pointers are valid until the
// menu bar changes.
AddInsTab AddInsTabOf(Controls& menuBar);

// A menu item on the tab by its caption, as the add-in set it ("&About
// KestrinSelect") or as shown ("About KestrinSelect"); the menu it is in
// goes to `menu`. Null when the tab has no such button.
Button* FindAddInsTabItem(const AddInsTab& tab, const std::wstring& caption,
                                  const AddInsTabCommand** menu = nullptr);

// One line for the stand-in's report:
//   tab "Add-ins", group "Menu Commands": [KestrinSelect: Help | About KestrinSelect]
std::wstring DescribeAddInsTab(const AddInsTab& tab);

// Draws the tab with its group, the first menu opened, and writes a PNG.
HRESULT RenderAddInsTabPng(const AddInsTab& tab, const std::wstring& path);

}  // namespace kshost
