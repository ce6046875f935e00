// The message boxes and dialogs that an add-in opens while the stand-in
// Outlook calls it, answered as a person at the screen would: a message box
// with OK, any other dialog by a handler (or closed). A WH_CBT hook on the
// thread sees each as it is activated, inside the modal loop that shows it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kshost {

struct SeenBox {
    std::string title;
    std::string text;  // a message box's text; empty for another dialog
    bool isMessageBox = false;
};

// Watches the thread's boxes for as long as it lives. `onDialog` ends a
// dialog that is not a message box; without one the dialog gets WM_CLOSE.
class BoxWatcher {
public:
    explicit BoxWatcher(std::function<void(HWND)> onDialog = nullptr);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // The boxes and dialogs seen since the last call, in order.
    std::vector<SeenBox> TakeSeen() { return std::exchange(m_seen, {}); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    void Activated(HWND window);

    std::function<void(HWND)> m_onDialog;
    std::vector<SeenBox> m_seen;
    BoxWatcher* m_outer;  // the watcher this one stands in front of, if any
    HHOOK m_hook;
};

}  // namespace kshost
