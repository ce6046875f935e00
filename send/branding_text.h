// The branding footer and the text rule that places it in an HTML body.
// Plain standard C++ on wide text, free of Windows and host calls, so that it
// can also be built natively (for fuzzing) and tested on its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ks {

// The page the footer links to.
extern const wchar_t kInformationPageAddress[];

// The footer put in front of the closing html tag, exactly as the gateway's
// partners know it (spellings included).
const std::wstring& BrandingFooter();

// Finds the first "</html>", comparing ASCII letters without regard to case
// (A-Z equal a-z, nothing else is folded). Returns npos when there is none.
std::size_t FindClosingHtmlTag(std::wstring_view body) noexcept;

// Where branding puts the footer: the first closing html tag, or npos when
// the body needs no branding (it has none, or begins with it).
std::size_t BrandingPoint(std::wstring_view body) noexcept;

// The length of a body once branded.
std::size_t BrandedLength(std::wstring_view body);

// Writes the branded body into `out`, which has room for BrandedLength(body)
// characters: the text before `at` (a BrandingPoint), the footer, "</html>"
// in lower case, then everything that followed the tag, unchanged.
void WriteBrandedText(std::wstring_view body, std::size_t at, wchar_t* out);

// The footers branding left in a body, as the range [first, last): every
// footer exactly as branding writes it, one after the other, immediately
// before the first closing html tag. Empty (first == last) when there is
// none; a look-alike the sender wrote elsewhere is the sender's text.
struct TextRange {
    std::size_t first = 0;
    std::size_t last = 0;
    bool Empty() const noexcept { return first == last; }
};
TextRange BrandingFooters(std::wstring_view body);

// Writes the body without `footers` (a BrandingFooters range) into `out`,
// which has room for body.size() minus the range's length characters.
void WriteUnbrandedText(std::wstring_view body, TextRange footers, wchar_t* out);

}  // namespace ks
