// Branding the body of a message sent for encryption, and putting the body
// back when the command fails after branding. The body stays the wide text
// the host gives, so no character is lost to a code page on the way.
#include "addin/connect.h"

#include <exception>

#include "send/branding_text.h"
#include "send/send_texts.h"

namespace ks {

bool CConnect::BrandMessageBody(_MailItem* mailItem, bool& outOfMemory) noexcept {
    outOfMemory = false;
    UniqueBstr read;
    mailItem->get_HTMLBody(read.Put());  // a failed read counts as an empty body

    // An earlier message's body must never be written into this one, so the
    // saved body is emptied before it is replaced.
    m_savedHtmlBody.clear();
    UniqueBstr branded;
    try {
        m_savedHtmlBody.assign(read.Get() ? read.Get() : L"", read.Length());
        std::wstring text;
        if (!BrandHtmlText(m_savedHtmlBody, text)) return true;
        branded.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    } catch (const std::exception&) {
        // Copying the body is the only thing here that can throw.
    }
    if (!branded) {
        outOfMemory = true;
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    if (FAILED(mailItem->put_HTMLBody(branded.Get()))) {
        ShowErrorBox(kBodyNotModified);
        return false;
    }
    return true;
}

void CConnect::RestoreMessageBody(_MailItem* mailItem) noexcept {
    if (m_savedHtmlBody.size() < 2) return;
    UniqueBstr saved(SysAllocStringLen(m_savedHtmlBody.data(), static_cast<UINT>(m_savedHtmlBody.size())));
    const HRESULT hr = saved ? mailItem->put_HTMLBody(saved.Get()) : E_OUTOFMEMORY;
    m_savedHtmlBody.clear();
    if (FAILED(hr)) ShowErrorBox(kBodyNotModified);
}

}  // namespace ks
