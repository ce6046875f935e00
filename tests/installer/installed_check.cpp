// Checks a machine on which the KestrinSelect package was installed or
// removed, as an administrator would, and as Outlook would load the add-in.
// Run by tools/test-installer.sh in the package's own Wine prefix, between
// msiexec calls; it is not a CTest program (it must not register the DLL
// beside it, which is what the other test programs do first).
//
//   installed_check --gtest_filter=Installed.* --select=true --unselect=false [--tree-out=FILE]
//   installed_check --gtest_filter=Removed.* [--foreign-kept]
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "addin/host_interfaces.h"
#include "host/outlook/addin_site.h"
#include "host/outlook/addin_list.h"
#include "host/outlook/ribbon_ui.h"
#include "resources/version.h"
#include "server/owners.h"
#include "support/message_boxes.h"

namespace {

const wchar_t kProgId[] = L"KestrinSelectATL.Connect";
const wchar_t kClassKey[] = L"CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}";
const wchar_t kLibIdText[] = L"{FECAE1F1-387C-4BCF-B306-B5FB0DBA52B6}";
const wchar_t kInterfaceKey[] = L"Interface\\{B199C953-A6A4-4231-B08C-DF5AA5794316}";
const wchar_t kAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";
const wchar_t kUpgradeCode[] = L"{2DF11BA0-D31E-4D92-B45F-4C7641F4C60F}";
const wchar_t kAddinEntry[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\KestrinSelectATL.Connect";
const wchar_t kSwitchesKey[] = L"Software\\KestrinCorp\\KestrinSelectATL";
const GUID kLibId = {0xFECAE1F1, 0x387C, 0x4BCF, {0xB3, 0x06, 0xB5, 0xFB, 0x0D, 0xBA, 0x52, 0xB6}};

// What the command line says the package was given.
struct Expectations {
    bool select = true;
    bool unselect = true;
    bool foreignKept = false;  // the script planted entries the uninstall must leave
    std::string treeOut;
};
Expectations g_expect;

std::wstring ProgramFilesFolder() {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &path))) result = path;
    CoTaskMemFree(path);
    return result;
}

std::wstring InstallFolder() { return ProgramFilesFolder() + L"\\KestrinSelect"; }
std::wstring InstalledDll() { return InstallFolder() + L"\\KestrinSelect.dll"; }

bool KeyExists(HKEY root, const std::wstring& path) {
    ks::UniqueHKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// The string value, or "<absent>" (missing or not a string).
std::wstring Str(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    ks::UniqueHKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return L"<absent>";
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return L"<absent>";
    }
    return buffer;
}

bool Dword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& value) {
    DWORD bytes = sizeof(value);
    DWORD type = 0;
    return RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, &type, &value, &bytes) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

void ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with) {
    if (what.empty()) return;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// A registry subtree as sorted lines "key" and "key|name|type|data", with
// the Program Files folder written as <pf>, so that trees written from
// different places and by different writers compare as text.
using Tree = std::map<std::wstring, std::wstring>;

void Walk(HKEY parent, const std::wstring& shown, Tree& tree) {
    tree[shown] = L"";
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD dataBytes = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        LONG rc = RegEnumValueW(parent, i, name, &nameLength, nullptr, &type, data, &dataBytes);
        if (rc != ERROR_SUCCESS) break;
        std::wstring text;
        if (type == REG_DWORD) {
            DWORD v = 0;
            std::memcpy(&v, data, sizeof(v));
            text = L"dword|" + std::to_wstring(v);
        } else {
            data[dataBytes] = 0;
            data[dataBytes + 1] = 0;
            text = (type == REG_SZ ? L"sz|" : L"type" + std::to_wstring(type) + L"|") +
                   std::wstring(reinterpret_cast<const wchar_t*>(data));
        }
        ReplaceAll(text, ProgramFilesFolder(), L"<pf>");
        tree[shown + L"|" + (nameLength ? name : L"") + L"|" + text] = L"";
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(parent, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ks::UniqueHKey child;
        if (RegOpenKeyExW(parent, name, 0, KEY_READ, child.Put()) == ERROR_SUCCESS) {
            Walk(child.Get(), shown + L"\\" + name, tree);
        }
    }
}

// The COM registration of the add-in: both ProgIDs, the class, the type
// library and its interface.
Tree ComRegistration() {
    Tree tree;
    const std::wstring roots[] = {L"KestrinSelectATL.Connect", L"KestrinSelectATL.Connect.1", kClassKey,
                                  std::wstring(L"TypeLib\\") + kLibIdText, kInterfaceKey};
    for (const std::wstring& root : roots) {
        ks::UniqueHKey key;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, root.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
            Walk(key.Get(), L"HKCR\\" + root, tree);
        }
    }
    return tree;
}

std::string Lines(const Tree& tree) {
    std::string out;
    for (const auto& entry : tree) out += Narrow(entry.first) + "\n";
    return out;
}

