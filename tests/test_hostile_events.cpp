// Events that no Office would raise, delivered to the add-in's sinks as the
// host's connection points hold them: too few or too many arguments, named
// positions out of range, values of the wrong type, no argument block at all.
// Each is refused with E_FAIL and opens nothing; events the sinks do not
// handle are accepted and ignored.
#include <windows.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/outlook/connection_points.h"
#include "support/expected_texts.h"
#include "support/host_fixture.h"
#include "support/http_handler.h"
#include "support/message_boxes.h"

namespace {

const IID kButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr DISPID kClick = 1;
constexpr DISPID kClose = 0xF008;

// The add-in's sink as the event source's connection point holds it.
IDispatch* SinkOf(IUnknown* source, const IID& events) {
    ks::ComRef<IConnectionPointContainer> container;
    if (FAILED(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()))) return nullptr;
    ks::ComRef<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(events, point.Put())) || !point) return nullptr;
    return static_cast<kshost::ConnectionPoint*>(point.Get())->SinkAt(0);
}

// One event: arguments in the host's order (the last parameter first), and
// optional named positions for the first ones.
struct Event {
    std::vector<VARIANT> args;
    std::vector<DISPID> named;
    bool noParams = false;
};

class HostileEvents : public kstest::HostFixture {
protected:
    void SetUp() override {
        kstest::HostFixture::SetUp();
        ASSERT_EQ(Connect(), S_OK);
        ASSERT_NE(AboutItem(), nullptr);
        m_about = SinkOf(static_cast<IDispatch*>(static_cast<_CommandBarButton*>(AboutItem())), kButtonEvents);
        m_help = SinkOf(static_cast<IDispatch*>(static_cast<_CommandBarButton*>(HelpItem())), kButtonEvents);
        m_explorer = SinkOf(static_cast<_Explorer*>(outlook->MainWindow()), kExplorerEvents);
        ASSERT_NE(m_about, nullptr);
        ASSERT_NE(m_help, nullptr);
        ASSERT_NE(m_explorer, nullptr);
    }

    HRESULT Raise(IDispatch* sink, DISPID id, Event event) {
        DISPPARAMS params = {};
        params.cArgs = static_cast<UINT>(event.args.size());
        params.rgvarg = event.args.empty() ? nullptr : event.args.data();
        params.cNamedArgs = static_cast<UINT>(event.named.size());
        params.rgdispidNamedArgs = event.named.empty() ? nullptr : event.named.data();
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception = {};
        UINT argError = 0;
        return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, event.noParams ? nullptr : &params,
                            &result, &exception, &argError);
    }

    // The Click event's two arguments as Office passes them, in its order.
    Event Click() {
        VARIANT cancel;
        VariantInit(&cancel);
        V_VT(&cancel) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&cancel) = &m_cancel;
        VARIANT control;
        VariantInit(&control);
        V_VT(&control) = VT_DISPATCH;
        V_DISPATCH(&control) = static_cast<IDispatch*>(static_cast<_CommandBarButton*>(AboutItem()));
        return Event{{cancel, control}, {}};
    }

    // Every malformed form of the Click event.
    std::vector<std::pair<std::string, Event>> MalformedClicks() {
        std::vector<std::pair<std::string, Event>> events;
        Event none;
        events.push_back({"no arguments", none});
        Event nullBlock;
        nullBlock.noParams = true;
        events.push_back({"no argument block", nullBlock});
        Event one = Click();
        one.args.pop_back();
        events.push_back({"one argument", one});
        Event three = Click();
        three.args.push_back(three.args[1]);
        events.push_back({"three arguments", three});
        Event nine = Click();
        while (nine.args.size() < 9) nine.args.push_back(nine.args[1]);
        events.push_back({"nine arguments", nine});
        Event swapped = Click();
        std::swap(swapped.args[0], swapped.args[1]);
        events.push_back({"types swapped", swapped});
        Event integer = Click();
        V_VT(&integer.args[1]) = VT_I4;
        V_I4(&integer.args[1]) = 42;
        events.push_back({"an integer for the control", integer});
        Event byValue = Click();
        V_VT(&byValue.args[0]) = VT_BOOL;
        V_BOOL(&byValue.args[0]) = VARIANT_TRUE;
        events.push_back({"the flag by value", byValue});
        Event namedOut = Click();
        namedOut.named = {8};
        events.push_back({"named position 8", namedOut});
        Event namedNegative = Click();
        namedNegative.named = {DISPID_PROPERTYPUT};
        events.push_back({"named position -3", namedNegative});
        Event namedTwice = Click();
        namedTwice.named = {0, 0};
        events.push_back({"one position named twice", namedTwice});
        Event namedTooMany = Click();
        namedTooMany.named = {0, 1, 2};
        events.push_back({"more names than arguments", namedTooMany});
        return events;
    }

    IDispatch* m_about = nullptr;
    IDispatch* m_help = nullptr;
    IDispatch* m_explorer = nullptr;
    VARIANT_BOOL m_cancel = VARIANT_FALSE;
};

