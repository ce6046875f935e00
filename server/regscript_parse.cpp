#include "server/regscript_parse.h"

#include <cstddef>

#include "addin/text_rules.h"

namespace ks::regscript {
namespace {

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

struct RootName {
    const wchar_t* shortName;
    const wchar_t* longName;
    Root root;
};

constexpr RootName kRoots[] = {
    {L"HKCR", L"HKEY_CLASSES_ROOT", Root::ClassesRoot},
    {L"HKCU", L"HKEY_CURRENT_USER", Root::CurrentUser},
    {L"HKLM", L"HKEY_LOCAL_MACHINE", Root::LocalMachine},
    {L"HKU", L"HKEY_USERS", Root::Users},
    {L"HKPD", L"HKEY_PERFORMANCE_DATA", Root::PerformanceData},
    {L"HKDD", L"HKEY_DYN_DATA", Root::DynData},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", Root::CurrentConfig},
};

constexpr const wchar_t* kProtectedNames[] = {
    L"AppID", L"CLSID", L"Component Categories", L"FileType", L"Interface", L"Hardware",
    L"Mime", L"SAM", L"SECURITY", L"SYSTEM", L"Software", L"TypeLib",
};

struct Token {
    std::wstring text;
    bool quoted = false;
    bool end = false;
};

// Splits the script into words separated by white space; a word in single
// quotes may hold spaces, and two quotes inside it stand for one.
class Lexer {
public:
    explicit Lexer(std::wstring_view text) : m_text(text) {}

    bool Next(Token& token, std::string* error) {
        token = Token{};
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) ++m_pos;
        if (m_pos >= m_text.size()) {
            token.end = true;
            return true;
        }
        if (m_text[m_pos] == L'\'') {
            token.quoted = true;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_text.size()) {
                    if (error) *error = "unterminated quoted text";
                    return false;
                }
                wchar_t c = m_text[m_pos++];
                if (c == L'\'') {
                    if (m_pos < m_text.size() && m_text[m_pos] == L'\'') {
                        token.text.push_back(L'\'');
                        ++m_pos;
                        continue;
                    }
                    return true;
                }
                token.text.push_back(c);
            }
        }
        while (m_pos < m_text.size() && !IsSpace(m_text[m_pos])) token.text.push_back(m_text[m_pos++]);
        return true;
    }

    // Looks at the next token without taking it.
    bool Peek(Token& token, std::string* error) {
        size_t saved = m_pos;
        bool ok = Next(token, error);
        m_pos = saved;
        return ok;
    }

private:
    std::wstring_view m_text;
    size_t m_pos = 0;
};

bool IsWord(const Token& t, const wchar_t* word) {
    return !t.quoted && !t.end && EqualsNoCase(t.text, word);
}

bool Fail(std::string* error, const char* what) {
    if (error) *error = what;
    return false;
}

// "= s 'text'" or "= d 'number'"; the equals sign has been taken.
bool ParseTypedValue(Lexer& lex, Value& value, std::string* error) {
    Token type;
    if (!lex.Next(type, error)) return false;
    Token data;
    if (!lex.Next(data, error)) return false;
    if (data.end) return Fail(error, "missing value text");
    if (IsWord(type, L"s")) {
        value.type = ValueType::String;
        value.text = data.text;
        return true;
    }
    if (IsWord(type, L"d")) {
        value.type = ValueType::Dword;
        unsigned long number = 0;
        if (data.text.empty()) return Fail(error, "empty number");
        for (wchar_t c : data.text) {
            if (c < L'0' || c > L'9') return Fail(error, "bad number");
            number = number * 10 + static_cast<unsigned long>(c - L'0');
        }
        value.number = number;
        return true;
    }
    return Fail(error, "unknown value type");
}

bool ParseBody(Lexer& lex, std::vector<Key>& keys, std::vector<Value>* values, std::string* error, int depth);

