// The registry script language: parsing alone, then carried out against the
// test prefix's registry under a scratch key of the current user.
#include <windows.h>

#include <gtest/gtest.h>

#include "server/owners.h"
#include "server/regscript_apply.h"
#include "server/regscript_parse.h"
#include "support/addin_dll.h"

using namespace ks::regscript;

namespace {

const wchar_t kScratch[] = L"Software\\KestrinSelectTests";

Script MustParse(const std::wstring& text) {
    Script script;
    std::string error;
    EXPECT_TRUE(Parse(text, script, &error)) << error;
    return script;
}

bool Refused(const std::wstring& text) {
    Script script;
    std::string error;
    bool ok = Parse(text, script, &error);
    return !ok && !error.empty();
}

std::wstring Scratch(const std::wstring& rest = L"") {
    return rest.empty() ? std::wstring(kScratch) : std::wstring(kScratch) + L"\\" + rest;
}

class RegistryScript : public ::testing::Test {
protected:
    void SetUp() override { kstest::DeleteTree(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { kstest::DeleteTree(HKEY_CURRENT_USER, kScratch); }

    static std::wstring Str(const std::wstring& path, const wchar_t* name = nullptr) {
        std::wstring value;
        return kstest::ReadString(HKEY_CURRENT_USER, path, name, value) ? value : L"<absent>";
    }
    static bool Exists(const std::wstring& path) { return kstest::KeyExists(HKEY_CURRENT_USER, path); }
    static void Create(const std::wstring& path) {
        ks::UniqueHKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(),
                                  nullptr), ERROR_SUCCESS);
    }
};

}  // namespace

TEST(RegistryScriptText, ParsesTheConnectScriptShape) {
    Script script = MustParse(
        L"HKCR\r\n{\r\n\tKestrinSelectATL.Connect = s 'Connect Class'\r\n\t{\r\n\t\tCLSID = s '{X}'\r\n\t}\r\n"
        L"\tNoRemove CLSID\r\n\t{\r\n\t\tForceRemove {X} = s 'Connect Class'\r\n\t\t{\r\n"
        L"\t\t\tForceRemove 'Programmable'\r\n\t\t\tInprocServer32 = s 'C:\\a b\\it''s.dll'\r\n\t\t\t{\r\n"
        L"\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n");
    ASSERT_EQ(script.blocks.size(), 1u);
    const Block& block = script.blocks[0];
    EXPECT_EQ(block.root, Root::ClassesRoot);
    ASSERT_EQ(block.keys.size(), 2u);
    EXPECT_EQ(block.keys[0].name, L"KestrinSelectATL.Connect");
    EXPECT_EQ(block.keys[0].defaultValue.text, L"Connect Class");
    const Key& clsid = block.keys[1];
    EXPECT_TRUE(clsid.noRemove);
    EXPECT_FALSE(clsid.hasDefault);
    ASSERT_EQ(clsid.subkeys.size(), 1u);
    const Key& cls = clsid.subkeys[0];
    EXPECT_TRUE(cls.forceRemove);
    ASSERT_EQ(cls.subkeys.size(), 2u);
    EXPECT_EQ(cls.subkeys[0].name, L"Programmable");
    EXPECT_TRUE(cls.subkeys[0].forceRemove);
    EXPECT_FALSE(cls.subkeys[0].hasDefault);
    const Key& server = cls.subkeys[1];
    EXPECT_EQ(server.defaultValue.text, L"C:\\a b\\it's.dll");  // doubled quote undone
    ASSERT_EQ(server.values.size(), 1u);
    EXPECT_EQ(server.values[0].name, L"ThreadingModel");
    EXPECT_EQ(server.values[0].text, L"Apartment");
}

TEST(RegistryScriptText, KnowsEveryRootNameInAnyCase) {
    const wchar_t* names[] = {L"HKCR", L"HKCU", L"HKLM", L"HKU", L"HKPD", L"HKDD", L"HKCC",
                              L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE", L"HKEY_USERS",
                              L"HKEY_PERFORMANCE_DATA", L"HKEY_DYN_DATA", L"hkey_current_config", L"hklm"};
    for (const wchar_t* name : names) {
        Script script;
        EXPECT_TRUE(Parse(std::wstring(name) + L" { a }", script)) << static_cast<const void*>(name);
    }
    EXPECT_TRUE(Refused(L"HKXX { a }"));
    EXPECT_TRUE(Refused(L"'HKCR' { a }"));
}

TEST(RegistryScriptText, RefusesMalformedScripts) {
    EXPECT_TRUE(Refused(L"HKCR a"));                           // no opening brace
    EXPECT_TRUE(Refused(L"HKCR { a { val x s 'y' } }"));       // no equals sign after the value name
    EXPECT_TRUE(Refused(L"HKCR { 'a\\b' = s 'c' }"));          // backslash in a key name
    EXPECT_TRUE(Refused(L"HKCR { a = s 'open }"));              // unterminated text
    EXPECT_TRUE(Refused(L"HKCR { a = x 'y' }"));                // unknown type letter
    EXPECT_TRUE(Refused(L"HKCR { a "));                         // no closing brace
    Script script;
    EXPECT_TRUE(Parse(L"", script));                            // nothing to do is not an error
    EXPECT_TRUE(script.blocks.empty());
}