TEST_F(HostileEvents, MalformedClicksAreRefusedAndOpenNothing) {
    // A browser that cannot start: a help click that got through would show
    // "Unable to open browser.".
    kstest::HttpHandler browser(L"\"C:\\no\\such\\browser.exe\" \"%1\"");
    kstest::BoxRecorder boxes;
    for (IDispatch* sink : {m_about, m_help}) {
        for (auto& malformed : MalformedClicks()) {
            SCOPED_TRACE(malformed.first);
            EXPECT_EQ(Raise(sink, kClick, malformed.second), E_FAIL);
        }
    }
    EXPECT_TRUE(boxes.Boxes().empty()) << "no About box and no help page for a malformed event";
    EXPECT_EQ(m_cancel, VARIANT_FALSE);

    // The same sink does answer a well-formed click (so the silence above
    // means refusal, not a deaf sink).
    EXPECT_EQ(Raise(m_help, kClick, Click()), S_OK);
    EXPECT_EQ(kstest::Texts(boxes.Boxes()),
              std::vector<std::string>{kstest::expected::ErrorBox(kstest::expected::kBrowserFailed)});
}

TEST_F(HostileEvents, WellFormedClickByNamedPositionsOpensTheBox) {
    kstest::BoxRecorder boxes;
    Event named = Click();
    std::swap(named.args[0], named.args[1]);  // the control first, named 0; the flag named 1
    named.named = {0, 1};
    EXPECT_EQ(Raise(m_about, kClick, named), S_OK);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].title, kstest::expected::kAboutTitle);
}

TEST_F(HostileEvents, OtherEventsAreAcceptedAndIgnored) {
    kstest::BoxRecorder boxes;
    for (DISPID id : {0, 2, -1, 0xF001, 0x7FFFFFFF}) {
        EXPECT_EQ(Raise(m_about, id, Click()), S_OK);
        EXPECT_EQ(Raise(m_explorer, id, Event{}), S_OK);
        Event nullBlock;
        nullBlock.noParams = true;
        EXPECT_EQ(Raise(m_help, id, nullBlock), S_OK);
    }
    // The explorer's Close takes no argument.
    EXPECT_EQ(Raise(m_explorer, kClose, Event{}), S_OK);
    Event nullBlock;
    nullBlock.noParams = true;
    EXPECT_EQ(Raise(m_explorer, kClose, nullBlock), S_OK);
    EXPECT_EQ(Raise(m_explorer, kClose, Click()), E_FAIL);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(HostileEvents, SinkIdentityRefusesWhatItIsNot) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_about->QueryInterface(IID_NULL, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(m_about->QueryInterface(IID_IConnectionPointContainer, &object), E_NOINTERFACE);
    EXPECT_EQ(m_about->QueryInterface(kExplorerEvents, &object), E_NOINTERFACE);
    EXPECT_EQ(m_about->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    UINT count = 7;
    EXPECT_EQ(m_explorer->GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(m_explorer->GetTypeInfoCount(nullptr), E_NOTIMPL);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(m_explorer->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), E_NOTIMPL);
    LPOLESTR name = const_cast<LPOLESTR>(L"Close");
    DISPID id = 0;
    EXPECT_EQ(m_explorer->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), E_NOTIMPL);
}

}  // namespace
