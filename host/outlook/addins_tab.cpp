#include "host/outlook/addins_tab.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>

#include "host/outlook/ribbon_ui.h"

namespace kshost {

namespace {

float TextWidth(Gdiplus::Graphics& g, const std::wstring& text, const Gdiplus::Font& font) {
    Gdiplus::RectF box;
    g.MeasureString(text.c_str(), -1, &font, Gdiplus::PointF(0, 0), &box);
    return box.Width;
}

}  // namespace

// "Command bars are deprecated in the inspector and explorer in Outlook 2010.
// Although your add-in code that customized command bars in an inspector or
// explorer might still work in Outlook 2010, ... those commands appear on the
// Add-ins tab of the ribbon in the customized inspector or explorer"
// (Developer Issues When Upgrading Solutions to Outlook 2010); Explorer.
// CommandBars is "Hidden" there (Outlook 2010 Object Model Changes Since
// Earlier Versions). Outlook's own menus have no place on the tab. The
// group's label, "Menu Commands", is the one Office gives the menu-bar
// commands of add-ins; the Microsoft pages found name the tab but not it.
AddInsTab AddInsTabOf(Controls& menuBar) {
    AddInsTab tab;
    for (size_t i = 0; i < menuBar.Size(); ++i) {
        ControlData& control = menuBar.At(i);
        if (control.builtIn || !control.visible || control.deleted) continue;
        AddInsTabCommand command;
        command.control = &control;
        command.label = DisplayLabel(control.caption);
        if (auto* popup = dynamic_cast<Popup*>(&control)) {
            Controls& items = popup->Items();
            for (size_t j = 0; j < items.Size(); ++j) {
                ControlData& item = items.At(j);
                if (!item.visible || item.deleted) continue;
                command.items.push_back(&item);
                command.itemLabels.push_back(DisplayLabel(item.caption));
            }
        }
        tab.menuCommands.push_back(std::move(command));
    }
    return tab;
}

Button* FindAddInsTabItem(const AddInsTab& tab, const std::wstring& caption, const AddInsTabCommand** menu) {
    for (const AddInsTabCommand& command : tab.menuCommands) {
        for (size_t i = 0; i < command.items.size(); ++i) {
            if (command.items[i]->caption != caption && command.itemLabels[i] != caption) continue;
            auto* button = dynamic_cast<Button*>(command.items[i]);
            if (!button) continue;
            if (menu) *menu = &command;
            return button;
        }
    }
    return nullptr;
}

std::wstring DescribeAddInsTab(const AddInsTab& tab) {
    std::wstring line = std::wstring(L"tab \"") + kAddInsTabLabel + L"\", group \"" + kMenuCommandsGroupLabel + L"\":";
    if (tab.menuCommands.empty()) return line + L" (empty: no add-in has a menu)";
    for (const AddInsTabCommand& command : tab.menuCommands) {
        line += L" [" + command.label;
        for (size_t i = 0; i < command.itemLabels.size(); ++i) {
            line += (i == 0 ? L": " : L" | ") + command.itemLabels[i];
        }
        line += L"]";
    }
    return line;
}

HRESULT RenderAddInsTabPng(const AddInsTab& tab, const std::wstring& path) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return E_FAIL;
    HRESULT hr = S_OK;
    {
        Gdiplus::FontFamily family(L"Liberation Sans");
        Gdiplus::Font font(&family, 12, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
        Gdiplus::Font small(&family, 11, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
        // Measure first: the width follows the commands and the open menu.
        Gdiplus::Bitmap probe(1, 1, PixelFormat32bppARGB);
        Gdiplus::Graphics measure(&probe);
        std::vector<float> buttonWidths;
        float menuWidth = 0;
        for (const AddInsTabCommand& command : tab.menuCommands) {
            buttonWidths.push_back(TextWidth(measure, command.label, font) + 30);
        }
        if (!tab.menuCommands.empty()) {
            for (const std::wstring& label : tab.menuCommands.front().itemLabels) {
                menuWidth = std::max(menuWidth, TextWidth(measure, label, font) + 40);
            }
        }
        float groupWidth = TextWidth(measure, kMenuCommandsGroupLabel, small) + 24;
        float commandsWidth = 12;
        for (float w : buttonWidths) commandsWidth += w + 4;
        groupWidth = std::max(groupWidth, commandsWidth);
        const int width = static_cast<int>(std::max(320.0f, std::max(groupWidth + 24, menuWidth + 40)));
        const size_t items = tab.menuCommands.empty() ? 0 : tab.menuCommands.front().items.size();
        const int tabTop = 8, tabHeight = 24, bodyTop = tabTop + tabHeight;
        const int menuTop = bodyTop + 34, itemHeight = 24;
        // The ribbon is tall enough for the open menu above the group's label.
        const int bodyHeight = std::max(92, menuTop - bodyTop + static_cast<int>(items) * itemHeight + 32);
        const int height = bodyTop + bodyHeight + 12;

        Gdiplus::Bitmap canvas(width, height, PixelFormat32bppARGB);
        Gdiplus::Graphics g(&canvas);
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        g.Clear(Gdiplus::Color(255, 255, 255, 255));
        Gdiplus::SolidBrush text(Gdiplus::Color(255, 38, 38, 38));
        Gdiplus::SolidBrush muted(Gdiplus::Color(255, 96, 96, 96));
        Gdiplus::SolidBrush ribbon(Gdiplus::Color(255, 243, 243, 243));
        Gdiplus::SolidBrush accent(Gdiplus::Color(255, 0, 114, 198));
        Gdiplus::SolidBrush pressed(Gdiplus::Color(255, 205, 230, 247));
        Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
        Gdiplus::SolidBrush shadow(Gdiplus::Color(60, 0, 0, 0));
        Gdiplus::Pen border(Gdiplus::Color(255, 200, 200, 200));
        Gdiplus::Pen menuBorder(Gdiplus::Color(255, 160, 160, 160));

        // The tab strip: the Add-ins tab, selected, over the ribbon body.
        const float tabWidth = TextWidth(g, kAddInsTabLabel, font) + 24;
        g.FillRectangle(&ribbon, 0, bodyTop, width, bodyHeight);
        g.DrawLine(&border, 0, bodyTop, width, bodyTop);
        g.DrawLine(&border, 0, bodyTop + bodyHeight, width, bodyTop + bodyHeight);
        g.FillRectangle(&ribbon, 8.0f, static_cast<float>(tabTop), tabWidth, static_cast<float>(tabHeight + 1));
        g.DrawLine(&border, 8.0f, static_cast<float>(tabTop), 8.0f, static_cast<float>(bodyTop));
        g.DrawLine(&border, 8.0f + tabWidth, static_cast<float>(tabTop), 8.0f + tabWidth, static_cast<float>(bodyTop));
        g.DrawLine(&border, 8.0f, static_cast<float>(tabTop), 8.0f + tabWidth, static_cast<float>(tabTop));
        g.FillRectangle(&accent, 8.0f, static_cast<float>(tabTop + tabHeight - 3), tabWidth, 3.0f);
        Gdiplus::StringFormat centred;
        centred.SetAlignment(Gdiplus::StringAlignmentCenter);
        centred.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        g.DrawString(kAddInsTabLabel, -1, &font,
                     Gdiplus::RectF(8.0f, static_cast<float>(tabTop), tabWidth, static_cast<float>(tabHeight - 3)),
                     &centred, &text);

        // The group: its commands in a row, its label at the bottom.
        const float groupLeft = 8;
        g.DrawString(kMenuCommandsGroupLabel, -1, &small,
                     Gdiplus::RectF(groupLeft, static_cast<float>(bodyTop + bodyHeight - 20), groupWidth, 16.0f),
                     &centred, &muted);
        g.DrawLine(&border, groupLeft + groupWidth, static_cast<float>(bodyTop + 6), groupLeft + groupWidth,
                   static_cast<float>(bodyTop + bodyHeight - 6));
        float x = groupLeft + 6;
        Gdiplus::StringFormat leftAligned;
        leftAligned.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        for (size_t i = 0; i < tab.menuCommands.size(); ++i) {
            const AddInsTabCommand& command = tab.menuCommands[i];
            const Gdiplus::RectF button(x, static_cast<float>(bodyTop + 8), buttonWidths[i], 24.0f);
            const bool open = i == 0 && !command.items.empty();
            if (open) {
                g.FillRectangle(&pressed, button);
                g.DrawRectangle(&menuBorder, button);
            }
            g.DrawString(command.label.c_str(), -1, &font,
                         Gdiplus::RectF(button.X + 6, button.Y, button.Width - 20, button.Height), &leftAligned, &text);
            if (!command.items.empty()) {
                // The drop-down arrow of a menu.
                const float ax = button.X + button.Width - 14, ay = button.Y + 10;
                Gdiplus::PointF arrow[] = {{ax, ay}, {ax + 8, ay}, {ax + 4, ay + 5}};
                g.FillPolygon(&text, arrow, 3);
            }
            x += buttonWidths[i] + 4;
        }

        // The first menu, opened under its button.
        if (items > 0) {
            const AddInsTabCommand& menu = tab.menuCommands.front();
            const Gdiplus::RectF popup(groupLeft + 6, static_cast<float>(menuTop), menuWidth,
                                       static_cast<float>(items * itemHeight + 4));
            g.FillRectangle(&shadow, popup.X + 3, popup.Y + 3, popup.Width, popup.Height);
            g.FillRectangle(&white, popup);
            g.DrawRectangle(&menuBorder, popup);
            for (size_t j = 0; j < items; ++j) {
                const float y = popup.Y + 2 + static_cast<float>(j * itemHeight);
                if (!menu.items[j]->enabled) {
                    g.DrawString(menu.itemLabels[j].c_str(), -1, &font,
                                 Gdiplus::RectF(popup.X + 28, y, popup.Width - 32, itemHeight), &leftAligned,
                                 &muted);
                    continue;
                }
                g.DrawString(menu.itemLabels[j].c_str(), -1, &font,
                             Gdiplus::RectF(popup.X + 28, y, popup.Width - 32, itemHeight), &leftAligned, &text);
            }
        }
        CLSID png = PngEncoder();
        if (canvas.Save(path.c_str(), &png, nullptr) != Gdiplus::Ok) hr = E_FAIL;
    }
    Gdiplus::GdiplusShutdown(token);
    return hr;
}

}  // namespace kshost
