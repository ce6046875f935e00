// Opens the add-in's About box the way a person does: the stand-in Outlook
// loads the add-in beside this program, connects it, and clicks
// "&KestrinSelect" > "&About KestrinSelect". Used by tools/about_screenshot.sh.
//
//   show_about_box.exe ready.txt done.txt
//
// Once the box is painted it writes the box's geometry to ready.txt
// ("window X Y W H", "client X Y W H" on the screen, "ok X Y W H" in client
// coordinates); it closes the box with OK when done.txt exists, or after 60 s.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "host/outlook/addin_site.h"

namespace {

// The add-in as Outlook's add-in list names it.
constexpr wchar_t kProgId[] = L"KestrinSelectATL.Connect";

std::string g_readyPath;
std::string g_donePath;
HWND g_dialog = nullptr;
DWORD g_openedAt = 0;
bool g_reported = false;
HHOOK g_hook = nullptr;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteGeometry(HWND dialog) {
    RECT window;
    GetWindowRect(dialog, &window);
    RECT client;
    GetClientRect(dialog, &client);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    RECT ok = {};
    GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&ok), 2);

    const std::string temp = g_readyPath + ".tmp";
    FILE* out = std::fopen(temp.c_str(), "w");
    if (!out) return;
    std::fprintf(out, "window %ld %ld %ld %ld\n", window.left, window.top, window.right - window.left,
                 window.bottom - window.top);
    std::fprintf(out, "client %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    std::fprintf(out, "ok %ld %ld %ld %ld\n", ok.left, ok.top, ok.right - ok.left, ok.bottom - ok.top);
    std::fclose(out);
    MoveFileExA(temp.c_str(), g_readyPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_dialog || !IsWindow(g_dialog)) return;
    // Give the box a moment on the screen before telling it is ready.
    if (!g_reported && GetTickCount() - g_openedAt >= 500) {
        RedrawWindow(g_dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        WriteGeometry(g_dialog);
        g_reported = true;
        return;
    }
    if (g_reported && (Exists(g_donePath) || GetTickCount() - g_openedAt >= 60000)) {
        SendMessageW(GetDlgItem(g_dialog, IDOK), BM_CLICK, 0, 0);
    }
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && !g_dialog) {
        char name[16] = {};
        HWND window = reinterpret_cast<HWND>(wParam);
        if (GetClassNameA(window, name, sizeof(name)) && lstrcmpA(name, "#32770") == 0) {
            g_dialog = window;
            g_openedAt = GetTickCount();
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

HRESULT RegisterAddinBesideUs() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dll(path, n);
    dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "KestrinSelect.dll";
    HMODULE module = LoadLibraryA(dll.c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    using RegisterFn = HRESULT(STDAPICALLTYPE*)();
    auto registerServer =
        reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    HRESULT hr = registerServer ? registerServer() : E_NOTIMPL;
    FreeLibrary(module);
    return hr;
}

int Run() {
    HRESULT hr = RegisterAddinBesideUs();
    if (FAILED(hr)) {
        std::fprintf(stderr, "show_about_box: registering the add-in failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 2;
    }
    kshost::Outlook outlook;
    kshost::LoadedAddIn addin;
    hr = addin.Create(kProgId);
    if (SUCCEEDED(hr)) hr = addin.Connect(outlook);
    if (FAILED(hr)) {
        std::fprintf(stderr, "show_about_box: connecting the add-in failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 3;
    }
    auto* menu = dynamic_cast<kshost::Popup*>(outlook.MenuBarControls().FindByTag(L"KestrinSelectATL"));
    auto* about = menu ? dynamic_cast<kshost::Button*>(menu->Items().FindByCaption(L"&About KestrinSelect")) : nullptr;
    if (!about) {
        std::fprintf(stderr, "show_about_box: no \"&About KestrinSelect\" item on the menu bar\n");
        return 4;
    }

    g_hook = SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(nullptr, 0, 100, Tick);
    about->Click();  // returns when the box is closed
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(g_hook);

    addin.Disconnect();
    addin.Release();
    if (!g_reported) {
        std::fprintf(stderr, "show_about_box: the About box did not open\n");
        return 5;
    }
    std::printf("show_about_box: the About box opened and closed with OK\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: show_about_box ready.txt done.txt\n");
        return 1;
    }
    g_readyPath = argv[1];
    g_donePath = argv[2];
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int result = Run();
    CoUninitialize();
    return result;
}
