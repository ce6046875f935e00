// The compose window of the stand-in Outlook as real windows: a frame of
// Outlook's frame class "rctrl_renwnd32", a pane inside it and a focusable
// body control inside that. The frame runs its send command, 0x0411, when a
// WM_COMMAND brings it (from the keyboard, a menu or a post): it sends the
// window's mail item and, when that succeeds, closes like an inspector.
#pragma once

#include <windows.h>

#include "addin/host_interfaces.h"
#include "server/owners.h"

namespace kshost {

// Outlook's class of main and compose frame windows, and the frame's send command.
inline constexpr wchar_t kFrameClass[] = L"rctrl_renwnd32";
inline constexpr WORD kSendCommand = 0x0411;

class ComposeWindow {
public:
    // Creates the windows, shown, for the item (a reference is kept until the
    // window closes). Check Frame() for success.
    explicit ComposeWindow(_MailItem* item, const wchar_t* caption = L"Untitled - Message (HTML)");
    ~ComposeWindow();
    ComposeWindow(const ComposeWindow&) = delete;
    ComposeWindow& operator=(const ComposeWindow&) = delete;

    HWND Frame() const { return m_frame; }  // null once closed
    HWND Pane() const { return m_pane; }
    HWND Body() const { return m_body; }
    bool IsOpen() const { return m_frame != nullptr; }

    // Brings the frame to the foreground and puts the focus in the body, as
    // a person typing the message would have it.
    bool FocusBody() const;

    // How often the send command ran, and what the item's Send answered last.
    int SendCommands() const { return m_sendCommands; }
    HRESULT LastSendResult() const { return m_lastSendResult; }
    // The wParam of the last send command (its high word tells the source).
    WPARAM LastSendCommand() const { return m_lastSendCommand; }

    // Runs the thread's queue until it is empty (posted commands included).
    static void PumpMessages();

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunSendCommand(WPARAM command);

    ks::ComRef<_MailItem> m_item;
    HWND m_frame = nullptr;
    HWND m_pane = nullptr;
    HWND m_body = nullptr;
    int m_sendCommands = 0;
    HRESULT m_lastSendResult = S_FALSE;
    WPARAM m_lastSendCommand = 0;
};

}  // namespace kshost
