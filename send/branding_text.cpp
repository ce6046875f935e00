#include "send/branding_text.h"

#include <cwchar>

#include "addin/text_rules.h"

namespace ks {

namespace {

constexpr std::wstring_view kClosingTag = L"</html>";

wchar_t* Append(wchar_t* out, std::wstring_view text) noexcept {
    if (!text.empty()) std::wmemcpy(out, text.data(), text.size());
    return out + text.size();
}

}  // namespace

const wchar_t kInformationPageAddress[] = L"https://www.kestrincorp.com/info/kestrinmail";

const std::wstring& BrandingFooter() {
    static const std::wstring footer =
        std::wstring(
            L"<div><br><span style='font-size:13.0pt;font-family:Arial;color:black'>This message was secured by "
            L"</span><b><span style='font-size:13.0pt;font-family:Arial;color:#0038A8'>Kestrin</span></b><b><span "
            L"style='font-size:13.0pt;font-family:Arial;color:#6D5E51'>Corp</span></b><b><spanstyle='font-size:13.0pt;"
            L"font-family:Arial;color:black'>&#169</span></b><spanstyle='font-size:13.0pt;font-family:Arial;color:"
            L"black'>.</span><br><i><span style='font-size:10.0pt;font-family:Arial;color:black'>To reach "
            L"KestrinCorp, go to: <a href='") +
        kInformationPageAddress + L"'>" + kInformationPageAddress + L"</a></span></i></span></div>";
    return footer;
}

std::size_t FindClosingHtmlTag(std::wstring_view body) noexcept {
    // Positions in the body and in its folded form agree, since each
    // character folds to exactly one character; so fold while comparing.
    // Only a '<' can start the tag, and '<' has no other case: jump from one
    // to the next with wmemchr rather than comparing at every position.
    const std::size_t length = body.size();
    if (length < kClosingTag.size()) return std::wstring_view::npos;
    const wchar_t* const data = body.data();
    const std::size_t lastStart = length - kClosingTag.size();
    for (std::size_t at = 0; at <= lastStart; ++at) {
        const wchar_t* open = std::wmemchr(data + at, L'<', lastStart - at + 1);
        if (!open) break;
        at = static_cast<std::size_t>(open - data);
        std::size_t i = 1;
        while (i < kClosingTag.size() && AsciiLower(data[at + i]) == kClosingTag[i]) ++i;
        if (i == kClosingTag.size()) return at;
    }
    return std::wstring_view::npos;
}

std::size_t BrandingPoint(std::wstring_view body) noexcept {
    const std::size_t at = FindClosingHtmlTag(body);
    return at == 0 ? std::wstring_view::npos : at;
}

std::size_t BrandedLength(std::wstring_view body) {
    return body.size() + BrandingFooter().size();
}

void WriteBrandedText(std::wstring_view body, std::size_t at, wchar_t* out) {
    out = Append(out, body.substr(0, at));
    out = Append(out, BrandingFooter());
    out = Append(out, kClosingTag);
    Append(out, body.substr(at + kClosingTag.size()));
}

TextRange BrandingFooters(std::wstring_view body) {
    const std::size_t at = FindClosingHtmlTag(body);
    if (at == std::wstring_view::npos) return {};
    // Each failed encrypted send that was tried again added one more.
    const std::wstring_view footer = BrandingFooter();
    std::size_t first = at;
    while (first >= footer.size() && body.compare(first - footer.size(), footer.size(), footer) == 0) {
        first -= footer.size();
    }
    return {first, at};
}

void WriteUnbrandedText(std::wstring_view body, TextRange footers, wchar_t* out) {
    out = Append(out, body.substr(0, footers.first));
    Append(out, body.substr(footers.last));
}

}  // namespace ks
