// The stand-in Outlook as a program: loads every COM add-in of the add-in
// list as Outlook does at start-up, opens compose windows, builds their
// ribbon from the add-ins' markup, presses buttons, fills the To box, clicks
// the add-ins' menu items on the main window's Add-ins tab (or, as Outlook
// 2007, on its menu bar), unloads an add-in as the COM Add-ins dialog does,
// and exits. It prints what happens; sent messages land as .eml files in the
// outbox folder.
//
//   outlook_standin [--outbox DIR] [--ribbon-png FILE] [--addins-png FILE]
//                   [--menu-bar] [--notify-shutdown] [--byref-image-first]
//                   [--editor verbatim|word|html5|libxml]
//                   ACTION...
//   ACTION: compose BODY [TO | to=NAMES] [subject=SUBJECT] | to NAMES |
//           press LABEL | ribbon | menu CAPTION | disconnect PROGID | close
//   compose without TO addresses the message to reader@example.com; to= with
//   nothing after it leaves the To box empty. NAMES are separated by ";".
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <mapicode.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "addin/host_interfaces.h"
#include "host/outlook/addin_list.h"
#include "host/outlook/addin_site.h"
#include "host/outlook/addins_tab.h"
#include "host/outlook/box_watcher.h"
#include "host/outlook/command_bars.h"
#include "host/outlook/compose_window.h"
#include "host/outlook/object_model.h"
#include "host/outlook/outbox.h"
#include "host/outlook/recipients.h"
#include "host/outlook/ribbon_ui.h"

namespace {

const wchar_t kExplorerRibbon[] = L"Microsoft.Outlook.Explorer";
const wchar_t kComposeRibbon[] = L"Microsoft.Outlook.Mail.Compose";

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

// Whether the module of an add-in may be unloaded, asked through its own export.
const char* CanUnloadText(const std::wstring& progId, bool& alive) {
    alive = false;
    HMODULE module = kshost::LoadedModuleOf(progId);
    if (!module) return "no module loaded";
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    const HRESULT hr = canUnload ? canUnload() : E_NOTIMPL;
    alive = hr != S_OK;
    return hr == S_OK ? "S_OK (nothing left alive)" : "S_FALSE (something is still alive)";
}

// One COM add-in as the stand-in holds it, with the markup it gave and the
// pictures it loaded, by ribbon id, kept for the session.
struct HostedAddIn {
    kshost::AddinEntry entry;
    kshost::LoadedAddIn addin;
    std::map<std::wstring, kshost::Ribbon> ribbons;
};

class StandInOutlook {
public:
    StandInOutlook(std::wstring outbox, std::wstring ribbonPng, bool notifyShutdown, bool byReferenceFirst,
                   kshost::EditorKind editor)
        : m_outbox(std::move(outbox)), m_ribbonPng(std::move(ribbonPng)), m_notifyShutdown(notifyShutdown),
          m_imageForms(byReferenceFirst), m_boxes([this](HWND dialog) { CloseDialog(dialog); }) {
        m_outlook.UseEditor(editor);
    }

    int Run(const std::vector<std::wstring>& actions);

    // The main window as Outlook 2007 showed it, with a menu bar, instead of
    // the Add-ins tab of Outlook 2010 and later.
    void ShowMenuBar(bool menuBar) { m_menuBar = menuBar; }
    void DrawAddInsTabTo(std::wstring path) { m_addinsPng = std::move(path); }

private:
    void StartUp();
    void ShutDown();
    void Compose(const std::wstring& body, const std::wstring& to, const std::wstring& subject);
    const kshost::Ribbon& RibbonOf(HostedAddIn& hosted, const wchar_t* ribbonId, const char* when);
    // The compose window's ribbon, asked for at the first one.
    const kshost::Ribbon& ComposeRibbonOf(HostedAddIn& hosted) {
        return RibbonOf(hosted, kComposeRibbon, "(the first compose window)");
    }
    void ShowRibbon();
    void Press(const std::wstring& label);
    void RunPress(const std::wstring& key);
    void Disconnect(const std::wstring& progId);
    void ShowMainWindowMenus();
    void ClickMenuItem(const wchar_t* caption);
    void ClickAddInsTabItem(const wchar_t* caption);
    void TypeRecipients(const std::wstring& names);
    void ReportRefusedSend(kshost::ComposeWindow& window, kshost::MailItem& item, size_t composedLength);
    void ReportBoxes();
    void ReportOutbox();
    void CloseDialog(HWND dialog);

