#include "host/outlook/object_model.h"

#include "host/outlook/type_libraries.h"

namespace kshost {

namespace {

enum : DISPID {
    kDispActiveExplorer = 0x111,
    kDispActiveInspector = 0x112,
    kDispName = 0x3001,
    kDispVersion = 0x116,
    kDispCommandBars = 0x2100,
    kDispCurrentItem = 0x2102,
    kDispHtmlBody = 0xF404,
    kDispMapiObject = 0xF100,
    kDispSend = 0xF075,
    kDispSubject = 0x37,
};

bool IsDispatchOrUnknown(REFIID iid) {
    return IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch);
}

}  // namespace

// ---------------------------------------------------------------------------
// Explorer

Explorer::Explorer(ksdouble::Context context, std::string label) : NotImpl__Explorer(context, label), m_points(*this) {
    m_bars = ComRef<Bars>::Attach(new Bars(context, "CommandBars"));
    m_points.AddPoint(ks::IID_ExplorerEvents_10);
    m_points.AddPoint(ks::IID_ExplorerEvents);
}

void* Explorer::FindInterface(REFIID iid) {
    if (IsDispatchOrUnknown(iid) || IsEqualIID(iid, ks::IID__Explorer)) return static_cast<_Explorer*>(this);
    if (IsEqualIID(iid, IID_IConnectionPointContainer)) return static_cast<IConnectionPointContainer*>(&m_points);
    return nullptr;
}

HRESULT Explorer::get_CommandBars(_CommandBars** bars) {
    return OutInterface<_CommandBars>("_Explorer.get_CommandBars", bars, m_bars.Get());
}

size_t Explorer::Fire(DISPID id) {
    // The window stays alive while its event is delivered.
    ComRef<_Explorer> self(this);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    size_t called = 0;
    for (const IID* iid : {&ks::IID_ExplorerEvents_10, &ks::IID_ExplorerEvents})
        if (ConnectionPoint* point = m_points.Point(*iid)) called += point->Fire(id, none);
    return called;
}

const std::vector<ksdouble::DispName>& Explorer::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {{L"CommandBars", kDispCommandBars}};
    return names;
}

HRESULT Explorer::Dispatch(DISPID id, WORD, DISPPARAMS*, VARIANT* result, UINT*) {
    if (id != kDispCommandBars) return DISP_E_MEMBERNOTFOUND;
    _CommandBars* bars = nullptr;
    HRESULT hr = get_CommandBars(&bars);
    return ksdouble::DispatchResult(result, hr, bars);
}

// ---------------------------------------------------------------------------
// Inspector

Inspector::Inspector(ksdouble::Context context, std::string label) : NotImpl__Inspector(context, label) {
    m_bars = ComRef<Bars>::Attach(new Bars(context, "InspectorCommandBars"));
}

void* Inspector::FindInterface(REFIID iid) {
    if (IsDispatchOrUnknown(iid) || IsEqualIID(iid, ks::IID__Inspector)) return static_cast<_Inspector*>(this);
    return nullptr;
}

HRESULT Inspector::get_CommandBars(_CommandBars** bars) {
    return OutInterface<_CommandBars>("_Inspector.get_CommandBars", bars, m_bars.Get());
}

HRESULT Inspector::get_CurrentItem(IDispatch** item) {
    return OutInterface<IDispatch>("_Inspector.get_CurrentItem", item, m_item.Get());
}

const std::vector<ksdouble::DispName>& Inspector::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {{L"CommandBars", kDispCommandBars}, {L"CurrentItem", kDispCurrentItem}};
    return names;
}

