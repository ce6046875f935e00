// Branding the body of a message sent for encryption, and putting the body
// back when the command fails after branding. The body stays the wide text
// the host gives, so no character is lost to a code page on the way.
#include "addin/connect.h"

#include <exception>

#include "send/branding_text.h"
#include "send/send_texts.h"

namespace ks {

namespace {

// What a command does to the body text; false when it leaves it as it is.
using BodyRewrite = bool (*)(const std::wstring& body, std::wstring& rewritten);

// Reads the body into `saved` and writes back what `rewrite` makes of it.
// `written` tells whether a new body went to the host. On false the error box
// has been shown; `outOfMemory` tells a body that could not be copied from a
// write the host refused.
bool RewriteBody(_MailItem* mailItem, BodyRewrite rewrite, std::wstring& saved, bool& written,
                 bool& outOfMemory) noexcept {
    written = false;
    outOfMemory = false;
    UniqueBstr read;
    mailItem->get_HTMLBody(read.Put());  // a failed read counts as an empty body

    // An earlier message's body must never be written into this one, so the
    // saved body is emptied before it is replaced.
    saved.clear();
    UniqueBstr rewritten;
    try {
        saved.assign(read.Get() ? read.Get() : L"", read.Length());
        std::wstring text;
        if (!rewrite(saved, text)) return true;
        rewritten.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    } catch (const std::exception&) {
        // Copying the body is the only thing here that can throw.
    }
    if (!rewritten) {
        outOfMemory = true;
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    if (FAILED(mailItem->put_HTMLBody(rewritten.Get()))) {
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    written = true;
    return true;
}

}  // namespace

bool CConnect::BrandMessageBody(_MailItem* mailItem, bool& outOfMemory) noexcept {
    bool written = false;
    return RewriteBody(mailItem, BrandHtmlText, m_savedHtmlBody, written, outOfMemory);
}

bool CConnect::UnbrandMessageBody(_MailItem* mailItem, bool& outOfMemory) noexcept {
    bool written = false;
    const bool done = RewriteBody(mailItem, RemoveBrandingFooter, m_savedHtmlBody, written, outOfMemory);
    // A body without the footer was not touched, so a failing command has
    // nothing to put back.
    if (done && !written) m_savedHtmlBody.clear();
    return done;
}

void CConnect::RestoreMessageBody(_MailItem* mailItem) noexcept {
    if (m_savedHtmlBody.size() < 2) return;
    UniqueBstr saved(SysAllocStringLen(m_savedHtmlBody.data(), static_cast<UINT>(m_savedHtmlBody.size())));
    const HRESULT hr = saved ? mailItem->put_HTMLBody(saved.Get()) : E_OUTOFMEMORY;
    m_savedHtmlBody.clear();
    if (FAILED(hr)) ShowErrorBox(kBodyNotModified);
}

}  // namespace ks
