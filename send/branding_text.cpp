#include "send/branding_text.h"

#include <cwchar>

#include "addin/text_rules.h"

namespace ks {

namespace {

const wchar_t kClosingTag[] = L"</html>";
constexpr std::wstring::size_type kClosingTagLength = 7;

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

std::wstring::size_type FindClosingHtmlTag(const std::wstring& body) noexcept {
    // Positions in the body and in its folded form agree, since each
    // character folds to exactly one character; so fold while comparing.
    // Only a '<' can start the tag, and '<' has no other case: jump from one
    // to the next with wmemchr rather than comparing at every position.
    const std::wstring::size_type length = body.size();
    if (length < kClosingTagLength) return std::wstring::npos;
    const wchar_t* const data = body.data();
    const std::wstring::size_type lastStart = length - kClosingTagLength;
    for (std::wstring::size_type at = 0; at <= lastStart; ++at) {
        const wchar_t* open = std::wmemchr(data + at, L'<', lastStart - at + 1);
        if (!open) break;
        at = static_cast<std::wstring::size_type>(open - data);
        std::wstring::size_type i = 1;
        while (i < kClosingTagLength && AsciiLower(data[at + i]) == kClosingTag[i]) ++i;
        if (i == kClosingTagLength) return at;
    }
    return std::wstring::npos;
}

bool BrandHtmlText(const std::wstring& body, std::wstring& branded) {
    const std::wstring::size_type at = FindClosingHtmlTag(body);
    if (at == std::wstring::npos || at == 0) return false;

    const std::wstring& footer = BrandingFooter();
    std::wstring result;
    result.reserve(body.size() + footer.size());
    result.append(body, 0, at);
    result.append(footer);
    result.append(kClosingTag);
    result.append(body, at + kClosingTagLength, std::wstring::npos);
    branded.swap(result);
    return true;
}

bool RemoveBrandingFooter(const std::wstring& body, std::wstring& unbranded) {
    const std::wstring::size_type at = FindClosingHtmlTag(body);
    const std::wstring& footer = BrandingFooter();
    if (at == std::wstring::npos || at < footer.size()) return false;
    const std::wstring::size_type footerStart = at - footer.size();
    if (body.compare(footerStart, footer.size(), footer) != 0) return false;

    std::wstring result;
    result.reserve(body.size() - footer.size());
    result.append(body, 0, footerStart);
    result.append(body, at, std::wstring::npos);
    unbranded.swap(result);
    return true;
}

}  // namespace ks
