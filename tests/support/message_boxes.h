// Reads and closes the message boxes and dialogs that the code under test
// opens on this thread, through a WH_CBT hook, as a person would see them.
// Needs a display driver under which boxes block (the null driver or X11).
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace kstest {

struct ShownBox {
    std::string title;
    std::string text;    // the message text (static control 0xFFFF); empty for other dialogs
    bool isMessageBox = false;
    UINT icon = 0;       // MB_ICONERROR, MB_ICONWARNING, MB_ICONINFORMATION, MB_ICONQUESTION or 0
    bool okOnly = false; // only an OK button
};

class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const std::vector<ShownBox>& Boxes() const { return m_boxes; }
    void Clear() { m_boxes.clear(); }

    // Called for dialogs that are not message boxes, once activated; it must
    // arrange for the dialog to end. Without one, such dialogs get WM_CLOSE.
    void OnDialog(std::function<void(HWND)> handler) { m_dialogHandler = std::move(handler); }
    // Called for each message box once recorded, before it is answered with
    // OK: what the handler posts is handled by the box's own message loop
    // first (a click elsewhere while the box is open).
    void OnMessageBox(std::function<void(const ShownBox&)> handler) { m_boxHandler = std::move(handler); }

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    void Capture(HWND window);

    HHOOK m_hook = nullptr;
    BoxRecorder* m_previous = nullptr;
    std::vector<ShownBox> m_boxes;
    std::function<void(HWND)> m_dialogHandler;
    std::function<void(const ShownBox&)> m_boxHandler;
};

// "title|text" of each message box, for compact expectations.
std::vector<std::string> Texts(const std::vector<ShownBox>& boxes);

}  // namespace kstest
