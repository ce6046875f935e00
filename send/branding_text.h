// The branding footer and the text rule that places it in an HTML body.
// Plain standard C++ on wide text, free of Windows and host calls, so that it
// can also be built natively (for fuzzing) and tested on its own.
#pragma once

#include <string>

namespace ks {

// The page the footer links to.
extern const wchar_t kInformationPageAddress[];

// The footer put in front of the closing html tag, exactly as the gateway's
// partners know it (spellings included).
const std::wstring& BrandingFooter();

// Finds the first "</html>", comparing ASCII letters without regard to case
// (A-Z equal a-z, nothing else is folded). Returns npos when there is none.
std::wstring::size_type FindClosingHtmlTag(const std::wstring& body) noexcept;

// Brands an HTML body: the text before the first closing html tag, the
// footer, "</html>" in lower case, then everything that followed the tag,
// unchanged. Returns false, leaving `branded` untouched, when the body needs
// no branding (no closing tag, or the body begins with it).
// May throw std::bad_alloc.
bool BrandHtmlText(const std::wstring& body, std::wstring& branded);

// Takes back what branding added: the footer exactly as BrandHtmlText puts it,
// immediately before the first closing html tag; the rest of the body stays
// as it is. Returns false, leaving `unbranded` untouched, when the text before
// that tag is not the footer (a look-alike the sender wrote elsewhere is the
// sender's text). May throw std::bad_alloc.
bool RemoveBrandingFooter(const std::wstring& body, std::wstring& unbranded);

}  // namespace ks