TEST(RegistryScriptText, ReplacesNamesWithoutRegardToCase) {
    Replacements table = {{L"APPID", L""}, {L"Module", L"C:\\it''s.dll"}};
    std::wstring out;
    ASSERT_TRUE(ExpandReplacements(L"a '%MODULE%' b '%module%' %appid%100%%", table, out));
    EXPECT_EQ(out, L"a 'C:\\it''s.dll' b 'C:\\it''s.dll' 100%");
    EXPECT_FALSE(ExpandReplacements(L"%UNKNOWN%", table, out));
    EXPECT_FALSE(ExpandReplacements(L"50% off", table, out));
}

TEST(RegistryScriptText, ProtectsSystemKeyNames) {
    for (const wchar_t* name : {L"CLSID", L"clsid", L"TypeLib", L"Interface", L"Software", L"Component Categories"}) {
        EXPECT_TRUE(IsProtectedKeyName(name)) << static_cast<const void*>(name);
    }
    EXPECT_FALSE(IsProtectedKeyName(L"KestrinSelectATL.Connect"));
    EXPECT_FALSE(IsProtectedKeyName(L"CLSIDs"));
}

TEST_F(RegistryScript, RegistersAndUnregistersAKeyTree) {
    Script script = MustParse(
        L"HKCU { Software { KestrinSelectTests = s 'top' { A = s 'a' { val Named = s 'v' val Num = d '7' } B } } }");
    ASSERT_EQ(Register(script), S_OK);
    EXPECT_EQ(Str(Scratch()), L"top");
    EXPECT_EQ(Str(Scratch(L"A")), L"a");
    EXPECT_EQ(Str(Scratch(L"A"), L"Named"), L"v");
    EXPECT_TRUE(Exists(Scratch(L"B")));

    ASSERT_EQ(Unregister(script), S_OK);
    EXPECT_FALSE(Exists(Scratch()));
    EXPECT_TRUE(Exists(L"Software"));  // protected, and still full
}

TEST_F(RegistryScript, UnregisterKeepsKeysWithForeignSubkeysAndNoRemoveKeys) {
    Script script = MustParse(L"HKCU { Software { KestrinSelectTests { Mine { Leaf } NoRemove Kept { Leaf } } } }");
    ASSERT_EQ(Register(script), S_OK);
    Create(Scratch(L"Mine\\Foreign"));
    ASSERT_EQ(Unregister(script), S_OK);
    EXPECT_FALSE(Exists(Scratch(L"Mine\\Leaf")));
    EXPECT_TRUE(Exists(Scratch(L"Mine\\Foreign")));
    EXPECT_FALSE(Exists(Scratch(L"Kept\\Leaf")));
    EXPECT_TRUE(Exists(Scratch(L"Kept")));
}

TEST_F(RegistryScript, ForceRemoveRewritesAKeyButNeverAProtectedOne) {
    Create(Scratch(L"Forced\\Old"));
    Script script = MustParse(L"HKCU { Software { KestrinSelectTests { ForceRemove Forced = s 'new' } } }");
    ASSERT_EQ(Register(script), S_OK);
    EXPECT_EQ(Str(Scratch(L"Forced")), L"new");
    EXPECT_FALSE(Exists(Scratch(L"Forced\\Old")));

    Create(Scratch(L"Interface\\Other"));
    Script protectedScript = MustParse(L"HKCU { Software { KestrinSelectTests { ForceRemove Interface } } }");
    ASSERT_EQ(Register(protectedScript), S_OK);
    EXPECT_TRUE(Exists(Scratch(L"Interface\\Other")));
}

TEST_F(RegistryScript, AFailedWriteRemovesWhatTheBlockHadWritten) {
    // A key name longer than the registry allows makes the last write fail.
    const std::wstring tooLong(300, L'x');
    Script script = MustParse(L"HKCU { Software { KestrinSelectTests { First = s '1' { Inner } Second = s '2' " +
                              tooLong + L" } } }");
    Create(L"Software\\KestrinSelectTests");
    HRESULT hr = Register(script);
    EXPECT_TRUE(FAILED(hr));
    // The whole block is taken back: every named key that is neither
    // protected nor NoRemove goes with all its subkeys.
    EXPECT_FALSE(Exists(Scratch(L"First")));
    EXPECT_FALSE(Exists(Scratch(L"Second")));
    EXPECT_FALSE(Exists(Scratch()));
    EXPECT_TRUE(Exists(L"Software"));
}
