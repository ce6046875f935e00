// The footer's claim as a compose window's editor hands it back. Outlook's
// editor keeps the body as a document and gives out HTML of its own making:
// the footer branding wrote comes back re-quoted, re-wrapped, with its
// unknown tags dropped and its entity completed. What every editor keeps is
// what a reader sees: the text "This message was secured by ... KestrinCorp"
// and the link to the information page. So the footer is recognised here by
// that, not by its bytes.
//
// Plain standard C++ on wide text, like the branding rule, so that it can be
// built natively and fuzzed. Every function is linear in the body's size.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "send/branding_text.h"

namespace ks {

// The footers at the very end of the body, in whatever form, in body order:
// each range runs from the footer's opening tags to the closing tags of the
// elements it opened, so that taking it out leaves every visible character
// of the rest, and the markup around it, as it was. Only whitespace and the
// document's closing markup may follow the last one, and each stands right
// after the one before; a footer inside the sender's text (one quoted in a
// reply) is not among them. `unrecognised` tells that no whole footer
// stands at the end but the claim's words do: a form whose link or shape an
// editor did not keep.
struct TrailingClaims {
    std::vector<TextRange> own;
    bool unrecognised = false;
};
TrailingClaims FindTrailingClaims(std::wstring_view body);

// How often the claim's words ("This message was secured by ... KestrinCorp")
// stand in the body's visible text, wherever they stand.
std::size_t CountClaims(std::wstring_view body);

// The length of the body without `ranges` (sorted, not overlapping), and the
// body written without them into `out`, which has room for that length.
std::size_t LengthWithout(std::wstring_view body, const std::vector<TextRange>& ranges) noexcept;
void WriteWithout(std::wstring_view body, const std::vector<TextRange>& ranges, wchar_t* out) noexcept;

}  // namespace ks
