// libFuzzer target: the text rule of the ribbon switches, built natively.
// The input is the data a registry query returned; the rule must read no byte
// beyond it (AddressSanitizer sees the exact-size buffer libFuzzer passes) and
// must agree with a plain restatement of the rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ribbon/switch_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text;
    for (size_t i = 0; i < size && data[i] != 0; ++i) {
        const char c = static_cast<char>(data[i]);
        text.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    if (ks::SwitchTextMeansOn(data, size) != (text == "true")) std::abort();
    return 0;
}
