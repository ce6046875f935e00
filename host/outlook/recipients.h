// The To box of a stand-in compose window, and what Outlook checks in it
// before it sends: a message needs at least one recipient, and every name
// must resolve to an address. The same box is read by the transport
// (SendThroughOutbox), which writes the To line from it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kshost {

// The title and text of the box Outlook shows when the send command finds
// no recipient at all.
inline constexpr wchar_t kOutlookBoxTitle[] = L"Microsoft Outlook";
inline constexpr wchar_t kNoRecipientsText[] =
    L"There must be at least one name or contact group in the To, Cc, or Bcc box.";
// The dialog Outlook opens for a name it cannot resolve.
inline constexpr wchar_t kCheckNamesTitle[] = L"Check Names";

class Recipients {
public:
    // The box as typed: names separated by semicolons.
    explicit Recipients(std::wstring typed = L"") : m_typed(std::move(typed)) {}

    // The sender types into the box, replacing what it held.
    void Type(std::wstring typed) { m_typed = std::move(typed); }
    const std::wstring& Typed() const { return m_typed; }

    // The names in the box, trimmed, empty entries left out.
    std::vector<std::wstring> Names() const;
    // The names that do not resolve to an address.
    std::vector<std::wstring> Unresolved() const;
    // The names as the To line of the sent message carries them.
    std::wstring ToLine() const;

private:
    std::wstring m_typed;
};

// Whether a name resolves. The stand-in's address book is empty, so only a
// full SMTP address resolves, as a one-off address: "local@domain", alone or
// as "Display Name <local@domain>".
bool ResolvesToAddress(const std::wstring& name);

// Why Outlook would not send, or S_OK: MAPI_E_NO_RECIPIENTS for an empty
// box, MAPI_E_NOT_FOUND for a name that does not resolve.
HRESULT RecipientsProblem(const Recipients& recipients);

// The checks the send command of a compose window runs before it sends,
// with Outlook's own boxes owned by the window: the box for no recipient,
// the Check Names dialog (modal) for each name that does not resolve.
// Returns S_OK when the message may go, else the reason as above.
HRESULT CheckRecipientsBeforeSend(HWND owner, const Recipients& recipients);

}  // namespace kshost
