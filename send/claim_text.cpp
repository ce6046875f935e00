#include "send/claim_text.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "addin/text_rules.h"

namespace ks {

namespace {

// The footer's visible text with every blank taken out: editors wrap lines
// and turn blanks into no-break spaces, but keep the words.
constexpr std::wstring_view kClaimOpening = L"Thismessagewassecuredby";
constexpr std::wstring_view kClaimMaker = L"KestrinCorp";
constexpr std::wstring_view kClaimInvitation = L"ToreachKestrinCorp,goto:";
// Between the opening and the invitation stand the maker's name, the
// copyright sign (as a character, an entity, or the bare "&#169" that
// branding writes) and a full stop.
constexpr std::size_t kLongestMaker = 24;
// How far back from the end a claim still counts as standing at the end
// when its form is not recognised: the footer's visible characters (about
// 115 without blanks) and room for what an editor adds.
constexpr std::size_t kClaimTail = 200;

enum class Kind : unsigned char { Text, Open, Close, Void, Hidden };

struct Token {
    std::size_t begin;
    std::size_t end;
    Kind kind;
};

bool IsBlank(wchar_t c) noexcept {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == 0x00A0;
}

bool IsAsciiLetter(wchar_t c) noexcept {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool SameLetters(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

bool StartsWithLetters(std::wstring_view text, std::size_t at, std::wstring_view prefix) noexcept {
    return at + prefix.size() <= text.size() && SameLetters(text.substr(at, prefix.size()), prefix);
}

// A tag's name: from after "<" or "</" up to a blank, "/" or ">". As in an
// HTML tokenizer, quotes and "=" are part of a name, so branding's
// "<spanstyle='...'>" is one odd element.
std::wstring_view TagName(std::wstring_view body, const Token& tag) noexcept {
    std::size_t at = tag.begin + (tag.kind == Kind::Close ? 2 : 1);
    std::size_t end = at;
    while (end < tag.end && !IsBlank(body[end]) && body[end] != L'/' && body[end] != L'>') ++end;
    return body.substr(at, end - at);
}

bool IsVoidElement(std::wstring_view name) noexcept {
    static constexpr std::wstring_view kVoid[] = {L"br",   L"img",   L"hr",  L"meta",  L"link",   L"input", L"wbr",
                                                  L"area", L"base",  L"col", L"embed", L"param",  L"source",
                                                  L"track"};
    for (std::wstring_view v : kVoid) {
        if (SameLetters(name, v)) return true;
    }
    return false;
}

// The elements that hold the whole document or its body: a footer's range
// never takes in their tags.
bool IsDocumentElement(std::wstring_view name) noexcept {
    return SameLetters(name, L"body") || SameLetters(name, L"html");
}

// The opening tags a footer may begin with: the block that holds it, and
// the inline markup and paragraph an editor puts inside.
enum class FooterTag { None, Inline, Block };
FooterTag FooterTagKind(std::wstring_view name) noexcept {
    if (SameLetters(name, L"div")) return FooterTag::Block;
    static constexpr std::wstring_view kInline[] = {L"p", L"br", L"span", L"font", L"b", L"i", L"u", L"o:p"};
    for (std::wstring_view inlineName : kInline) {
        if (SameLetters(name, inlineName)) return FooterTag::Inline;
    }
    return FooterTag::None;
}

bool IsRawTextElement(std::wstring_view name) noexcept {
    return SameLetters(name, L"style") || SameLetters(name, L"script") || SameLetters(name, L"title") ||
           SameLetters(name, L"textarea") || SameLetters(name, L"xmp");
}

// The end of the tag that starts at `at`: its ">" (quoted attribute values
// may hold one), or the body's end.
std::size_t TagEnd(std::wstring_view body, std::size_t at) noexcept {
    const std::size_t n = body.size();
    std::size_t i = at + 1;
    while (i < n && !IsBlank(body[i]) && body[i] != L'>') ++i;  // the name
    while (i < n && body[i] != L'>') {
        if (body[i] != L'=') {
            ++i;
            continue;
        }
        ++i;
        while (i < n && IsBlank(body[i])) ++i;
        if (i < n && (body[i] == L'"' || body[i] == L'\'')) {
            const wchar_t* close = std::wmemchr(body.data() + i + 1, body[i], n - i - 1);
            i = close ? static_cast<std::size_t>(close - body.data()) + 1 : n;
        }
    }
    return i < n ? i + 1 : n;
}

std::size_t Find(std::wstring_view body, std::size_t from, std::wstring_view what) noexcept {
    const std::size_t at = body.find(what, from);
    return at == std::wstring_view::npos ? body.size() : at;
}

// The end of a raw-text element's content (style, script...): the start of
// its closing tag, in any letter case, or the body's end.
std::size_t RawTextEnd(std::wstring_view body, std::size_t from, std::wstring_view name) noexcept {
    for (std::size_t at = from;; ++at) {
        at = Find(body, at, L"</");
        if (at == body.size() || StartsWithLetters(body, at + 2, name)) return at;
    }
}

// Splits the body into text runs and markup, once, front to back: markup
// read backwards cannot be told from text ("a > b", a ">" in a quoted value).
std::vector<Token> Tokenize(std::wstring_view body) {
    std::vector<Token> tokens;
    const std::size_t n = body.size();
    std::size_t at = 0;
    while (at < n) {
        if (body[at] != L'<' || at + 1 == n) {
            const wchar_t* open = std::wmemchr(body.data() + at + 1, L'<', n - at - 1);
            std::size_t end = open ? static_cast<std::size_t>(open - body.data()) : n;
            if (!tokens.empty() && tokens.back().kind == Kind::Text) {
                tokens.back().end = end;
            } else {
                tokens.push_back({at, end, Kind::Text});
            }
            at = end;
            continue;
        }
        const wchar_t next = body[at + 1];
        if (StartsWithLetters(body, at, L"<!--")) {
            const std::size_t close = Find(body, at + 4, L"-->");
            const std::size_t end = close == n ? n : close + 3;
            tokens.push_back({at, end, Kind::Hidden});
            at = end;
        } else if (next == L'!' || next == L'?') {
            const wchar_t* close = std::wmemchr(body.data() + at, L'>', n - at);
            const std::size_t end = close ? static_cast<std::size_t>(close - body.data()) + 1 : n;
            tokens.push_back({at, end, Kind::Hidden});
            at = end;
        } else if (next == L'/' && at + 2 < n && IsAsciiLetter(body[at + 2])) {
            const std::size_t end = TagEnd(body, at + 1);
            tokens.push_back({at, end, Kind::Close});
            at = end;
        } else if (IsAsciiLetter(next)) {
            const std::size_t end = TagEnd(body, at);
            Token tag{at, end, Kind::Open};
            const std::wstring_view name = TagName(body, tag);
            if (IsVoidElement(name) || (end - at >= 3 && body[end - 2] == L'/' && body[end - 1] == L'>')) {
                tag.kind = Kind::Void;
            }
            tokens.push_back(tag);
            at = end;
            if (tag.kind == Kind::Open && IsRawTextElement(name)) {
                const std::size_t close = RawTextEnd(body, at, name);
                if (close > at) tokens.push_back({at, close, Kind::Hidden});
                at = close;
            }
        } else {
            // A "<" that starts no markup is text.
            if (!tokens.empty() && tokens.back().kind == Kind::Text) {
                tokens.back().end = at + 1;
            } else {
                tokens.push_back({at, at + 1, Kind::Text});
            }
            ++at;
        }
    }
    return tokens;
}

// One visible character and where it stands in the body.
struct Visible {
    wchar_t character;
    std::size_t at;
};

// Reads a text run from its end towards its start, one visible, non-blank
// character at a time; an entity ("&amp;", "&#169;") reads as one
// character, a no-break space as a blank.
class BackwardText {
public:
    BackwardText(std::wstring_view body, const Token& text) noexcept
        : m_body(body), m_begin(text.begin), m_at(text.end) {}

    bool Next(Visible& visible) noexcept {
        while (m_at > m_begin) {
            std::size_t at = --m_at;
            wchar_t c = m_body[at];
            if (c == L';') {
                const std::size_t amp = EntityStart(at);
                if (amp != std::wstring_view::npos) {
                    c = Decode(m_body.substr(amp + 1, at - amp - 1));
                    m_at = at = amp;
                }
            }
            if (!IsBlank(c)) {
                visible = {c, at};
                return true;
            }
        }
        return false;
    }

    // Whether only blanks stand before the character at `at` in this run.
    bool OnlyBlanksBefore(std::size_t at) const noexcept {
        BackwardText rest(*this);
        rest.m_at = at;
        Visible ignored{};
        return !rest.Next(ignored);
    }

private:
    std::size_t EntityStart(std::size_t semicolon) const noexcept {
        const std::size_t lowest = semicolon > m_begin + 12 ? semicolon - 12 : m_begin;
        for (std::size_t i = semicolon; i-- > lowest;) {
            const wchar_t c = m_body[i];
            if (c == L'&') return i + 1 < semicolon ? i : std::wstring_view::npos;
            if (!IsAsciiLetter(c) && !(c >= L'0' && c <= L'9') && c != L'#') break;
        }
        return std::wstring_view::npos;
    }

    static wchar_t Decode(std::wstring_view name) noexcept {
        if (name == L"nbsp" || name == L"#160" || SameLetters(name, L"#xa0")) return 0x00A0;
        if (name == L"amp" || name == L"#38") return L'&';
        if (name == L"copy" || name == L"#169" || SameLetters(name, L"#xa9")) return 0x00A9;
        return 0xFFFD;  // some other character: visible, matches no word of the claim
    }

    std::wstring_view m_body;
    std::size_t m_begin;
    std::size_t m_at;
};

// Walks the visible characters of the tokens before `limit`, last first,
// across markup: hidden content (comments, styles) is skipped.
class BackwardVisible {
public:
    BackwardVisible(std::wstring_view body, const std::vector<Token>& tokens, std::size_t limit) noexcept
        : m_body(body), m_tokens(tokens), m_index(limit), m_text(body, Token{0, 0, Kind::Text}) {}

    // The next visible character, and the index of its token.
    bool Next(Visible& visible, std::size_t& token) noexcept {
        for (;;) {
            if (m_inText && m_text.Next(visible)) {
                token = m_index;
                return true;
            }
            m_inText = false;
            if (m_index == 0) return false;
            --m_index;
            const Token& t = m_tokens[m_index];
            if (t.kind == Kind::Text) {
                m_text = BackwardText(m_body, t);
                m_inText = true;
            } else if (t.kind == Kind::Open && SameLetters(TagName(m_body, t), L"a")) {
                m_crossedLink = true;
            }
        }
    }

    // Whether an opening link tag stood between the last two characters.
    bool TakeCrossedLink() noexcept {
        const bool crossed = m_crossedLink;
        m_crossedLink = false;
        return crossed;
    }

private:
    std::wstring_view m_body;
    const std::vector<Token>& m_tokens;
    std::size_t m_index;
    BackwardText m_text;
    bool m_inText = false;
    bool m_crossedLink = false;
};

// Whether `reversed` (characters last first) ends, read forwards, with `word`.
bool EndsReversedWith(const std::wstring& reversed, std::wstring_view word) noexcept {
    if (reversed.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (reversed[reversed.size() - 1 - i] != word[i]) return false;
    }
    return true;
}

// The value of the "href" attribute of an opening link tag, with "&amp;"
// read as "&"; empty when it has none.
std::wstring LinkTarget(std::wstring_view body, const Token& tag) {
    std::wstring_view inside = body.substr(tag.begin, tag.end - tag.begin);
    for (std::size_t at = 2; at + 5 < inside.size(); ++at) {
        if (!IsBlank(inside[at - 1]) || !StartsWithLetters(inside, at, L"href")) continue;
        std::size_t i = at + 4;
        while (i < inside.size() && IsBlank(inside[i])) ++i;
        if (i == inside.size() || inside[i] != L'=') continue;
        ++i;
        while (i < inside.size() && IsBlank(inside[i])) ++i;
        std::size_t end;
        if (i < inside.size() && (inside[i] == L'"' || inside[i] == L'\'')) {
            end = inside.find(inside[i], i + 1);
            ++i;
        } else {
            end = i;
            while (end < inside.size() && !IsBlank(inside[end]) && inside[end] != L'>') ++end;
        }
        if (end == std::wstring_view::npos) end = inside.size();
        std::wstring target;
        for (std::size_t k = i; k < end; ++k) {
            target.push_back(inside[k]);
            if (inside[k] == L'&' && inside.compare(k, 5, L"&amp;") == 0) k += 4;
        }
        return target;
    }
    return {};
}

struct Claim {
    std::size_t firstToken;  // the opening tags in front of its words
    std::size_t first;       // where the range starts in the body
    std::size_t linkText;    // the token holding the last character of the link's text
};

// Recognises the claim whose link text ends in the last visible character
// before `limit`: the link to the information page, and in front of it the
// claim's words.
bool ClaimBefore(std::wstring_view body, const std::vector<Token>& tokens, std::size_t limit, Claim& claim) {
    BackwardVisible visible(body, tokens, limit);
    Visible c{};
    std::size_t token = 0;

    // The link: its text is the information page's address, and its tag
    // points there.
    const std::wstring_view address = kInformationPageAddress;
    std::size_t matched = 0;
    while (matched < address.size()) {
        if (!visible.Next(c, token)) return false;
        // Markup after the link (an anchor of the editor's own) may hold
        // another link's start; within the address, none may stand.
        if (visible.TakeCrossedLink() && matched > 0) return false;
        if (matched == 0) claim.linkText = token;
        if (c.character != address[address.size() - 1 - matched]) return false;
        ++matched;
    }
    std::size_t linkTag = token;
    while (linkTag > 0 && !(tokens[linkTag].kind == Kind::Open && SameLetters(TagName(body, tokens[linkTag]), L"a"))) {
        const Token& t = tokens[linkTag];
        if (t.kind == Kind::Text && linkTag != token && !BackwardText(body, t).OnlyBlanksBefore(t.end)) return false;
        --linkTag;
    }
    if (tokens[linkTag].kind != Kind::Open || !SameLetters(LinkTarget(body, tokens[linkTag]), address)) return false;

    // The words, read from the link's tag backwards.
    BackwardVisible words(body, tokens, linkTag);
    std::wstring reversed;
    const std::size_t longest = kClaimOpening.size() + kLongestMaker + kClaimInvitation.size();
    while (reversed.size() < longest) {
        if (!words.Next(c, token)) return false;
        reversed.push_back(c.character);
        if (EndsReversedWith(reversed, kClaimOpening)) break;
    }
    if (!EndsReversedWith(reversed, kClaimOpening)) return false;
    const std::wstring forward(reversed.rbegin(), reversed.rend());
    if (forward.size() < kClaimOpening.size() + kClaimMaker.size() + kClaimInvitation.size()) return false;
    if (forward.compare(forward.size() - kClaimInvitation.size(), kClaimInvitation.size(), kClaimInvitation) != 0) {
        return false;
    }
    const std::wstring_view maker = std::wstring_view(forward).substr(
        kClaimOpening.size(), forward.size() - kClaimOpening.size() - kClaimInvitation.size());
    if (maker.find(kClaimMaker) == std::wstring_view::npos) return false;

    // The range starts at the claim's first word, or, where only blanks
    // stand before it in its run, at the opening tags in front of it.
    claim.first = c.at;
    claim.firstToken = token;
    if (!BackwardText(body, tokens[token]).OnlyBlanksBefore(c.at)) return true;
    // Only blanks before the words in their run: the range takes in the
    // footer's own opening tags in front of them (its block, and the line
    // break and spans in it, as branding writes them and editors rewrite
    // them), up to the sender's markup.
    std::size_t start = token;
    while (start > 0) {
        const Token& t = tokens[start - 1];
        const bool blankText = t.kind == Kind::Text && BackwardText(body, t).OnlyBlanksBefore(t.end);
        const FooterTag tag = (t.kind == Kind::Open || t.kind == Kind::Void) ? FooterTagKind(TagName(body, t))
                                                                               : FooterTag::None;
        if (tag == FooterTag::None && !blankText) break;
        --start;
        if (tag == FooterTag::Block) break;  // the footer's block holds all of it
    }
    // Blanks in front of the footer's tags are the layout of what precedes it.
    while (start < token && tokens[start].kind == Kind::Text) ++start;
    claim.firstToken = start;
    claim.first = tokens[start].begin;
    return true;
}

// Where the range of a recognised claim ends: past the closing tags of the
// elements it opened, and of the empty ones an editor puts at a paragraph's
// end ("<o:p></o:p>"), never past the body's or the document's end.
std::size_t ClaimEnd(std::wstring_view body, const std::vector<Token>& tokens, const Claim& claim,
                     std::size_t limit) {
    std::vector<std::wstring_view> open;
    auto close = [&](std::wstring_view name) {
        for (std::size_t i = open.size(); i-- > 0;) {
            if (SameLetters(open[i], name)) {
                open.resize(i);
                return;
            }
        }
    };
    for (std::size_t i = claim.firstToken; i <= claim.linkText; ++i) {
        const Token& t = tokens[i];
        if (t.kind == Kind::Open) open.push_back(TagName(body, t));
        if (t.kind == Kind::Close) close(TagName(body, t));
    }
    std::size_t end = tokens[claim.linkText].end;
    for (std::size_t i = claim.linkText + 1; i < limit && !open.empty(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Kind::Text && BackwardText(body, t).OnlyBlanksBefore(t.end)) continue;
        if (t.kind == Kind::Hidden) continue;
        if (t.kind == Kind::Close) {
            const std::wstring_view name = TagName(body, t);
            if (IsDocumentElement(name)) break;
            close(name);  // one that closes nothing here is the footer's own stray
            end = t.end;
            continue;
        }
        if (t.kind == Kind::Open && i + 1 < limit && tokens[i + 1].kind == Kind::Close &&
            SameLetters(TagName(body, t), TagName(body, tokens[i + 1]))) {
            end = tokens[++i].end;
            continue;
        }
        break;
    }
    return end;
}

}  // namespace

namespace {

// Whether only what closes the document stands after `from`: blanks,
// comments, the closing body and html tags and at most one closing block
// (the editor's own wrapper round the whole message). A footer followed by
// more, such as the end of a quotation, sits inside the sender's text.
bool OnlyDocumentEndAfter(std::wstring_view body, const std::vector<Token>& tokens, std::size_t from) noexcept {
    auto it = std::lower_bound(tokens.begin(), tokens.end(), from,
                               [](const Token& t, std::size_t at) { return t.begin < at; });
    int blocks = 0;
    for (; it != tokens.end(); ++it) {
        const Token& t = *it;
        if (t.kind == Kind::Hidden) continue;
        if (t.kind == Kind::Text) {
            if (BackwardText(body, t).OnlyBlanksBefore(t.end)) continue;
            return false;
        }
        if (t.kind != Kind::Close) return false;
        const std::wstring_view name = TagName(body, t);
        if (IsDocumentElement(name)) continue;
        if (FooterTagKind(name) != FooterTag::Block || ++blocks > 1) return false;
    }
    return true;
}

bool AllBlank(std::wstring_view text) noexcept {
    for (wchar_t c : text) {
        if (!IsBlank(c)) return false;
    }
    return true;
}

// The visible characters of the body without blanks, in order.
std::wstring VisibleText(std::wstring_view body, const std::vector<Token>& tokens) {
    BackwardVisible visible(body, tokens, tokens.size());
    std::wstring reversed;
    Visible c{};
    std::size_t token = 0;
    while (visible.Next(c, token)) reversed.push_back(c.character);
    return {reversed.rbegin(), reversed.rend()};
}

// Where the claim's words end in blank-free visible text, searching from
// `from`; npos when they do not stand there. An opening without the maker's
// name close behind it is not the claim.
std::size_t FindClaimWords(std::wstring_view text, std::size_t from) noexcept {
    for (std::size_t at = text.find(kClaimOpening, from); at != std::wstring_view::npos;
         at = text.find(kClaimOpening, at + 1)) {
        const std::size_t maker = text.find(kClaimMaker, at + kClaimOpening.size());
        if (maker != std::wstring_view::npos && maker - at - kClaimOpening.size() <= kLongestMaker) {
            return maker + kClaimMaker.size();
        }
    }
    return std::wstring_view::npos;
}

}  // namespace

TrailingClaims FindTrailingClaims(std::wstring_view body) {
    const std::vector<Token> tokens = Tokenize(body);
    TrailingClaims found;
    std::vector<TextRange> ranges;  // last first
    std::size_t limit = tokens.size();
    Claim claim{};
    bool recognised = false;
    while ((recognised = ClaimBefore(body, tokens, limit, claim))) {
        const TextRange range{claim.first, ClaimEnd(body, tokens, claim, limit)};
        // The last footer ends the message; each failed send added its
        // footer right after the one before.
        const bool own = ranges.empty() ? OnlyDocumentEndAfter(body, tokens, range.last)
                                        : AllBlank(body.substr(range.last, ranges.back().first - range.last));
        if (!own) break;
        ranges.push_back(range);
        limit = claim.firstToken;
        // Words that share a run with text before them end the search: what
        // stands before is the sender's.
        if (claim.first != tokens[claim.firstToken].begin) break;
    }
    found.own.assign(ranges.rbegin(), ranges.rend());
    if (found.own.empty() && !recognised) {
        // No whole footer at the end, but its words may be there, in a form
        // that lost the link or the footer's shape.
        const std::wstring visible = VisibleText(body, tokens);
        const std::size_t tail = visible.size() > kClaimTail ? visible.size() - kClaimTail : 0;
        // The claim's words, then its second line (the invitation or the
        // page's address): a sentence about it in the sender's own words
        // ends otherwise.
        const std::wstring_view page = std::wstring_view(kInformationPageAddress).substr(8);  // past "https://"
        for (std::size_t end = FindClaimWords(visible, tail); end != std::wstring::npos && !found.unrecognised;
             end = FindClaimWords(visible, end)) {
            const std::wstring_view rest = std::wstring_view(visible).substr(end);
            found.unrecognised = rest.find(kClaimInvitation) != std::wstring_view::npos ||
                                 rest.find(page) != std::wstring_view::npos;
        }
    }
    return found;
}

std::size_t CountClaims(std::wstring_view body) {
    const std::wstring visible = VisibleText(body, Tokenize(body));
    std::size_t count = 0;
    for (std::size_t end = FindClaimWords(visible, 0); end != std::wstring::npos; end = FindClaimWords(visible, end)) {
        ++count;
    }
    return count;
}

std::size_t LengthWithout(std::wstring_view body, const std::vector<TextRange>& ranges) noexcept {
    std::size_t length = body.size();
    for (const TextRange& r : ranges) length -= r.last - r.first;
    return length;
}

void WriteWithout(std::wstring_view body, const std::vector<TextRange>& ranges, wchar_t* out) noexcept {
    std::size_t from = 0;
    for (const TextRange& r : ranges) {
        std::wmemcpy(out, body.data() + from, r.first - from);
        out += r.first - from;
        from = r.last;
    }
    if (body.size() > from) std::wmemcpy(out, body.data() + from, body.size() - from);
}

}  // namespace ks