// Product codes of every installed package of this product line.
std::vector<std::wstring> InstalledProducts() {
    std::vector<std::wstring> products;
    wchar_t code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) products.push_back(code);
    return products;
}

// Programs and Features entries of the product: display name -> key.
std::map<std::wstring, std::wstring> UninstallEntries() {
    std::map<std::wstring, std::wstring> found;
    const wchar_t list[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    ks::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, list, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return found;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring path = std::wstring(list) + L"\\" + name;
        const std::wstring shown = Str(HKEY_LOCAL_MACHINE, path, L"DisplayName");
        if (shown.rfind(L"KestrinSelect", 0) == 0) found[path] = shown;
    }
    return found;
}

// Library calls into the installed DLL, as regsvr32 makes them.
HRESULT CallDllEntry(const char* entry) {
    ks::UniqueLibrary dll(LoadLibraryW(InstalledDll().c_str()));
    if (!dll) return HRESULT_FROM_WIN32(GetLastError());
    using Fn = HRESULT(STDAPICALLTYPE*)();
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll.Get(), entry)));
    return fn ? fn() : E_NOTIMPL;
}

std::wstring LoadedModulePath(const wchar_t* moduleName) {
    HMODULE module = GetModuleHandleW(moduleName);
    if (!module) return L"<not loaded>";
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

}  // namespace

// ---------------------------------------------------------------------------
// After msiexec /i

TEST(Installed, FileLivesInProgramFiles) {
    EXPECT_NE(GetFileAttributesW(InstalledDll().c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(InstalledDll());
}

TEST(Installed, ClassAndProgIdsPointAtTheInstalledDll) {
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect"), L"Connect Class");
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect\\CurVer"), L"KestrinSelectATL.Connect.1");
    const std::wstring cls = kClassKey;
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32"), InstalledDll());
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Programmable"));
}

TEST(Installed, TypeLibraryResolvesToTheInstalledDll) {
    ks::ComRef<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(kLibId, 1, 0, 0, library.Put()), S_OK);
    ks::UniqueBstr path;
    ASSERT_EQ(QueryPathOfRegTypeLib(kLibId, 1, 0, 0, path.Put()), S_OK);
    EXPECT_STREQ(path.Get(), InstalledDll().c_str());
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, std::wstring(kInterfaceKey) + L"\\ProxyStubClsid32"), kAutomationProxy);
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, std::wstring(kInterfaceKey) + L"\\TypeLib"), kLibIdText);
}

TEST(Installed, OutlookListsTheAddinForEveryUser) {
    DWORD loadBehavior = 0;
    ASSERT_TRUE(Dword(HKEY_LOCAL_MACHINE, kAddinEntry, L"LoadBehavior", loadBehavior));
    EXPECT_EQ(loadBehavior, 3u);
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, kAddinEntry, L"FriendlyName"), L"KestrinSelect");
    EXPECT_NE(Str(HKEY_LOCAL_MACHINE, kAddinEntry, L"Description"), L"<absent>");
}

TEST(Installed, SwitchesHoldTheGivenValuesWhereTheAddinReadsThem) {
    // Opened as the add-in opens it: query access, no registry-view flag.
    ks::UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSwitchesKey, 0, KEY_QUERY_VALUE, key.Put()), ERROR_SUCCESS);
    std::wstring select = Str(HKEY_LOCAL_MACHINE, kSwitchesKey, L"selectEnabled");
    std::wstring unselect = Str(HKEY_LOCAL_MACHINE, kSwitchesKey, L"unselectEnabled");
    EXPECT_EQ(CompareStringOrdinal(select.c_str(), -1, g_expect.select ? L"true" : L"false", -1, TRUE), CSTR_EQUAL)
        << Narrow(select);
    EXPECT_EQ(CompareStringOrdinal(unselect.c_str(), -1, g_expect.unselect ? L"true" : L"false", -1, TRUE),
              CSTR_EQUAL)
        << Narrow(unselect);
}

TEST(Installed, ExactlyOneCopyIsInstalled) {
    EXPECT_EQ(InstalledProducts().size(), 1u);
    const auto entries = UninstallEntries();
    ASSERT_EQ(entries.size(), 1u);
    const std::wstring& key = entries.begin()->first;
    EXPECT_EQ(entries.begin()->second, sizeof(void*) == 8 ? L"KestrinSelect (64-bit)" : L"KestrinSelect (32-bit)");
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, key, L"DisplayVersion"), L"" KS_VERSION_TEXT);
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, key, L"Publisher"), L"KestrinCorp");
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, key, L"InstallLocation"), InstallFolder() + L"\\");
}

