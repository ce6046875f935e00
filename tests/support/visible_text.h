// What a reader sees of an HTML body, worked out on its own (no editor, no
// product code): the oracle for tests whose host rewrites the body.
#pragma once

#include <cstddef>
#include <string>

namespace kstest {

// Tags gone (a block or a line break is a blank), the head and comments
// gone, references resolved, blanks collapsed.
std::wstring VisibleText(const std::wstring& html);

// How often a reader sees the footer's claim, "This message was secured by
// KestrinCorp", in the body.
std::size_t ClaimsIn(const std::wstring& html);

}  // namespace kstest
