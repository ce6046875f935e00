#include "host/outlook/command_bars.h"

#include <new>
#include <string>

namespace kshost {

namespace {

bool IsOmitted(const VARIANT& v) {
    return V_VT(&v) == VT_EMPTY || (V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND);
}

HRESULT ToLong(const VARIANT& v, long& value) {
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_I4);
    if (SUCCEEDED(hr)) value = V_I4(&converted);
    return hr;
}

// Office reads Temporary as a boolean: any non-zero VT_BOOL, VT_I2 or VT_I4.
HRESULT ToFlag(const VARIANT& v, bool& value) {
    if (IsOmitted(v)) {
        value = false;
        return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, VT_BOOL);
    if (SUCCEEDED(hr)) value = V_BOOL(&converted) != VARIANT_FALSE;
    return hr;
}

// DISPIDs of the Office command-bar members (see the host's slot tables).
enum : DISPID {
    kDispCaption = 0x60040003,
    kDispControl = 0x60040005,
    kDispDelete = 0x60040007,
    kDispEnabled = 0x6004000A,
    kDispExecute = 0x6004000C,
    kDispId = 0x60040013,
    kDispIndex = 0x60040014,
    kDispTag = 0x60040023,
    kDispType = 0x60040028,
    kDispVisible = 0x60040029,
    kDispPopupControls = 0x60050001,
    kDispControlsAdd = 0x60030000,
    kDispControlsCount = 0x60030001,
    kDispControlsItem = 0,
    kDispBarControls = 0x60040003,
    kDispActiveMenuBar = 0x60030001,
};

}  // namespace

// ---------------------------------------------------------------------------
// Controls

Controls::~Controls() {
    for (ControlData* item : m_items) {
        item->parent = nullptr;
        item->Interface()->Release();
    }
}

void* Controls::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__IMsoDispObj) ||
        IsEqualIID(iid, ks::IID_CommandBarControls))
        return static_cast<CommandBarControls*>(this);
    return nullptr;
}

HRESULT Controls::Create(long type, ControlData*& created) {
    created = nullptr;
    if (type != kControlPopup && type != kControlButton) return E_INVALIDARG;  // buttons and popups only
    try {
        std::string label = Label() + "[" + std::to_string(m_items.size() + 1) + "]";
        if (type == kControlPopup)
            created = new Popup(SharedContext(), label);
        else
            created = new Button(SharedContext(), label);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    created->type = type;
    return S_OK;
}

HRESULT Controls::Add(VARIANT Type, VARIANT Id, VARIANT Parameter, VARIANT Before, VARIANT Temporary,
                      CommandBarControl** control) {
    Outcome o = Enter("CommandBarControls.Add");
    if (!control) return E_POINTER;
    *control = nullptr;
    if (o.injected) return o.hr;

    long type = kControlButton;
    if (!IsOmitted(Type) && FAILED(ToLong(Type, type))) return DISP_E_TYPEMISMATCH;
    long id = 1;
    if (!IsOmitted(Id) && FAILED(ToLong(Id, id))) return DISP_E_TYPEMISMATCH;
    bool temporary = false;
    if (FAILED(ToFlag(Temporary, temporary))) return DISP_E_TYPEMISMATCH;
    // Before is the 1-based position to insert before; omitted, or a position
    // past the end, appends.
    size_t position = m_items.size();
    if (!IsOmitted(Before)) {
        long before = 0;
        if (FAILED(ToLong(Before, before))) return DISP_E_TYPEMISMATCH;
        if (before >= 1 && static_cast<size_t>(before) <= m_items.size()) position = static_cast<size_t>(before - 1);
    }

    ControlData* created = nullptr;
    HRESULT hr = Create(type, created);
    if (FAILED(hr)) return hr;
    created->id = static_cast<int>(id);
    created->temporary = temporary;
    if (!IsOmitted(Parameter) && V_VT(&Parameter) == VT_BSTR && V_BSTR(&Parameter)) created->parameter = V_BSTR(&Parameter);
    created->parent = this;
    try {
        m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(position), created);
    } catch (...) {
        created->Interface()->Release();
        return E_OUTOFMEMORY;
    }
    if (o.emptyOut) return S_OK;  // the control exists, but the caller is not told
    created->Interface()->AddRef();
    *control = created->Interface();
    return S_OK;
}

HRESULT Controls::get_Count(int* count) {
    return OutInt("CommandBarControls.get_Count", count, static_cast<int>(m_items.size()));
}

