// The COM server frame as Windows and Outlook see it: registration keys read
// back from the registry, the type library, the class object, unloading.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "KestrinSelect_h.h"
#include "addin/host_interfaces.h"
#include "server/owners.h"
#include "support/addin_dll.h"

using kstest::AddinLibrary;
using kstest::KeyExists;
using kstest::ReadString;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{2B934FC2-7687-425C-8342-00EDCAA83BCB}";
const wchar_t kClsidText[] = L"{2B934FC2-7687-425C-8342-00EDCAA83BCB}";
const wchar_t kLibIdText[] = L"{FECAE1F1-387C-4BCF-B306-B5FB0DBA52B6}";

std::wstring Str(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    std::wstring value;
    if (!ReadString(root, path, name, value)) return L"<absent>";
    return value;
}

bool HasDefaultValue(const std::wstring& path) {
    ks::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
    return RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD SubkeyCount(const std::wstring& path) {
    ks::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    return count;
}

void ExpectClassTree(const std::wstring& modulePath) {
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect.1"), L"Connect Class");
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect.1\\CLSID"), kClsidText);
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect"), L"Connect Class");
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect\\CLSID"), kClsidText);
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect\\CurVer"), L"KestrinSelectATL.Connect.1");
    const std::wstring cls = kClassKey;
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls), L"Connect Class");
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\ProgID"), L"KestrinSelectATL.Connect.1");
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\VersionIndependentProgID"), L"KestrinSelectATL.Connect");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Programmable"));
    EXPECT_FALSE(HasDefaultValue(cls + L"\\Programmable"));
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32"), modulePath);
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(Str(HKEY_CLASSES_ROOT, cls + L"\\TypeLib"), kLibIdText);
    EXPECT_EQ(SubkeyCount(cls), 5u);
}

bool TypeLibRegistered() {
    ks::ComRef<ITypeLib> library;
    return SUCCEEDED(LoadRegTypeLib(LIBID_KestrinSelectATLLib, 1, 0, 0, library.Put()));
}

// Copies the DLL into a folder of the given name under the test directory.
std::wstring CopyDllInto(const std::wstring& folder) {
    std::wstring dir = kstest::TestDirectory() + folder;
    CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring target = dir + L"\\KestrinSelect.dll";
    CopyFileW(kstest::AddinDllPath().c_str(), target.c_str(), FALSE);
    return target;
}

class Registration : public ::testing::Test {
protected:
    void TearDown() override {
        // Leave the prefix as every test program expects it: registered from
        // the DLL beside the tests.
        ASSERT_EQ(kstest::RegisterAddin(), S_OK);
    }
};

}  // namespace

TEST_F(Registration, WritesTheClassTreeAndTheTypeLibrary) {
    AddinLibrary dll;
    ASSERT_TRUE(dll.Loaded());
    ASSERT_EQ(dll.Register(), S_OK);
    ExpectClassTree(kstest::AddinDllPath());
    EXPECT_TRUE(TypeLibRegistered());
    std::wstring tlbPath;
    ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibIdText + L"\\1.0\\0\\win64", nullptr,
                           tlbPath) ||
                ReadString(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kLibIdText + L"\\1.0\\0\\win32", nullptr,
                           tlbPath));
    EXPECT_EQ(tlbPath, kstest::AddinDllPath());
}

TEST_F(Registration, TwiceRewritesTheClassKeyAndOverwritesProgIdsInPlace) {
    AddinLibrary dll;
    ASSERT_EQ(dll.Register(), S_OK);
    const std::wstring cls = kClassKey;
    // Something left in the class key or under Programmable goes (ForceRemove);
    // something in a ProgID key stays (written in place).
    ks::UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (cls + L"\\Stale").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.Put(), nullptr), ERROR_SUCCESS);
    key.Reset();
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (cls + L"\\Programmable\\Old").c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, key.Put(), nullptr), ERROR_SUCCESS);
    key.Reset();
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect\\Kept", 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.Put(), nullptr), ERROR_SUCCESS);
    key.Reset();

    ASSERT_EQ(dll.Register(), S_OK);
    ExpectClassTree(kstest::AddinDllPath());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Stale"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Programmable\\Old"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect\\Kept"));
    kstest::DeleteTree(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect\\Kept");
}

