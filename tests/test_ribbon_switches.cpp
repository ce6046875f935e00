// The two registry switches: the text rule on its own, then the registry read
// against values written with the registry API into the prefix's machine hive.
#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ribbon/settings.h"
#include "ribbon/switch_text.h"
#include "support/ribbon_switches.h"

using kstest::WriteSwitch;
using kstest::WriteSwitchText;

namespace {

bool TextMeansOn(const std::string& bytes) {
    return ks::SwitchTextMeansOn(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(SwitchText, OnlyTrueInAnyAsciiCaseMeansOn) {
    EXPECT_TRUE(TextMeansOn("true"));
    EXPECT_TRUE(TextMeansOn("TRUE"));
    EXPECT_TRUE(TextMeansOn("True"));
    EXPECT_TRUE(TextMeansOn("tRuE"));
    EXPECT_FALSE(TextMeansOn("false"));
    EXPECT_FALSE(TextMeansOn("FALSE"));
    EXPECT_FALSE(TextMeansOn(""));
    EXPECT_FALSE(TextMeansOn("1"));
    EXPECT_FALSE(TextMeansOn("yes"));
    EXPECT_FALSE(TextMeansOn("on"));
    EXPECT_FALSE(TextMeansOn("tru"));
    EXPECT_FALSE(TextMeansOn("truee"));
}

TEST(SwitchText, NothingIsTrimmed) {
    EXPECT_FALSE(TextMeansOn(" true"));
    EXPECT_FALSE(TextMeansOn("true "));
    EXPECT_FALSE(TextMeansOn("true\t"));
    EXPECT_FALSE(TextMeansOn("\"true\""));
}

TEST(SwitchText, TheTextEndsAtTheFirstZeroOrAtTheLastByteReturned) {
    EXPECT_TRUE(TextMeansOn(std::string("true\0false", 10)));
    EXPECT_FALSE(TextMeansOn(std::string("\0true", 5)));
    // Bytes beyond the count are not part of the text, even if they would complete it.
    const unsigned char buffer[] = {'t', 'r', 'u', 'e', 0};
    EXPECT_FALSE(ks::SwitchTextMeansOn(buffer, 3));
    EXPECT_TRUE(ks::SwitchTextMeansOn(buffer, 4));
    EXPECT_FALSE(ks::SwitchTextMeansOn(buffer, 0));
    EXPECT_FALSE(ks::SwitchTextMeansOn(nullptr, 4));
}

// ---------------------------------------------------------------------------

class SwitchRead : public ::testing::Test {
protected:
    kstest::SwitchKeyScope m_switches;
};

TEST_F(SwitchRead, WithoutTheKeyBothSwitchesAreOff) {
    EXPECT_FALSE(ks::IsSelectEnabled());
    EXPECT_FALSE(ks::IsUnselectEnabled());
}

TEST_F(SwitchRead, TheUsersHiveIsNeverConsulted) {
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true", HKEY_CURRENT_USER));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "true", HKEY_CURRENT_USER));
    EXPECT_FALSE(ks::IsSelectEnabled());
    EXPECT_FALSE(ks::IsUnselectEnabled());
}

TEST_F(SwitchRead, EachAccessorReadsItsOwnValue) {
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true"));
    EXPECT_TRUE(ks::IsSelectEnabled());
    EXPECT_FALSE(ks::IsUnselectEnabled());
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "false"));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "true"));
    EXPECT_FALSE(ks::IsSelectEnabled());
    EXPECT_TRUE(ks::IsUnselectEnabled());
}

TEST_F(SwitchRead, StringValues) {
    const struct {
        const char* text;
        bool on;
    } cases[] = {
        {"true", true}, {"TRUE", true}, {"True", true},   {" true", false}, {"true ", false},
        {"false", false}, {"FALSE", false}, {"0", false}, {"no", false},    {"", false},
        {"1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        ASSERT_TRUE(WriteSwitchText("unselectEnabled", c.text));
        EXPECT_EQ(ks::ReadEnabledSetting("unselectEnabled"), c.on);
    }
}

TEST_F(SwitchRead, TheValueTypeIsIgnored) {
    const DWORD one = 1;
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_DWORD, &one, sizeof(one)));
    EXPECT_FALSE(ks::IsSelectEnabled()) << "a DWORD 1 reads as the single byte 1";

    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_EXPAND_SZ, "true", 5));
    EXPECT_TRUE(ks::IsSelectEnabled());

    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_MULTI_SZ, "true\0second\0", 13));
    EXPECT_TRUE(ks::IsSelectEnabled());
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_MULTI_SZ, "first\0true\0", 12));
    EXPECT_FALSE(ks::IsSelectEnabled());

    // Binary data without any zero byte: the text is every byte returned.
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_BINARY, "TRUE", 4));
    EXPECT_TRUE(ks::IsSelectEnabled());
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_BINARY, "tru", 3));
    EXPECT_FALSE(ks::IsSelectEnabled());
}

TEST_F(SwitchRead, DataThatDoesNotFitTheBufferIsOff) {
    // The same text "true" before the first zero; only the length differs.
    std::string fits("true", 5);
    fits.append(255, 'x');  // 260 bytes: the buffer exactly
    ASSERT_EQ(fits.size(), 260u);
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_BINARY, fits.data(), static_cast<DWORD>(fits.size())));
    EXPECT_TRUE(ks::IsSelectEnabled());

    std::string tooLong = fits + 'x';  // 261 bytes
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_BINARY, tooLong.data(), static_cast<DWORD>(tooLong.size())));
    EXPECT_FALSE(ks::IsSelectEnabled());

    std::string multi("true", 5);
    multi.append(295, 'y');  // a second string: 300 characters in all
    ASSERT_TRUE(WriteSwitch("selectEnabled", REG_MULTI_SZ, multi.c_str(), static_cast<DWORD>(multi.size() + 2)));
    EXPECT_FALSE(ks::IsSelectEnabled());

    ASSERT_TRUE(WriteSwitchText("selectEnabled", std::string(300, 't')));
    EXPECT_FALSE(ks::IsSelectEnabled());
}

TEST_F(SwitchRead, AChangeIsSeenAtTheNextRead) {
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "false"));
    EXPECT_FALSE(ks::IsSelectEnabled());
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true"));
    EXPECT_TRUE(ks::IsSelectEnabled());
    kstest::DeleteSwitchKey(HKEY_LOCAL_MACHINE, kstest::OwnRegistryView());
    EXPECT_FALSE(ks::IsSelectEnabled());
}

}  // namespace
