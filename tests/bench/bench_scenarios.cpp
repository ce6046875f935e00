// The benchmark's scenarios that need the stand-in Outlook: connection with
// the legacy menu, the select command through COM, from the button press to
// the posted send command, at several body sizes, and the unselect command on
// a message whose encrypted send was refused, its footer in Word's form.
#include "bench/bench_scenarios.h"

#include <windows.h>
#include <mapix.h>
#include <mapiutil.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "KestrinSelect_h.h"
#include "addin/host_interfaces.h"
#include "host/outlook/addin_site.h"
#include "support/addin_dll.h"
#include "host/outlook/command_bars.h"
#include "host/outlook/compose_window.h"
#include "host/outlook/editor.h"
#include "host/outlook/object_model.h"
#include "send/branding_text.h"
#include "send/claim_text.h"
#include "send/mapi_functions.h"
#include "server/owners.h"
#include "support/visible_text.h"

namespace ksbench {
namespace {

// Times only `call`; `prepare` runs before each sample, outside the clock.
template <typename Prepare, typename Call>
Stats Sample(int samples, Prepare prepare, Call call) {
    std::vector<double> times;
    prepare();
    call();  // warm-up
    for (int i = 0; i < samples; ++i) {
        prepare();
        const double start = NowMs();
        call();
        times.push_back(NowMs() - start);
    }
    return Summarise(times);
}

std::wstring Body(size_t bytes) {
    std::wstring text = L"<html><body><p>";
    const std::wstring sentence = L"The quarterly figures are attached; please keep them to yourselves. ";
    while (text.size() * sizeof(wchar_t) < bytes) text += sentence;
    text += L"</p></body></html>\r\n";
    return text;
}

std::string SizeName(size_t bytes) {
    char name[32];
    if (bytes >= 1024 * 1024) {
        std::snprintf(name, sizeof(name), "%zu MB", bytes / (1024 * 1024));
    } else {
        std::snprintf(name, sizeof(name), "%zu KB", bytes / 1024);
    }
    return name;
}

void BenchConnection() {
    kshost::Outlook outlook;
    kshost::Controls& bar = outlook.MenuBarControls();
    while (bar.Size() < 20) bar.AddBuiltIn(kshost::kControlPopup, L"&Menu " + std::to_wstring(bar.Size() + 1));

    std::vector<double> connects, disconnects;
    for (int i = 0; i < 41; ++i) {
        kshost::LoadedAddIn addin;
        addin.Create(kstest::kAddinProgId);
        double start = NowMs();
        HRESULT hr = addin.Connect(outlook);
        connects.push_back(NowMs() - start);
        start = NowMs();
        addin.Disconnect();
        disconnects.push_back(NowMs() - start);
        addin.Release();
        outlook.Host().ClearCalls();
        if (FAILED(hr)) {
            std::printf("OnConnection failed: 0x%08lx\n", static_cast<unsigned long>(hr));
            return;
        }
    }
    Report("OnConnection (legacy menu, 20 controls)", Summarise(connects), nullptr,
           "goal: < 1 ms (Outlook: 1000 ms)");
    Report("OnDisconnection", Summarise(disconnects), nullptr, "");
}

const IID kPropertyInterface = {0x00020303, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};  // IID_IMAPIProp
const GUID kInternetHeaders = {0x00020386, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};    // PS_INTERNET_HEADERS

MAPINAMEID HeaderName(const wchar_t* header) {
    MAPINAMEID name{};
    name.lpguid = const_cast<GUID*>(&kInternetHeaders);
    name.ulKind = MNID_STRING;
    name.Kind.lpwstrName = const_cast<wchar_t*>(header);
    return name;
}

// The climb from the focus to the compose frame, and one posted message.
void PostToFrame() {
    HWND window = GetFocus();
    char className[260];
    while (window && GetClassNameA(window, className, sizeof(className)) && lstrcmpA(className, "rctrl_renwnd32") != 0) {
        window = GetParent(window);
    }
    if (window) PostMessageA(window, WM_NULL, 0, 0);
}

// The stand-in's part of a command: one read of the message's body and one
// write of `body`, each copied and logged by the host as it does for the add-in.
Stats SampleBodyCalls(kshost::MailItem& mail, const std::wstring& body, int samples) {
    ks::ComRef<_MailItem> item;
    mail.QueryInterface(ks::IID__MailItem, item.PutVoid());
    ks::UniqueBstr same(SysAllocStringLen(body.data(), static_cast<UINT>(body.size())));
    return Sample(samples, [&] { mail.Host().ClearCalls(); }, [&] {
        ks::UniqueBstr read;
        item->get_HTMLBody(read.Put());
        item->put_HTMLBody(same.Get());
    });
}

// The message of the active compose window, found as the commands find it.
ks::ComRef<_MailItem> ActiveMail(kshost::Outlook& outlook) {
    ks::ComRef<_Application> app;
    outlook.App().QueryInterface(ks::IID__Application, app.PutVoid());
    ks::ComRef<_Inspector> inspector;
    app->ActiveInspector(inspector.Put());
    ks::ComRef<IDispatch> item;
    inspector->get_CurrentItem(item.Put());
    ks::ComRef<_MailItem> mail;
    item->QueryInterface(ks::IID__MailItem, mail.PutVoid());
    return mail;
}

// The same host and system calls the select command needs, made directly.
void DirectSelectFloor(kshost::Outlook& outlook, const std::wstring& body) {
    ks::ComRef<_MailItem> mail = ActiveMail(outlook);
    ks::UniqueBstr read;
    mail->get_HTMLBody(read.Put());
    ks::UniqueBstr written(SysAllocStringLen(body.data(), static_cast<UINT>(body.size())));
    mail->put_HTMLBody(written.Get());
    ks::ComRef<IUnknown> message;
    mail->get_MAPIOBJECT(message.Put());
    ks::ComRef<IMAPIProp> properties;
    message.QueryTo(kPropertyInterface, properties);
    IMAPIProp* prop = properties.Get();
    MAPINAMEID name = HeaderName(L"x-rdz-select");
    MAPINAMEID* names[] = {&name};
    SPropTagArray* tags = nullptr;
    prop->GetIDsFromNames(1, names, MAPI_CREATE, &tags);
    SPropValue value{};
    value.ulPropTag = PROP_TAG(PT_STRING8, PROP_ID(tags->aulPropTag[0]));
    value.Value.lpszA = const_cast<char*>("select");
    static const ks::MapiFunctions mapi;
    mapi.SetOneProp(prop, &value);
    mapi.FreeBuffer(tags);
    PostToFrame();
}

// The same host and system calls the unselect command cannot do without on
// a message stamped for encryption, made directly: the body read, the body
// without its footer written, the look-up that finds "x-rdz-select" there,
// its removal, "x-rdz-unselect" set, and the posted send. The footer's
// search, the assembly of the body without it, and the read-back that
// checks what the editor kept are the command's own work, not the floor's.
void DirectUnselectFloor(kshost::Outlook& outlook, const std::wstring& unbranded) {
    ks::ComRef<_MailItem> mail = ActiveMail(outlook);
    ks::UniqueBstr read;
    mail->get_HTMLBody(read.Put());
    ks::UniqueBstr written(SysAllocStringLen(unbranded.data(), static_cast<UINT>(unbranded.size())));
    mail->put_HTMLBody(written.Get());
    ks::ComRef<IUnknown> message;
    mail->get_MAPIOBJECT(message.Put());
    ks::ComRef<IMAPIProp> properties;
    message.QueryTo(kPropertyInterface, properties);
    IMAPIProp* prop = properties.Get();
    static const ks::MapiFunctions mapi;
    MAPINAMEID select = HeaderName(L"x-rdz-select");
    MAPINAMEID* selectNames[] = {&select};
    SPropTagArray* tags = nullptr;
    prop->GetIDsFromNames(1, selectNames, 0, &tags);
    SPropTagArray wanted{1, {PROP_TAG(PT_UNSPECIFIED, PROP_ID(tags->aulPropTag[0]))}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    prop->GetProps(&wanted, 0, &count, &values);
    SPropTagArray doomed{1, {values[0].ulPropTag}};
    SPropProblemArray* problems = nullptr;
    prop->DeleteProps(&doomed, &problems);
    mapi.FreeBuffer(problems);
    mapi.FreeBuffer(values);
    mapi.FreeBuffer(tags);
    MAPINAMEID unselect = HeaderName(L"x-rdz-unselect");
    MAPINAMEID* unselectNames[] = {&unselect};
    tags = nullptr;
    prop->GetIDsFromNames(1, unselectNames, MAPI_CREATE, &tags);
    SPropValue value{};
    value.ulPropTag = PROP_TAG(PT_STRING8, PROP_ID(tags->aulPropTag[0]));
    value.Value.lpszA = const_cast<char*>("unselect");
    mapi.SetOneProp(prop, &value);
    mapi.FreeBuffer(tags);
    PostToFrame();
}

// Puts the message back as a refused encrypted send left it: "x-rdz-select"
// set and "x-rdz-unselect" gone. Outside the clock.
bool StampForEncryption(kshost::MailItem& mail) {
    ks::ComRef<IUnknown> message;
    ks::ComRef<IMAPIProp> prop;
    if (FAILED(mail.get_MAPIOBJECT(message.Put())) || FAILED(message.QueryTo(kPropertyInterface, prop))) return false;
    static const ks::MapiFunctions mapi;
    MAPINAMEID unselect = HeaderName(L"x-rdz-unselect");
    MAPINAMEID* unselectNames[] = {&unselect};
    SPropTagArray* tags = nullptr;
    if (SUCCEEDED(prop->GetIDsFromNames(1, unselectNames, 0, &tags)) && tags) {
        SPropTagArray doomed{1, {PROP_TAG(PT_STRING8, PROP_ID(tags->aulPropTag[0]))}};
        prop->DeleteProps(&doomed, nullptr);
        mapi.FreeBuffer(tags);
    }
    MAPINAMEID select = HeaderName(L"x-rdz-select");
    MAPINAMEID* selectNames[] = {&select};
    tags = nullptr;
    if (FAILED(prop->GetIDsFromNames(1, selectNames, MAPI_CREATE, &tags)) || !tags) return false;
    SPropValue value{};
    value.ulPropTag = PROP_TAG(PT_STRING8, PROP_ID(tags->aulPropTag[0]));
    value.Value.lpszA = const_cast<char*>("select");
    const HRESULT hr = mapi.SetOneProp(prop.Get(), &value);
    mapi.FreeBuffer(tags);
    return SUCCEEDED(hr);
}

// The select command as the host calls it, through IRibbonCallback, at
// several body sizes, against the same host and system calls made directly;
// then where the time goes.
void BenchSelectCommand() {
    kshost::Outlook outlook(false);
    kshost::LoadedAddIn addin;
    addin.Create(kstest::kAddinProgId);
    addin.Connect(outlook);
    ks::ComRef<IRibbonCallback> callback;
    addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid());
    Stats oneMb{}, tenMb{};
    for (size_t bytes : {size_t(10) << 10, size_t(100) << 10, size_t(1) << 20, size_t(10) << 20}) {
        const std::wstring body = Body(bytes);
        kshost::MailItem& mail = outlook.Compose(body);
        kshost::ComposeWindow window(static_cast<_MailItem*>(&mail));
        // The window runs the posted send between samples, outside the clock;
        // refusing it keeps the window open for the next sample (a sent
        // message's window closes, and the command would then send the item
        // itself instead of posting to the window).
        mail.OnSend([](kshost::MailItem&) -> HRESULT { return E_ABORT; });
        const int samples = bytes >= (size_t(1) << 20) ? 11 : 41;
        const auto prepare = [&] {
            kshost::ComposeWindow::PumpMessages();
            mail.SetHtmlBody(body);
            window.FocusBody();
            outlook.Host().ClearCalls();
        };
        Stats call = Sample(samples, prepare, [&] { callback->onClickSelect(nullptr); });
        Stats floor = Sample(samples, prepare, [&] { DirectSelectFloor(outlook, body); });
        kshost::ComposeWindow::PumpMessages();
        if (!window.IsOpen() || window.SendCommands() < samples) {
            std::printf("the compose window did not take every posted send: the figures below are not of the window path\n");
        }
        // The goal stands for the usual body size; the other sizes show how
        // the command grows with the body.
        const bool usualSize = bytes == (size_t(100) << 10);
        Report("select command, " + SizeName(bytes) + ", press to posted send", call, &floor,
               usualSize ? "floor: the same host/system calls; goal <= 1.5 x" : "floor: the same host/system calls");
        // Where the time goes: the stand-in's own part (one read and one
        // write of the body, each copied and logged by the host) ...
        Stats host = SampleBodyCalls(mail, body, samples);
        Report("  of which the stand-in's HTMLBody calls", host, nullptr, "read + write, host side");
        // ... and the branding text rule itself.
        std::wstring branded;
        Stats text = Sample(samples, [&] { branded.clear(); branded.shrink_to_fit(); }, [&] {
            const size_t at = ks::BrandingPoint(body);
            branded.resize(ks::BrandedLength(body));
            ks::WriteBrandedText(body, at, branded.data());
        });
        Report("  of which the branding text rule", text, nullptr, "search + assembly");
        if (bytes == (size_t(1) << 20)) oneMb = call;
        if (bytes == (size_t(10) << 20)) tenMb = call;
    }
    if (oneMb.median > 0) {
        std::printf("growth of the select command from 1 MB to 10 MB: %.2f x (goal: <= 12 x)\n",
                    tenMb.median / oneMb.median);
    }
    addin.Disconnect();
}

// The unselect command as the host calls it, on a message whose encrypted
// send the compose window refused: Word's editor holds the body, so the
// footer comes back in Word's form, and the message carries "x-rdz-select".
// Against the calls any add-in must make for it, and where the time goes.
void BenchUnselectCommand() {
    kshost::Outlook outlook(false);
    outlook.UseEditor(kshost::EditorKind::WordProcessor);
    kshost::LoadedAddIn addin;
    addin.Create(kstest::kAddinProgId);
    addin.Connect(outlook);
    ks::ComRef<IRibbonCallback> callback;
    addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid());
    for (size_t bytes : {size_t(100) << 10, size_t(1) << 20}) {
        kshost::MailItem& mail = outlook.Compose(Body(bytes));
        kshost::ComposeWindow window(static_cast<_MailItem*>(&mail));
        mail.OnSend([](kshost::MailItem&) -> HRESULT { return E_ABORT; });
        const std::wstring composed = mail.HtmlBody();
        // The sender pressed Encrypt && Send and the window refused the send:
        // the footer stays, in the form the editor gave it.
        window.FocusBody();
        callback->onClickSelect(nullptr);
        kshost::ComposeWindow::PumpMessages();
        const std::wstring stamped = mail.HtmlBody();
        if (kstest::ClaimsIn(stamped) != 1 || !mail.Message().NamedString(kInternetHeaders, L"x-rdz-select")) {
            std::printf("the refused Encrypt && Send left no footer and header: no unselect rows at %s\n",
                        SizeName(bytes).c_str());
            continue;
        }
        const int samples = bytes >= (size_t(1) << 20) ? 11 : 41;
        const auto prepare = [&] {
            kshost::ComposeWindow::PumpMessages();
            mail.SetHtmlBody(stamped);
            StampForEncryption(mail);
            window.FocusBody();
            outlook.Host().ClearCalls();
        };
        const int sendsBefore = window.SendCommands();
        Stats call = Sample(samples, prepare, [&] { callback->onClickUnselect(nullptr); });
        kshost::ComposeWindow::PumpMessages();
        // What the command left: the claim gone, every word of the sender's
        // kept, the header replaced, and a send posted for every sample.
        const std::wstring unbranded = mail.HtmlBody();
        const bool tookItOut = kstest::ClaimsIn(unbranded) == 0 &&
                               kstest::VisibleText(unbranded) == kstest::VisibleText(composed) &&
                               !mail.Message().NamedString(kInternetHeaders, L"x-rdz-select") &&
                               mail.Message().NamedString(kInternetHeaders, L"x-rdz-unselect") &&
                               window.SendCommands() - sendsBefore >= samples + 1;
        if (!tookItOut) {
            std::printf("the unselect command did not take the footer out and post the send: the figures below "
                        "are not of that path\n");
        }
        Stats floor = Sample(samples, prepare, [&] { DirectUnselectFloor(outlook, unbranded); });
        kshost::ComposeWindow::PumpMessages();
        Report("unselect command, " + SizeName(bytes) + ", Word's footer", call, &floor,
               "floor: read, write, header look-ups, post; goal <= 2 x");
        // Where the time goes: the stand-in's part (one read, and one write
        // through Word's editor) ...
        Stats host = SampleBodyCalls(mail, unbranded, samples);
        Report("  of which the stand-in's HTMLBody calls", host, nullptr, "read + write through Word's editor");
        // ... and the claim text rule: the search of the body as read, the
        // body assembled without the footer, and the count in the read-back.
        std::wstring without;
        Stats text = Sample(samples, [&] { without.clear(); without.shrink_to_fit(); }, [&] {
            const ks::TrailingClaims claims = ks::FindTrailingClaims(stamped);
            without.resize(ks::LengthWithout(stamped, claims.own));
            ks::WriteWithout(stamped, claims.own, without.data());
            ks::CountClaims(stamped);
            ks::CountClaims(unbranded);
        });
        Report("  of which the claim text rule", text, nullptr, "search + assembly + both counts");
    }
    addin.Disconnect();
}

}  // namespace

void RunHostScenarios() {
    BenchConnection();
    BenchSelectCommand();
    BenchUnselectCommand();
}

}  // namespace ksbench