    kshost::Outlook m_outlook;
    kshost::Outbox m_outbox;
    std::wstring m_ribbonPng;
    bool m_notifyShutdown;
    kshost::ImageIdForms m_imageForms;
    kshost::BoxWatcher m_boxes;
    std::vector<std::unique_ptr<HostedAddIn>> m_addins;
    std::vector<std::unique_ptr<kshost::ComposeWindow>> m_windows;  // the last one is in front
    // For each window, its message and the length of the body as composed.
    std::vector<std::pair<kshost::MailItem*, size_t>> m_messages;
    bool m_menuBar = false;
    std::wstring m_addinsPng;
    bool m_composed = false;  // a compose window was opened this session
    size_t m_reportedFiles = 0;
    int m_failures = 0;
};

// Start-up as Outlook does it: every listed add-in that loads at start-up is
// created and connected; Office then asks each for the explorer's ribbon
// ("Office calls GetCustomUI during Outlook startup to load ribbon
// customizations for the explorers", Implementing the IRibbonExtensibility
// Interface); OnStartupComplete comes once all are connected ("occurs when
// Outlook completes its startup routines", Outlook COM add-in template).
void StandInOutlook::StartUp() {
    std::printf("[start] stand-in Outlook (%s); add-in list:\n", sizeof(void*) == 8 ? "64-bit" : "32-bit");
    for (const kshost::AddinEntry& entry : kshost::ReadAddinList()) {
        std::printf("  %s  LoadBehavior %lu  (%s)  \"%s\"\n", U8(entry.progId).c_str(),
                    static_cast<unsigned long>(entry.loadBehavior), entry.fromCurrentUser ? "HKCU" : "HKLM",
                    U8(entry.friendlyName).c_str());
        if (entry.loadBehavior != 3) continue;
        auto hosted = std::make_unique<HostedAddIn>();
        hosted->entry = entry;
        HRESULT hr = hosted->addin.Create(entry.progId.c_str());
        if (FAILED(hr)) {
            std::printf("[load] %s: cannot be created (%s); Outlook would set LoadBehavior to 2\n",
                        U8(entry.progId).c_str(), HrName(hr));
            ++m_failures;
            continue;
        }
        const double start = NowMs();
        hr = hosted->addin.Connect(m_outlook, ks::ext_cm_Startup);
        const double elapsed = NowMs() - start;
        std::printf("[load] %s: OnConnection %s in %.3f ms\n", U8(entry.progId).c_str(), HrName(hr), elapsed);
        if (elapsed > kshost::kConnectionBudgetMs) {
            std::printf("[warn] %s took longer than %.0f ms to connect: Outlook would disable it\n",
                        U8(entry.progId).c_str(), kshost::kConnectionBudgetMs);
        }
        if (FAILED(hr)) {
            ++m_failures;
            continue;
        }
        m_addins.push_back(std::move(hosted));
    }
    for (auto& hosted : m_addins) RibbonOf(*hosted, kExplorerRibbon, "at start-up");
    for (auto& hosted : m_addins) {
        std::printf("[startup] %s: OnStartupComplete %s\n", U8(hosted->entry.progId).c_str(),
                    HrName(hosted->addin.StartupComplete()));
    }
    ReportBoxes();
    ShowMainWindowMenus();
}

// Where the add-ins' menus are: on the Add-ins tab of the main window's
// ribbon (Outlook 2010 and later), or on its menu bar (Outlook 2007).
void StandInOutlook::ShowMainWindowMenus() {
    if (m_menuBar) {
        std::printf("[menu] main window menu bar:");
        for (const std::wstring& caption : m_outlook.MenuBarControls().Captions()) {
            std::printf(" %s", U8(caption).c_str());
        }
        std::printf("\n");
        return;
    }
    const kshost::AddInsTab tab = kshost::AddInsTabOf(m_outlook.MenuBarControls());
    std::printf("[addins] main window, no menu bar; %s\n", U8(kshost::DescribeAddInsTab(tab)).c_str());
    if (!m_addinsPng.empty()) {
        if (SUCCEEDED(kshost::RenderAddInsTabPng(tab, m_addinsPng))) {
            std::printf("[addins] drawn to %s\n", U8(m_addinsPng).c_str());
        } else {
            std::printf("[addins] cannot draw to %s\n", U8(m_addinsPng).c_str());
            ++m_failures;
        }
    }
}

// Outlook 2010 and later exit without telling add-ins: "In Outlook 2010, the
// Shutdown event is not raised when Outlook exits" (AddInBase.Shutdown
// event). The main window still closes first, and its Close event reaches
// whoever listens. --notify-shutdown keeps the earlier shut-down, which
// called OnBeginShutdown ("occurs when Outlook begins its shutdown
// routines", Outlook COM add-in template) and OnDisconnection.
void StandInOutlook::ShutDown() {
    m_windows.clear();
    const size_t closes = m_outlook.CloseMainWindow();
    std::printf("[shutdown] the main window closes: Close went to %zu sink(s)\n", closes);
    if (!m_notifyShutdown) {
        for (auto& hosted : m_addins) hosted->addin.Release();
        std::printf("[shutdown] fast shut-down: %zu add-in(s) released without OnBeginShutdown or OnDisconnection\n",
                    m_addins.size());
        m_addins.clear();
        return;
    }
    for (auto& hosted : m_addins) {
        const HRESULT begin = hosted->addin.BeginShutdown();
        const HRESULT disconnect = hosted->addin.Disconnect(ks::ext_dm_HostShutdown);
        hosted->addin.Release();
        bool alive = false;
        const char* unload = CanUnloadText(hosted->entry.progId, alive);
        std::printf("[shutdown] %s: OnBeginShutdown %s, OnDisconnection %s, released; DllCanUnloadNow: %s\n",
                    U8(hosted->entry.progId).c_str(), HrName(begin), HrName(disconnect), unload);
        if (alive) ++m_failures;
    }
    m_addins.clear();
}

// The ribbon an add-in gives for one ribbon id, asked for once a session:
// inspector ribbons "when the first instance of a given inspector type ... is
// displayed" (Implementing the IRibbonExtensibility Interface), with each
// picture loaded once; later windows reuse both.
const kshost::Ribbon& StandInOutlook::RibbonOf(HostedAddIn& hosted, const wchar_t* ribbonId, const char* when) {
    auto known = hosted.ribbons.find(ribbonId);
    if (known != hosted.ribbons.end()) return known->second;
    kshost::Ribbon& ribbon = hosted.ribbons[ribbonId];
    const std::string progId = U8(hosted.entry.progId);
    std::string error;
    const HRESULT hr = kshost::LoadRibbon(hosted.addin.Extensibility(), ribbonId, ribbon, error);
    if (FAILED(hr)) {
        std::printf("[ribbon] GetCustomUI(\"%s\") asked of %s %s: refused: %s (%s)\n", U8(ribbonId).c_str(),
                    progId.c_str(), when, error.c_str(), HrName(hr));
        ribbon = kshost::Ribbon{};
        ++m_failures;
        return ribbon;
    }
    std::printf("[ribbon] GetCustomUI(\"%s\") asked of %s %s: %s\n", U8(ribbonId).c_str(), progId.c_str(), when,
                ribbon.groups.empty() ? "no customisation"
                                      : (std::to_string(ribbon.groups.size()) + " group(s)").c_str());
    kshost::LoadRibbonImages(hosted.addin.Extensibility(), ribbon, m_imageForms);
    for (const kshost::RibbonGroup& group : ribbon.groups) {
        for (const kshost::RibbonButton& button : group.buttons) {
            if (button.image.empty()) continue;
            int width = 0, height = 0;
            unsigned long pixels = 0;
            std::printf("[image] %s(\"%s\") with the id as %s: ", U8(ribbon.loadImage).c_str(),
                        U8(button.image).c_str(), button.imageIdByReference ? "VT_BYREF|VT_BSTR" : "VT_BSTR");
            if (kshost::PictureFingerprint(button.picture.Get(), width, height, pixels)) {
                std::printf("%d x %d picture, pixels %08lx\n", width, height, pixels);
            } else {
                std::printf("no picture (%s)\n", HrName(button.imageResult));
            }
        }
    }
    return ribbon;
}

void StandInOutlook::Compose(const std::wstring& body, const std::wstring& to, const std::wstring& subject) {
    kshost::MailItem& item = m_outlook.Compose(body, subject);
    if (item.EditorFailures() > 0) {
        std::printf("[editor] the compose window's editor could not run: %s\n", U8(kshost::LastEditorError()).c_str());
        ++m_failures;
    }
    kshost::Inspector* inspector = m_outlook.ActiveInspectorObject();
    // The window's To box is what the transport addresses the message to.
    auto recipients = std::make_shared<kshost::Recipients>(to);
    kshost::SendThroughOutbox(item, m_outbox, recipients);
    auto window = std::make_unique<kshost::ComposeWindow>(static_cast<_MailItem*>(&item));
    window->UseRecipients(recipients);
    m_messages.emplace_back(&item, body.size());
    window->OnActivate([this, inspector] { m_outlook.Activate(inspector); });
    window->OnRibbonPress([this](const std::wstring& key) { RunPress(key); });
    window->FocusBody();
    m_windows.push_back(std::move(window));
    std::printf("[compose] new message to %s, subject \"%s\", HTML body of %zu characters\n",
                to.empty() ? "nobody (the To box is empty)" : U8(to).c_str(), U8(subject).c_str(), body.size());
    for (auto& hosted : m_addins) ComposeRibbonOf(*hosted);
    if (m_composed) {
        std::printf("[ribbon] \"%s\": the markup and pictures of the first compose window, reused\n",
                    U8(kComposeRibbon).c_str());
    }
    m_composed = true;
    ShowRibbon();
}

void StandInOutlook::ShowRibbon() {
    kshost::Ribbon all;
    for (auto& hosted : m_addins) {
        const kshost::Ribbon& ribbon = ComposeRibbonOf(*hosted);
        all.groups.insert(all.groups.end(), ribbon.groups.begin(), ribbon.groups.end());
    }
    if (all.groups.empty()) std::printf("[ribbon] \"%s\": no group (no add-in customises it)\n", U8(kComposeRibbon).c_str());
    for (const kshost::RibbonGroup& group : all.groups) {
        std::printf("[ribbon] tab %s, group \"%s\"%s%s:", U8(group.tabIdMso).c_str(), U8(group.label).c_str(),
                    group.insertBeforeMso.empty() ? "" : " before ", U8(group.insertBeforeMso).c_str());
        for (const kshost::RibbonButton& button : group.buttons) {
            std::printf(" [%s%s]", U8(kshost::DisplayLabel(button.label)).c_str(),
                        button.picture ? " + picture" : button.image.empty() ? "" : ", no picture");
        }
        std::printf("\n");
    }
    if (!m_ribbonPng.empty() && SUCCEEDED(kshost::RenderRibbonPng(all, m_ribbonPng))) {
        std::printf("[ribbon] drawn to %s\n", U8(m_ribbonPng).c_str());
    }
}

// A click on a button of the front compose window's ribbon, as the mouse
// gives it: through the window's message loop.
void StandInOutlook::Press(const std::wstring& label) {
    kshost::ComposeWindow* window = m_windows.empty() ? nullptr : m_windows.back().get();
    for (size_t i = 0; window && window->IsOpen() && i < m_addins.size(); ++i) {
        const kshost::Ribbon& ribbon = ComposeRibbonOf(*m_addins[i]);
        for (const kshost::RibbonGroup& group : ribbon.groups) {
            for (const kshost::RibbonButton& button : group.buttons) {
                if (kshost::DisplayLabel(button.label) != label) continue;
                const int sendsBefore = window->SendCommands();
                const int refusedBefore = window->RefusedSends();
                window->PostRibbonPress(std::to_wstring(i) + L":" + button.id);
                kshost::ComposeWindow::PumpMessages();  // the click, then the posted send command
                ReportBoxes();
                if (window->RefusedSends() > refusedBefore) {
                    const auto& message = m_messages[m_windows.size() - 1];
                    ReportRefusedSend(*window, *message.first, message.second);
                } else if (window->SendCommands() > sendsBefore) {
                    std::printf("[send] the compose window ran its send command: %s\n",
                                HrName(window->LastSendResult()));
                }
                ReportOutbox();
                return;
            }
        }
    }
    std::printf("[press] no button \"%s\" on the ribbon of an open compose window\n", U8(label).c_str());
    ++m_failures;
}

void StandInOutlook::RunPress(const std::wstring& key) {
    const size_t colon = key.find(L':');
    if (colon == std::wstring::npos) return;
    const size_t index = wcstoul(key.c_str(), nullptr, 10);
    const std::wstring id = key.substr(colon + 1);
    if (index >= m_addins.size()) return;
    HostedAddIn& hosted = *m_addins[index];
    for (const kshost::RibbonGroup& group : ComposeRibbonOf(hosted).groups) {
        for (const kshost::RibbonButton& button : group.buttons) {
            if (button.id != id) continue;
            const HRESULT hr = hosted.addin.RunRibbonAction(m_outlook, button.onAction.c_str(), button.id.c_str());
            std::printf("[press] \"%s\" -> %s: %s\n", U8(kshost::DisplayLabel(button.label)).c_str(),
                        U8(button.onAction).c_str(), HrName(hr));
            ReportBoxes();
            return;
        }
    }
}

// The COM Add-ins dialog unloading an add-in: OnDisconnection with
// ext_dm_UserClosed ("this event is raised when the user disables the add-in
// by using the COM Add-ins dialog box", AddInBase.Shutdown event); the other
// add-ins hear that the set changed ("Occurs when the set of connected COM
// add-ins changes", Outlook COM add-in template).
void StandInOutlook::Disconnect(const std::wstring& progId) {
    for (auto it = m_addins.begin(); it != m_addins.end(); ++it) {
        HostedAddIn& hosted = **it;
        if (lstrcmpiW(hosted.entry.progId.c_str(), progId.c_str()) != 0) continue;
        const HRESULT hr = hosted.addin.Disconnect(ks::ext_dm_UserClosed);
        hosted.addin.Release();
        const std::wstring name = hosted.entry.progId;
        m_addins.erase(it);
        bool alive = false;
        const char* unload = CanUnloadText(name, alive);
        std::printf("[disconnect] %s, from the COM Add-ins dialog: OnDisconnection(ext_dm_UserClosed) %s, released; "
                    "DllCanUnloadNow: %s\n",
                    U8(name).c_str(), HrName(hr), unload);
        if (alive || FAILED(hr)) ++m_failures;
        for (auto& other : m_addins) other->addin.AddInsUpdate();
        ReportBoxes();
        return;
    }
    std::printf("[disconnect] no connected add-in %s\n", U8(progId).c_str());
    ++m_failures;
}

// A refused send leaves the message open as the add-in left it: what it
// carries then is what Outlook's own Send button would send.
void StandInOutlook::ReportRefusedSend(kshost::ComposeWindow& window, kshost::MailItem& item, size_t composedLength) {
    const HRESULT why = window.LastSendResult();
    std::printf("[send] Outlook refused to send (%s): the message stays open in its window\n",
                why == MAPI_E_NO_RECIPIENTS ? "no recipient" : "a name that does not resolve");
    std::vector<kshost::HeaderField> headers;
    kshost::CollectInternetHeaders(&item.Message(), headers);
    std::printf("[open] To box \"%s\"; Internet headers:", U8(window.To().Typed()).c_str());
    if (headers.empty()) std::printf(" none");
    for (const kshost::HeaderField& header : headers) {
        std::printf(" %s: %s;", header.name.c_str(), header.value.c_str());
    }
    std::printf(" HTML body of %zu characters (composed: %zu)\n", item.HtmlBody().size(), composedLength);
}

// The sender types into the To box of the front compose window.
void StandInOutlook::TypeRecipients(const std::wstring& names) {
    kshost::ComposeWindow* window = m_windows.empty() ? nullptr : m_windows.back().get();
    if (!window || !window->IsOpen()) {
        std::printf("[to] no open compose window\n");
        ++m_failures;
        return;
    }
    window->To().Type(names);
    std::printf("[to] the sender types \"%s\" into the To box\n", U8(names).c_str());
}

void StandInOutlook::ClickMenuItem(const wchar_t* caption) {
    if (!m_menuBar) {
        ClickAddInsTabItem(caption);
        return;
    }
    // The items of the add-ins' menus on the main window's menu bar.
    for (size_t i = 0; i < m_outlook.MenuBarControls().Size(); ++i) {
        auto* popup = dynamic_cast<kshost::Popup*>(&m_outlook.MenuBarControls().At(i));
        kshost::ControlData* item = popup ? popup->Items().FindByCaption(caption) : nullptr;
        if (auto* button = item ? dynamic_cast<kshost::Button*>(item) : nullptr) {
            std::printf("[menu] click \"%s\"\n", U8(caption).c_str());
            button->Click();
            ReportBoxes();
            return;
        }
    }
    std::printf("[menu] no menu item \"%s\"\n", U8(caption).c_str());
    ++m_failures;
}

// Outlook 2010 and later: the menu item is clicked where the add-in's menu
// appears, on the main window's Add-ins tab.
void StandInOutlook::ClickAddInsTabItem(const wchar_t* caption) {
    const kshost::AddInsTab tab = kshost::AddInsTabOf(m_outlook.MenuBarControls());
    const kshost::AddInsTabCommand* menu = nullptr;
    kshost::Button* button = kshost::FindAddInsTabItem(tab, caption, &menu);
    if (!button || !menu) {
        std::printf("[addins] no menu item \"%s\" on the Add-ins tab\n", U8(caption).c_str());
        ++m_failures;
        return;
    }
    std::printf("[addins] click \"%s\" > \"%s\" on the Add-ins tab\n", U8(menu->label).c_str(),
                U8(kshost::DisplayLabel(button->caption)).c_str());
    if (!button->enabled) {
        std::printf("[addins] \"%s\" is disabled: nothing happens\n", U8(caption).c_str());
        return;
    }
    button->Click();
    ReportBoxes();
}

void StandInOutlook::CloseDialog(HWND dialog) {
    // A dialog (the About box, Check Names): look at it as a person would,
    // then close it: Cancel where there is one, else OK.
    char title[256] = "";
    GetWindowTextA(dialog, title, sizeof(title));
    RECT client{};
    GetClientRect(dialog, &client);
    const bool cancel = GetDlgItem(dialog, IDCANCEL) != nullptr;
    std::string first;  // the dialog's first line of text
    for (HWND child = GetWindow(dialog, GW_CHILD); child && first.empty(); child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = "", text[512] = "";
        GetClassNameA(child, className, sizeof(className));
        if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0) first = text;
    }
    std::printf("[dialog] \"%s\" open, client area %ld x %ld%s%s%s; pressing %s\n", title, client.right,
                client.bottom, first.empty() ? "" : ": \"", first.c_str(), first.empty() ? "" : "\"",
                cancel ? "Cancel" : "OK");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(cancel ? IDCANCEL : IDOK, BN_CLICKED), 0);
}

