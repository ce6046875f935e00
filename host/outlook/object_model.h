// The stand-in Outlook object model: application, explorer (main window),
// inspector (compose window), mail item, and the Outlook object that builds
// a whole host and closes it again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/outlook/command_bars.h"
#include "host/outlook/editor.h"
#include "host/outlook/mapi_message.h"

namespace kshost {

class MailItem;

// The main window. Raises its events through ExplorerEvents and ExplorerEvents_10.
class Explorer final : public ksdouble::NotImpl__Explorer<> {
public:
    Explorer(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE get_CommandBars(_CommandBars** bars) override;

    Bars& CommandBarsObject() { return *m_bars.Get(); }
    ConnectionPoints& Points() { return m_points; }
    size_t SinkCount() const { return m_points.SinkCount(); }
    // Raises an event without arguments to both event interfaces' sinks.
    size_t Fire(DISPID id);

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    ComRef<Bars> m_bars;
    ConnectionPoints m_points;
};

// A compose window; CurrentItem is whatever item it shows.
class Inspector final : public ksdouble::NotImpl__Inspector<> {
public:
    Inspector(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE get_CommandBars(_CommandBars** bars) override;
    HRESULT STDMETHODCALLTYPE get_CurrentItem(IDispatch** item) override;

    void SetCurrentItem(IDispatch* item) { m_item = ComRef<IDispatch>(item); }

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    ComRef<Bars> m_bars;
    ComRef<IDispatch> m_item;
};

// A mail message being composed.
class MailItem final : public ksdouble::NotImpl__MailItem<> {
public:
    MailItem(ksdouble::Context context, std::string label, std::shared_ptr<MapiStore> store);

    HRESULT STDMETHODCALLTYPE get_HTMLBody(BSTR* body) override;
    HRESULT STDMETHODCALLTYPE put_HTMLBody(BSTR body) override;
    HRESULT STDMETHODCALLTYPE get_Subject(BSTR* subject) override;
    HRESULT STDMETHODCALLTYPE put_Subject(BSTR subject) override;
    HRESULT STDMETHODCALLTYPE get_MAPIOBJECT(IUnknown** message) override;
    HRESULT STDMETHODCALLTYPE get_Sent(VARIANT_BOOL* sent) override;
    HRESULT STDMETHODCALLTYPE Send() override;

    // What Send does after the call is logged and no failure was injected.
    // The default marks the item sent; the compose window and outbox plug in
    // their own (writing the message out, closing the window).
    using SendHandler = std::function<HRESULT(MailItem&)>;
    void OnSend(SendHandler handler) { m_onSend = std::move(handler); }

    // The body as the editor hands it back (what HTMLBody reads).
    const std::wstring& HtmlBody() const { return m_htmlBody; }
    // Opens the message on this body: the editor takes it as it takes a
    // write, without counting as one. False when the editor could not run:
    // the body is then kept as written, and EditorFailures() counts it.
    bool SetHtmlBody(const std::wstring& body);
    // The editor of the window showing this item: Verbatim (the default)
    // keeps the bytes written. Choosing another reads the body the item has
    // into it, as a window opened with that editor would show it.
    bool UseEditor(EditorKind kind);
    EditorKind Editor() const { return m_editor; }
    // The sender types `text` as a new first paragraph, at the start of the
    // body's content (just after the opening body tag, or at the very
    // start when there is none); the editor then holds the result. An edit
    // in the window, not an HTMLBody write. False when the editor could
    // not run (the body is then unchanged).
    bool SenderTypes(const std::wstring& text);
    // How many times the editor could not run (put_HTMLBody then fails).
    int EditorFailures() const { return m_editorFailures; }
    const std::wstring& Subject() const { return m_subject; }
    void SetSubject(std::wstring subject) { m_subject = std::move(subject); }
    MapiMessage& Message() { return *m_message.Get(); }
    // MAPIOBJECT hands out an identity object of its own rather than the
    // message: COM lets an object's IUnknown differ from its IMAPIProp (an
    // object built of several interfaces). The identity answers
    // QueryInterface for IMAPIProp and IMessage with the message; its own
    // slots fail and are counted ("MAPIOBJECT.<member>").
    void HandOutSeparateMapiIdentity(bool separate) { m_separateIdentity = separate; }
    int SendCount() const { return m_sendCount; }
    bool IsSent() const { return m_sent; }
    void MarkSent() { m_sent = true; }
    // How many times the body was replaced through HTMLBody.
    int BodyWrites() const { return m_bodyWrites; }

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    std::wstring m_htmlBody;
    EditorKind m_editor = EditorKind::Verbatim;
    int m_editorFailures = 0;
    std::wstring m_subject;
    ComRef<MapiMessage> m_message;
    bool m_separateIdentity = false;
    SendHandler m_onSend;
    int m_sendCount = 0;
    int m_bodyWrites = 0;
    bool m_sent = false;
};

// An item that is not mail (an appointment, a contact): it answers IDispatch
// only, so a query for _MailItem fails.
class OtherItem final : public ksdouble::StubRoot<IDispatch> {
public:
    using StubRoot::StubRoot;

protected:
    void* FindInterface(REFIID iid) override;
};

// The host's object that describes the add-in (COMAddIn), handed to OnConnection.
class AddInInstance final : public ksdouble::StubRoot<IDispatch> {
public:
    using StubRoot::StubRoot;

protected:
    void* FindInterface(REFIID iid) override;
};

class Application final : public ksdouble::NotImpl__Application<> {
public:
    Application(ksdouble::Context context, std::string label);

