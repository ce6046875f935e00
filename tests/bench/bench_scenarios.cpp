// The benchmark's scenarios that need the stand-in Outlook: connection with
// the legacy menu, the select command at several body sizes, and the select
// command from the button press to the posted send command.
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
#include "host/addin_site.h"
#include "host/command_bars.h"
#include "host/compose_window.h"
#include "addin/connect.h"
#include "host/outlook.h"
#include "send/branding_text.h"
#include "send/mapi_functions.h"
#include "server/owners.h"

namespace ks {

// Reaches the two branding steps of the connection object for timing.
struct BrandingProbe {
    static void BrandAndRestore(CConnect& connect, _MailItem* mail) {
        bool outOfMemory = false;
        connect.BrandMessageBody(mail, outOfMemory);
        connect.RestoreMessageBody(mail);
    }
};

}  // namespace ks

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
        addin.Create();
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

Stats TimeBrandAndRestore(ks::CConnect& connect, kshost::MailItem& mail, const std::wstring& body, int samples) {
    return Sample(samples, [&] {
        mail.SetHtmlBody(body);
        mail.Host().ClearCalls();
    }, [&] { ks::BrandingProbe::BrandAndRestore(connect, static_cast<_MailItem*>(&mail)); });
}


// Branding and restoring a body of several sizes, through the add-in's own
// methods, against copying the body twice.
void BenchBranding() {
    kshost::Outlook outlook(false);
    ks::ComRef<IUnknown> object;
    if (FAILED(ks::CConnect::CreateInstance(IID_IUnknown, object.PutVoid()))) return;
    // The object's identity is its IRibbonCallback.
    ks::CConnect& connect = *static_cast<ks::CConnect*>(reinterpret_cast<IRibbonCallback*>(object.Get()));
    Stats oneMb{}, tenMb{};
    for (size_t bytes : {size_t(10) << 10, size_t(100) << 10, size_t(1) << 20, size_t(10) << 20}) {
        const std::wstring body = Body(bytes);
        kshost::MailItem& mail = outlook.Compose(body);
        const int samples = bytes >= (size_t(1) << 20) ? 11 : 41;
        Stats call = TimeBrandAndRestore(connect, mail, body, samples);
        Stats floor = Sample(samples, [] {}, [&] {
            ks::UniqueBstr out(SysAllocStringLen(body.data(), static_cast<UINT>(body.size())));
            ks::UniqueBstr in(SysAllocStringLen(out.Get(), out.Length()));
        });
        Report("BrandMessageBody + RestoreMessageBody, " + SizeName(bytes), call, &floor,
               "floor: two copies; goal <= 4 x");
        // Where the time goes: the stand-in's own part (one read and two
        // writes of the body, each copied and logged by the host) ...
        ks::ComRef<_MailItem> item;
        mail.QueryInterface(ks::IID__MailItem, item.PutVoid());
        ks::UniqueBstr same(SysAllocStringLen(body.data(), static_cast<UINT>(body.size())));
        Stats host = Sample(samples, [&] { mail.Host().ClearCalls(); }, [&] {
            ks::UniqueBstr read;
            item->get_HTMLBody(read.Put());
            item->put_HTMLBody(same.Get());
            item->put_HTMLBody(same.Get());
        });
        Report("  of which the stand-in's HTMLBody calls", host, &floor, "read + 2 writes, host side");
        // ... and the branding text rule itself.
        std::wstring branded;
        Stats text = Sample(samples, [&] { branded.clear(); branded.shrink_to_fit(); },
                            [&] { ks::BrandHtmlText(body, branded); });
        Report("  of which the branding text rule", text, &floor, "search + assembly");
        if (bytes == (size_t(1) << 20)) oneMb = call;
        if (bytes == (size_t(10) << 20)) tenMb = call;
    }
    if (oneMb.median > 0) {
        std::printf("growth of branding + restoring from 1 MB to 10 MB: %.2f x (goal: <= 12 x)\n",
                    tenMb.median / oneMb.median);
    }
}

// The same host and system calls the select command needs, made directly.
void DirectSelectFloor(kshost::Outlook& outlook, const std::wstring& body) {
    ks::ComRef<_Application> app;
    outlook.App().QueryInterface(ks::IID__Application, app.PutVoid());
    ks::ComRef<_Inspector> inspector;
    app->ActiveInspector(inspector.Put());
    ks::ComRef<IDispatch> item;
    inspector->get_CurrentItem(item.Put());
    ks::ComRef<_MailItem> mail;
    item->QueryInterface(ks::IID__MailItem, mail.PutVoid());
    ks::UniqueBstr read;
    mail->get_HTMLBody(read.Put());
    ks::UniqueBstr written(SysAllocStringLen(body.data(), static_cast<UINT>(body.size())));
    mail->put_HTMLBody(written.Get());
    ks::ComRef<IUnknown> message;
    mail->get_MAPIOBJECT(message.Put());
    // Used as its IMAPIProp directly, as the add-in does.
    IMAPIProp* prop = reinterpret_cast<IMAPIProp*>(message.Get());
    static const GUID internetHeaders = {0x00020386, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    MAPINAMEID name{};
    name.lpguid = const_cast<GUID*>(&internetHeaders);
    name.ulKind = MNID_STRING;
    name.Kind.lpwstrName = const_cast<wchar_t*>(L"x-rdz-select");
    MAPINAMEID* names[] = {&name};
    SPropTagArray* tags = nullptr;
    prop->GetIDsFromNames(1, names, MAPI_CREATE, &tags);
    SPropValue value{};
    value.ulPropTag = (tags->aulPropTag[0] & 0xFFFF0000) | PT_STRING8;
    value.Value.lpszA = const_cast<char*>("select");
    static const ks::MapiFunctions mapi;
    mapi.SetOneProp(prop, &value);
    mapi.FreeBuffer(tags);
    HWND window = GetFocus();
    char className[260];
    while (window && GetClassNameA(window, className, sizeof(className)) && lstrcmpA(className, "rctrl_renwnd32") != 0) {
        window = GetParent(window);
    }
    if (window) PostMessageA(window, WM_NULL, 0, 0);
}

void BenchSelectWindowPath() {
    kshost::Outlook outlook(false);
    kshost::LoadedAddIn addin;
    addin.Create();
    addin.Connect(outlook);
    ks::ComRef<IRibbonCallback> callback;
    addin.Extensibility()->QueryInterface(IID_IRibbonCallback, callback.PutVoid());
    const std::wstring body = Body(size_t(100) << 10);
    kshost::MailItem& mail = outlook.Compose(body);
    kshost::ComposeWindow window(static_cast<_MailItem*>(&mail));
    mail.OnSend([](kshost::MailItem&) -> HRESULT { return S_OK; });  // keep the window open between samples
    Stats call = Sample(41, [&] {
        kshost::ComposeWindow::PumpMessages();
        mail.SetHtmlBody(body);
        window.FocusBody();
        outlook.Host().ClearCalls();
    }, [&] { callback->onClickSelect(nullptr); });
    Stats floor = Sample(41, [&] {
        kshost::ComposeWindow::PumpMessages();
        mail.SetHtmlBody(body);
        window.FocusBody();
        outlook.Host().ClearCalls();
    }, [&] { DirectSelectFloor(outlook, body); });
    kshost::ComposeWindow::PumpMessages();
    Report("select command 100 KB, press to posted send", call, &floor,
           "floor: the same host/system calls; goal <= 1.5 x");
    addin.Disconnect();
}

}  // namespace

void RunHostScenarios() {
    BenchConnection();
    BenchBranding();
    BenchSelectWindowPath();
}

}  // namespace ksbench
