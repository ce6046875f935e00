#include "support/visible_text.h"

#include <cwchar>
#include <cwctype>
#include <utility>

namespace kstest {

// What a reader sees of a body, worked out here without the editors: tags
// gone (a block or a line break is a blank), the head and comments gone,
// references resolved, blanks collapsed.
std::wstring VisibleText(const std::wstring& html) {
    static const wchar_t* const blocks[] = {L"p", L"div", L"br", L"li", L"ul", L"ol", L"table", L"tr", L"td",
                                            L"th", L"pre", L"h1", L"h2", L"h3", L"body", L"html", L"hr"};
    std::wstring text;
    for (size_t i = 0; i < html.size();) {
        if (html.compare(i, 4, L"<!--") == 0) {
            size_t end = html.find(L"-->", i);
            i = end == std::wstring::npos ? html.size() : end + 3;
            continue;
        }
        if (html[i] != L'<') {
            text += html[i++];
            continue;
        }
        size_t end = html.find(L'>', i);
        if (end == std::wstring::npos) break;
        std::wstring name;
        for (size_t j = i + 1 + (html[i + 1] == L'/'); j < end && iswalnum(html[j]); ++j) name += towlower(html[j]);
        i = end + 1;
        if (html[i - 2] != L'/' && (name == L"style" || name == L"title")) {
            size_t close = html.find(L"</", i);
            i = close == std::wstring::npos ? html.size() : html.find(L'>', close) + 1;
            continue;
        }
        for (const wchar_t* block : blocks)
            if (name == block) text += L' ';
    }
    const std::pair<const wchar_t*, const wchar_t*> references[] = {
        {L"&amp;", L"&"}, {L"&lt;", L"<"}, {L"&gt;", L">"}, {L"&nbsp;", L" "}, {L"&#169;", L"\u00a9"},
        {L"&#169", L"\u00a9"}, {L"&copy;", L"\u00a9"}, {L"&copy", L"\u00a9"}, {L"&#x263A;", L"\u263a"}};
    std::wstring decoded;
    for (size_t i = 0; i < text.size();) {
        bool found = false;
        for (const auto& r : references) {
            if (text.compare(i, wcslen(r.first), r.first) == 0) {
                decoded += r.second;
                i += wcslen(r.first);
                found = true;
                break;
            }
        }
        if (!found) decoded += text[i++];
    }
    std::wstring collapsed;
    for (wchar_t c : decoded) {
        const bool blank = c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xA0;
        if (blank && (collapsed.empty() || collapsed.back() == L' ')) continue;
        collapsed += blank ? L' ' : c;
    }
    while (!collapsed.empty() && collapsed.back() == L' ') collapsed.pop_back();
    return collapsed;
}

std::size_t ClaimsIn(const std::wstring& html) {
    const std::wstring text = VisibleText(html);
    const std::wstring claim = L"This message was secured by KestrinCorp";
    std::size_t count = 0;
    for (std::size_t at = text.find(claim); at != std::wstring::npos; at = text.find(claim, at + claim.size())) ++count;
    return count;
}

}  // namespace kstest
