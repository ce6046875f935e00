#include "host/outlook/box_watcher.h"

#include <cstring>
#include <utility>

namespace kshost {

namespace {

// The innermost watcher of this thread; the hook answers for it.
thread_local BoxWatcher* t_watcher = nullptr;

// A dialog answered once is activated again as focus moves; it keeps a mark.
constexpr wchar_t kAnsweredMark[] = L"kshost.answered";

std::string TextOf(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

}  // namespace

BoxWatcher::BoxWatcher(std::function<void(HWND)> onDialog)
    : m_onDialog(std::move(onDialog)), m_outer(std::exchange(t_watcher, this)),
      m_hook(SetWindowsHookExW(WH_CBT, &BoxWatcher::Hook, nullptr, GetCurrentThreadId())) {}

BoxWatcher::~BoxWatcher() {
    t_watcher = m_outer;
    if (m_hook) UnhookWindowsHookEx(m_hook);
}

LRESULT CALLBACK BoxWatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
    BoxWatcher* watcher = code == HCBT_ACTIVATE ? t_watcher : nullptr;
    try {
        if (watcher) watcher->Activated(reinterpret_cast<HWND>(wParam));
    } catch (...) {
        // Nothing may unwind into the system's hook chain.
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxWatcher::Activated(HWND window) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    if (std::strcmp(className, "#32770") != 0 || GetPropW(window, kAnsweredMark)) return;
    SetPropW(window, kAnsweredMark, reinterpret_cast<HANDLE>(1));

    SeenBox seen;
    seen.title = TextOf(window);
    // A message box shows its text in the static control 0xFFFF.
    if (HWND message = GetDlgItem(window, 0xFFFF)) {
        seen.isMessageBox = true;
        seen.text = TextOf(message);
    }
    m_seen.push_back(seen);
    if (seen.isMessageBox) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else if (m_onDialog) {
        m_onDialog(window);
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

}  // namespace kshost
