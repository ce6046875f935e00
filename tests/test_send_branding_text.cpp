// The branding text rule on its own: where the footer goes, what stays, and
// that the footer is word for word what the gateway's readers expect.
#include <string>

#include <gtest/gtest.h>

#include "send/branding_text.h"
#include "support/expected_texts.h"

using ks::FindClosingHtmlTag;

namespace {

std::wstring Branded(const std::wstring& body) {
    const size_t at = ks::BrandingPoint(body);
    EXPECT_NE(at, std::wstring::npos) << "body was not branded";
    if (at == std::wstring::npos) return body;
    std::wstring out(ks::BrandedLength(body), L'?');
    ks::WriteBrandedText(body, at, out.data());
    return out;
}

bool LeftAlone(const std::wstring& body) {
    return ks::BrandingPoint(body) == std::wstring::npos;
}

// The body with the footers branding left taken out.
std::wstring Unbranded(const std::wstring& body) {
    const ks::TextRange footers = ks::BrandingFooters(body);
    return body.substr(0, footers.first) + body.substr(footers.last);
}

}  // namespace

TEST(BrandingText, FooterIsWordForWordWithItsOddSpellings) {
    const std::wstring footer = ks::BrandingFooter();
    EXPECT_EQ(footer, kstest::expected::Footer());
    EXPECT_NE(footer.find(L"<b><spanstyle='font-size:13.0pt;font-family:Arial;color:black'>&#169</span>"),
              std::wstring::npos);
    EXPECT_EQ(footer.find(L"&#169;"), std::wstring::npos);
}

TEST(BrandingText, FooterGoesInFrontOfTheClosingTag) {
    EXPECT_EQ(Branded(L"<html><body>Hi</body></html>"),
              L"<html><body>Hi</body>" + kstest::expected::Footer() + L"</html>");
}

TEST(BrandingText, TextAfterTheClosingTagIsKept) {
    EXPECT_EQ(Branded(L"<html><body>a</body></html>\r\n"),
              L"<html><body>a</body>" + kstest::expected::Footer() + L"</html>\r\n");
    EXPECT_EQ(Branded(L"<html>x</html><!-- trailer --></html>tail"),
              L"<html>x" + kstest::expected::Footer() + L"</html><!-- trailer --></html>tail");
}

TEST(BrandingText, TagInCapitalsIsFoundAndWrittenInLowerCase) {
    EXPECT_EQ(Branded(L"<HTML><BODY>Hi</BODY></HTML>"),
              L"<HTML><BODY>Hi</BODY>" + kstest::expected::Footer() + L"</html>");
    EXPECT_EQ(Branded(L"x</HtMl>y"), L"x" + kstest::expected::Footer() + L"</html>y");
}

TEST(BrandingText, OnlyAsciiLettersFold) {
    // Full-width letters are no closing tag, whatever the locale folds.
    EXPECT_EQ(FindClosingHtmlTag(L"</\uFF28\uFF34\uFF2D\uFF2C>"), std::wstring::npos);
    EXPECT_EQ(FindClosingHtmlTag(L"</html >"), std::wstring::npos);
    EXPECT_EQ(FindClosingHtmlTag(L"<</html>"), 1u);
}

TEST(BrandingText, BodiesThatNeedNoBrandingAreLeftAlone) {
    EXPECT_TRUE(LeftAlone(L""));
    EXPECT_TRUE(LeftAlone(L"plain text, no markup"));
    EXPECT_TRUE(LeftAlone(L"<html><body>unterminated"));
    EXPECT_TRUE(LeftAlone(L"</html>"));
    EXPECT_TRUE(LeftAlone(L"</HTML> and more"));
    EXPECT_TRUE(LeftAlone(L"</htm"));
}

TEST(BrandingText, OnlyTheFirstClosingTagGetsTheFooter) {
    EXPECT_EQ(Branded(L"a</html>b</html>"), L"a" + kstest::expected::Footer() + L"</html>b</html>");
}

TEST(BrandingText, AlreadyBrandedBodyGetsASecondFooter) {
    const std::wstring once = Branded(L"<html>x</html>");
    const std::wstring twice = Branded(once);
    EXPECT_EQ(twice, L"<html>x" + kstest::expected::Footer() + kstest::expected::Footer() + L"</html>");
}

TEST(BrandingText, CharactersOutsideAnyCodePageAndNulsSurvive) {
    // CJK, an emoji as a surrogate pair, Hebrew and Arabic with a right-to-left mark, an embedded NUL.
    const std::wstring before = L"<p>\u65E5\u672C\u8A9E \U0001F600 \u05E9\u05DC\u05D5\u05DD \u200F\u0645\u0631\u062D\u0628\u0627</p>";
    std::wstring after = L"\u00A0\u4E2D";
    after.push_back(L'\0');
    after += L"\u05D0";
    const std::wstring body = before + L"</html>" + after;
    EXPECT_EQ(Branded(body), before + kstest::expected::Footer() + L"</html>" + after);
}

TEST(BrandingText, EveryFooterBrandingLeftComesOutAndNothingElse) {
    const std::wstring footer = kstest::expected::Footer();
    // Two refused encrypted sends, two footers; the tag in capitals stays as written.
    EXPECT_EQ(Unbranded(Branded(Branded(L"<html>x</html>\r\n"))), L"<html>x</html>\r\n");
    EXPECT_EQ(Unbranded(L"a" + footer + footer + footer + L"</HTML>b"), L"a</HTML>b");
    // A quoted footer elsewhere, or one with text between it and the tag, is the sender's.
    const std::wstring quoted = L"<blockquote>" + footer + L"</blockquote>";
    EXPECT_EQ(Unbranded(quoted + footer + L"</html>"), quoted + L"</html>");
    EXPECT_TRUE(ks::BrandingFooters(footer + L" </html>").Empty());
    EXPECT_TRUE(ks::BrandingFooters(footer.substr(1) + L"</html>").Empty());
    EXPECT_TRUE(ks::BrandingFooters(L"</html>" + footer + L"</html>").Empty());
    EXPECT_TRUE(ks::BrandingFooters(footer).Empty()) << "no closing tag, no footer of branding's";
}
