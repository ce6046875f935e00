// What the add-in shows and writes, written out once for every test: the
// texts of its boxes word for word (misspellings and double blanks
// included), the branding footer and the two web addresses. They are typed
// here from the published texts, never taken from the add-in's own
// constants, so that a text changed in the product fails the tests instead
// of changing what they expect.
#pragma once

#include <string>

namespace kstest {
namespace expected {

// The shared error box's title, and that of the send-failure box.
inline constexpr char kErrorTitle[] = "KestrinSelect Error";
inline constexpr char kSendFailedTitle[] = "KestrinSelect";

// The send commands.
inline constexpr char kNoCurrentMessage[] = "Unable to locate current Outlook message.";
inline constexpr char kNoMailItemDispatch[] = "Unable to locate current Outlook mail item dispatch.";
inline constexpr char kNoMailItem[] = "Unable to locate current mail item.";
inline constexpr char kBodyNotModified[] = "Unable to modify message HTML.";
inline constexpr char kNoMessageObject[] = "Unable to brand message.";
inline constexpr char kNoHeaderPropertyId[] = "Unable to locate message properties for encryption.";
inline constexpr char kHeaderNotSet[] = "Unable to set encryption message property.";
inline constexpr char kSendFailed[] = "Unable to send message.  Internal KestrinSelect Error.";

// Removing and adding the legacy menu.
inline constexpr char kRemoveNoCommandBars[] = "Removing KestrinSelect menu: Unable to locate Outlook command bars.";
inline constexpr char kRemoveNoMenuBar[] = "Removing KestrinSelect menu: Unable to locate Outlook menu bar.";
inline constexpr char kRemoveNoMenuBarControls[] =
    "Removing KestrinSelect menu: Unable to locate Oulook menu bar controls.";
inline constexpr char kRemoveNoNextControl[] =
    "Removing Kestrinselect menu: Unable to locate next Outlook menu bar control.";
inline constexpr char kRemoveDeleteFailed[] =
    "Removing Kestrinselect menu: Unable to remove KestrinSelect menu item.";
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

// The help command.
inline constexpr char kHelpPageAddress[] = "http://www.kestrincorp.com/kestrinselect/4.0/kestrinselecthelp.htm";
inline constexpr char kBrowserFailed[] = "Unable to open browser.";

// The About box: its caption and the three lines it paints.
inline constexpr char kAboutTitle[] = "About KestrinSelect";
inline constexpr char kAboutProductLine[] = "KestrinSelect";
inline constexpr char kAboutVersionLine[] = "Version: 4.0.4.0";
inline constexpr char kAboutCopyrightLine[] = "Copyright (C) 2026 KestrinCorp. All rights reserved.";

// A box as kstest::Texts gives it: "title|text".
inline std::string ErrorBox(const char* text) {
    return std::string(kErrorTitle) + "|" + text;
}
inline std::string SendFailedBox() {
    return std::string(kSendFailedTitle) + "|" + kSendFailed;
}

// The page the footer links to, and the footer as the gateway's partners
// know it: "spanstyle" twice without its blank, "&#169" without its
// semicolon, one closing span too many before "</div>".
inline constexpr wchar_t kInformationPageAddress[] = L"https://www.kestrincorp.com/info/kestrinmail";
inline std::wstring Footer() {
    return std::wstring(L"<div><br><span style='font-size:13.0pt;font-family:Arial;color:black'>This message was "
                        L"secured by </span><b><span style='font-size:13.0pt;font-family:Arial;color:#0038A8'>"
                        L"Kestrin</span></b><b><span style='font-size:13.0pt;font-family:Arial;color:#6D5E51'>Corp"
                        L"</span></b><b><spanstyle='font-size:13.0pt;font-family:Arial;color:black'>&#169</span>"
                        L"</b><spanstyle='font-size:13.0pt;font-family:Arial;color:black'>.</span><br><i><span "
                        L"style='font-size:10.0pt;font-family:Arial;color:black'>To reach KestrinCorp, go to: "
                        L"<a href='") +
           kInformationPageAddress + L"'>" + kInformationPageAddress + L"</a></span></i></span></div>";
}

}  // namespace expected
}  // namespace kstest
