// The stand-in transport: what leaves the outbox must be a well-formed
// RFC 5322 message that a gateway can read back exactly.
#include <windows.h>

#include <gtest/gtest.h>

#include "host/outlook/addin_site.h"
#include "host/outlook/outbox.h"
#include "support/addin_dll.h"

using kshost::ComposeRfc5322;
using kshost::OutgoingMessage;
using kshost::ParseRfc5322;
using kshost::ReceivedMessage;

namespace {

OutgoingMessage Sample() {
    OutgoingMessage m;
    m.to = L"reader@example.invalid";
    m.subject = L"Quarterly figures";
    m.htmlBody = L"<html><body>Hello</body></html>";
    m.internetHeaders = {{"x-rdz-select", "select"}};
    return m;
}

ReceivedMessage RoundTrip(const OutgoingMessage& m, std::string* text = nullptr) {
    const std::string eml = ComposeRfc5322(m, "Tue, 08 Dec 2026 20:00:00 +0000", "<1@stand-in.invalid>");
    if (text) *text = eml;
    ReceivedMessage r;
    EXPECT_TRUE(ParseRfc5322(eml, r));
    return r;
}

size_t LongestLine(const std::string& text) {
    size_t longest = 0, at = 0;
    while (at <= text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        longest = std::max(longest, end - at);
        at = end + 2;
    }
    return longest;
}

}  // namespace

TEST(Outbox, InternetHeaderBecomesAHeaderLine) {
    std::string text;
    ReceivedMessage r = RoundTrip(Sample(), &text);
    EXPECT_NE(text.find("\r\nx-rdz-select: select\r\n"), std::string::npos);
    EXPECT_EQ(r.Values("X-RDZ-Select"), std::vector<std::string>{"select"});
    EXPECT_EQ(r.Values("Subject"), std::vector<std::string>{"Quarterly figures"});
    EXPECT_EQ(r.htmlBody, L"<html><body>Hello</body></html>");
}

TEST(Outbox, BodyOutsideAsciiAndWithLongLinesComesBackExactly) {
    OutgoingMessage m = Sample();
    m.htmlBody = L"<p>\u65E5\u672C\u8A9E \U0001F600 \u05E9\u05DC\u05D5\u05DD \u200F\u0645\u0631\u062D\u0628\u0627</p>" +
                 std::wstring(3000, L'x') + L" = trailing blank \r\nsecond line\t\r\n</html>";
    std::string text;
    ReceivedMessage r = RoundTrip(m, &text);
    EXPECT_EQ(r.htmlBody, m.htmlBody);
    EXPECT_LE(LongestLine(text), 78u);
}

TEST(Outbox, HeaderValuesCannotBreakIntoNewLines) {
    OutgoingMessage m = Sample();
    m.subject = L"hi\r\nBcc: victim@example.invalid";
    m.internetHeaders = {{"x-note", "a\r\nx-rdz-unselect: unselect"}};
    ReceivedMessage r = RoundTrip(m);
    EXPECT_TRUE(r.Values("Bcc").empty());
    EXPECT_TRUE(r.Values("x-rdz-unselect").empty());
    EXPECT_EQ(r.Values("x-note"), std::vector<std::string>{"a  x-rdz-unselect: unselect"});
}

TEST(Outbox, InvalidOrTransportOwnedNamesAreLeftOut) {
    OutgoingMessage m = Sample();
    m.internetHeaders = {{"bad name", "1"}, {"bad:name", "2"}, {"", "3"}, {"subject", "forged"}, {"X-Ok", "4"}};
    ReceivedMessage r = RoundTrip(m);
    EXPECT_EQ(r.Values("Subject"), std::vector<std::string>{"Quarterly figures"});
    EXPECT_EQ(r.Values("X-Ok"), std::vector<std::string>{"4"});
    // From, To, Subject, Date, Message-ID, X-Ok and the three MIME lines.
    EXPECT_EQ(r.headers.size(), 9u);
}

TEST(Outbox, NonAsciiHeaderValueIsEncodedAndReadBack) {
    OutgoingMessage m = Sample();
    m.subject = L"\u65E5\u672C \u05E9";
    std::string text;
    ReceivedMessage r = RoundTrip(m, &text);
    EXPECT_NE(text.find("Subject: =?utf-8?B?"), std::string::npos);
    EXPECT_EQ(kshost::FromUtf8(r.Values("Subject").at(0)), m.subject);
}

TEST(Outbox, EachTransmissionIsANewFile) {
    const std::wstring folder = kstest::TestDirectory() + L"outbox-unit";
    kshost::Outbox outbox(folder);
    outbox.Clear();
    std::wstring first, second;
    ASSERT_EQ(outbox.Transmit(Sample(), &first), S_OK);
    kshost::Outbox again(folder);  // a fresh counter must not overwrite
    ASSERT_EQ(again.Transmit(Sample(), &second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(outbox.Files().size(), 2u);
    std::string text;
    ASSERT_TRUE(kshost::Outbox::ReadAll(second, text));
    ReceivedMessage r;
    ASSERT_TRUE(ParseRfc5322(text, r));
    EXPECT_EQ(r.Values("x-rdz-select"), std::vector<std::string>{"select"});
    outbox.Clear();
    EXPECT_TRUE(outbox.Files().empty());
}

namespace {

constexpr GUID kPublicStrings = {0x00020329, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void SetNamed(IMAPIProp* message, GUID set, const wchar_t* name, const char* value) {
    MAPINAMEID id{};
    id.lpguid = &set;
    id.ulKind = MNID_STRING;
    id.Kind.lpwstrName = const_cast<LPWSTR>(name);
    MAPINAMEID* names[] = {&id};
    LPSPropTagArray tags = nullptr;
    ASSERT_TRUE(SUCCEEDED(message->GetIDsFromNames(1, names, MAPI_CREATE, &tags)));
    SPropValue prop{};
    prop.ulPropTag = PROP_TAG(PT_STRING8, PROP_ID(tags->aulPropTag[0]));
    prop.Value.lpszA = const_cast<LPSTR>(value);
    kshost::MapiFree(tags);
    ASSERT_EQ(message->SetProps(1, &prop, nullptr), S_OK);
}

}  // namespace

TEST(Outbox, OnlyInternetHeaderNamesOfTheMessageBecomeHeaders) {
    kshost::Outlook outlook;
    kshost::MailItem& item = outlook.Compose(L"<html>x</html>");
    IMAPIProp* message = &item.Message();
    SetNamed(message, kshost::PS_InternetHeaders, L"x-rdz-select", "select");
    // Header names match without regard to case: one property, one line.
    SetNamed(message, kshost::PS_InternetHeaders, L"X-RDZ-Select", "select");
    SetNamed(message, kPublicStrings, L"x-not-a-header", "no");
    SetNamed(message, kshost::PS_InternetHeaders, L"x-second", "2");
    SetNamed(message, kshost::PS_InternetHeaders, L"bad name", "skipped");

    std::vector<kshost::HeaderField> headers;
    ASSERT_EQ(kshost::CollectInternetHeaders(message, headers), S_OK);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[0].name + ": " + headers[0].value, "x-rdz-select: select");
    EXPECT_EQ(headers[1].name + ": " + headers[1].value, "x-second: 2");
}
