// Branding the body of a message sent for encryption, putting the body back
// when that command fails after branding, and taking the footer out of a
// message that goes in the clear. The body stays the wide text the host
// gives, so no character is lost to a code page on the way.
#include "addin/connect.h"

#include <climits>
#include <exception>
#include <string_view>

#include "send/branding_text.h"
#include "send/send_texts.h"

namespace ks {

namespace {

std::wstring_view TextOf(const UniqueBstr& text) noexcept {
    return {text.Get() ? text.Get() : L"", text.Length()};
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

bool CConnect::BrandMessageBody(_MailItem* mailItem, UniqueBstr& saved, bool& outOfMemory) noexcept {
    outOfMemory = false;
    mailItem->get_HTMLBody(saved.Put());  // a failed read counts as an empty body
    const std::wstring_view body = TextOf(saved);
    UniqueBstr branded;
    try {
        m_savedHtmlBody.assign(body);
        const std::size_t at = BrandingPoint(body);
        if (at == std::wstring_view::npos) return true;
        branded.Reset(NewText(BrandedLength(body)));
        if (branded) WriteBrandedText(body, at, branded.Get());
    } catch (const std::exception&) {
        // Copying the body is the only thing here that can throw.
        m_savedHtmlBody.clear();
        branded.Reset();
    }
    return WriteBody(mailItem, branded, outOfMemory);
}

bool CConnect::UnbrandMessageBody(_MailItem* mailItem, bool& outOfMemory) noexcept {
    outOfMemory = false;
    UniqueBstr read;
    // Without the body the command cannot tell whether the message claims to
    // be secured, so it must not send it in the clear.
    if (FAILED(mailItem->get_HTMLBody(read.Put()))) {
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    const std::wstring_view body = TextOf(read);
    UniqueBstr unbranded;
    try {
        const TextRange footers = BrandingFooters(body);
        if (footers.Empty()) return true;
        const std::size_t kept = body.size() - (footers.last - footers.first);
        unbranded.Reset(NewText(kept));
        if (unbranded) WriteUnbrandedText(body, footers, unbranded.Get());
    } catch (const std::exception&) {
        unbranded.Reset();
    }
    return WriteBody(mailItem, unbranded, outOfMemory);
}

void CConnect::RestoreMessageBody(_MailItem* mailItem, const UniqueBstr& saved) noexcept {
    // What this command read goes back into the message it came from. The
    // member may meanwhile hold another message's body: a press in another
    // compose window runs while this command's box is open.
    if (m_savedHtmlBody.size() >= 2) m_savedHtmlBody.clear();
    if (saved.Length() < 2) return;
    if (FAILED(mailItem->put_HTMLBody(saved.Get()))) ShowErrorBox(kBodyNotModified);
}

}  // namespace ks
