// Registry switches written by a careless or hostile installer: every value
// type, lengths from nothing to 4 KB around the 260-byte buffer, data with and
// without a terminating zero. The add-in loaded through COM must answer every
// markup request, with a group only where a switch reads exactly "true".
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/outlook/addin_site.h"
#include "support/addin_dll.h"
#include "support/ribbon_switches.h"

namespace {

const wchar_t kCompose[] = L"Microsoft.Outlook.Mail.Compose";
constexpr size_t kBuffer = 260;  // the read buffer, terminating zero included

const DWORD kTypes[] = {REG_NONE,      REG_SZ,   REG_EXPAND_SZ, REG_BINARY,
                        REG_DWORD,     REG_DWORD_BIG_ENDIAN,    REG_LINK,
                        REG_MULTI_SZ,  REG_RESOURCE_LIST,       REG_QWORD};
const size_t kLengths[] = {0, 1, 3, 4, 5, 6, 64, 255, 258, 259, 260, 261, 262, 300, 520, 1024, 4095, 4096};

// The bytes of one value: a leading word, an optional zero, then filler up to
// the length.
std::string Data(const std::string& word, bool zero, size_t length) {
    std::string data = word;
    if (zero) data += '\0';
    while (data.size() < length) data += static_cast<char>('a' + data.size() % 26);
    data.resize(length);
    return data;
}

// The switch as it should read, worked out from the bytes alone: data that
// fits the buffer, whose text up to its first zero byte is "true" in any
// ASCII letter case.
bool ShouldBeOn(const std::string& data) {
    if (data.size() > kBuffer) return false;
    std::string text = data.substr(0, data.find('\0'));
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text == "true";
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

HANDLE NextHandle() {
    HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return probe;
}

class HostileRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_addin.Create(kstest::kAddinProgId), S_OK);
        ASSERT_EQ(m_addin.Connect(m_outlook), S_OK);
    }
    void TearDown() override {
        m_addin.Disconnect();
        m_addin.Release();
    }

    // Whether the compose markup offers the button of the switch.
    bool ButtonOffered(const char* value) {
        std::wstring markup;
        EXPECT_EQ(m_addin.GetCustomUI(kCompose, markup), S_OK);
        const wchar_t* id = std::string(value) == "selectEnabled" ? L"KestrinSelectButton" : L"KestrinUnselectButton";
        return markup.find(id) != std::wstring::npos;
    }

    kstest::SwitchKeyScope m_scope;
    kshost::Outlook m_outlook{false};
    kshost::LoadedAddIn m_addin;
};

TEST_F(HostileRegistry, EveryTypeAndLengthIsReadSafely) {
    const std::string words[] = {"true", "TRUE", "tRuE", "true ", "false", ""};
    int tried = 0;
    for (const char* value : {"selectEnabled", "unselectEnabled"}) {
        for (DWORD type : kTypes) {
            for (const std::string& word : words) {
                for (bool zero : {true, false}) {
                    for (size_t length : kLengths) {
                        const std::string data = Data(word, zero, length);
                        kstest::DeleteSwitchKey(HKEY_LOCAL_MACHINE, kstest::OwnRegistryView());
                        ASSERT_TRUE(kstest::WriteSwitch(value, type, data.data(), static_cast<DWORD>(data.size())));
                        const bool expected = ShouldBeOn(data);
                        // The ANSI read of a string value that fills the
                        // buffer exactly but does not end in a zero asks for
                        // one more byte, for the zero the system adds: Wine
                        // then reports more data (off); the answer is the
                        // system's, and only its safety is checked.
                        if (IsStringType(type) && data.size() == kBuffer && data.back() != '\0') {
                            ButtonOffered(value);
                            ++tried;
                            continue;
                        }
                        EXPECT_EQ(ButtonOffered(value), expected)
                            << value << " type " << type << " word \"" << word << "\" zero " << zero << " length "
                            << length;
                        ++tried;
                    }
                }
            }
        }
    }
    std::printf("hostile registry values tried: %d\n", tried);
}

// A value name that is not the switch, a key that is a value's sibling of the
// same name, and a key in place of a value: all off, none a crash.
TEST_F(HostileRegistry, LookalikesAreOff) {
    ASSERT_TRUE(kstest::WriteSwitch("SELECTENABLED ", REG_SZ, "true", 5));
    ASSERT_TRUE(kstest::WriteSwitch("selectEnabled\\x", REG_SZ, "true", 5));
    EXPECT_FALSE(ButtonOffered("selectEnabled"));

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KestrinCorp\\KestrinSelectATL\\unselectEnabled", 0,
                              nullptr, 0, KEY_WRITE | kstest::OwnRegistryView(), nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_FALSE(ButtonOffered("unselectEnabled"));
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\KestrinCorp\\KestrinSelectATL\\unselectEnabled",
                    kstest::OwnRegistryView(), 0);
}

// A switch that is on reads on again and again: no handle is lost per read.
TEST_F(HostileRegistry, ThousandsOfReadsKeepNoKeyOpen) {
    ASSERT_TRUE(kstest::WriteSwitchText("selectEnabled", "true"));
    const HANDLE before = NextHandle();
    for (int i = 0; i < 5000; ++i) {
        if (!ButtonOffered("selectEnabled")) {
            ADD_FAILURE() << "read " << i << " failed";
            break;
        }
    }
    // Wine does not count a process's handles; the value the next handle
    // gets, from the lowest free slot, moves up only if keys stay open.
    const HANDLE after = NextHandle();
    EXPECT_EQ(after, before) << "a key is left open on some path";
}

}  // namespace
