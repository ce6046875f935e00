// libFuzzer target: the branding text rule, built natively. Input bytes are
// read as UTF-16 code units, as the host hands out the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "send/branding_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring body;
    for (size_t i = 0; i + 1 < size; i += 2) body.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

    const std::wstring::size_type at = ks::FindClosingHtmlTag(body);
    // The first tag in any ASCII letter case, found the plain way: on a
    // lower-cased copy.
    std::wstring folded(body);
    for (wchar_t& c : folded) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    if (at != folded.find(L"</html>")) std::abort();
    const std::wstring::size_type point = ks::BrandingPoint(body);
    const bool changed = point != std::wstring::npos;
    if (changed != (at != std::wstring::npos && at != 0)) std::abort();
    // The footers of a refused encrypted send come out again, and only they:
    // in a body branding never touched, nothing is taken for one unless the
    // sender wrote it exactly so right before the tag.
    const ks::TextRange found = ks::BrandingFooters(body);
    if (at == std::wstring::npos ? !found.Empty() : found.last != at) std::abort();
    if (!changed) return 0;

    std::wstring branded(ks::BrandedLength(body), L'\0');
    ks::WriteBrandedText(body, point, branded.data());

    // Nothing of the sender's text is lost or altered: the text before the
    // tag, the footer, the tag in lower case, then everything after it.
    const std::wstring& footer = ks::BrandingFooter();
    if (branded.size() != body.size() + footer.size()) std::abort();
    if (branded.compare(0, at, body, 0, at) != 0) std::abort();
    if (branded.compare(at, footer.size(), footer) != 0) std::abort();
    if (branded.compare(at + footer.size(), 7, L"</html>") != 0) std::abort();
    if (branded.compare(at + footer.size() + 7, std::wstring::npos, body, at + 7, std::wstring::npos) != 0) {
        std::abort();
    }

    // Taking the footers out again gives back the sender's text, the tag in
    // lower case as branding wrote it, and footers the sender wrote right
    // before the tag go with those of branding.
    const ks::TextRange footers = ks::BrandingFooters(branded);
    if (footers.last != at + footer.size() || footers.first != found.first) std::abort();
    std::wstring unbranded(branded.size() - (footers.last - footers.first), L'\0');
    ks::WriteUnbrandedText(branded, footers, unbranded.data());
    if (unbranded.compare(0, found.first, body, 0, found.first) != 0 || unbranded.compare(found.first, 7, L"</html>") != 0 ||
        unbranded.compare(found.first + 7, std::wstring::npos, body, at + 7, std::wstring::npos) != 0) {
        std::abort();
    }
    return 0;
}