HRESULT Controls::get_Item(VARIANT Index, CommandBarControl** control) {
    Outcome o = Enter("CommandBarControls.get_Item");
    if (!control) return E_POINTER;
    *control = nullptr;
    if (o.injected) return o.hr;
    ControlData* found = nullptr;
    if (V_VT(&Index) == VT_BSTR) {
        found = FindByCaption(V_BSTR(&Index) ? V_BSTR(&Index) : L"");
    } else {
        long index = 0;
        if (FAILED(ToLong(Index, index))) return DISP_E_TYPEMISMATCH;
        if (index >= 1 && static_cast<size_t>(index) <= m_items.size()) found = m_items[static_cast<size_t>(index - 1)];
    }
    if (!found) return E_INVALIDARG;
    found->Interface()->AddRef();
    *control = found->Interface();
    return S_OK;
}

ControlData* Controls::FindByCaption(const std::wstring& caption) {
    for (ControlData* item : m_items)
        if (item->caption == caption) return item;
    return nullptr;
}

ControlData* Controls::FindByTag(const std::wstring& tag) {
    for (ControlData* item : m_items)
        if (item->tag == tag) return item;
    return nullptr;
}

size_t Controls::CountTagged(const std::wstring& tag) const {
    size_t count = 0;
    for (ControlData* item : m_items) count += item->tag == tag ? 1 : 0;
    return count;
}

std::vector<std::wstring> Controls::Captions() const {
    std::vector<std::wstring> captions;
    for (ControlData* item : m_items) captions.push_back(item->caption);
    return captions;
}

ControlData& Controls::AddBuiltIn(long type, const std::wstring& caption) {
    ControlData* created = nullptr;
    if (FAILED(Create(type, created))) throw std::bad_alloc();
    created->caption = caption;
    created->builtIn = true;
    created->id = 30000 + static_cast<int>(m_items.size());
    created->parent = this;
    m_items.push_back(created);
    return *created;
}

void Controls::Remove(ControlData& control) {
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (*it == &control) {
            m_items.erase(it);
            control.parent = nullptr;
            control.Interface()->Release();
            return;
        }
    }
}

void Controls::DropTemporary() {
    std::vector<ControlData*> keep;
    std::vector<ControlData*> drop;
    for (ControlData* item : m_items) (item->temporary ? drop : keep).push_back(item);
    m_items = keep;
    for (ControlData* item : keep) item->DropTemporary();
    for (ControlData* item : drop) {
        item->parent = nullptr;
        item->deleted = true;
        item->Interface()->Release();
    }
}

const std::vector<ksdouble::DispName>& Controls::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {
        {L"Add", kDispControlsAdd}, {L"Count", kDispControlsCount}, {L"Item", kDispControlsItem}};
    return names;
}

HRESULT Controls::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT*) {
    switch (id) {
    case kDispControlsCount: {
        int count = 0;
        return ksdouble::LongResult(result, get_Count(&count), count);
    }
    case kDispControlsItem: {
        const VARIANT* index = ksdouble::RawArg(params, 0);
        if (!index) return DISP_E_PARAMNOTFOUND;
        CommandBarControl* control = nullptr;
        HRESULT hr = get_Item(*index, &control);
        return ksdouble::DispatchResult(result, hr, control);
    }
    case kDispControlsAdd: {
        VARIANT args[5];
        for (UINT i = 0; i < 5; ++i) {
            const VARIANT* raw = ksdouble::RawArg(params, i);
            args[i] = raw ? *raw : ksdouble::Omitted();
        }
        CommandBarControl* control = nullptr;
        HRESULT hr = Add(args[0], args[1], args[2], args[3], args[4], &control);
        return ksdouble::DispatchResult(result, hr, control);
    }
    default:
        (void)flags;
        return DISP_E_MEMBERNOTFOUND;
    }
}

// ---------------------------------------------------------------------------
// Controls of every kind

template <class Base>
HRESULT ControlImpl<Base>::get_Index(int* value) {
    int index = 0;
    if (parent) {
        for (size_t i = 0; i < parent->Size(); ++i)
            if (&parent->At(i) == static_cast<ControlData*>(this)) index = static_cast<int>(i + 1);
    }
    return this->OutInt("CommandBarControl.get_Index", value, index);
}

