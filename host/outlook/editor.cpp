#include "host/outlook/editor.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kshost {

namespace {

std::wstring g_lastError;
std::wstring g_interpreter;
std::wstring g_script;

bool Fail(std::wstring why) {
    g_lastError = std::move(why);
    return false;
}

// ---------------------------------------------------------------------------
// The word-processor form.
//
// Outlook 2007 and later compose mail in Word ("Outlook uses only the Word
// engine to display and create HTML-formatted emails", howto-outlook.com,
// Outlook and Word HTML). What it hands back is Word's HTML of the
// document, not the markup written: "Word's HTML engine validates and
// rewrites the HTML ... Reassignment of styles to MSONormal and similar
// classes ... Remove or change inline styles" (Microsoft Q&A, Template line
// break issue). The shape below follows mail that Outlook 2013 and later
// sent, as archived on public mailing lists (for instance
// mm.icann.org/pipermail/ua-discuss/attachments/20180731/119d5bcb/attachment.html):
// an html element with the Office namespaces, a Generator meta "Microsoft
// Word 15 (filtered medium)", Word's own style block in place of the head
// that was written, <body lang=EN-US link=... vlink=...> and one
// <div class=WordSection1> holding the paragraphs, each
// <p class=MsoNormal>...<o:p></o:p></p> ("<p>This is a sample body
// text<o:p></o:p></p>", [MS-OXCMAIL] 4.6 Setting Message Properties), an
// empty one <o:p>&nbsp;</o:p>. Word keeps paragraphs and runs of formatted
// text, not tags: formatting is written again per run
// (<b><span style='font-size:13.0pt;font-family:"Arial",sans-serif'>),
// attributes re-quoted (unquoted when the value is a plain word, as in
// "<body lang=EN-US link=blue vlink=purple>", double quotes otherwise, single
// quotes for style, whose font names carry double quotes), tags it does not
// know dropped with their text kept, character references resolved, and
// comments and the written head dropped ("will replace any CSS styles in the
// header with its own", PoliteMail). Lines are wrapped at 76 columns with
// CRLF ("the entire text is wrapped to 76 columns", Microsoft, Message Text
// in MAPI), at spaces of the text, between the attributes of a tag (as in
// "<link rel=\"File-List\"\r\nhref=...>" of Word's HTML) and after the
// semicolons of a style, never inside a word. Reading that form again gives
// the same form: Word hands back what it was given when it is its own.

constexpr size_t kWrapColumn = 76;

using Css = std::vector<std::pair<std::wstring, std::wstring>>;

struct Attribute {
    std::wstring name;
    std::wstring value;
};

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }
bool IsAsciiAlpha(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAsciiAlnum(wchar_t c) { return IsAsciiAlpha(c) || (c >= L'0' && c <= L'9'); }

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring Trim(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsSpace(text[first])) ++first;
    while (last > first && IsSpace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

void AppendCodePoint(std::wstring& out, unsigned long cp) {
    if (cp >= 0x10000 && sizeof(wchar_t) == 2) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// Named character references: the Latin-1 ones (which HTML also reads
// without their semicolon) by code point from U+00A0, then others.
const wchar_t* const kLatin1Names[96] = {
    L"nbsp", L"iexcl", L"cent", L"pound", L"curren", L"yen", L"brvbar", L"sect", L"uml", L"copy", L"ordf",
    L"laquo", L"not", L"shy", L"reg", L"macr", L"deg", L"plusmn", L"sup2", L"sup3", L"acute", L"micro",
    L"para", L"middot", L"cedil", L"sup1", L"ordm", L"raquo", L"frac14", L"frac12", L"frac34", L"iquest",
    L"Agrave", L"Aacute", L"Acirc", L"Atilde", L"Auml", L"Aring", L"AElig", L"Ccedil", L"Egrave", L"Eacute",
    L"Ecirc", L"Euml", L"Igrave", L"Iacute", L"Icirc", L"Iuml", L"ETH", L"Ntilde", L"Ograve", L"Oacute",
    L"Ocirc", L"Otilde", L"Ouml", L"times", L"Oslash", L"Ugrave", L"Uacute", L"Ucirc", L"Uuml", L"Yacute",
    L"THORN", L"szlig", L"agrave", L"aacute", L"acirc", L"atilde", L"auml", L"aring", L"aelig", L"ccedil",
    L"egrave", L"eacute", L"ecirc", L"euml", L"igrave", L"iacute", L"icirc", L"iuml", L"eth", L"ntilde",
    L"ograve", L"oacute", L"ocirc", L"otilde", L"ouml", L"divide", L"oslash", L"ugrave", L"uacute", L"ucirc",
    L"uuml", L"yacute", L"thorn", L"yuml"};

struct NamedReference {
    const wchar_t* name;
    unsigned long cp;
    bool legacy;  // read without its semicolon too
};
const NamedReference kOtherNames[] = {
    {L"amp", 0x26, true},      {L"lt", 0x3C, true},       {L"gt", 0x3E, true},      {L"quot", 0x22, true},
    {L"AMP", 0x26, true},      {L"LT", 0x3C, true},       {L"GT", 0x3E, true},      {L"QUOT", 0x22, true},
    {L"COPY", 0xA9, true},     {L"REG", 0xAE, true},      {L"apos", 0x27, false},   {L"trade", 0x2122, false},
    {L"hellip", 0x2026, false}, {L"mdash", 0x2014, false}, {L"ndash", 0x2013, false}, {L"lsquo", 0x2018, false},
    {L"rsquo", 0x2019, false}, {L"sbquo", 0x201A, false}, {L"ldquo", 0x201C, false}, {L"rdquo", 0x201D, false},
    {L"bdquo", 0x201E, false}, {L"euro", 0x20AC, false},  {L"bull", 0x2022, false},  {L"dagger", 0x2020, false},
    {L"Dagger", 0x2021, false}, {L"permil", 0x2030, false}, {L"lsaquo", 0x2039, false}, {L"rsaquo", 0x203A, false},
    {L"ensp", 0x2002, false},  {L"emsp", 0x2003, false},  {L"thinsp", 0x2009, false}, {L"zwnj", 0x200C, false},
    {L"zwj", 0x200D, false},   {L"lrm", 0x200E, false},   {L"rlm", 0x200F, false},   {L"larr", 0x2190, false},
    {L"rarr", 0x2192, false},  {L"uarr", 0x2191, false},  {L"darr", 0x2193, false},  {L"harr", 0x2194, false},
    {L"prime", 0x2032, false}, {L"Prime", 0x2033, false}, {L"oelig", 0x153, false},  {L"OElig", 0x152, false},
    {L"scaron", 0x161, false}, {L"Scaron", 0x160, false}, {L"Yuml", 0x178, false},   {L"fnof", 0x192, false},
    {L"circ", 0x2C6, false},   {L"tilde", 0x2DC, false},
};

// Numeric references to C1 controls mean Windows-1252 (HTML's rule).
const unsigned short kWindows1252[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// Reads a character reference at text[i] == '&'; on success appends the
// character, moves i past the reference and returns true.
bool ReadReference(const std::wstring& text, size_t& i, bool inAttribute, std::wstring& out) {
    size_t j = i + 1;
    if (j < text.size() && text[j] == L'#') {
        ++j;
        bool hex = j < text.size() && (text[j] == L'x' || text[j] == L'X');
        if (hex) ++j;
        size_t digits = j;
        unsigned long value = 0;
        bool overflow = false;
        while (j < text.size()) {
            wchar_t c = text[j];
            int d = c >= L'0' && c <= L'9'                 ? c - L'0'
                    : hex && c >= L'a' && c <= L'f'        ? c - L'a' + 10
                    : hex && c >= L'A' && c <= L'F'        ? c - L'A' + 10
                                                           : -1;
            if (d < 0) break;
            value = value * (hex ? 16 : 10) + static_cast<unsigned long>(d);
            if (value > 0x10FFFF) overflow = true, value = 0x110000;
            ++j;
        }
        if (j == digits) return false;
        if (j < text.size() && text[j] == L';') ++j;
        if (overflow || value == 0 || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
        if (value >= 0x80 && value <= 0x9F) value = kWindows1252[value - 0x80];
        AppendCodePoint(out, value);
        i = j;
        return true;
    }
    size_t end = j;
    while (end < text.size() && IsAsciiAlnum(text[end])) ++end;
    if (end == j) return false;
    const bool semicolon = end < text.size() && text[end] == L';';
    // Without a semicolon only a legacy name is read, and in an attribute
    // not when a letter, digit or '=' follows (HTML's rule for URLs).
    auto accept = [&](size_t nameLength, bool legacy, unsigned long cp) {
        size_t after = j + nameLength;
        bool withSemicolon = after < text.size() && text[after] == L';';
        if (!withSemicolon) {
            if (!legacy) return false;
            if (inAttribute && after < text.size() && (IsAsciiAlnum(text[after]) || text[after] == L'=')) return false;
        }
        AppendCodePoint(out, cp);
        i = after + (withSemicolon ? 1 : 0);
        return true;
    };
    const std::wstring name = text.substr(j, end - j);
    // The whole name first, then (without semicolon) the longest legacy prefix.
    for (int cp = 0; cp < 96; ++cp)
        if (name == kLatin1Names[cp]) return accept(name.size(), true, 0xA0 + cp);
    for (const NamedReference& ref : kOtherNames)
        if (name == ref.name) return accept(name.size(), ref.legacy, ref.cp);
    if (!semicolon) {
        for (size_t length = name.size() - 1; length >= 2; --length) {
            const std::wstring prefix = name.substr(0, length);
            for (int cp = 0; cp < 96; ++cp)
                if (prefix == kLatin1Names[cp]) return accept(length, true, 0xA0 + cp);
            for (const NamedReference& ref : kOtherNames)
                if (ref.legacy && prefix == ref.name) return accept(length, true, ref.cp);
        }
    }
    return false;
}

std::wstring DecodeReferences(const std::wstring& text, bool inAttribute) {
    if (text.find(L'&') == std::wstring::npos) return text;
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == L'&' && ReadReference(text, i, inAttribute, out)) continue;
        out += text[i++];
    }
    return out;
}

// -- CSS, as Word keeps it: declarations in order, names in lower case,
// values trimmed, font families quoted with a generic family after them and
// point sizes with one decimal.

Css ParseCss(const std::wstring& text) {
    Css css;
    size_t start = 0;
    wchar_t quote = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        wchar_t c = i < text.size() ? text[i] : L';';
        if (quote) {
            if (c == quote) quote = 0;
            if (i < text.size()) continue;
        } else if (c == L'"' || c == L'\'') {
            quote = c;
            continue;
        }
        if (c != L';') continue;
        const std::wstring declaration = text.substr(start, i - start);
        start = i + 1;
        const size_t colon = declaration.find(L':');
        if (colon == std::wstring::npos) continue;
        std::wstring name = Lower(Trim(declaration.substr(0, colon)));
        std::wstring value;
        bool space = false;
        for (wchar_t v : Trim(declaration.substr(colon + 1))) {
            if (IsSpace(v)) {
                space = true;
                continue;
            }
            if (space) value += L' ';
            space = false;
            value += v;
        }
        if (name.empty() || value.empty()) continue;
        if (name == L"font-family" && value[0] != L'"' && value[0] != L'\'' && value.find(L',') == std::wstring::npos) {
            static const wchar_t* const generic[] = {L"serif", L"sans-serif", L"monospace", L"cursive", L"fantasy"};
            bool isGeneric = false;
            for (const wchar_t* g : generic) isGeneric = isGeneric || Lower(value) == g;
            if (!isGeneric) {
                static const wchar_t* const serifs[] = {L"times new roman", L"georgia", L"cambria", L"garamond"};
                bool serif = false;
                for (const wchar_t* s : serifs) serif = serif || Lower(value) == s;
                value = L"\"" + value + L"\"," + (serif ? L"serif" : L"sans-serif");
            }
        }
        if (name == L"font-size" && value.size() > 2 && value.compare(value.size() - 2, 2, L"pt") == 0 &&
            std::all_of(value.begin(), value.end() - 2, [](wchar_t d) { return d >= L'0' && d <= L'9'; })) {
            value.insert(value.size() - 2, L".0");
        }
        bool replaced = false;
        for (auto& existing : css) {
            if (existing.first == name) existing.second = value, replaced = true;
        }
        if (!replaced) css.emplace_back(std::move(name), std::move(value));
    }
    return css;
}

void MergeCss(Css& into, const Css& from) {
    for (const auto& declaration : from) {
        bool replaced = false;
        for (auto& existing : into)
            if (existing.first == declaration.first) existing.second = declaration.second, replaced = true;
        if (!replaced) into.push_back(declaration);
    }
}

// Properties of a paragraph rather than of its text.
bool IsParagraphProperty(const std::wstring& name) {
    static const wchar_t* const names[] = {L"text-align", L"margin", L"margin-top", L"margin-right",
                                           L"margin-bottom", L"margin-left", L"text-indent", L"line-height",
                                           L"padding", L"padding-top", L"padding-right", L"padding-bottom",
                                           L"padding-left", L"page-break-before", L"page-break-after"};
    for (const wchar_t* n : names)
        if (name == n) return true;
    return name.rfind(L"border", 0) == 0 || name.rfind(L"mso-margin", 0) == 0;
}

// -- The document: paragraphs of runs.

struct Format {
    bool bold = false, italic = false, underline = false, strike = false, sub = false, sup = false;
    Css css;
    std::wstring href;
    bool operator==(const Format& o) const {
        return bold == o.bold && italic == o.italic && underline == o.underline && strike == o.strike &&
               sub == o.sub && sup == o.sup && css == o.css && href == o.href;
    }
};

struct Run {
    enum Kind { Text, Break, Image } kind = Text;
    std::wstring text;
    Format format;
    std::vector<Attribute> attributes;  // of an image
};

struct Paragraph {
    std::wstring tag = L"p";  // p, h1 ... h6, or hr for a rule
    std::wstring cls = L"MsoNormal";
    Css style;               // paragraph properties
    std::vector<Run> runs;
    bool explicitlyOpened = false;  // written as a paragraph: kept when empty
};

const wchar_t* FindAttribute(const std::vector<Attribute>& attributes, const wchar_t* name) {
    for (const Attribute& a : attributes)
        if (a.name == name) return a.value.c_str();
    return nullptr;
}

bool IsOneOf(const std::wstring& name, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* n : names)
        if (name == n) return true;
    return false;
}

bool IsHeading(const std::wstring& name) {
    return name.size() == 2 && name[0] == L'h' && name[1] >= L'1' && name[1] <= L'6';
}

bool IsContainerBlock(const std::wstring& name) {
    return IsOneOf(name, {L"div", L"blockquote", L"ul", L"ol", L"dl", L"table", L"thead", L"tbody", L"tfoot",
                          L"tr", L"td", L"th", L"caption", L"center", L"address", L"section", L"article",
                          L"header", L"footer", L"nav", L"aside", L"form", L"fieldset", L"figure", L"main",
                          L"figcaption", L"legend"});
}

bool IsParagraphBlock(const std::wstring& name) {
    return name == L"p" || IsHeading(name) || IsOneOf(name, {L"li", L"pre", L"dt", L"dd"});
}

bool IsInline(const std::wstring& name) {
    return IsOneOf(name, {L"b", L"strong", L"i", L"em", L"cite", L"dfn", L"var", L"u", L"ins", L"s", L"strike",
                          L"del", L"sub", L"sup", L"span", L"font", L"a", L"code", L"tt", L"kbd", L"samp"});
}

// What a page's head holds: dropped with whatever text it holds.
bool IsRawText(const std::wstring& name) { return IsOneOf(name, {L"script", L"style", L"title", L"xml"}); }

class WordDocument {
public:
    void StartTag(const std::wstring& name, const std::vector<Attribute>& attributes);
    void EndTag(const std::wstring& name);
    void Text(const std::wstring& text);
    std::vector<Paragraph> Finish() {
        EndParagraph();
        return std::move(m_paragraphs);
    }

private:
    struct Block {
        std::wstring tag;
        Css paragraphStyle;
        Css textStyle;
    };
    struct Inline {
        std::wstring tag;
        Format delta;  // the flags it sets, its css, its link
    };

    Format Current() const;
    Paragraph& Open();
    void OpenParagraph(const std::wstring& tag, bool isExplicit);
    void EndParagraph();
    void FlushOfficeParagraphMark();
    void AddRun(Run run);
    bool InPre() const {
        for (auto it = m_blocks.rbegin(); it != m_blocks.rend(); ++it)
            if (it->tag == L"pre") return true;
        return false;
    }

    std::vector<Paragraph> m_paragraphs;
    bool m_open = false;
    std::vector<Block> m_blocks;
    std::vector<Inline> m_inlines;
    int m_officeMark = 0;  // inside <o:p>, Word's paragraph mark
    std::wstring m_officeMarkText;
};

Format WordDocument::Current() const {
    Format f;
    for (const Block& b : m_blocks) MergeCss(f.css, b.textStyle);
    for (const Inline& i : m_inlines) {
        f.bold = f.bold || i.delta.bold;
        f.italic = f.italic || i.delta.italic;
        f.underline = f.underline || i.delta.underline;
        f.strike = f.strike || i.delta.strike;
        f.sub = f.sub || i.delta.sub;
        f.sup = f.sup || i.delta.sup;
        MergeCss(f.css, i.delta.css);
        if (!i.delta.href.empty()) f.href = i.delta.href;
    }
    return f;
}

void WordDocument::OpenParagraph(const std::wstring& tag, bool isExplicit) {
    EndParagraph();
    Paragraph p;
    p.explicitlyOpened = isExplicit;
    p.tag = IsHeading(tag) ? tag : L"p";
    if (tag == L"li") p.cls = L"MsoListParagraph";
    if (tag == L"pre") p.cls = L"MsoPlainText";
    if (!m_blocks.empty()) {
        p.style = m_blocks.back().paragraphStyle;
        // The alignment is inherited from the blocks around.
        bool aligned = false;
        for (const auto& d : p.style) aligned = aligned || d.first == L"text-align";
        for (auto it = m_blocks.rbegin(); !aligned && it != m_blocks.rend(); ++it) {
            for (const auto& d : it->paragraphStyle) {
                if (d.first == L"text-align") {
                    p.style.push_back(d);
                    aligned = true;
                }
            }
        }
    }
    m_paragraphs.push_back(std::move(p));
    m_open = true;
}

Paragraph& WordDocument::Open() {
    if (!m_open) OpenParagraph(L"", false);
    return m_paragraphs.back();
}

void WordDocument::EndParagraph() {
    FlushOfficeParagraphMark();
    if (!m_open) return;
    m_open = false;
    Paragraph& p = m_paragraphs.back();
    // Spaces at the end of a line are not shown, nor kept.
    while (!p.runs.empty() && p.runs.back().kind == Run::Text) {
        std::wstring& t = p.runs.back().text;
        while (!t.empty() && t.back() == L' ') t.pop_back();
        if (!t.empty()) break;
        p.runs.pop_back();
    }
    if (p.runs.empty() && !p.explicitlyOpened) m_paragraphs.pop_back();
}

void WordDocument::AddRun(Run run) {
    Paragraph& p = Open();
    if (run.kind == Run::Break) {
        while (!p.runs.empty() && p.runs.back().kind == Run::Text) {
            std::wstring& t = p.runs.back().text;
            while (!t.empty() && t.back() == L' ') t.pop_back();
            if (!t.empty()) break;
            p.runs.pop_back();
        }
    }
    if (run.kind == Run::Text) {
        // One space between words, none at the start of a line.
        const bool lineStart = p.runs.empty() || p.runs.back().kind == Run::Break;
        const bool afterSpace = !p.runs.empty() && p.runs.back().kind == Run::Text && !p.runs.back().text.empty() &&
                                p.runs.back().text.back() == L' ';
        if ((lineStart || afterSpace) && !run.text.empty() && run.text[0] == L' ') run.text.erase(0, 1);
        if (run.text.empty()) return;
        if (!p.runs.empty() && p.runs.back().kind == Run::Text && p.runs.back().format == run.format) {
            p.runs.back().text += run.text;
            return;
        }
    }
    p.runs.push_back(std::move(run));
}

void WordDocument::FlushOfficeParagraphMark() {
    if (m_officeMarkText.empty()) return;
    std::wstring text;
    text.swap(m_officeMarkText);
    // <o:p>&nbsp;</o:p> is the mark of an empty paragraph, not text.
    bool onlySpace = true;
    for (wchar_t c : text) onlySpace = onlySpace && (IsSpace(c) || c == 0xA0);
    if (onlySpace) return;
    const int depth = m_officeMark;
    m_officeMark = 0;
    Text(text);
    m_officeMark = depth;
}

void WordDocument::Text(const std::wstring& text) {
    if (m_officeMark > 0) {
        m_officeMarkText += text;
        return;
    }
    if (InPre()) {
        // Preformatted text: its line breaks and spaces are the sender's.
        std::wstring chunk;
        for (wchar_t c : text) {
            if (c == L'\r') continue;
            if (c == L'\n') {
                if (!chunk.empty()) AddRun({Run::Text, chunk, Current(), {}});
                chunk.clear();
                AddRun({Run::Break, L"", Current(), {}});
            } else {
                chunk += (c == L' ' || c == L'\t') ? wchar_t(0xA0) : c;
            }
        }
        if (!chunk.empty()) AddRun({Run::Text, chunk, Current(), {}});
        return;
    }
    std::wstring collapsed;
    for (wchar_t c : text) {
        if (IsSpace(c)) {
            if (collapsed.empty() || collapsed.back() != L' ') collapsed += L' ';
        } else {
            collapsed += c;
        }
    }
    if (collapsed.empty() || (collapsed == L" " && !m_open)) return;
    AddRun({Run::Text, collapsed, Current(), {}});
}

void WordDocument::StartTag(const std::wstring& name, const std::vector<Attribute>& attributes) {
    const wchar_t* style = FindAttribute(attributes, L"style");
    if (name == L"o:p") {
        ++m_officeMark;
        return;
    }
    if (name == L"br") {
        AddRun({Run::Break, L"", Current(), {}});
        return;
    }
    if (name == L"img") {
        Run image{Run::Image, L"", Current(), {}};
        for (const Attribute& a : attributes) {
            if (IsOneOf(a.name, {L"width", L"height", L"id", L"src", L"alt", L"align", L"border", L"title"})) {
                image.attributes.push_back(a);
            } else if (a.name == L"style") {
                std::wstring css;
                for (const auto& d : ParseCss(a.value)) css += (css.empty() ? L"" : L";") + d.first + L":" + d.second;
                if (!css.empty()) image.attributes.push_back({L"style", css});
            }
        }
        AddRun(std::move(image));
        return;
    }
    if (name == L"hr") {
        EndParagraph();
        Paragraph rule;
        rule.tag = L"hr";
        rule.explicitlyOpened = true;
        m_paragraphs.push_back(std::move(rule));
        return;
    }
    if (IsContainerBlock(name) || IsParagraphBlock(name)) {
        // A paragraph ends where another block begins.
        if ((IsParagraphBlock(name) || IsContainerBlock(name)) && !m_blocks.empty() &&
            (m_blocks.back().tag == L"p" || (name == L"li" && m_blocks.back().tag == L"li"))) {
            m_blocks.pop_back();
        }
        EndParagraph();
        Block block;
        block.tag = name;
        Css css = style ? ParseCss(style) : Css{};
        if (const wchar_t* align = FindAttribute(attributes, L"align")) {
            bool has = false;
            for (const auto& d : css) has = has || d.first == L"text-align";
            if (!has && *align) css.emplace_back(L"text-align", Lower(align));
        }
        for (auto& d : css) (IsParagraphProperty(d.first) ? block.paragraphStyle : block.textStyle).push_back(d);
        const wchar_t* cls = FindAttribute(attributes, L"class");
        m_blocks.push_back(std::move(block));
        if (IsParagraphBlock(name)) {
            // A list item or preformatted block that holds nothing is not kept.
            OpenParagraph(name, name == L"p" || IsHeading(name));
            if (name == L"p" && cls && IsOneOf(cls, {L"MsoListParagraph", L"MsoPlainText"})) {
                m_paragraphs.back().cls = cls;
            }
        }
        return;
    }
    if (IsInline(name)) {
        Inline frame;
        frame.tag = name;
        Format& f = frame.delta;
        f.bold = name == L"b" || name == L"strong";
        f.italic = IsOneOf(name, {L"i", L"em", L"cite", L"dfn", L"var"});
        f.underline = name == L"u" || name == L"ins";
        f.strike = IsOneOf(name, {L"s", L"strike", L"del"});
        f.sub = name == L"sub";
        f.sup = name == L"sup";
        if (IsOneOf(name, {L"code", L"tt", L"kbd", L"samp"})) f.css.emplace_back(L"font-family", L"\"Courier New\"");
        if (name == L"font") {
            std::wstring css;
            if (const wchar_t* face = FindAttribute(attributes, L"face")) css += std::wstring(L"font-family:") + face + L";";
            if (const wchar_t* color = FindAttribute(attributes, L"color")) css += std::wstring(L"color:") + color + L";";
            if (const wchar_t* size = FindAttribute(attributes, L"size")) {
                static const wchar_t* const sizes[] = {L"7.5pt", L"10.0pt", L"12.0pt", L"13.5pt",
                                                       L"18.0pt", L"24.0pt", L"36.0pt"};
                int n = static_cast<int>(std::wcstol(size, nullptr, 10));
                if (n >= 1 && n <= 7) css += std::wstring(L"font-size:") + sizes[n - 1] + L";";
            }
            f.css = ParseCss(css);
        }
        if (style) MergeCss(f.css, ParseCss(style));
        if (name == L"a") {
            if (const wchar_t* href = FindAttribute(attributes, L"href")) f.href = href;
        }
        m_inlines.push_back(std::move(frame));
        return;
    }
    // html, head, body, meta, link and tags Word does not know: the tag goes,
    // its text stays.
}

void WordDocument::EndTag(const std::wstring& name) {
    if (name == L"o:p") {
        if (m_officeMark > 0 && --m_officeMark == 0) FlushOfficeParagraphMark();
        return;
    }
    if (IsContainerBlock(name) || IsParagraphBlock(name)) {
        EndParagraph();
        for (size_t i = m_blocks.size(); i-- > 0;) {
            const std::wstring& tag = m_blocks[i].tag;
            if (tag == name || (IsHeading(tag) && IsHeading(name))) {
                m_blocks.resize(i);
                return;
            }
        }
        // HTML reads a </p> without its <p> as an empty paragraph.
        if (name == L"p") {
            OpenParagraph(L"p", true);
            EndParagraph();
        }
        return;
    }
    if (name == L"br") {  // read as <br>, as browsers do
        AddRun({Run::Break, L"", Current(), {}});
        return;
    }
    for (size_t i = m_inlines.size(); i-- > 0;) {
        if (m_inlines[i].tag == name) {
            m_inlines.erase(m_inlines.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// -- Reading HTML: a tokenizer after HTML's rules, as far as mail needs.

void Tokenize(const std::wstring& html, WordDocument& document) {
    const size_t n = html.size();
    size_t i = 0;
    std::wstring text;
    auto flushText = [&] {
        if (!text.empty()) document.Text(DecodeReferences(text, false));
        text.clear();
    };
    while (i < n) {
        if (html[i] != L'<') {
            text += html[i++];
            continue;
        }
        if (html.compare(i, 4, L"<!--") == 0) {
            flushText();
            size_t end = html.find(L"-->", i + 4);
            i = end == std::wstring::npos ? n : end + 3;
            continue;
        }
        if (i + 1 < n && (html[i + 1] == L'!' || html[i + 1] == L'?')) {
            flushText();  // a doctype, <![if ...]> and the like
            size_t end = html.find(L'>', i + 2);
            i = end == std::wstring::npos ? n : end + 1;
            continue;
        }
        const bool endTag = i + 1 < n && html[i + 1] == L'/';
        size_t j = i + (endTag ? 2 : 1);
        if (j >= n || !IsAsciiAlpha(html[j])) {
            if (endTag && j < n && html[j] == L'>') {  // "</>" is nothing
                i = j + 1;
                continue;
            }
            text += html[i++];
            continue;
        }
        flushText();
        size_t nameStart = j;
        while (j < n && !IsSpace(html[j]) && html[j] != L'/' && html[j] != L'>') ++j;
        const std::wstring name = Lower(html.substr(nameStart, j - nameStart));
        std::vector<Attribute> attributes;
        bool closed = false;
        while (j < n) {
            while (j < n && (IsSpace(html[j]) || html[j] == L'/')) ++j;
            if (j >= n) break;
            if (html[j] == L'>') {
                closed = true;
                ++j;
                break;
            }
            size_t a = j++;
            while (j < n && !IsSpace(html[j]) && html[j] != L'/' && html[j] != L'>' && html[j] != L'=') ++j;
            Attribute attribute{Lower(html.substr(a, j - a)), L""};
            size_t k = j;
            while (k < n && IsSpace(html[k])) ++k;
            if (k < n && html[k] == L'=') {
                j = k + 1;
                while (j < n && IsSpace(html[j])) ++j;
                if (j < n && (html[j] == L'"' || html[j] == L'\'')) {
                    const wchar_t quote = html[j++];
                    size_t end = html.find(quote, j);
                    if (end == std::wstring::npos) end = n;
                    attribute.value = html.substr(j, end - j);
                    j = end < n ? end + 1 : n;
                } else {
                    size_t v = j;
                    while (j < n && !IsSpace(html[j]) && html[j] != L'>') ++j;
                    attribute.value = html.substr(v, j - v);
                }
                attribute.value = DecodeReferences(attribute.value, true);
            }
            bool seen = false;  // the first of two same-named attributes counts
            for (const Attribute& other : attributes) seen = seen || other.name == attribute.name;
            if (!seen) attributes.push_back(std::move(attribute));
        }
        i = j;
        if (!closed) break;  // a tag cut off by the end of the text is not read
        if (endTag) {
            document.EndTag(name);
            continue;
        }
        if (IsRawText(name)) {
            // Up to its end tag, in any letter case.
            const std::wstring lowered = Lower(html.substr(i));
            size_t end = lowered.find(L"</" + name);
            if (end == std::wstring::npos) {
                i = n;
            } else {
                size_t close = html.find(L'>', i + end);
                i = close == std::wstring::npos ? n : close + 1;
            }
            continue;
        }
        document.StartTag(name, attributes);
    }
    flushText();
}

// -- Writing Word's HTML, wrapped.

class Wrapper {
public:
    // Text that no line break may split.
    void Put(const std::wstring& text) { m_chunk += text; }
    // A space where the line may break (the break replaces it).
    void Space() { End(true); }
    // A place where the line may break, with nothing written otherwise.
    void Opportunity() { End(false); }
    void NewLine() {
        End(false);
        m_out += m_line;
        m_out += L"\r\n";
        m_line.clear();
        m_lineStart = true;
        m_pendingSpace = false;
    }
    std::wstring Finish() {
        NewLine();
        return std::move(m_out);
    }

private:
    static size_t Width(const std::wstring& text) {
        size_t w = 0;
        for (wchar_t c : text) w += (c >= 0xDC00 && c <= 0xDFFF) ? 0 : 1;
        return w;
    }
    void End(bool space) {
        if (m_chunk.empty()) {
            m_pendingSpace = m_pendingSpace || space;
            return;
        }
        const std::wstring separator = m_pendingSpace ? L" " : L"";
        if (m_lineStart) {
            m_line = separator + m_chunk;
        } else if (Width(m_line) + Width(separator) + Width(m_chunk) > kWrapColumn && !m_line.empty()) {
            m_out += m_line;
            m_out += L"\r\n";
            m_line = m_chunk;
        } else {
            m_line += separator + m_chunk;
        }
        m_lineStart = false;
        m_chunk.clear();
        m_pendingSpace = space;
    }

    std::wstring m_out;
    std::wstring m_line;
    std::wstring m_chunk;
    bool m_pendingSpace = false;
    bool m_lineStart = true;
};

std::wstring EscapeText(wchar_t c) {
    switch (c) {
    case L'&': return L"&amp;";
    case L'<': return L"&lt;";
    case L'>': return L"&gt;";
    case 0xA0: return L"&nbsp;";
    default: return std::wstring(1, c);
    }
}

void PutAttribute(Wrapper& w, const std::wstring& name, const std::wstring& value) {
    w.Space();
    if (name == L"style") {
        w.Put(L"style='");
        Css css = ParseCss(value);
        for (size_t i = 0; i < css.size(); ++i) {
            std::wstring d = css[i].first + L":" + css[i].second;
            std::wstring escaped;
            for (wchar_t c : d) escaped += c == L'\'' ? L"&#39;" : c == L'&' ? L"&amp;" : std::wstring(1, c);
            w.Put(escaped);
            if (i + 1 < css.size()) {
                w.Put(L";");
                w.Opportunity();
            }
        }
        w.Put(L"'");
        return;
    }
    const bool plain = !value.empty() && std::all_of(value.begin(), value.end(), [](wchar_t c) {
        return IsAsciiAlnum(c) || c == L'-';
    });
    if (plain) {
        w.Put(name + L"=" + value);
        return;
    }
    std::wstring escaped;
    for (wchar_t c : value) escaped += c == L'"' ? L"&quot;" : c == L'&' ? L"&amp;" : std::wstring(1, c);
    w.Put(name + L"=\"" + escaped + L"\"");
}

std::wstring CssText(const Css& css) {
    std::wstring text;
    for (const auto& d : css) text += (text.empty() ? L"" : L";") + d.first + L":" + d.second;
    return text;
}

void PutRunText(Wrapper& w, const Run& run) {
    const Format& f = run.format;
    if (f.bold) w.Put(L"<b>");
    if (f.italic) w.Put(L"<i>");
    if (f.underline) w.Put(L"<u>");
    if (f.strike) w.Put(L"<s>");
    if (f.sub) w.Put(L"<sub>");
    if (f.sup) w.Put(L"<sup>");
    if (!f.css.empty()) {
        w.Put(L"<span");
        PutAttribute(w, L"style", CssText(f.css));
        w.Put(L">");
    }
    for (wchar_t c : run.text) {
        if (c == L' ') {
            w.Space();
        } else {
            w.Put(EscapeText(c));
        }
    }
    if (!f.css.empty()) w.Put(L"</span>");
    if (f.sup) w.Put(L"</sup>");
    if (f.sub) w.Put(L"</sub>");
    if (f.strike) w.Put(L"</s>");
    if (f.underline) w.Put(L"</u>");
    if (f.italic) w.Put(L"</i>");
    if (f.bold) w.Put(L"</b>");
}

void PutParagraph(Wrapper& w, const Paragraph& p) {
    w.NewLine();
    if (p.tag == L"hr") {
        w.Put(L"<hr");
        PutAttribute(w, L"size", L"2");
        PutAttribute(w, L"width", L"100%");
        PutAttribute(w, L"align", L"center");
        w.Put(L">");
        return;
    }
    w.Put(L"<" + p.tag);
    if (p.tag == L"p") PutAttribute(w, L"class", p.cls);
    for (const auto& d : p.style) {
        if (d.first == L"text-align" && IsOneOf(d.second, {L"left", L"center", L"right", L"justify"})) {
            PutAttribute(w, L"align", d.second);
        }
    }
    if (!p.style.empty()) PutAttribute(w, L"style", CssText(p.style));
    w.Put(L">");
    w.Opportunity();
    std::wstring link;
    for (const Run& run : p.runs) {
        if (run.format.href != link) {
            if (!link.empty()) w.Put(L"</a>");
            link = run.format.href;
            if (!link.empty()) {
                w.Put(L"<a");
                PutAttribute(w, L"href", link);
                w.Put(L">");
            }
        }
        if (run.kind == Run::Break) {
            w.Opportunity();
            w.Put(L"<br>");
            w.Opportunity();
        } else if (run.kind == Run::Image) {
            w.Put(L"<img");
            for (const Attribute& a : run.attributes) PutAttribute(w, a.name, a.value);
            w.Put(L">");
        } else {
            PutRunText(w, run);
        }
    }
    if (!link.empty()) w.Put(L"</a>");
    w.Opportunity();
    w.Put(p.runs.empty() ? L"<o:p>&nbsp;</o:p>" : L"<o:p></o:p>");
    w.Put(L"</" + p.tag + L">");
}

// Word's style block of a new message (Outlook 2013 and later, default
// font Calibri 11 pt), each line as Word writes it.
const wchar_t* const kStyleBlock[] = {
    L"<style><!--",
    L"/* Font Definitions */",
    L"@font-face",
    L"\t{font-family:\"Cambria Math\";",
    L"\tpanose-1:2 4 5 3 5 4 6 3 2 4;}",
    L"@font-face",
    L"\t{font-family:Calibri;",
    L"\tpanose-1:2 15 5 2 2 2 4 3 2 4;}",
    L"/* Style Definitions */",
    L"p.MsoNormal, li.MsoNormal, div.MsoNormal",
    L"\t{margin:0cm;",
    L"\tfont-size:11.0pt;",
    L"\tfont-family:\"Calibri\",sans-serif;}",
    L"a:link, span.MsoHyperlink",
    L"\t{mso-style-priority:99;",
    L"\tcolor:#0563C1;",
    L"\ttext-decoration:underline;}",
    L"p.MsoListParagraph, li.MsoListParagraph, div.MsoListParagraph",
    L"\t{mso-style-priority:34;",
    L"\tmargin-top:0cm;",
    L"\tmargin-right:0cm;",
    L"\tmargin-bottom:0cm;",
    L"\tmargin-left:36.0pt;",
    L"\tfont-size:11.0pt;",
    L"\tfont-family:\"Calibri\",sans-serif;}",
    L"p.MsoPlainText, li.MsoPlainText, div.MsoPlainText",
    L"\t{mso-style-priority:99;",
    L"\tmargin:0cm;",
    L"\tfont-size:11.0pt;",
    L"\tfont-family:\"Calibri\",sans-serif;}",
    L"span.EmailStyle17",
    L"\t{mso-style-type:personal-compose;",
    L"\tfont-family:\"Calibri\",sans-serif;",
    L"\tcolor:windowtext;}",
    L".MsoChpDefault",
    L"\t{mso-style-type:export-only;",
    L"\tfont-family:\"Calibri\",sans-serif;}",
    L"@page WordSection1",
    L"\t{size:612.0pt 792.0pt;",
    L"\tmargin:72.0pt 72.0pt 72.0pt 72.0pt;}",
    L"div.WordSection1",
    L"\t{page:WordSection1;}",
    L"--></style>",
};

std::wstring WordProcessorForm(const std::wstring& written) {
    WordDocument document;
    Tokenize(written, document);
    const std::vector<Paragraph> paragraphs = document.Finish();

    Wrapper w;
    w.Put(L"<html");
    PutAttribute(w, L"xmlns:v", L"urn:schemas-microsoft-com:vml");
    PutAttribute(w, L"xmlns:o", L"urn:schemas-microsoft-com:office:office");
    PutAttribute(w, L"xmlns:w", L"urn:schemas-microsoft-com:office:word");
    PutAttribute(w, L"xmlns:m", L"http://schemas.microsoft.com/office/2004/12/omml");
    PutAttribute(w, L"xmlns", L"http://www.w3.org/TR/REC-html40");
    w.Put(L">");
    w.NewLine();
    w.Put(L"<head>");
    w.NewLine();
    w.Put(L"<meta");
    PutAttribute(w, L"http-equiv", L"Content-Type");
    PutAttribute(w, L"content", L"text/html; charset=utf-8");
    w.Put(L">");
    w.NewLine();
    w.Put(L"<meta");
    PutAttribute(w, L"name", L"Generator");
    PutAttribute(w, L"content", L"Microsoft Word 15 (filtered medium)");
    w.Put(L">");
    for (const wchar_t* line : kStyleBlock) {
        w.NewLine();
        w.Put(line);
    }
    w.NewLine();
    w.Put(L"</head>");
    w.NewLine();
    w.Put(L"<body");
    PutAttribute(w, L"lang", L"EN-US");
    PutAttribute(w, L"link", L"#0563C1");
    PutAttribute(w, L"vlink", L"#954F72");
    PutAttribute(w, L"style", L"word-wrap:break-word");
    w.Put(L">");
    w.NewLine();
    w.Put(L"<div");
    PutAttribute(w, L"class", L"WordSection1");
    w.Put(L">");
    for (const Paragraph& p : paragraphs) PutParagraph(w, p);
    w.NewLine();
    w.Put(L"</div>");
    w.NewLine();
    w.Put(L"</body>");
    w.NewLine();
    w.Put(L"</html>");
    return w.Finish();
}

// ---------------------------------------------------------------------------
// The parser forms: a Linux program, started through Wine ("Wine can run
// native Linux programs": CreateProcess hands a file that is not a Windows
// program to the system), answering over a loopback socket, since Wine's
// pipes are its own and do not reach a Linux program.

constexpr DWORD kParserTimeoutMs = 120000;

// Generalised UTF-8, so that an unpaired surrogate goes there and back too.
std::string ToWtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long c = static_cast<unsigned long>(text[i]) & 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && (text[i + 1] & 0xFC00) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) + ((static_cast<unsigned long>(text[++i]) & 0xFFFF) - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring FromWtf8(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size() + (extra == 0 ? 1 : 0)) {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        unsigned long c = extra == 0 ? b : (b & (0x3F >> extra));
        bool bad = false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((t & 0xC0) != 0x80) bad = true;
            c = (c << 6) | (t & 0x3F);
        }
        if (bad) {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        AppendCodePoint(out, c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

struct HeapText {
    void* p = nullptr;
    ~HeapText() {
        if (p) HeapFree(GetProcessHeap(), 0, p);
    }
};

// Wine's own exports for its path mapping.
std::wstring DosPathOf(const std::wstring& unixPath) {
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return std::wstring();
    HeapText dos{toDos(ToWtf8(unixPath).c_str())};
    return dos.p ? std::wstring(static_cast<WCHAR*>(dos.p)) : std::wstring();
}

std::wstring UnixPathOf(const std::wstring& dosPath) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::wstring();
    HeapText unixPath{toUnix(dosPath.c_str())};
    return unixPath.p ? FromWtf8(static_cast<char*>(unixPath.p)) : std::wstring();
}

std::wstring DefaultScript() {
    std::wstring module(MAX_PATH, L'\0');
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size()))) == module.size())
        module.resize(module.size() * 2);
    module.resize(n);
    const size_t slash = module.find_last_of(L"\\/");
    return UnixPathOf(module.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + L"editor_form.py");
}

struct Socket {
    SOCKET s = INVALID_SOCKET;
    ~Socket() {
        if (s != INVALID_SOCKET) closesocket(s);
    }
};

struct Winsock {
    bool ok = false;
    Winsock() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
        if (ok) WSACleanup();
    }
};

bool Ready(SOCKET s, bool forWrite, DWORD deadline) {
    const DWORD now = GetTickCount();
    const long left = static_cast<long>(deadline - now);
    if (left <= 0) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{left / 1000, (left % 1000) * 1000};
    return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv) == 1;
}

