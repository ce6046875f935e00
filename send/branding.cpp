// Branding the body of a message sent for encryption, putting the body back
// when that command fails after branding, and taking the footer out of a
// message that goes in the clear. The body stays the wide text the host
// gives, so no character is lost to a code page on the way.
#include "addin/connect.h"

#include <climits>
#include <cwchar>
#include <exception>
#include <string_view>

#include "send/branding_text.h"
#include "send/claim_text.h"
#include "send/send_texts.h"

namespace ks {

namespace {

std::wstring_view TextOf(const UniqueBstr& text) noexcept {
    return {text.Get() ? text.Get() : L"", text.Length()};
}

bool SameText(const UniqueBstr& a, const UniqueBstr& b) noexcept {
    return TextOf(a) == TextOf(b);
}

// A BSTR of `length` characters to be filled in, or null when there is no
// memory for it (or the length does not fit a BSTR).
BSTR NewText(std::size_t length) noexcept {
    if (length > UINT_MAX / sizeof(wchar_t) - 1) return nullptr;
    return SysAllocStringLen(nullptr, static_cast<UINT>(length));
}

// Hands the rewritten body to the host. On false the error box has been
// shown; `outOfMemory` tells a body that could not be made from one the
// host refused.
bool WriteBody(_MailItem* mailItem, const UniqueBstr& rewritten, bool& outOfMemory) noexcept {
    if (!rewritten) {
        outOfMemory = true;
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    if (FAILED(mailItem->put_HTMLBody(rewritten.Get()))) {
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    return true;
}

}  // namespace

bool CConnect::BrandMessageBody(_MailItem* mailItem, BodyUndo& undo, bool& outOfMemory) noexcept {
    outOfMemory = false;
    mailItem->get_HTMLBody(undo.read.Put());  // a failed read counts as an empty body
    const std::wstring_view body = TextOf(undo.read);
    const std::size_t at = BrandingPoint(body);
    if (at == std::wstring_view::npos) return true;
    UniqueBstr branded;
    try {
        branded.Reset(NewText(BrandedLength(body)));
        if (branded) WriteBrandedText(body, at, branded.Get());
    } catch (const std::exception&) {
        // The footer's text is made on first use.
        branded.Reset();
    }
    if (!branded) return WriteBody(mailItem, branded, outOfMemory);
    undo.written = true;
    if (FAILED(mailItem->put_HTMLBody(branded.Get()))) {
        ReadHandedBackBody(mailItem, undo);
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    return true;
}

void CConnect::ReadHandedBackBody(_MailItem* mailItem, BodyUndo& undo) noexcept {
    // The editor keeps the body in a form of its own: what it hands back
    // after the write is what an untouched message still reads when the
    // command fails. It must be read before the sender can type again.
    if (!undo.written || undo.handedBackRead) return;
    undo.handedBackRead = true;
    mailItem->get_HTMLBody(undo.handedBack.Put());
}

void CConnect::RestoreMessageBody(_MailItem* mailItem, const BodyUndo& undo) noexcept {
    if (!undo.written || undo.read.Length() < 2) return;
    // Only this command's own work is undone: if anything changed the
    // message since its write (the sender typed while its box was open,
    // another command ran on it), the body as it now stands is the sender's.
    UniqueBstr current;
    if (FAILED(mailItem->get_HTMLBody(current.Put())) || !SameText(current, undo.handedBack)) return;
    if (FAILED(mailItem->put_HTMLBody(undo.read.Get()))) ShowErrorBox(kBodyNotModified);
}

bool CConnect::UnbrandMessageBody(_MailItem* mailItem, bool encryptionRequested, bool& outOfMemory) noexcept {
    outOfMemory = false;
    UniqueBstr read;
    // Without the body the command cannot tell whether the message claims to
    // be secured, so it must not send it in the clear; on a message stamped
    // for encryption, a body that reads empty cannot be told from one the
    // host failed to give.
    if (FAILED(mailItem->get_HTMLBody(read.Put())) || (encryptionRequested && read.Length() == 0)) {
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    const std::wstring_view body = TextOf(read);
    try {
        return encryptionRequested ? TakeOutClaims(mailItem, body, outOfMemory)
                                   : TakeOutExactFooters(mailItem, body, outOfMemory);
    } catch (const std::exception&) {
        // Reading the body's markup is what needs memory here.
        outOfMemory = true;
        ShowErrorBox(kBodyNotModified);
        return false;
    }
}

// A message stamped for encryption: this add-in branded it, so the footers
// at its end are its own, in whatever form the editor gave them back.
bool CConnect::TakeOutClaims(_MailItem* mailItem, std::wstring_view body, bool& outOfMemory) {
    const TrailingClaims claims = FindTrailingClaims(body);
    if (claims.unrecognised) {
        // The claim is there in a form not recognised: it must not go out in
        // the clear, and the sender's text must not be guessed at.
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    if (claims.own.empty()) return true;
    UniqueBstr unbranded(NewText(LengthWithout(body, claims.own)));
    if (unbranded) WriteWithout(body, claims.own, unbranded.Get());
    if (!WriteBody(mailItem, unbranded, outOfMemory)) return false;

    // The editor keeps what it was given in a form of its own: the claims
    // must be gone from what it now holds, and only they.
    const std::size_t expected = CountClaims(body) - claims.own.size();
    UniqueBstr handedBack;
    if (FAILED(mailItem->get_HTMLBody(handedBack.Put())) || CountClaims(TextOf(handedBack)) != expected) {
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    return true;
}

// Any other message: only footers exactly as branding writes them are the
// add-in's; one quoted from someone else's message is the sender's text.
bool CConnect::TakeOutExactFooters(_MailItem* mailItem, std::wstring_view body, bool& outOfMemory) {
    const TextRange footers = BrandingFooters(body);
    if (footers.Empty()) return true;
    UniqueBstr unbranded(NewText(body.size() - (footers.last - footers.first)));
    if (unbranded) WriteUnbrandedText(body, footers, unbranded.Get());
    return WriteBody(mailItem, unbranded, outOfMemory);
}

}  // namespace ks