    HRESULT STDMETHODCALLTYPE ActiveExplorer(_Explorer** explorer) override;
    HRESULT STDMETHODCALLTYPE ActiveInspector(_Inspector** inspector) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* version) override;

    void SetActiveExplorer(Explorer* explorer) { m_explorer = ComRef<Explorer>(explorer); }
    void SetActiveInspector(Inspector* inspector) { m_inspector = ComRef<Inspector>(inspector); }
    // An application object that does not answer _Application (another host).
    void RefuseApplicationInterface(bool refuse) { m_refuseApplication = refuse; }

protected:
    void* FindInterface(REFIID iid) override;
    const std::vector<ksdouble::DispName>& DispNames() const override;
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) override;

private:
    ComRef<Explorer> m_explorer;
    ComRef<Inspector> m_inspector;
    bool m_refuseApplication = false;
};

// A whole stand-in Outlook: the application with its main window (explorer,
// command bars, menu bar) and, on request, compose windows. Every object
// shares one ksdouble::HostContext (call log, failures).
class Outlook {
public:
    // withExplorer = false: Outlook running without a main window.
    explicit Outlook(bool withExplorer = true);
    ~Outlook();
    Outlook(const Outlook&) = delete;
    Outlook& operator=(const Outlook&) = delete;

    ksdouble::HostContext& Host() { return *m_context; }
    const ksdouble::Context& SharedContext() const { return m_context; }
    Application& App() { return *m_application.Get(); }
    // The main window, or null when there is none.
    Explorer* MainWindow() { return m_explorer.Get(); }
    Controls& MenuBarControls() { return m_explorer->CommandBarsObject().MenuBar()->Items(); }
    AddInInstance& AddIn() { return *m_addIn.Get(); }
    std::shared_ptr<MapiStore> Store() const { return m_store; }

    // Opens a compose window on a new mail item with this HTML body and
    // makes it the active inspector. Earlier compose windows stay open.
    MailItem& Compose(const std::wstring& htmlBody, const std::wstring& subject = L"Test message");
    // The editor of the compose windows opened from now on (Verbatim unless
    // chosen): Compose opens the body in it.
    void UseEditor(EditorKind kind) { m_editor = kind; }
    EditorKind Editor() const { return m_editor; }
    // Opens a compose window on an item that is not mail.
    void ComposeOther();
    Inspector* ActiveInspectorObject() { return m_inspector.Get(); }
    // Another open compose window comes to the top: ActiveInspector answers
    // "the topmost Inspector object on the desktop" (Outlook's
    // Application.ActiveInspector).
    void Activate(Inspector* inspector);
    // A compose window closes (the active one when none is named); if it
    // was the active one, ActiveInspector then answers null.
    void CloseInspector(Inspector* inspector = nullptr);

    // Closes the main window: Close goes to its sinks, and the command bars
    // discard temporary controls. ActiveExplorer then answers null. Returns
    // how many sinks the Close event reached.
    size_t CloseMainWindow();

private:
    ksdouble::Context m_context;
    std::shared_ptr<MapiStore> m_store;
    ComRef<Application> m_application;
    ComRef<Explorer> m_explorer;
    ComRef<Inspector> m_inspector;  // the active one
    std::vector<ComRef<Inspector>> m_inspectors;  // every open one
    ComRef<AddInInstance> m_addIn;
    EditorKind m_editor = EditorKind::Verbatim;

    void Open(ComRef<Inspector> inspector);
};

}  // namespace kshost
