// The two send commands of the compose window's ribbon: find the message
// being composed, stamp it (and, for encryption, brand it), then have the
// compose window send it.
#include "addin/connect.h"

#include <cstring>

#include "addin/host_windows.h"
#include "send/send_texts.h"

namespace ks {

namespace {

// HRESULT_FROM_WIN32(ERROR_NOT_FOUND): no compose frame holds the focus.
constexpr HRESULT kNoFrameInFocusChain = static_cast<HRESULT>(0x80070490);

void ShowSendFailureBox() noexcept {
    MessageBoxA(nullptr, kSendFailed, kSendFailedTitle, MB_OK | MB_ICONWARNING);
}

bool IsFrameWindow(HWND window) noexcept {
    char className[260];
    if (GetClassNameA(window, className, static_cast<int>(sizeof(className))) <= 0) return false;
    return std::strcmp(className, kOutlookFrameClass) == 0;  // bytes, case-sensitive
}

}  // namespace

// The footer claims that the message was secured, so it may only ever sit
// on a message that carries "x-rdz-select" (and not "x-rdz-unselect"):
// Outlook's own Send button sends whatever an open message carries, also
// after a send the add-in asked for was refused.
STDMETHODIMP CConnect::onClickSelect(IDispatch*) {
    ComRef<_MailItem> mailItem;
    if (!LocateCurrentMailItem(mailItem)) return S_OK;
    // The header before the footer: a message that cannot be stamped for
    // encryption is never branded.
    if (!SetEncryptionHeader(true, mailItem.Get())) return S_OK;
    BodyUndo undo;
    bool outOfMemory = false;
    if (!BrandMessageBody(mailItem.Get(), undo, outOfMemory)) {
        RestoreMessageBody(mailItem.Get(), undo);
        return outOfMemory ? E_OUTOFMEMORY : S_OK;
    }
    const HRESULT result = SendOrWarn(mailItem.Get(), &undo);
    if (FAILED(result)) RestoreMessageBody(mailItem.Get(), undo);
    return result;
}

STDMETHODIMP CConnect::onClickUnselect(IDispatch*) {
    ComRef<_MailItem> mailItem;
    if (!LocateCurrentMailItem(mailItem)) return S_OK;
    // The footers come out before the headers change, and never go back:
    // whatever fails after this, the message claims nothing. Whether this
    // add-in stamped the message for encryption tells whose footers they are.
    bool encryptionRequested = false;
    if (!ReadEncryptionRequest(mailItem.Get(), encryptionRequested)) return S_OK;
    bool outOfMemory = false;
    if (!UnbrandMessageBody(mailItem.Get(), encryptionRequested, outOfMemory)) {
        return outOfMemory ? E_OUTOFMEMORY : S_OK;
    }
    if (!SetEncryptionHeader(false, mailItem.Get())) return S_OK;
    return SendOrWarn(mailItem.Get());
}

HRESULT CConnect::SendOrWarn(_MailItem* mailItem, BodyUndo* undo) noexcept {
    const HRESULT result = SendCurrentMessage(mailItem, undo);
    if (FAILED(result)) {
        if (undo) ReadHandedBackBody(mailItem, *undo);
        ShowSendFailureBox();
    }
    return result;
}

bool CConnect::LocateCurrentMailItem(ComRef<_MailItem>& mailItem) noexcept {
    mailItem.Reset();
    ComRef<_Application> application;
    ComRef<_Inspector> inspector;
    // Without the host's application nothing can be asked; the user learns
    // that the message was not found.
    if (!m_application || FAILED(m_application.QueryTo(IID__Application, application)) || !application ||
        FAILED(application->ActiveInspector(inspector.Put())) || !inspector) {
        ShowErrorBox(kNoCurrentMessage);
        return false;
    }
    ComRef<IDispatch> item;
    if (FAILED(inspector->get_CurrentItem(item.Put())) || !item) {
        ShowErrorBox(kNoMailItemDispatch);
        return false;
    }
    if (FAILED(item.QueryTo(IID__MailItem, mailItem)) || !mailItem) {
        mailItem.Reset();
        ShowErrorBox(kNoMailItem);
        return false;
    }
    return true;
}

HRESULT CConnect::SendCurrentMessage(_MailItem* mailItem, BodyUndo* undo) noexcept {
    HWND window = GetFocus();
    if (!window) window = GetForegroundWindow();
    if (!window) {
        // The host's Send may show boxes of its own (names to check, for one).
        if (undo) ReadHandedBackBody(mailItem, *undo);
        return mailItem->Send();
    }

    // Climb from the focus to the compose window's frame and have it run its
    // own send command, as the keyboard shortcut would; the host sends the
    // message once this callback has returned.
    while (window && !IsFrameWindow(window)) window = GetParent(window);
    if (!window) return kNoFrameInFocusChain;
    // A command that cannot be queued (the frame is gone, its queue is full)
    // sends nothing: it fails like a refused Send, never as a success.
    if (!PostMessageA(window, WM_COMMAND, kSendCommandFromAccelerator, 0)) return LastErrorResult();
    return S_OK;
}

}  // namespace ks