TEST_F(Registration, UnregisterRemovesEverythingButTheClsidRoot) {
    AddinLibrary dll;
    ASSERT_EQ(dll.Register(), S_OK);
    ASSERT_EQ(dll.Unregister(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_FALSE(TypeLibRegistered());
    // A second unregistration finds no keys to remove; the type library's own
    // unregistration then reports that there is nothing registered.
    EXPECT_TRUE(FAILED(dll.Unregister()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
}

TEST_F(Registration, UnregisterLeavesAClassKeyThatAnotherProgramExtended) {
    AddinLibrary dll;
    ASSERT_EQ(dll.Register(), S_OK);
    const std::wstring foreign = std::wstring(kClassKey) + L"\\Implemented Categories";
    ks::UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, foreign.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Put(),
                              nullptr), ERROR_SUCCESS);
    key.Reset();
    ASSERT_EQ(dll.Unregister(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, foreign));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\InprocServer32"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kClassKey) + L"\\ProgID"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"KestrinSelectATL.Connect"));
    kstest::DeleteTree(HKEY_CLASSES_ROOT, kClassKey);
}

// A quote is doubled in the script and written once; a folder whose name
// the ANSI code page cannot spell is written as it is, and the type library
// registers from there.
TEST_F(Registration, ModulePathIsWrittenAsTheSystemNamesIt) {
    for (const wchar_t* folder : {L"it's here", L"\u0141\u00f3d\u017a-\u00e7"}) {
        const std::wstring copy = CopyDllInto(folder);
        SCOPED_TRACE(testing::Message() << "folder of " << wcslen(folder) << " characters");
        if (folder[0] != L'i') {
            BOOL lossy = FALSE;
            char narrow[64];
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder, -1, narrow, sizeof(narrow), nullptr, &lossy);
            ASSERT_TRUE(lossy) << "the code page " << GetACP() << " spells the name: the case is not shown";
        }
        {
            AddinLibrary dll(copy);
            ASSERT_TRUE(dll.Loaded());
            ASSERT_EQ(dll.Register(), S_OK);
            ExpectClassTree(copy);
            EXPECT_TRUE(TypeLibRegistered());
            ASSERT_EQ(dll.Unregister(), S_OK);
        }
        DeleteFileW(copy.c_str());
    }
}

TEST(TypeLibrary, HoldsExactlyTheCallbackInterfaceAndTwoClasses) {
    ks::ComRef<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_KestrinSelectATLLib, 1, 0, 0, library.Put()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    library->ReleaseTLibAttr(attr);

    ks::UniqueBstr name, doc;
    ASSERT_EQ(library->GetDocumentation(-1, name.Put(), doc.Put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(name.Get(), L"KestrinSelectATLLib");
    EXPECT_STREQ(doc.Get(), L"KestrinSelectATL 1.0 Type Library");

    struct Expected { const GUID* guid; TYPEKIND kind; const wchar_t* name; const wchar_t* help; };
    const Expected types[] = {
        {&CLSID_Connect, TKIND_COCLASS, L"Connect", L"Connect Class"},
        {&CLSID_RibbonCallback, TKIND_COCLASS, L"RibbonCallback", L"RibbonCallback Class"},
        {&IID_IRibbonCallback, TKIND_DISPATCH, L"IRibbonCallback", L"IRibbonCallback Interface"},
    };
    for (const Expected& e : types) {
        ks::ComRef<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*e.guid, info.Put()), S_OK) << static_cast<const void*>(e.name);
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, e.kind);
        if (e.kind == TKIND_DISPATCH) {
            EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FDUAL);
            EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
            HREFTYPE vtable = 0;
            ks::ComRef<ITypeInfo> vtableInfo;
            ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(vtable, vtableInfo.Put()), S_OK);
            TYPEATTR* va = nullptr;
            ASSERT_EQ(vtableInfo->GetTypeAttr(&va), S_OK);
            EXPECT_EQ(va->typekind, TKIND_INTERFACE);
            EXPECT_TRUE(va->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
            EXPECT_EQ(va->cFuncs, 3);
            vtableInfo->ReleaseTypeAttr(va);
        } else {
            EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FCANCREATE);
        }
        info->ReleaseTypeAttr(ta);
        ks::UniqueBstr typeName, typeDoc;
        ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, typeName.Put(), typeDoc.Put(), nullptr, nullptr), S_OK);
        EXPECT_STREQ(typeName.Get(), e.name);
        EXPECT_STREQ(typeDoc.Get(), e.help);
    }

    // Exactly the three types, in this order: nothing copied from stdole2.
    ASSERT_EQ(library->GetTypeInfoCount(), 3u);
    for (UINT i = 0; i < 3; ++i) {
        ks::UniqueBstr typeName;
        ASSERT_EQ(library->GetDocumentation(static_cast<INT>(i), typeName.Put(), nullptr, nullptr, nullptr), S_OK);
        EXPECT_STREQ(typeName.Get(), types[i].name);
    }

    // Connect's default interface is stdole2's IUnknown, imported.
    ks::ComRef<ITypeInfo> connect;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_Connect, connect.Put()), S_OK);
    INT implFlags = 0;
    ASSERT_EQ(connect->GetImplTypeFlags(0, &implFlags), S_OK);
    EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE unknownRef = 0;
    ks::ComRef<ITypeInfo> unknown;
    ASSERT_EQ(connect->GetRefTypeOfImplType(0, &unknownRef), S_OK);
    ASSERT_EQ(connect->GetRefTypeInfo(unknownRef, unknown.Put()), S_OK);
    TYPEATTR* ua = nullptr;
    ASSERT_EQ(unknown->GetTypeAttr(&ua), S_OK);
    EXPECT_TRUE(IsEqualGUID(ua->guid, IID_IUnknown));
    unknown->ReleaseTypeAttr(ua);
    ks::ComRef<ITypeLib> home;
    UINT homeIndex = 0;
    ASSERT_EQ(unknown->GetContainingTypeLib(home.Put(), &homeIndex), S_OK);
    TLIBATTR* homeAttr = nullptr;
    ASSERT_EQ(home->GetLibAttr(&homeAttr), S_OK);
    const GUID stdole2 = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    EXPECT_TRUE(IsEqualGUID(homeAttr->guid, stdole2)) << "IUnknown comes from stdole2";
    home->ReleaseTLibAttr(homeAttr);

    ks::ComRef<ITypeInfo> callback;
    ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IRibbonCallback, callback.Put()), S_OK);
    const wchar_t* methods[] = {L"onClickSelect", L"onClickUnselect", L"getImage"};
    const wchar_t* helps[] = {L"method onClickSelect", L"method onClickUnselect", L"method getImage"};
    for (int i = 0; i < 3; ++i) {
        LPOLESTR n = const_cast<LPOLESTR>(methods[i]);
        MEMBERID id = 0;
        ASSERT_EQ(callback->GetIDsOfNames(&n, 1, &id), S_OK);
        EXPECT_EQ(id, i + 1);
        ks::UniqueBstr help;
        ASSERT_EQ(callback->GetDocumentation(id, nullptr, help.Put(), nullptr, nullptr), S_OK);
        EXPECT_STREQ(help.Get(), helps[i]);
    }
}

