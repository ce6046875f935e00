// Text rules shared by the registry script, the ribbon switches and the
// branding footer. Plain standard C++ with no Windows headers, so that every
// text unit using them still builds natively (for fuzzing).
#pragma once

namespace ks {

// Folds the ASCII letters A to Z to lower case and leaves every other
// character as it is: no locale, no code page, the same on every machine.
// Char is a narrow or wide character type (char, unsigned char, wchar_t).
template <typename Char>
constexpr Char AsciiLower(Char c) noexcept {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

}  // namespace ks