bool ParseKey(Lexer& lex, Token first, Key& key, std::string* error, int depth) {
    for (;;) {
        if (IsWord(first, L"NoRemove")) {
            key.noRemove = true;
        } else if (IsWord(first, L"ForceRemove")) {
            key.forceRemove = true;
        } else {
            break;
        }
        if (!lex.Next(first, error)) return false;
    }
    if (first.end) return Fail(error, "missing key name");
    if (!first.quoted && (first.text == L"{" || first.text == L"}" || first.text == L"="))
        return Fail(error, "missing key name");
    if (first.text.find(L'\\') != std::wstring::npos) return Fail(error, "backslash in key name");
    if (first.text.empty()) return Fail(error, "empty key name");
    key.name = first.text;

    Token next;
    if (!lex.Peek(next, error)) return false;
    if (!next.quoted && next.text == L"=") {
        lex.Next(next, error);
        key.hasDefault = true;
        if (!ParseTypedValue(lex, key.defaultValue, error)) return false;
        if (!lex.Peek(next, error)) return false;
    }
    if (!next.quoted && next.text == L"{") {
        lex.Next(next, error);
        if (!ParseBody(lex, key.subkeys, &key.values, error, depth + 1)) return false;
    }
    return true;
}

// Entries up to the closing brace, which is taken.
bool ParseBody(Lexer& lex, std::vector<Key>& keys, std::vector<Value>* values, std::string* error, int depth) {
    if (depth > 64) return Fail(error, "nesting too deep");
    for (;;) {
        Token t;
        if (!lex.Next(t, error)) return false;
        if (t.end) return Fail(error, "missing closing brace");
        if (!t.quoted && t.text == L"}") return true;
        if (values && IsWord(t, L"val")) {
            Value value;
            Token name;
            if (!lex.Next(name, error)) return false;
            if (name.end) return Fail(error, "missing value name");
            value.name = name.text;
            Token eq;
            if (!lex.Next(eq, error)) return false;
            if (eq.quoted || eq.text != L"=") return Fail(error, "missing equals sign after value name");
            if (!ParseTypedValue(lex, value, error)) return false;
            values->push_back(std::move(value));
            continue;
        }
        Key key;
        if (!ParseKey(lex, t, key, error, depth)) return false;
        keys.push_back(std::move(key));
    }
}

}  // namespace

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

bool IsProtectedKeyName(std::wstring_view name) {
    for (const wchar_t* p : kProtectedNames) {
        if (EqualsNoCase(name, p)) return true;
    }
    return false;
}

bool ExpandReplacements(std::wstring_view text, const Replacements& table, std::wstring& out) {
    out.clear();
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        wchar_t c = text[pos];
        if (c != L'%') {
            out.push_back(c);
            ++pos;
            continue;
        }
        size_t close = text.find(L'%', pos + 1);
        if (close == std::wstring_view::npos) return false;
        std::wstring_view name = text.substr(pos + 1, close - pos - 1);
        if (name.empty()) {
            out.push_back(L'%');
        } else {
            const std::wstring* replacement = nullptr;
            for (const auto& entry : table) {
                if (EqualsNoCase(entry.first, name)) {
                    replacement = &entry.second;
                    break;
                }
            }
            if (!replacement) return false;
            out += *replacement;
        }
        pos = close + 1;
    }
    return true;
}

bool Parse(std::wstring_view text, Script& out, std::string* error) {
    out.blocks.clear();
    Lexer lex(text);
    for (;;) {
        Token rootToken;
        if (!lex.Next(rootToken, error)) return false;
        if (rootToken.end) return true;
        Block block;
        bool known = false;
        for (const RootName& r : kRoots) {
            if (!rootToken.quoted && (EqualsNoCase(rootToken.text, r.shortName) || EqualsNoCase(rootToken.text, r.longName))) {
                block.root = r.root;
                known = true;
                break;
            }
        }
        if (!known) return Fail(error, "bad root key name");
        Token brace;
        if (!lex.Next(brace, error)) return false;
        if (brace.quoted || brace.text != L"{") return Fail(error, "missing opening brace");
        if (!ParseBody(lex, block.keys, nullptr, error, 0)) return false;
        out.blocks.push_back(std::move(block));
    }
}

}  // namespace ks::regscript
