#include "ribbon/switch_text.h"

#include "addin/text_rules.h"

namespace ks {

namespace {

// Compares the folded text with a lower-case constant, by length and bytes.
bool FoldedTextEquals(const unsigned char* text, std::size_t length, const char* expected) noexcept {
    std::size_t i = 0;
    for (; i < length; ++i) {
        if (expected[i] == '\0' || AsciiLower(text[i]) != static_cast<unsigned char>(expected[i])) return false;
    }
    return expected[i] == '\0';
}

}  // namespace

bool SwitchTextMeansOn(const unsigned char* bytes, std::size_t count) noexcept {
    if (!bytes) return false;
    std::size_t length = 0;
    while (length < count && bytes[length] != 0) ++length;
    if (FoldedTextEquals(bytes, length, "false")) return false;
    return FoldedTextEquals(bytes, length, "true");
}

}  // namespace ks