// Outlook's way in, through the stand-in Outlook: the machine's add-in list,
// the ProgID it names, CoCreateInstance and OnConnection, then the compose
// window's ribbon from the markup that GetCustomUI returns through the vtable.
TEST(Installed, StandInOutlookLoadsItFromTheInstallFolderWithTheChosenButtons) {
    const std::vector<kshost::AddinEntry> list = kshost::ReadAddinList();
    const kshost::AddinEntry* entry = nullptr;
    for (const kshost::AddinEntry& e : list) {
        if (e.progId == kProgId) entry = &e;
    }
    ASSERT_NE(entry, nullptr) << "not in Outlook's add-in list";
    EXPECT_FALSE(entry->fromCurrentUser);
    EXPECT_EQ(entry->loadBehavior, 3u);

    kstest::BoxRecorder boxes;
    kshost::Outlook outlook;
    kshost::LoadedAddIn addin;
    ASSERT_EQ(addin.Create(entry->progId.c_str()), S_OK);
    EXPECT_EQ(CompareStringOrdinal(LoadedModulePath(L"KestrinSelect.dll").c_str(), -1, InstalledDll().c_str(), -1,
                                   TRUE),
              CSTR_EQUAL)
        << Narrow(LoadedModulePath(L"KestrinSelect.dll"));
    ASSERT_EQ(addin.Connect(outlook), S_OK);

    kshost::Ribbon ribbon;
    std::string error;
    EXPECT_EQ(kshost::LoadRibbon(addin.Extensibility(), L"Microsoft.Outlook.Mail.Compose", ribbon, error), S_OK)
        << error;
    std::vector<std::wstring> shown;
    for (const kshost::RibbonGroup& group : ribbon.groups) {
        for (const kshost::RibbonButton& button : group.buttons) shown.push_back(button.label);
    }
    std::vector<std::wstring> expected;
    if (g_expect.select) expected.push_back(L"Encrypt && Send");
    if (g_expect.unselect) expected.push_back(L"Send Unencrypted");
    EXPECT_EQ(shown, expected) << Narrow(ribbon.markup);
    EXPECT_EQ(ribbon.customised, !expected.empty()) << Narrow(ribbon.markup);

    EXPECT_EQ(addin.Disconnect(), S_OK);
    addin.Release();
    EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Boxes().front().title << ": " << boxes.Boxes().front().text;
}

// The package writes the registration itself; it must be the very tree that
// the DLL's own registration writes. Unregistering through the DLL must
// leave nothing of the package's, and registering again must give it back.
TEST(Installed, PackageRegistrationIsTheDllsOwn) {
    const Tree fromPackage = ComRegistration();
    ASSERT_FALSE(fromPackage.empty());

    ASSERT_EQ(CallDllEntry("DllUnregisterServer"), S_OK);
    EXPECT_EQ(Lines(ComRegistration()), "");
    ASSERT_EQ(CallDllEntry("DllRegisterServer"), S_OK);
    const Tree fromDll = ComRegistration();
    EXPECT_EQ(Lines(fromPackage), Lines(fromDll));

    if (!g_expect.treeOut.empty()) {
        std::ofstream out(g_expect.treeOut, std::ios::binary);
        out << Lines(fromDll);
        EXPECT_TRUE(out.good()) << g_expect.treeOut;
    }
}

// ---------------------------------------------------------------------------
// After msiexec /x

TEST(Removed, NoRegistrationIsLeft) {
    // A class key that another program extended stays, with that program's
    // subkey (and its empty default value, as reg.exe writes it) only.
    const std::string foreign =
        "HKCR\\CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}\n"
        "HKCR\\CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}\\Implemented Categories\n"
        "HKCR\\CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}\\Implemented Categories||sz|\n";
    EXPECT_EQ(Lines(ComRegistration()), g_expect.foreignKept ? foreign : "");
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), CO_E_CLASSSTRING);
    ks::ComRef<ITypeLib> library;
    EXPECT_TRUE(FAILED(LoadRegTypeLib(kLibId, 1, 0, 0, library.Put())));
}

TEST(Removed, NoAddinEntryNoSwitchesNoFile) {
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAddinEntry));
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, kSwitchesKey, L"selectEnabled"), L"<absent>");
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, kSwitchesKey, L"unselectEnabled"), L"<absent>");
    EXPECT_EQ(GetFileAttributesW(InstalledDll().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(InstalledProducts().empty());
    EXPECT_TRUE(UninstallEntries().empty());
}

// What others wrote beside the package's entries stays.
TEST(Removed, EntriesOfOthersStay) {
    if (!g_expect.foreignKept) GTEST_SKIP() << "nothing was planted";
    EXPECT_EQ(Str(HKEY_LOCAL_MACHINE, kSwitchesKey, L"otherSetting"), L"kept");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\Implemented Categories"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32"));
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--select=true" || arg == "--select=false") {
            g_expect.select = arg == "--select=true";
        } else if (arg == "--unselect=true" || arg == "--unselect=false") {
            g_expect.unselect = arg == "--unselect=true";
        } else if (arg == "--foreign-kept") {
            g_expect.foreignKept = true;
        } else if (arg.rfind("--tree-out=", 0) == 0) {
            g_expect.treeOut = arg.substr(std::strlen("--tree-out="));
        } else {
            std::fprintf(stderr, "installed_check: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
