// Entry point of every test program: COM on an apartment thread, as in
// Outlook's user-interface thread, and the add-in registered in the prefix.
#include <windows.h>
#include <objbase.h>
#include <cstdio>

#include <gtest/gtest.h>

#include "support/addin_dll.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "CoInitializeEx failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 2;
    }
    hr = kstest::RegisterAddin();
    if (FAILED(hr)) {
        std::fprintf(stderr, "registering the add-in failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 2;
    }
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
