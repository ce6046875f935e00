// The stand-in Outlook as a program: loads the add-ins of the add-in list as
// Outlook does at start-up, opens compose windows, builds their ribbon from
// the add-in's markup, presses buttons, clicks the legacy menu, and shuts
// down. It prints what happens; sent messages land as .eml files in the
// outbox folder.
//
//   outlook_standin [--outbox DIR] [--ribbon-png FILE] ACTION...
//   ACTION: compose BODY [TO] [SUBJECT] | press LABEL | about | help | ribbon | close
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "addin/host_interfaces.h"
#include "host/addin_site.h"
#include "host/command_bars.h"
#include "host/compose_window.h"
#include "host/outbox.h"
#include "host/outlook.h"
#include "host/outlook/addin_list.h"
#include "host/outlook/ribbon_ui.h"
#include "support/message_boxes.h"

namespace {

std::string U8(const std::wstring& text) { return kshost::ToUtf8(text); }

const char* HrName(HRESULT hr) {
    static char buffer[32];
    if (hr == S_OK) return "S_OK";
    std::snprintf(buffer, sizeof(buffer), "0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

double NowMs() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

class StandInOutlook {
public:
    StandInOutlook(std::wstring outbox, std::wstring ribbonPng)
        : m_outbox(std::move(outbox)), m_ribbonPng(std::move(ribbonPng)) {
        m_boxes.OnDialog([this](HWND dialog) { CloseDialog(dialog); });
    }

    int Run(const std::vector<std::wstring>& actions);

private:
    void StartUp();
    void ShutDown();
    void Compose(const std::wstring& body, const std::wstring& to, const std::wstring& subject);
    void ShowRibbon();
    void Press(const std::wstring& label);
    void ClickMenuItem(const wchar_t* caption);
    void ReportBoxes();
    void ReportOutbox();
    void CloseDialog(HWND dialog);
    kshost::LoadedAddIn* KestrinSelect();

    kshost::Outlook m_outlook;
    kshost::Outbox m_outbox;
    std::wstring m_ribbonPng;
    kstest::BoxRecorder m_boxes;
    std::vector<std::unique_ptr<kshost::LoadedAddIn>> m_addins;
    std::vector<std::wstring> m_progIds;
    std::unique_ptr<kshost::ComposeWindow> m_window;
    size_t m_reportedFiles = 0;
    int m_failures = 0;
};

kshost::LoadedAddIn* StandInOutlook::KestrinSelect() {
    for (size_t i = 0; i < m_addins.size(); ++i) {
        if (lstrcmpiW(m_progIds[i].c_str(), L"KestrinSelectATL.Connect") == 0) return m_addins[i].get();
    }
    return nullptr;
}

void StandInOutlook::StartUp() {
    std::printf("[start] stand-in Outlook (%s); add-in list:\n", sizeof(void*) == 8 ? "64-bit" : "32-bit");
    for (const standin::AddinEntry& entry : standin::ReadAddinList()) {
        std::printf("  %s  LoadBehavior %lu  (%s)  \"%s\"\n", U8(entry.progId).c_str(),
                    static_cast<unsigned long>(entry.loadBehavior), entry.fromCurrentUser ? "HKCU" : "HKLM",
                    U8(entry.friendlyName).c_str());
        if (entry.loadBehavior != 3) continue;
        auto addin = std::make_unique<kshost::LoadedAddIn>();
        HRESULT hr = addin->Create(entry.progId.c_str());
        if (FAILED(hr)) {
            std::printf("[load] %s: cannot be created (%s); Outlook would set LoadBehavior to 2\n",
                        U8(entry.progId).c_str(), HrName(hr));
            ++m_failures;
            continue;
        }
        const double start = NowMs();
        hr = addin->Connect(m_outlook, kshost::kConnectStartup);
        const double elapsed = NowMs() - start;
        std::printf("[load] %s: OnConnection %s in %.3f ms\n", U8(entry.progId).c_str(), HrName(hr), elapsed);
        if (elapsed > standin::kConnectionBudgetMs) {
            std::printf("[warn] %s took longer than %.0f ms to connect: Outlook would disable it\n",
                        U8(entry.progId).c_str(), standin::kConnectionBudgetMs);
        }
        if (FAILED(hr)) {
            ++m_failures;
            continue;
        }
        addin->StartupComplete();
        m_progIds.push_back(entry.progId);
        m_addins.push_back(std::move(addin));
    }
    ReportBoxes();
    std::printf("[menu] main window menu bar:");
    for (const std::wstring& caption : m_outlook.MenuBarControls().Captions()) std::printf(" %s", U8(caption).c_str());
    std::printf("\n");
}

void StandInOutlook::ShutDown() {
    m_window.reset();
    for (auto& addin : m_addins) {
        addin->BeginShutdown();
        addin->Disconnect(kshost::kDisconnectHostShutdown);
        addin->Release();
    }
    m_addins.clear();
    m_outlook.CloseMainWindow();
    HMODULE module = GetModuleHandleW(L"KestrinSelect.dll");
    if (module) {
        auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        HRESULT hr = canUnload ? canUnload() : E_NOTIMPL;
        std::printf("[shutdown] OnBeginShutdown, OnDisconnection, released; DllCanUnloadNow: %s\n",
                    hr == S_OK ? "S_OK (nothing left alive)" : "S_FALSE (something is still alive)");
        if (hr != S_OK) ++m_failures;
    } else {
        std::printf("[shutdown] no add-in DLL loaded\n");
    }
}

void StandInOutlook::Compose(const std::wstring& body, const std::wstring& to, const std::wstring& subject) {
    m_window.reset();
    kshost::MailItem& item = m_outlook.Compose(body, subject);
    kshost::SendThroughOutbox(item, m_outbox, to);
    m_window = std::make_unique<kshost::ComposeWindow>(static_cast<_MailItem*>(&item));
    m_window->FocusBody();
    std::printf("[compose] new message to %s, subject \"%s\", HTML body of %zu characters\n", U8(to).c_str(),
                U8(subject).c_str(), body.size());
    ShowRibbon();
}

void StandInOutlook::ShowRibbon() {
    kshost::LoadedAddIn* addin = KestrinSelect();
    if (!addin) return;
    standin::Ribbon ribbon;
    std::string error;
    HRESULT hr = standin::LoadRibbon(addin->Extensibility(), L"Microsoft.Outlook.Mail.Compose", ribbon, error);
    if (FAILED(hr)) {
        std::printf("[ribbon] refused: %s (%s)\n", error.c_str(), HrName(hr));
        ++m_failures;
        return;
    }
    standin::LoadRibbonImages(addin->Extensibility(), ribbon);
    if (!ribbon.customised || ribbon.groups.empty()) {
        std::printf("[ribbon] GetCustomUI(\"Microsoft.Outlook.Mail.Compose\"): no group (both switches off)\n");
    }
    for (const standin::RibbonGroup& group : ribbon.groups) {
        std::printf("[ribbon] tab %s, group \"%s\" before %s:", U8(group.tabIdMso).c_str(), U8(group.label).c_str(),
                    U8(group.insertBeforeMso).c_str());
        for (const standin::RibbonButton& button : group.buttons) {
            std::printf(" [%s%s]", U8(standin::DisplayLabel(button.label)).c_str(),
                        button.picture ? " + picture" : ", no picture");
        }
        std::printf("\n");
    }
    if (!m_ribbonPng.empty() && SUCCEEDED(standin::RenderRibbonPng(ribbon, m_ribbonPng))) {
        std::printf("[ribbon] drawn to %s\n", U8(m_ribbonPng).c_str());
    }
}

void StandInOutlook::Press(const std::wstring& label) {
    kshost::LoadedAddIn* addin = KestrinSelect();
    if (!addin) return;
    standin::Ribbon ribbon;
    std::string error;
    standin::LoadRibbon(addin->Extensibility(), L"Microsoft.Outlook.Mail.Compose", ribbon, error);
    for (const standin::RibbonGroup& group : ribbon.groups) {
        for (const standin::RibbonButton& button : group.buttons) {
            if (standin::DisplayLabel(button.label) != label) continue;
            if (m_window) m_window->FocusBody();
            HRESULT hr = addin->RunRibbonAction(m_outlook, button.onAction.c_str(), button.id.c_str());
            std::printf("[press] \"%s\" -> %s: %s\n", U8(label).c_str(), U8(button.onAction).c_str(), HrName(hr));
            ReportBoxes();
            kshost::ComposeWindow::PumpMessages();  // the posted send command runs now
            if (m_window && m_window->SendCommands() > 0) {
                std::printf("[send] the compose window ran its send command: %s\n",
                            HrName(m_window->LastSendResult()));
            }
            ReportOutbox();
            return;
        }
    }
    std::printf("[press] no button \"%s\" on the ribbon\n", U8(label).c_str());
    ++m_failures;
}

void StandInOutlook::ClickMenuItem(const wchar_t* caption) {
    kshost::ControlData* menu = m_outlook.MenuBarControls().FindByTag(L"KestrinSelectATL");
    auto* popup = menu ? dynamic_cast<kshost::Popup*>(menu) : nullptr;
    kshost::ControlData* item = popup ? popup->Items().FindByCaption(caption) : nullptr;
    if (auto* button = item ? dynamic_cast<kshost::Button*>(item) : nullptr) {
        std::printf("[menu] click \"%s\"\n", U8(caption).c_str());
        button->Click();
        ReportBoxes();
        return;
    }
    std::printf("[menu] no \"%s\" item under \"&KestrinSelect\"\n", U8(caption).c_str());
    ++m_failures;
}

void StandInOutlook::CloseDialog(HWND dialog) {
    // The About box: look at it as a person would, then press OK.
    char title[256] = "";
    GetWindowTextA(dialog, title, sizeof(title));
    RECT client{};
    GetClientRect(dialog, &client);
    std::printf("[dialog] \"%s\" open, client area %ld x %ld; pressing OK\n", title, client.right, client.bottom);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void StandInOutlook::ReportBoxes() {
    for (const kstest::ShownBox& box : m_boxes.Boxes()) {
        if (box.isMessageBox) std::printf("[box] %s: %s\n", box.title.c_str(), box.text.c_str());
    }
    m_boxes.Clear();
}

void StandInOutlook::ReportOutbox() {
    std::vector<std::wstring> files = m_outbox.Files();
    for (size_t i = m_reportedFiles; i < files.size(); ++i) {
        std::printf("[outbox] %s\n", U8(files[i]).c_str());
    }
    m_reportedFiles = files.size();
}

int StandInOutlook::Run(const std::vector<std::wstring>& actions) {
    StartUp();
    for (size_t i = 0; i < actions.size(); ++i) {
        const std::wstring& action = actions[i];
        auto next = [&](const wchar_t* fallback) { return i + 1 < actions.size() ? actions[++i] : fallback; };
        if (action == L"compose") {
            std::wstring body = next(L"<html><body></body></html>");
            std::wstring to = i + 1 < actions.size() && actions[i + 1].find(L'@') != std::wstring::npos
                                  ? actions[++i] : L"reader@example.com";
            std::wstring subject = i + 1 < actions.size() && actions[i + 1].rfind(L"subject=", 0) == 0
                                       ? actions[++i].substr(8) : L"Quarterly figures";
            Compose(body, to, subject);
        } else if (action == L"press") {
            Press(next(L""));
        } else if (action == L"ribbon") {
            ShowRibbon();
        } else if (action == L"about") {
            ClickMenuItem(L"&About KestrinSelect");
        } else if (action == L"help") {
            ClickMenuItem(L"&Help");
        } else if (action == L"close") {
            break;
        } else {
            std::printf("[error] unknown action \"%s\"\n", U8(action).c_str());
            ++m_failures;
        }
    }
    ShutDown();
    return m_failures == 0 ? 0 : 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    std::wstring outbox = L"outbox";
    std::wstring ribbonPng;
    std::vector<std::wstring> actions;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--outbox" && i + 1 < argc) {
            outbox = argv[++i];
        } else if (arg == L"--ribbon-png" && i + 1 < argc) {
            ribbonPng = argv[++i];
        } else {
            actions.push_back(arg);
        }
    }
    int result;
    {
        StandInOutlook outlook(outbox, ribbonPng);
        result = outlook.Run(actions);
    }
    CoUninitialize();
    LocalFree(argv);
    std::fflush(stdout);
    return result;
}
