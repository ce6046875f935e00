// The compose window of the stand-in Outlook as real windows: a frame of
// Outlook's frame class (ks::kOutlookFrameClass, "rctrl_renwnd32"), a pane
// inside it and a focusable body control inside that. The frame runs its
// send command (ks::kSendCommand, 0x0411) when a WM_COMMAND brings it (from
// the keyboard, a menu or a post): it checks the To box as Outlook does
// (refusing with Outlook's box or the Check Names dialog, and staying
// open), sends the window's mail item and, when that succeeds, closes like
// an inspector.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "addin/host_interfaces.h"
#include "addin/host_windows.h"
#include "host/outlook/owners.h"
#include "host/outlook/recipients.h"

namespace kshost {

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

    // The To box. A new window holds one address that resolves (a message
    // addressed when it was opened); UseRecipients shares a box with the
    // transport that writes the To line (SendThroughOutbox).
    Recipients& To() { return *m_recipients; }
    void UseRecipients(std::shared_ptr<Recipients> recipients) {
        if (recipients) m_recipients = std::move(recipients);
    }

    // How often the send command ran, and what the item's Send answered
    // last, or why the window refused to send without calling it
    // (MAPI_E_NO_RECIPIENTS, MAPI_E_NOT_FOUND: see CheckRecipientsBeforeSend).
    int SendCommands() const { return m_sendCommands; }
    HRESULT LastSendResult() const { return m_lastSendResult; }
    // How often the send command was refused before Send was called.
    int RefusedSends() const { return m_refusedSends; }
    // The wParam of the last send command (its high word tells the source).
    WPARAM LastSendCommand() const { return m_lastSendCommand; }

    // Runs the thread's queue until it is empty (posted commands included).
    static void PumpMessages();

    // Called when the frame becomes the active window, as Outlook then makes
    // its inspector the active one.
    void OnActivate(std::function<void()> handler) { m_onActivate = std::move(handler); }
    // A click on a ribbon button of this window, given the control's id.
    using RibbonPress = std::function<void(const std::wstring& controlId)>;
    void OnRibbonPress(RibbonPress handler) { m_onRibbonPress = std::move(handler); }
    // Queues a click on a ribbon button, as the mouse would: it arrives
    // through whatever message loop runs (a modal box's included), brings the
    // window to the top with the focus in the body, then presses.
    bool PostRibbonPress(const std::wstring& controlId);

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunSendCommand(WPARAM command);
    void RunRibbonPress();

    ComRef<_MailItem> m_item;
    HWND m_frame = nullptr;
    HWND m_pane = nullptr;
    HWND m_body = nullptr;
    std::shared_ptr<Recipients> m_recipients = std::make_shared<Recipients>(L"reader@example.invalid");
    int m_sendCommands = 0;
    int m_refusedSends = 0;
    HRESULT m_lastSendResult = S_FALSE;
    WPARAM m_lastSendCommand = 0;
    std::function<void()> m_onActivate;
    RibbonPress m_onRibbonPress;
    std::deque<std::wstring> m_pendingPresses;
};

}  // namespace kshost
