#include "host/outlook/recipients.h"

#include <objbase.h>
#include <mapicode.h>

#include <vector>

namespace kshost {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Trimmed(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool IsSmtpAddress(const std::wstring& address) {
    const size_t at = address.find(L'@');
    if (at == std::wstring::npos || at == 0 || at + 1 >= address.size()) return false;
    if (address.find(L'@', at + 1) != std::wstring::npos) return false;
    for (wchar_t c : address) {
        if (IsBlank(c) || c == L'<' || c == L'>' || c == L',' || c == L';' || c == L'"' || c < 32) return false;
    }
    return true;
}

// The Check Names dialog's controls.
constexpr WORD kNotRecognisedText = 1001;
constexpr WORD kSelectText = 1002;
constexpr WORD kSuggestions = 1003;

// An in-memory dialog template (DLGTEMPLATE with its items), built word by
// word as the resource compiler would lay it out.
class DialogTemplate {
public:
    DialogTemplate(const wchar_t* caption, short cx, short cy, WORD items) {
        Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
        Dword(0);
        m_words.push_back(items);
        Coordinates(0, 0, cx, cy);
        m_words.push_back(0);  // no menu
        m_words.push_back(0);  // the standard dialog class
        Text(caption);
        m_words.push_back(8);
        Text(L"MS Shell Dlg");
    }

    void Item(WORD atom, DWORD style, short x, short y, short cx, short cy, WORD id, const wchar_t* text) {
        while (m_words.size() % 2) m_words.push_back(0);  // each item starts on a DWORD
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Coordinates(x, y, cx, cy);
        m_words.push_back(id);
        m_words.push_back(0xFFFF);
        m_words.push_back(atom);
        Text(text);
        m_words.push_back(0);  // no creation data
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void Dword(DWORD value) {
        m_words.push_back(LOWORD(value));
        m_words.push_back(HIWORD(value));
    }
    void Coordinates(short x, short y, short cx, short cy) {
        for (short v : {x, y, cx, cy}) m_words.push_back(static_cast<WORD>(v));
    }
    void Text(const wchar_t* text) {
        while (*text) m_words.push_back(static_cast<WORD>(*text++));
        m_words.push_back(0);
    }

    std::vector<WORD> m_words;
};

constexpr WORD kButtonAtom = 0x0080, kStaticAtom = 0x0082, kListBoxAtom = 0x0083;

INT_PTR CALLBACK CheckNamesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* name = reinterpret_cast<const std::wstring*>(lParam);
        std::wstring text = L"Microsoft Outlook does not recognize \"";
        text += name ? *name : std::wstring();
        text += L"\".";
        SetDlgItemTextW(dialog, kNotRecognisedText, text.c_str());
        // The address book has no entry like it.
        SendDlgItemMessageW(dialog, kSuggestions, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"No Suggestions"));
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

std::vector<std::wstring> Recipients::Names() const {
    std::vector<std::wstring> names;
    size_t start = 0;
    while (start <= m_typed.size()) {
        size_t end = m_typed.find(L';', start);
        if (end == std::wstring::npos) end = m_typed.size();
        std::wstring name = Trimmed(m_typed.substr(start, end - start));
        if (!name.empty()) names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

std::vector<std::wstring> Recipients::Unresolved() const {
    std::vector<std::wstring> unresolved;
    for (const std::wstring& name : Names()) {
        if (!ResolvesToAddress(name)) unresolved.push_back(name);
    }
    return unresolved;
}

std::wstring Recipients::ToLine() const {
    std::wstring line;
    for (const std::wstring& name : Names()) {
        if (!line.empty()) line += L", ";
        line += name;
    }
    return line;
}

// Outlook resolves "the recipient's display name, alias, or full SMTP email
// address" (MailItem.Recipients property) "against the Address Book"
// (Recipients.ResolveAll method); a valid e-mail address that matches no
// entry becomes a one-off address (IAddrBook::ResolveName, Windows Address
// Book reference).
bool ResolvesToAddress(const std::wstring& name) {
    const std::wstring trimmed = Trimmed(name);
    const size_t open = trimmed.rfind(L'<');
    if (open != std::wstring::npos) {
        if (trimmed.back() != L'>') return false;
        return IsSmtpAddress(trimmed.substr(open + 1, trimmed.size() - open - 2));
    }
    return IsSmtpAddress(trimmed);
}

// A message goes out only with recipients: SubmitMessage answers
// MAPI_E_NO_RECIPIENTS when "the message's recipient table is empty"
// (IMessage::SubmitMessage, Outlook MAPI reference), and "all messages to be
// sent require at least one recipient that has been through the name
// resolution process" (Creating a Recipient List); ResolveName answers
// MAPI_E_NOT_FOUND when a name is not resolved (IAddrBook::ResolveName).
HRESULT RecipientsProblem(const Recipients& recipients) {
    if (recipients.Names().empty()) return MAPI_E_NO_RECIPIENTS;
    if (!recipients.Unresolved().empty()) return MAPI_E_NOT_FOUND;
    return S_OK;
}

// The send command checks names first: Outlook "automatically checks the
// names you type in the To, Cc, and Bcc boxes against the names in the
// Address Book" (Office Online help, office.microsoft.com/en-us/outlook/
// HP052431701033.aspx); "If Outlook is unable to resolve the
// name or address, the Check Names dialog box opens" and "might display No
// Suggestions" (Microsoft Office Professional 2010 Step by Step, Microsoft
// Press); IAddrBook::ResolveName with MAPI_DIALOG "displays a dialog box to
// prompt the user for additional name resolution information" (Outlook MAPI
// reference). The send is not completed and the window stays open, as when
// an ItemSend handler cancels it: "the send action is not completed and the
// inspector is left open" (Application.ItemSend event). The wording of the
// no-recipient box and of the dialog's first line is Outlook's as it shows
// them; the Microsoft pages found for this stand-in do not quote them.
HRESULT CheckRecipientsBeforeSend(HWND owner, const Recipients& recipients) {
    const HRESULT problem = RecipientsProblem(recipients);
    if (problem == MAPI_E_NO_RECIPIENTS) {
        MessageBoxW(owner, kNoRecipientsText, kOutlookBoxTitle, MB_OK | MB_ICONEXCLAMATION);
        return problem;
    }
    if (problem == MAPI_E_NOT_FOUND) {
        // One dialog for the first name Outlook cannot resolve; the address
        // book has nothing to offer, so the name stays unresolved whichever
        // button the sender presses, and the send stops there.
        const std::wstring name = recipients.Unresolved().front();
        DialogTemplate dialog(kCheckNamesTitle, 260, 140, 5);
        dialog.Item(kStaticAtom, SS_LEFT | SS_NOPREFIX, 7, 7, 246, 10, kNotRecognisedText, L"");
        dialog.Item(kStaticAtom, SS_LEFT, 7, 22, 246, 8, kSelectText, L"Select the address to use:");
        dialog.Item(kListBoxAtom, WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT, 7, 32, 246, 78,
                    kSuggestions, L"");
        dialog.Item(kButtonAtom, BS_DEFPUSHBUTTON | WS_TABSTOP, 146, 118, 50, 14, IDOK, L"OK");
        dialog.Item(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 203, 118, 50, 14, IDCANCEL, L"Cancel");
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, &CheckNamesProc,
                                reinterpret_cast<LPARAM>(&name));
        return problem;
    }
    return S_OK;
}

}  // namespace kshost
