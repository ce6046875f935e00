#include "support/message_boxes.h"

namespace kstest {
namespace {

thread_local BoxRecorder* t_current = nullptr;

std::string WindowTextA(HWND window) {
    char buffer[2048];
    int n = GetWindowTextA(window, buffer, sizeof(buffer));
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

bool IsDialogClass(HWND window) {
    char name[64];
    return GetClassNameA(window, name, sizeof(name)) > 0 && lstrcmpA(name, "#32770") == 0;
}

UINT IconOf(HWND box) {
    // Windows gives the icon control id 0x14, Wine 0x440 (stc1).
    HWND iconControl = GetDlgItem(box, 0x14);
    if (!iconControl) iconControl = GetDlgItem(box, 0x440);
    if (!iconControl) return 0;
    HICON icon = reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0));
    if (!icon) return 0;
    struct Known { LPCWSTR id; UINT style; };
    const Known known[] = {{IDI_HAND, MB_ICONERROR}, {IDI_EXCLAMATION, MB_ICONWARNING},
                           {IDI_ASTERISK, MB_ICONINFORMATION}, {IDI_QUESTION, MB_ICONQUESTION}};
    for (const Known& k : known) {
        if (LoadIconW(nullptr, k.id) == icon) return k.style;
    }
    return 0;
}

// The box itself is not shown yet when it is activated, so the button's own
// style tells whether it is shown.
bool VisibleButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

BoxRecorder::BoxRecorder() {
    m_previous = t_current;
    t_current = this;
    m_hook = SetWindowsHookExW(WH_CBT, &BoxRecorder::HookProc, nullptr, GetCurrentThreadId());
}

BoxRecorder::~BoxRecorder() {
    if (m_hook) UnhookWindowsHookEx(m_hook);
    t_current = m_previous;
}

LRESULT CALLBACK BoxRecorder::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && t_current) {
        HWND window = reinterpret_cast<HWND>(wParam);
        try {
            if (IsDialogClass(window)) t_current->Capture(window);
        } catch (...) {
            // A handler's failure must not unwind into the system's hook chain.
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxRecorder::Capture(HWND window) {
    // A window is activated more than once (focus changes); record it once.
    if (GetPropW(window, L"kstest.seen")) return;
    SetPropW(window, L"kstest.seen", reinterpret_cast<HANDLE>(1));

    ShownBox box;
    box.title = WindowTextA(window);
    HWND textControl = GetDlgItem(window, 0xFFFF);
    box.isMessageBox = textControl != nullptr;
    if (box.isMessageBox) {
        box.text = WindowTextA(textControl);
        box.icon = IconOf(window);
        box.okOnly = VisibleButton(window, IDOK) && !VisibleButton(window, IDCANCEL) &&
                     !VisibleButton(window, IDYES) && !VisibleButton(window, IDNO);
        m_boxes.push_back(box);
        if (m_boxHandler) m_boxHandler(box);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    m_boxes.push_back(box);
    if (m_dialogHandler) {
        m_dialogHandler(window);
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

std::vector<std::string> Texts(const std::vector<ShownBox>& boxes) {
    std::vector<std::string> out;
    for (const ShownBox& b : boxes) out.push_back(b.title + "|" + b.text);
    return out;
}

}  // namespace kstest
