// The registry script language: text in, a tree of keys and values out.
// Knows nothing of the registry itself, so it can be tested and fuzzed alone.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ks::regscript {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, PerformanceData, DynData, CurrentConfig };

enum class ValueType { String, Dword };

struct Value {
    std::wstring name;  // empty for a key's default value
    ValueType type = ValueType::String;
    std::wstring text;
    unsigned long number = 0;
};

struct Key {
    std::wstring name;
    bool noRemove = false;
    bool forceRemove = false;
    bool hasDefault = false;
    Value defaultValue;
    std::vector<Value> values;
    std::vector<Key> subkeys;
};

struct Block {
    Root root = Root::ClassesRoot;
    std::vector<Key> keys;
};

struct Script {
    std::vector<Block> blocks;
};

using Replacements = std::vector<std::pair<std::wstring, std::wstring>>;

// Replaces each %NAME% by its replacement (names compared without regard to
// ASCII case); "%%" stands for one percent sign. False for an unknown name or
// an unterminated one.
bool ExpandReplacements(std::wstring_view text, const Replacements& table, std::wstring& out);

// Parses a script. False for a bad root key name, a missing brace, a missing
// equals sign, an unknown value type, or a key name with a backslash; `error`
// then says where. May throw std::bad_alloc.
bool Parse(std::wstring_view text, Script& out, std::string* error = nullptr);

// Key names that are never deleted together with their contents.
bool IsProtectedKeyName(std::wstring_view name);

// ASCII-only case-insensitive equality.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

}  // namespace ks::regscript