template <class Base>
HRESULT ControlImpl<Base>::Delete(VARIANT Temporary) {
    HRESULT hr;
    if (!this->EnterSetter("CommandBarControl.Delete", hr)) return hr;
    bool ignored = false;
    if (FAILED(ToFlag(Temporary, ignored))) return DISP_E_TYPEMISMATCH;
    if (deleted || !parent) return E_FAIL;  // Office: the control has been deleted
    deleted = true;
    // The collection's reference goes last; the caller still holds its own.
    parent->Remove(*this);
    return S_OK;
}

template <class Base>
const std::vector<ksdouble::DispName>& ControlImpl<Base>::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {
        {L"Caption", kDispCaption}, {L"Control", kDispControl}, {L"Delete", kDispDelete},
        {L"Enabled", kDispEnabled}, {L"Execute", kDispExecute}, {L"Id", kDispId},
        {L"Index", kDispIndex},     {L"Tag", kDispTag},         {L"Type", kDispType},
        {L"Visible", kDispVisible}};
    return names;
}

template <class Base>
HRESULT ControlImpl<Base>::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT*) {
    UniqueVariant value;
    switch (id) {
    case kDispCaption:
    case kDispTag: {
        if (ksdouble::IsPut(flags)) {
            HRESULT hr = ksdouble::PutArg(params, VT_BSTR, value.Get());
            if (FAILED(hr)) return hr;
            return id == kDispCaption ? put_Caption(V_BSTR(value.Get())) : put_Tag(V_BSTR(value.Get()));
        }
        BSTR text = nullptr;
        HRESULT hr = id == kDispCaption ? get_Caption(&text) : get_Tag(&text);
        return ksdouble::BstrResult(result, hr, text);
    }
    case kDispEnabled:
    case kDispVisible: {
        if (ksdouble::IsPut(flags)) {
            HRESULT hr = ksdouble::PutArg(params, VT_BOOL, value.Get());
            if (FAILED(hr)) return hr;
            return id == kDispEnabled ? put_Enabled(V_BOOL(value.Get())) : put_Visible(V_BOOL(value.Get()));
        }
        VARIANT_BOOL flag = VARIANT_FALSE;
        HRESULT hr = id == kDispEnabled ? get_Enabled(&flag) : get_Visible(&flag);
        return ksdouble::BoolResult(result, hr, flag);
    }
    case kDispControl: {
        IDispatch* control = nullptr;
        HRESULT hr = get_Control(&control);
        return ksdouble::DispatchResult(result, hr, control);
    }
    case kDispDelete: {
        const VARIANT* temporary = ksdouble::RawArg(params, 0);
        return Delete(temporary ? *temporary : ksdouble::Omitted());
    }
    case kDispExecute:
        return this->Execute();
    case kDispType: {
        long t = 0;
        return ksdouble::LongResult(result, get_Type(&t), t);
    }
    case kDispId:
    case kDispIndex: {
        int n = 0;
        HRESULT hr = id == kDispId ? get_Id(&n) : get_Index(&n);
        return ksdouble::LongResult(result, hr, n);
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

template class ControlImpl<ksdouble::NotImpl_CommandBarPopup<>>;
template class ControlImpl<ksdouble::NotImpl__CommandBarButton<>>;

// ---------------------------------------------------------------------------
// Popup

Popup::Popup(ksdouble::Context context, std::string label) : ControlImpl(context, label) {
    m_controls = ComRef<Controls>::Attach(new Controls(context, label + ".Controls"));
    type = kControlPopup;
}

void* Popup::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IAccessible) ||
        IsEqualIID(iid, ks::IID__IMsoOleAccDispObj) || IsEqualIID(iid, ks::IID_CommandBarControl) ||
        IsEqualIID(iid, ks::IID_CommandBarPopup))
        return static_cast<CommandBarPopup*>(this);
    return nullptr;
}

HRESULT Popup::get_Controls(CommandBarControls** controls) {
    return OutInterface<CommandBarControls>("CommandBarPopup.get_Controls", controls, m_controls.Get());
}

const std::vector<ksdouble::DispName>& Popup::DispNames() const {
    // The control's members and the popup's own.
    static const std::vector<ksdouble::DispName> names = [](std::vector<ksdouble::DispName> all) {
        all.push_back({L"Controls", kDispPopupControls});
        return all;
    }(ControlImpl::DispNames());
    return names;
}

HRESULT Popup::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
    if (id == kDispPopupControls) {
        CommandBarControls* controls = nullptr;
        HRESULT hr = get_Controls(&controls);
        return ksdouble::DispatchResult(result, hr, controls);
    }
    return ControlImpl::Dispatch(id, flags, params, result, argErr);
}