TEST(ClassObject, ServesOnlyConnectAndIsCached) {
    AddinLibrary dll;
    ks::ComRef<IClassFactory> first, second;
    ASSERT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, first.PutVoid()), S_OK);
    ASSERT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, second.PutVoid()), S_OK);
    EXPECT_EQ(first.Get(), second.Get());

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(CLSID_RibbonCallback, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, nullptr), E_POINTER);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(CLSID_Connect, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // An outer object is refused whatever the interface asked for.
    ks::ComRef<IUnknown> made;
    EXPECT_EQ(first->CreateInstance(first.Get(), IID_IUnknown, made.PutVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(made.Get(), nullptr);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IClassFactory, made.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(made.Get(), nullptr);
}

TEST(ClassObject, CanUnloadOnlyWhenNothingIsAlive) {
    AddinLibrary dll;
    ASSERT_EQ(dll.CanUnloadNow(), S_OK);
    ks::ComRef<IClassFactory> factory;
    ASSERT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // an outside reference to the class object

    ks::ComRef<IUnknown> connect;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, connect.PutVoid()), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // a live CConnect
    connect.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);

    ASSERT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // a lock not yet matched
    ASSERT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

// The class object and the type information are made on first use, and the
// frame is the one part other threads may enter: threads that race to the
// first use of a freshly loaded module all get the one class object and
// type information that works. A copy of the DLL under another name is a
// module of its own, loaded and unloaded afresh each round.
TEST(ClassObject, FirstUseFromManyThreadsAtOnce) {
    const std::wstring copy = kstest::TestDirectory() + L"KestrinSelect-threads.dll";
    ASSERT_TRUE(CopyFileW(kstest::AddinDllPath().c_str(), copy.c_str(), FALSE));
    constexpr int kThreads = 8;
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        AddinLibrary dll(copy);
        ASSERT_TRUE(dll.Loaded());
        std::atomic<int> waiting{kThreads};
        std::vector<IClassFactory*> factories(kThreads, nullptr);
        std::vector<HRESULT> results(kThreads, E_UNEXPECTED);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                --waiting;
                while (waiting.load() > 0) std::this_thread::yield();
                ks::ComRef<IClassFactory> factory;
                ks::ComRef<IDispatch> callback;
                ks::ComRef<ITypeInfo> info;
                HRESULT hr = dll.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid());
                if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IDispatch, callback.PutVoid());
                DISPID id = DISPID_UNKNOWN;
                LPOLESTR name = const_cast<LPOLESTR>(L"getImage");
                if (SUCCEEDED(hr)) hr = callback->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
                if (SUCCEEDED(hr) && id != 3) hr = E_FAIL;
                if (SUCCEEDED(hr)) hr = callback->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put());
                factories[t] = factory.Get();
                results[t] = hr;
                info.Reset();
                callback.Reset();
                factory.Reset();
                CoUninitialize();
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(results[t], S_OK) << "thread " << t;
            EXPECT_EQ(factories[t], factories[0]) << "thread " << t << " got a class object of its own";
        }
        EXPECT_EQ(dll.CanUnloadNow(), S_OK);
    }
    DeleteFileW(copy.c_str());
}

