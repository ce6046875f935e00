// libFuzzer target: the registry script language, built natively.
// Input bytes are read as UTF-16 code units, as the module's script is once
// converted to wide characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/regscript_parse.h"

namespace {

void CheckKeys(const std::vector<ks::regscript::Key>& keys) {
    for (const auto& key : keys) {
        // A parsed key always has a usable name: never empty, never a path.
        if (key.name.empty() || key.name.find(L'\\') != std::wstring::npos) std::abort();
        CheckKeys(key.subkeys);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

    ks::regscript::Replacements table = {{L"APPID", L""}, {L"Module", L"C:\\it''s\\KestrinSelect.dll"}};
    std::wstring expanded;
    if (!ks::regscript::ExpandReplacements(text, table, expanded)) return 0;
    ks::regscript::Script script;
    std::string error;
    if (ks::regscript::Parse(expanded, script, &error)) {
        for (const auto& block : script.blocks) CheckKeys(block.keys);
    } else if (error.empty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