// ---------------------------------------------------------------------------
// Button

Button::Button(ksdouble::Context context, std::string label) : ControlImpl(std::move(context), std::move(label)), m_points(*this) {
    m_points.AddPoint(ks::IID_CommandBarButtonEvents);
    type = kControlButton;
}

void* Button::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IAccessible) ||
        IsEqualIID(iid, ks::IID__IMsoOleAccDispObj) || IsEqualIID(iid, ks::IID_CommandBarControl) ||
        IsEqualIID(iid, ks::IID__CommandBarButton))
        return static_cast<_CommandBarButton*>(this);
    if (IsEqualIID(iid, IID_IConnectionPointContainer)) return static_cast<IConnectionPointContainer*>(&m_points);
    return nullptr;
}

HRESULT Button::Execute() {
    HRESULT hr;
    if (!EnterSetter("CommandBarControl.Execute", hr)) return hr;
    Click();
    return S_OK;
}

VARIANT_BOOL Button::Click(VARIANT_BOOL cancelDefault) {
    // Office keeps the button alive while its Click is delivered.
    ComRef<_CommandBarButton> self(this);
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = static_cast<_CommandBarButton*>(this);
    V_VT(&args[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&args[0]) = &cancelDefault;
    DISPPARAMS params = {args, nullptr, 2, 0};
    if (ConnectionPoint* point = m_points.Point(ks::IID_CommandBarButtonEvents))
        point->Fire(ks::DISPID_CommandBarButtonEvents_Click, params);
    return cancelDefault;
}

// ---------------------------------------------------------------------------
// Bar and Bars

Bar::Bar(ksdouble::Context context, std::string label) : NotImpl_CommandBar(context, label) {
    m_controls = ComRef<Controls>::Attach(new Controls(context, label + ".Controls"));
}

void* Bar::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IAccessible) ||
        IsEqualIID(iid, ks::IID__IMsoOleAccDispObj) || IsEqualIID(iid, ks::IID_CommandBar))
        return static_cast<CommandBar*>(this);
    return nullptr;
}

HRESULT Bar::get_Controls(CommandBarControls** controls) {
    return OutInterface<CommandBarControls>("CommandBar.get_Controls", controls, m_controls.Get());
}

const std::vector<ksdouble::DispName>& Bar::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {{L"Controls", kDispBarControls}};
    return names;
}

HRESULT Bar::Dispatch(DISPID id, WORD, DISPPARAMS*, VARIANT* result, UINT*) {
    if (id != kDispBarControls) return DISP_E_MEMBERNOTFOUND;
    CommandBarControls* controls = nullptr;
    HRESULT hr = get_Controls(&controls);
    return ksdouble::DispatchResult(result, hr, controls);
}

Bars::Bars(ksdouble::Context context, std::string label) : NotImpl__CommandBars(context, label) {
    m_menuBar = ComRef<Bar>::Attach(new Bar(context, "MenuBar"));
    // Outlook's own menus, permanent and built in.
    for (const wchar_t* caption : {L"&File", L"&Edit", L"&View", L"&Go", L"&Tools", L"&Actions", L"&Help"})
        m_menuBar->Items().AddBuiltIn(kControlPopup, caption);
}

void* Bars::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, ks::IID__IMsoDispObj) ||
        IsEqualIID(iid, ks::IID__CommandBars))
        return static_cast<_CommandBars*>(this);
    return nullptr;
}

HRESULT Bars::get_ActiveMenuBar(CommandBar** bar) {
    return OutInterface<CommandBar>("_CommandBars.get_ActiveMenuBar", bar, m_menuBar.Get());
}

void Bars::DropTemporary() {
    if (m_menuBar) m_menuBar->Items().DropTemporary();
}

const std::vector<ksdouble::DispName>& Bars::DispNames() const {
    static const std::vector<ksdouble::DispName> names = {{L"ActiveMenuBar", kDispActiveMenuBar}};
    return names;
}

HRESULT Bars::Dispatch(DISPID id, WORD, DISPPARAMS*, VARIANT* result, UINT*) {
    if (id != kDispActiveMenuBar) return DISP_E_MEMBERNOTFOUND;
    CommandBar* bar = nullptr;
    HRESULT hr = get_ActiveMenuBar(&bar);
    return ksdouble::DispatchResult(result, hr, bar);
}

}  // namespace kshost
