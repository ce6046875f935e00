#include "host/outlook/compose_window.h"

namespace kshost {

namespace {

// The classes of the pane and of the body control, as Outlook's Word-based
// editor names them.
const wchar_t kPaneClass[] = L"AfxWndW";
const wchar_t kBodyClass[] = L"_WwG";

// Outlook's frame class, widened from the contract's name (ASCII).
struct WideClassName {
    wchar_t text[sizeof(ks::kOutlookFrameClass)];
};
constexpr WideClassName Widened() {
    WideClassName name{};
    for (size_t i = 0; i < sizeof(ks::kOutlookFrameClass); ++i) name.text[i] = ks::kOutlookFrameClass[i];
    return name;
}
constexpr WideClassName kFrameClass = Widened();

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN || message == WM_MOUSEACTIVATE) SetFocus(window);
    if (message == WM_GETDLGCODE) return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
    return DefWindowProcW(window, message, wParam, lParam);
}

// A ribbon click queued for the frame.
constexpr UINT kRibbonPressMessage = WM_APP + 0x411;

const wchar_t kSelfProperty[] = L"kshost.ComposeWindow";
const wchar_t kBaseProcProperty[] = L"kshost.ComposeWindow.base";

bool RegisterOnce(const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW existing{sizeof(existing)};
    if (GetClassInfoExW(ThisModule(), name, &existing)) return true;
    WNDCLASSEXW wc{sizeof(wc)};
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = name;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

ComposeWindow::ComposeWindow(_MailItem* item, const wchar_t* caption) : m_item(item) {
    // The main window shares the frame class and may have registered it with
    // its own procedure; the compose frame then takes over its own window.
    if (!RegisterOnce(kFrameClass.text, &DefWindowProcW) || !RegisterOnce(kPaneClass, &ChildProc) ||
        !RegisterOnce(kBodyClass, &ChildProc)) {
        return;
    }
    m_frame = CreateWindowExW(0, kFrameClass.text, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 480, nullptr,
                              nullptr, ThisModule(), nullptr);
    if (!m_frame) return;
    SetPropW(m_frame, kSelfProperty, this);
    SetPropW(m_frame, kBaseProcProperty, reinterpret_cast<HANDLE>(GetWindowLongPtrW(m_frame, GWLP_WNDPROC)));
    SetWindowLongPtrW(m_frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ComposeWindow::FrameProc));
    m_pane = CreateWindowExW(0, kPaneClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 620, 440, m_frame, nullptr,
                             ThisModule(), nullptr);
    m_body = m_pane ? CreateWindowExW(WS_EX_CLIENTEDGE, kBodyClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 8, 80,
                                      600, 340, m_pane, nullptr, ThisModule(), nullptr)
                    : nullptr;
}

ComposeWindow::~ComposeWindow() {
    if (m_frame) DestroyWindow(m_frame);
}

bool ComposeWindow::FocusBody() const {
    if (!m_frame || !m_body) return false;
    SetForegroundWindow(m_frame);
    SetActiveWindow(m_frame);
    return SetFocus(m_body) != nullptr || GetFocus() == m_body;
}

void ComposeWindow::PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void ComposeWindow::RunSendCommand(WPARAM command) {
    ++m_sendCommands;
    m_lastSendCommand = command;
    // Outlook checks the names before it sends; a refusal leaves the
    // message open in its window as it is, unsent.
    const HRESULT refusal = CheckRecipientsBeforeSend(m_frame, *m_recipients);
    if (refusal != S_OK) {
        ++m_refusedSends;
        m_lastSendResult = refusal;
        return;
    }
    m_lastSendResult = m_item ? m_item->Send() : E_UNEXPECTED;
    // A sent message's inspector closes, and lets go of its item.
    if (SUCCEEDED(m_lastSendResult) && m_frame) DestroyWindow(m_frame);
}

bool ComposeWindow::PostRibbonPress(const std::wstring& controlId) {
    if (!m_frame) return false;
    m_pendingPresses.push_back(controlId);
    if (PostMessageW(m_frame, kRibbonPressMessage, 0, 0)) return true;
    m_pendingPresses.pop_back();
    return false;
}

void ComposeWindow::RunRibbonPress() {
    if (m_pendingPresses.empty()) return;
    const std::wstring controlId = m_pendingPresses.front();
    m_pendingPresses.pop_front();
    // The click brings the window to the top first.
    FocusBody();
    if (m_onRibbonPress) m_onRibbonPress(controlId);
}

LRESULT CALLBACK ComposeWindow::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<ComposeWindow*>(GetPropW(window, kSelfProperty));
    auto base = reinterpret_cast<WNDPROC>(GetPropW(window, kBaseProcProperty));
    try {
        if (self && message == WM_COMMAND && LOWORD(wParam) == ks::kSendCommand) {
            self->RunSendCommand(wParam);
            return 0;
        }
        if (self && message == kRibbonPressMessage) {
            self->RunRibbonPress();
            return 0;
        }
        if (self && message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && self->m_onActivate) {
            self->m_onActivate();
        }
        if (message == WM_NCDESTROY) {
            RemovePropW(window, kSelfProperty);
            RemovePropW(window, kBaseProcProperty);
            if (base) SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
        }
        if (self && message == WM_NCDESTROY) {
            self->m_frame = nullptr;
            self->m_pane = nullptr;
            self->m_body = nullptr;
            self->m_item.Reset();
        }
    } catch (...) {
        return 0;
    }
    return base ? CallWindowProcW(base, window, message, wParam, lParam)
                : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kshost
