// The stand-in's transport: a sent message leaves as RFC 5322 text in an
// outbox folder, one .eml file per message. Like Outlook's transport, it
// writes each named property of the Internet-headers property set as a
// header line of that name. A reader turns such a file back into header
// fields and a decoded body, for tests and the demo.
#pragma once

#include <windows.h>
#include <mapidefs.h>

#include <memory>
#include <string>
#include <vector>

namespace kshost {

class MailItem;
class Recipients;

// A header field; the value is UTF-8 text, encoded only when written.
struct HeaderField {
    std::string name;
    std::string value;
};

// What the transport needs of a message.
struct OutgoingMessage {
    std::wstring from;
    std::wstring to;
    std::wstring cc;
    std::wstring subject;
    std::wstring htmlBody;
    std::vector<HeaderField> internetHeaders;  // written after the transport's own header lines
};

// The Internet-header named properties that the message carries, in the
// order of their property ids, through IMAPIProp only: GetPropList,
// GetNamesFromIDs and GetProps. String values only; others are skipped.
HRESULT CollectInternetHeaders(IMAPIProp* message, std::vector<HeaderField>& headers);

// The message as RFC 5322 text: CRLF line ends, header values made safe
// (no line breaks; non-ASCII as RFC 2047 words), the HTML body as UTF-8 in
// quoted-printable. Header fields whose names are not valid, or that would
// repeat one of the transport's own lines, are left out.
std::string ComposeRfc5322(const OutgoingMessage& message, const std::string& date, const std::string& messageId);

// A message read back from its text.
struct ReceivedMessage {
    std::vector<HeaderField> headers;  // unfolded, in order
    std::wstring htmlBody;             // decoded

    // Every value of the fields with this name (compared without case).
    std::vector<std::string> Values(const std::string& name) const;
    // How many fields have a name that begins with the prefix (without case).
    size_t CountWithPrefix(const std::string& prefix) const;
};
bool ParseRfc5322(const std::string& text, ReceivedMessage& message);

// A folder of sent messages.
class Outbox {
public:
    // The folder is created if missing.
    explicit Outbox(std::wstring folder);

    const std::wstring& Folder() const { return m_folder; }
    // Writes the message as a new file; its path goes to `path` if given.
    HRESULT Transmit(const OutgoingMessage& message, std::wstring* path = nullptr);
    // The .eml files in the folder, by name.
    std::vector<std::wstring> Files() const;
    // Removes every .eml file in the folder.
    void Clear() const;

    static bool ReadAll(const std::wstring& path, std::string& text);

private:
    std::wstring m_folder;
    unsigned m_serial = 0;
};

// Makes the item's Send transmit it through the outbox, as Outlook's
// transport would: subject, HTML body and Internet headers of its MAPI
// message, then the item counts as sent. A failed write fails the Send.
void SendThroughOutbox(MailItem& item, Outbox& outbox, std::wstring to = L"reader@example.invalid");
// The same, addressed to the names of a To box as they stand when Send is
// called: an empty box fails the Send with MAPI_E_NO_RECIPIENTS and a name
// that does not resolve with MAPI_E_NOT_FOUND, and nothing is written.
void SendThroughOutbox(MailItem& item, Outbox& outbox, std::shared_ptr<const Recipients> to);

// UTF-8 and back, for the transport and its readers.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace kshost