bool RunParser(const wchar_t* which, const std::wstring& written, std::wstring& form) {
    const std::wstring interpreter = g_interpreter.empty() ? L"/usr/bin/python3" : g_interpreter;
    const std::wstring script = g_script.empty() ? DefaultScript() : g_script;
    const std::wstring dosInterpreter = DosPathOf(interpreter);
    if (dosInterpreter.empty()) return Fail(L"not running under Wine: cannot start " + interpreter);
    if (GetFileAttributesW(dosInterpreter.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return Fail(L"the parser's interpreter " + interpreter + L" is missing");
    }
    const std::wstring dosScript = DosPathOf(script);
    if (script.empty() || dosScript.empty() || GetFileAttributesW(dosScript.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return Fail(L"the parser's program " + script + L" is missing");
    }
    Winsock winsock;
    if (!winsock.ok) return Fail(L"WSAStartup failed");
    Socket listener;
    listener.s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (listener.s == INVALID_SOCKET || bind(listener.s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener.s, 1) != 0 || getsockname(listener.s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return Fail(L"no loopback socket for the parser (error " + std::to_wstring(WSAGetLastError()) + L")");
    }
    std::wstring command = L"python3 -I \"" + script + L"\" " + which + L" " + std::to_wstring(ntohs(address.sin_port));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(dosInterpreter.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return Fail(L"cannot start " + interpreter + L" (error " + std::to_wstring(GetLastError()) + L")");
    }
    // A Linux program has no Windows process: Wine returns success with a
    // null hProcess and a stale hThread (at times the value of a live handle
    // of ours, which closing it would take away), so nothing here is closed.

    const DWORD deadline = GetTickCount() + kParserTimeoutMs;
    if (!Ready(listener.s, false, deadline)) return Fail(std::wstring(L"the ") + which + L" parser did not answer");
    Socket connection;
    connection.s = accept(listener.s, nullptr, nullptr);
    if (connection.s == INVALID_SOCKET) return Fail(L"accept failed");
    const std::string input = ToWtf8(written);
    for (size_t sent = 0; sent < input.size();) {
        if (!Ready(connection.s, true, deadline)) return Fail(L"the parser took no input");
        const int chunk = static_cast<int>(std::min<size_t>(input.size() - sent, 65536));
        const int n = send(connection.s, input.data() + sent, chunk, 0);
        if (n <= 0) return Fail(L"sending to the parser failed");
        sent += static_cast<size_t>(n);
    }
    shutdown(connection.s, SD_SEND);
    std::string answer;
    char buffer[65536];
    for (;;) {
        if (!Ready(connection.s, false, deadline)) return Fail(L"the parser did not finish");
        const int n = recv(connection.s, buffer, sizeof(buffer), 0);
        if (n < 0) return Fail(L"reading from the parser failed");
        if (n == 0) break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    if (answer.compare(0, 3, "OK\n") != 0) {
        const std::string why = answer.compare(0, 4, "ERR\n") == 0 ? answer.substr(4) : "no answer";
        return Fail(std::wstring(L"the ") + which + L" parser failed: " + FromWtf8(why));
    }
    form = FromWtf8(answer.substr(3));
    return true;
}

}  // namespace

bool EditorForm(EditorKind kind, const std::wstring& written, std::wstring& form) {
    try {
        switch (kind) {
        case EditorKind::Verbatim:
            form = written;
            return true;
        case EditorKind::WordProcessor:
            form = WordProcessorForm(written);
            return true;
        case EditorKind::Html5Parser:
            return RunParser(L"html5", written, form);
        case EditorKind::LibxmlParser:
            return RunParser(L"libxml", written, form);
        }
        return Fail(L"no such editor");
    } catch (...) {
        return Fail(L"out of memory");
    }
}

std::wstring LastEditorError() { return g_lastError; }

const wchar_t* EditorName(EditorKind kind) {
    switch (kind) {
    case EditorKind::Verbatim: return L"verbatim";
    case EditorKind::WordProcessor: return L"word";
    case EditorKind::Html5Parser: return L"html5";
    case EditorKind::LibxmlParser: return L"libxml";
    }
    return L"?";
}

bool EditorFromName(const std::wstring& name, EditorKind& kind) {
    for (EditorKind k : {EditorKind::Verbatim, EditorKind::WordProcessor, EditorKind::Html5Parser,
                         EditorKind::LibxmlParser}) {
        if (name == EditorName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

void SetParserCommand(const std::wstring& interpreter, const std::wstring& script) {
    g_interpreter = interpreter;
    g_script = script;
}

}  // namespace kshost