void StandInOutlook::ReportBoxes() {
    for (const kshost::SeenBox& box : m_boxes.TakeSeen()) {
        if (box.isMessageBox) std::printf("[box] %s: %s\n", box.title.c_str(), box.text.c_str());
    }
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
            std::wstring to = L"reader@example.com";
            if (i + 1 < actions.size() && actions[i + 1].rfind(L"to=", 0) == 0) {
                to = actions[++i].substr(3);
            } else if (i + 1 < actions.size() && actions[i + 1].find(L'@') != std::wstring::npos) {
                to = actions[++i];
            }
            std::wstring subject = i + 1 < actions.size() && actions[i + 1].rfind(L"subject=", 0) == 0
                                       ? actions[++i].substr(8) : L"Quarterly figures";
            Compose(body, to, subject);
        } else if (action == L"press") {
            Press(next(L""));
        } else if (action == L"to") {
            TypeRecipients(next(L""));
        } else if (action == L"ribbon") {
            ShowRibbon();
        } else if (action == L"menu") {
            ClickMenuItem(next(L"").c_str());
        } else if (action == L"disconnect") {
            Disconnect(next(L""));
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
    bool notifyShutdown = false;
    bool byReferenceFirst = false;
    bool menuBar = false;
    std::wstring addinsPng;
    // Outlook's editor is Word's: the body comes back in Word's form.
    kshost::EditorKind editor = kshost::EditorKind::WordProcessor;
    std::vector<std::wstring> actions;
    bool usable = true;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--outbox" && i + 1 < argc) {
            outbox = argv[++i];
        } else if (arg == L"--ribbon-png" && i + 1 < argc) {
            ribbonPng = argv[++i];
        } else if (arg == L"--notify-shutdown") {
            notifyShutdown = true;
        } else if (arg == L"--byref-image-first") {
            byReferenceFirst = true;
        } else if (arg == L"--menu-bar") {
            menuBar = true;
        } else if (arg == L"--addins-png" && i + 1 < argc) {
            addinsPng = argv[++i];
        } else if (arg == L"--editor" && i + 1 < argc) {
            if (!kshost::EditorFromName(argv[++i], editor)) {
                std::printf("[error] unknown editor \"%s\" (verbatim, word, html5, libxml)\n", U8(argv[i]).c_str());
                usable = false;
            }
        } else {
            actions.push_back(arg);
        }
    }
    int result = 2;
    if (usable) {
        StandInOutlook outlook(outbox, ribbonPng, notifyShutdown, byReferenceFirst, editor);
        outlook.ShowMenuBar(menuBar);
        outlook.DrawAddInsTabTo(addinsPng);
        result = outlook.Run(actions);
    }
    CoUninitialize();
    LocalFree(argv);
    std::fflush(stdout);
    return result;
}