HRESULT Inspector::Dispatch(DISPID id, WORD, DISPPARAMS*, VARIANT* result, UINT*) {
    if (id == kDispCurrentItem) {
        IDispatch* item = nullptr;
        HRESULT hr = get_CurrentItem(&item);
        return ksdouble::DispatchResult(result, hr, item);
    }
    if (id == kDispCommandBars) {
        _CommandBars* bars = nullptr;
        HRESULT hr = get_CommandBars(&bars);
        return ksdouble::DispatchResult(result, hr, bars);
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------
// MailItem

MailItem::MailItem(ksdouble::Context context, std::string label, std::shared_ptr<MapiStore> store)
    : NotImpl__MailItem(context, label) {
    m_message = ComRef<MapiMessage>::Attach(new MapiMessage(context, label + ".Message", std::move(store)));
}

void* MailItem::FindInterface(REFIID iid) {
    if (IsDispatchOrUnknown(iid) || IsEqualIID(iid, ks::IID__MailItem)) return static_cast<_MailItem*>(this);
    return nullptr;
}

HRESULT MailItem::get_HTMLBody(BSTR* body) {
    return OutBstr("_MailItem.get_HTMLBody", body, m_htmlBody);
}

// The body goes into the window's editor, which hands back its own form of
// it ("Returns or sets a String representing the HTML body of the specified
// item", MailItem.HTMLBody property): host/outlook/editor.h.
HRESULT MailItem::put_HTMLBody(BSTR body) {
    bool stored = false;
    std::wstring written;
    HRESULT hr = InBstr("_MailItem.put_HTMLBody", written, body, &stored);
    if (!stored) return hr;
    try {
        std::wstring form;
        if (!EditorForm(m_editor, written, form)) {
            ++m_editorFailures;
            return E_FAIL;
        }
        m_htmlBody.swap(form);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    ++m_bodyWrites;
    return hr;
}

bool MailItem::SetHtmlBody(const std::wstring& body) {
    if (EditorForm(m_editor, body, m_htmlBody)) return true;
    ++m_editorFailures;
    m_htmlBody = body;
    return false;
}

bool MailItem::UseEditor(EditorKind kind) {
    m_editor = kind;
    return SetHtmlBody(std::wstring(m_htmlBody));
}

bool MailItem::SenderTypes(const std::wstring& text) {
    std::wstring paragraph = L"<p>";
    for (wchar_t c : text) {
        paragraph += c == L'&' ? L"&amp;" : c == L'<' ? L"&lt;" : c == L'>' ? L"&gt;" : std::wstring(1, c);
    }
    paragraph += L"</p>";
    // Just after the opening body tag: "<body" followed by a blank, '/' or '>'.
    size_t at = 0;
    std::wstring lower(m_htmlBody);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    for (size_t tag = lower.find(L"<body"); tag != std::wstring::npos; tag = lower.find(L"<body", tag + 1)) {
        const wchar_t next = tag + 5 < lower.size() ? lower[tag + 5] : L'\0';
        if (next == L'>' || next == L'/' || next == L' ' || next == L'\t' || next == L'\r' || next == L'\n' ||
            next == L'\f') {
            const size_t close = lower.find(L'>', tag);
            at = close == std::wstring::npos ? lower.size() : close + 1;
            break;
        }
    }
    std::wstring edited = m_htmlBody.substr(0, at) + paragraph + m_htmlBody.substr(at);
    std::wstring form;
    if (!EditorForm(m_editor, edited, form)) {
        ++m_editorFailures;
        return false;
    }
    m_htmlBody.swap(form);
    return true;
}

HRESULT MailItem::get_Subject(BSTR* subject) {
    return OutBstr("_MailItem.get_Subject", subject, m_subject);
}

HRESULT MailItem::put_Subject(BSTR subject) {
    return InBstr("_MailItem.put_Subject", m_subject, subject);
}

HRESULT MailItem::get_MAPIOBJECT(IUnknown** message) {
    if (!m_separateIdentity) {
        return OutInterface<IUnknown>("_MailItem.get_MAPIOBJECT", message, static_cast<IMessage*>(m_message.Get()));
    }
    auto identity = ComRef<MapiIdentity>::Attach(new MapiIdentity(SharedContext(), "MAPIOBJECT", m_message.Get()));
    return OutInterface<IUnknown>("_MailItem.get_MAPIOBJECT", message, identity->Identity());
}

HRESULT MailItem::get_Sent(VARIANT_BOOL* sent) {
    return OutBool("_MailItem.get_Sent", sent, m_sent);
}

HRESULT MailItem::Send() {
    HRESULT hr;
    if (!EnterSetter("_MailItem.Send", hr)) return hr;
    ++m_sendCount;
    if (m_onSend) {
        try {
            return m_onSend(*this);
        } catch (...) {
            return E_FAIL;
        }
    }
    m_sent = true;
    return S_OK;
}

const std::vector<ksdouble::DispName>& MailItem::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {
        {L"HTMLBody", kDispHtmlBody}, {L"MAPIOBJECT", kDispMapiObject}, {L"Send", kDispSend}, {L"Subject", kDispSubject}};
    return names;
}

HRESULT MailItem::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT*) {
    UniqueVariant value;
    switch (id) {
    case kDispHtmlBody:
    case kDispSubject: {
        if (ksdouble::IsPut(flags)) {
            HRESULT hr = ksdouble::PutArg(params, VT_BSTR, value.Get());
            if (FAILED(hr)) return hr;
            return id == kDispHtmlBody ? put_HTMLBody(V_BSTR(value.Get())) : put_Subject(V_BSTR(value.Get()));
        }
        BSTR text = nullptr;
        HRESULT hr = id == kDispHtmlBody ? get_HTMLBody(&text) : get_Subject(&text);
        return ksdouble::BstrResult(result, hr, text);
    }
    case kDispMapiObject: {
        IUnknown* message = nullptr;
        HRESULT hr = get_MAPIOBJECT(&message);
        return ksdouble::UnknownResult(result, hr, message);
    }
    case kDispSend:
        return Send();
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// ---------------------------------------------------------------------------
// Items and the add-in's instance object

void* OtherItem::FindInterface(REFIID iid) {
    return IsDispatchOrUnknown(iid) ? static_cast<IDispatch*>(this) : nullptr;
}

void* AddInInstance::FindInterface(REFIID iid) {
    return IsDispatchOrUnknown(iid) ? static_cast<IDispatch*>(this) : nullptr;
}

// ---------------------------------------------------------------------------
// Application

Application::Application(ksdouble::Context context, std::string label) : NotImpl__Application(context, label) {}

void* Application::FindInterface(REFIID iid) {
    if (IsDispatchOrUnknown(iid)) return static_cast<_Application*>(this);
    if (IsEqualIID(iid, ks::IID__Application) && !m_refuseApplication) return static_cast<_Application*>(this);
    return nullptr;
}

HRESULT Application::ActiveExplorer(_Explorer** explorer) {
    return OutInterface<_Explorer>("_Application.ActiveExplorer", explorer, m_explorer.Get());
}

HRESULT Application::ActiveInspector(_Inspector** inspector) {
    return OutInterface<_Inspector>("_Application.ActiveInspector", inspector, m_inspector.Get());
}

HRESULT Application::get_Name(BSTR* name) {
    return OutBstr("_Application.get_Name", name, L"Outlook");
}

HRESULT Application::get_Version(BSTR* version) {
    return OutBstr("_Application.get_Version", version, L"16.0.0.0");
}

const std::vector<ksdouble::DispName>& Application::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {{L"ActiveExplorer", kDispActiveExplorer},
                                                {L"ActiveInspector", kDispActiveInspector},
                                                {L"Name", kDispName},
                                                {L"Version", kDispVersion}};
    return names;
}

HRESULT Application::Dispatch(DISPID id, WORD, DISPPARAMS*, VARIANT* result, UINT*) {
    switch (id) {
    case kDispActiveExplorer: {
        _Explorer* explorer = nullptr;
        HRESULT hr = ActiveExplorer(&explorer);
        return ksdouble::DispatchResult(result, hr, explorer);
    }
    case kDispActiveInspector: {
        _Inspector* inspector = nullptr;
        HRESULT hr = ActiveInspector(&inspector);
        return ksdouble::DispatchResult(result, hr, inspector);
    }
    case kDispName:
    case kDispVersion: {
        BSTR text = nullptr;
        HRESULT hr = id == kDispName ? get_Name(&text) : get_Version(&text);
        return ksdouble::BstrResult(result, hr, text);
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// ---------------------------------------------------------------------------
// Outlook

Outlook::Outlook(bool withExplorer)
    : m_context(std::make_shared<ksdouble::HostContext>()), m_store(std::make_shared<MapiStore>()) {
    // Outlook's machine has these registered; the add-in's dual interfaces need them.
    RegisterHostTypeLibraries();
    m_application = ComRef<Application>::Attach(new Application(m_context, "Application"));
    m_addIn = ComRef<AddInInstance>::Attach(new AddInInstance(m_context, "AddInInstance"));
    if (withExplorer) {
        m_explorer = ComRef<Explorer>::Attach(new Explorer(m_context, "Explorer"));
        m_application->SetActiveExplorer(m_explorer.Get());
    }
}

Outlook::~Outlook() {
    m_application->SetActiveExplorer(nullptr);
    m_application->SetActiveInspector(nullptr);
}

void Outlook::Open(ComRef<Inspector> inspector) {
    m_inspectors.push_back(inspector);
    Activate(inspector.Get());
}

MailItem& Outlook::Compose(const std::wstring& htmlBody, const std::wstring& subject) {
    auto item = ComRef<MailItem>::Attach(new MailItem(m_context, "MailItem", m_store));
    item->UseEditor(m_editor);
    item->SetHtmlBody(htmlBody);
    item->SetSubject(subject);
    auto inspector = ComRef<Inspector>::Attach(new Inspector(m_context, "Inspector"));
    inspector->SetCurrentItem(static_cast<_MailItem*>(item.Get()));
    Open(inspector);
    return *item.Get();  // the inspector holds it
}

void Outlook::ComposeOther() {
    auto item = ComRef<OtherItem>::Attach(new OtherItem(m_context, "AppointmentItem"));
    auto inspector = ComRef<Inspector>::Attach(new Inspector(m_context, "Inspector"));
    inspector->SetCurrentItem(item.Get());
    Open(inspector);
}

void Outlook::Activate(Inspector* inspector) {
    m_inspector = ComRef<Inspector>(inspector);
    m_application->SetActiveInspector(inspector);
}

void Outlook::CloseInspector(Inspector* inspector) {
    if (!inspector) inspector = m_inspector.Get();
    for (auto it = m_inspectors.begin(); it != m_inspectors.end(); ++it) {
        if (it->Get() == inspector) {
            m_inspectors.erase(it);
            break;
        }
    }
    if (inspector == m_inspector.Get()) Activate(nullptr);
}

size_t Outlook::CloseMainWindow() {
    if (!m_explorer) return 0;
    const size_t reached = m_explorer->Fire(ks::DISPID_ExplorerEvents_Close);
    m_explorer->CommandBarsObject().DropTemporary();
    m_application->SetActiveExplorer(nullptr);
    return reached;
}

}  // namespace kshost
