// libFuzzer target: finding the footer's claim in any body, built natively.
// Input bytes are read as UTF-16 code units, as the host hands out the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "send/branding_text.h"
#include "send/claim_text.h"

namespace {

void Check(const std::wstring& body) {
    const ks::TrailingClaims found = ks::FindTrailingClaims(body);
    std::size_t from = 0;
    for (const ks::TextRange& r : found.own) {
        // In order, within the body, none empty.
        if (r.first < from || r.last <= r.first || r.last > body.size()) std::abort();
        from = r.last;
    }
    if (!found.own.empty() && found.unrecognised) std::abort();
    std::wstring rest(ks::LengthWithout(body, found.own), L'\0');
    ks::WriteWithout(body, found.own, rest.data());
    // Each range held one claim, and only the claims went.
    if (ks::CountClaims(rest) + found.own.size() != ks::CountClaims(body)) std::abort();
    if (!ks::FindTrailingClaims(rest).own.empty() && ks::CountClaims(rest) == 0) std::abort();
}

// Markup every parser reads alike: no quoted values, comments, declarations
// or raw-text elements that could hide what follows them.
bool Plain(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'"' || c == L'\'') return false;
        if (c == L'<' && i + 1 < text.size()) {
            const wchar_t next = text[i + 1] | 0x20;
            if (text[i + 1] == L'!' || text[i + 1] == L'?' || next == L's' || next == L't' || next == L'x') return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring body;
    for (size_t i = 0; i + 1 < size; i += 2) body.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    Check(body);

    // Branded once and twice, as refused encrypted sends leave it: both
    // footers are found at the end and taking them out leaves no claim
    // that the sender did not write.
    const std::size_t at = ks::BrandingPoint(body);
    if (at == std::wstring::npos) return 0;
    std::wstring branded(ks::BrandedLength(body), L'\0');
    ks::WriteBrandedText(body, at, branded.data());
    Check(branded);
    // The footer stands at the end when nothing followed the tag.
    const std::wstring before = body.substr(0, at);
    if (at + 7 != body.size() || !Plain(before) || ks::CountClaims(before) != 0) return 0;
    const ks::TrailingClaims found = ks::FindTrailingClaims(branded);
    if (found.own.size() != 1) std::abort();
    return 0;
}
