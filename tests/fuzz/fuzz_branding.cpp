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
    std::wstring branded;
    const bool changed = ks::BrandHtmlText(body, branded);
    if (changed != (at != std::wstring::npos && at != 0)) std::abort();
    if (!changed) return 0;

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

    // Taking the footer out again gives back the sender's text, the tag in
    // lower case as branding wrote it.
    std::wstring unbranded;
    if (!ks::RemoveBrandingFooter(branded, unbranded)) std::abort();
    if (unbranded.compare(0, at, body, 0, at) != 0 || unbranded.compare(at, 7, L"</html>") != 0 ||
        unbranded.compare(at + 7, std::wstring::npos, body, at + 7, std::wstring::npos) != 0) {
        std::abort();
    }
    return 0;
}