TEST(Connect, CreatedByProgIdThroughCom) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"KestrinSelectATL.Connect", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Connect));
    ks::ComRef<IUnknown> connect;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, connect.PutVoid()), S_OK);
    ks::ComRef<IUnknown> extensibility;
    EXPECT_EQ(connect->QueryInterface(ks::IID__IDTExtensibility2, extensibility.PutVoid()), S_OK);
}

TEST(Connect, AnswersQueryInterfaceFromOneTable) {
    AddinLibrary dll;
    ks::ComRef<IClassFactory> factory;
    ASSERT_EQ(dll.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
    ks::ComRef<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.PutVoid()), S_OK);

    ks::ComRef<IUnknown> dispatch, callback, extensibility, ribbon;
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(ks::IID__IDTExtensibility2, extensibility.PutVoid()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(ks::IID_IRibbonExtensibility, ribbon.PutVoid()), S_OK);
    EXPECT_EQ(unknown.Get(), callback.Get());
    EXPECT_EQ(dispatch.Get(), callback.Get());
    EXPECT_NE(extensibility.Get(), callback.Get());
    EXPECT_NE(ribbon.Get(), callback.Get());
    EXPECT_NE(ribbon.Get(), extensibility.Get());

    // Every interface answers with the same identity.
    ks::ComRef<IUnknown> identity;
    ASSERT_EQ(ribbon->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), unknown.Get());
    ASSERT_EQ(extensibility->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), unknown.Get());

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(unknown->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
}

TEST(Connect, CallsByNameReachTheCallbackMethods) {
    ks::ComRef<IDispatch> dispatch;
    ASSERT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.PutVoid()),
              S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ks::ComRef<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.Put()), S_OK);

    const wchar_t* names[] = {L"onClickSelect", L"onClickUnselect", L"getImage"};
    for (int i = 0; i < 3; ++i) {
        LPOLESTR n = const_cast<LPOLESTR>(names[i]);
        DISPID id = 0;
        ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, i + 1);
    }
    LPOLESTR unknownName = const_cast<LPOLESTR>(L"onClickNothing");
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &unknownName, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
}

TEST(Module, CarriesItsVersionBlock) {
    const std::wstring path = kstest::AddinDllPath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00040000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00040000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00040000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00040000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L"KestrinCorp"},
        {L"FileDescription", L"KestrinSelect Outlook extension DLL"},
        {L"FileVersion", L"4.0.4.0"},
        {L"InternalName", L"AddIn.dll"},
        {L"LegalCopyright", L"Copyright (C) 2026 KestrinCorp. All rights reserved."},
        {L"OriginalFilename", L"KestrinSelect.dll"},
        {L"ProductName", L"KestrinSelect"},
        {L"ProductVersion", L"4.0.4.0"},
    };
    for (const auto& s : strings) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + s.first;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << static_cast<const void*>(s.first);
        EXPECT_STREQ(value, s.second);
    }
}

TEST(Module, HasItsManifestAndRegistryScript) {
    AddinLibrary dll;
    ASSERT_TRUE(dll.Loaded());
    EXPECT_NE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24)), nullptr);
    EXPECT_NE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(101), L"REGISTRY"), nullptr);
    EXPECT_NE(FindResourceW(dll.Handle(), MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
}
