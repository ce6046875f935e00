#include "host/outlook/mapi_message.h"

#include <mapicode.h>
#include <mapitags.h>
#include <cstring>

namespace kshost {

namespace {

constexpr IID kIID_IMAPIProp = {0x00020303, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIID_IMessage = {0x00020307, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

using AllocateBuffer = SCODE(WINAPI*)(ULONG, LPVOID*);
using AllocateMore = SCODE(WINAPI*)(ULONG, LPVOID, LPVOID*);
using FreeBuffer = ULONG(WINAPI*)(LPVOID);

// mapi32 exports its allocators undecorated and decorated; which name a
// given build carries differs, so both are tried.
FARPROC MapiProc(const char* plain, const char* decorated) {
    static HMODULE module = LoadLibraryW(L"mapi32.dll");
    if (!module) return nullptr;
    FARPROC proc = GetProcAddress(module, plain);
    return proc ? proc : GetProcAddress(module, decorated);
}

}  // namespace

HRESULT MapiAllocate(ULONG size, void** buffer) {
    static auto proc = reinterpret_cast<AllocateBuffer>(reinterpret_cast<void (*)()>(MapiProc("MAPIAllocateBuffer", "MAPIAllocateBuffer@8")));
    if (!proc) return MAPI_E_CALL_FAILED;
    return proc(size, buffer);
}

HRESULT MapiAllocateMore(ULONG size, void* parent, void** buffer) {
    static auto proc = reinterpret_cast<AllocateMore>(reinterpret_cast<void (*)()>(MapiProc("MAPIAllocateMore", "MAPIAllocateMore@12")));
    if (!proc) return MAPI_E_CALL_FAILED;
    return proc(size, parent, buffer);
}

void MapiFree(void* buffer) {
    static auto proc = reinterpret_cast<FreeBuffer>(reinterpret_cast<void (*)()>(MapiProc("MAPIFreeBuffer", "MAPIFreeBuffer@4")));
    if (proc && buffer) proc(buffer);
}

// ---------------------------------------------------------------------------
// MapiStore

std::wstring MapiStore::SetText(const GUID& set) {
    wchar_t text[40] = {};
    StringFromGUID2(set, text, 40);
    return text;
}

ULONG MapiStore::Lookup(const Key& key, bool create) {
    auto it = m_ids.find(key);
    if (it != m_ids.end()) return it->second;
    if (!create || m_nextId > 0xFFFE) return 0;
    ULONG id = m_nextId++;
    m_ids.emplace(key, id);
    return id;
}

ULONG MapiStore::IdOf(const GUID& set, const std::wstring& name, bool create) {
    // Internet header names compare without regard to case (RFC 5322), and
    // so does the store for the names of PS_INTERNET_HEADERS: one property
    // per header, however a caller spells it.
    if (!IsEqualGUID(set, PS_InternetHeaders)) return Lookup(Key{SetText(set), true, name, 0}, create);
    // Field names are printable ASCII (RFC 5322, 2.2): only A to Z fold.
    std::wstring folded(name);
    for (wchar_t& c : folded)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
    return Lookup(Key{SetText(set), true, folded, 0}, create);
}

ULONG MapiStore::IdOf(const GUID& set, LONG number, bool create) {
    return Lookup(Key{SetText(set), false, std::wstring(), number}, create);
}

bool MapiStore::NameOf(ULONG id, GUID& set, bool& byName, std::wstring& name, LONG& number) const {
    for (const auto& entry : m_ids) {
        if (entry.second != id) continue;
        if (FAILED(CLSIDFromString(std::get<0>(entry.first).c_str(), &set))) return false;
        byName = std::get<1>(entry.first);
        name = std::get<2>(entry.first);
        number = std::get<3>(entry.first);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// MapiMessage

MapiMessage::MapiMessage(ksdouble::Context context, std::string label, std::shared_ptr<MapiStore> store)
    : StandIn(std::move(context), std::move(label)), m_store(std::move(store)) {}

HRESULT MapiMessage::QueryInterface(REFIID iid, void** object) {
    Outcome o = Enter("IMessage.QueryInterface");
    if (!object) return E_POINTER;
    *object = nullptr;
    if (o.injected) return o.emptyOut ? S_OK : o.hr;
    return QueryObject(iid, object);
}

void* MapiMessage::FindInterface(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIID_IMAPIProp) || IsEqualIID(iid, kIID_IMessage))
        return static_cast<IMessage*>(this);
    return nullptr;
}

HRESULT MapiMessage::GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) {
    Outcome o = Enter("IMAPIProp.GetIDsFromNames");
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    if (o.injected) return o.hr;
    // Listing every mapped name (no names given) is not needed by any caller.
    if (count == 0 || !names) return MAPI_E_NO_SUPPORT;

    LPSPropTagArray array = nullptr;
    HRESULT hr = MapiAllocate(CbNewSPropTagArray(count), reinterpret_cast<void**>(&array));
    if (FAILED(hr)) return hr;
    array->cValues = count;
    bool create = (flags & MAPI_CREATE) != 0;
    bool missing = false;
    try {
        for (ULONG i = 0; i < count; ++i) {
            const MAPINAMEID* name = names[i];
            ULONG id = 0;
            if (name && name->lpguid) {
                if (name->ulKind == MNID_STRING && name->Kind.lpwstrName)
                    id = m_store->IdOf(*name->lpguid, name->Kind.lpwstrName, create);
                else if (name->ulKind == MNID_ID)
                    id = m_store->IdOf(*name->lpguid, name->Kind.lID, create);
            }
            if (id == 0) missing = true;
            array->aulPropTag[i] = id ? PROP_TAG(PT_UNSPECIFIED, id) : PROP_TAG(PT_ERROR, 0);
        }
    } catch (...) {
        MapiFree(array);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (o.emptyOut) {
        MapiFree(array);
        return S_OK;
    }
    *tags = array;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT MapiMessage::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
    Outcome o = Enter("IMAPIProp.SetProps");
    if (problems) *problems = nullptr;
    if (o.injected) return o.hr;
    if (!values && count) return MAPI_E_INVALID_PARAMETER;
    try {
        for (ULONG i = 0; i < count; ++i) {
            const SPropValue& value = values[i];
            ULONG id = PROP_ID(value.ulPropTag);
            StoredProperty stored;
            stored.tag = value.ulPropTag;
            switch (PROP_TYPE(value.ulPropTag)) {
            case PT_STRING8: stored.ansi = value.Value.lpszA ? value.Value.lpszA : ""; break;
            case PT_UNICODE: stored.wide = value.Value.lpszW ? value.Value.lpszW : L""; break;
            case PT_LONG: stored.integer = value.Value.l; break;
            case PT_I2: stored.integer = value.Value.i; break;
            case PT_BOOLEAN: stored.integer = value.Value.b; break;
            case PT_I8: stored.integer = value.Value.li.QuadPart; break;
            case PT_DOUBLE: stored.real = value.Value.dbl; break;
            case PT_SYSTIME:
                stored.integer = (static_cast<LONGLONG>(value.Value.ft.dwHighDateTime) << 32) | value.Value.ft.dwLowDateTime;
                break;
            case PT_BINARY:
                stored.binary.assign(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb);
                break;
            default:
                continue;  // types the stand-in does not keep are ignored
            }
            if (id == 0) continue;
            if (!m_props.count(id)) m_setOrder.push_back(id);
            m_props[id] = std::move(stored);
        }
    } catch (...) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    return S_OK;
}

HRESULT MapiMessage::CopyOut(const StoredProperty& stored, ULONG requestedTag, ULONG flags, SPropValue& out,
                            void* parent) {
    ULONG type = PROP_TYPE(requestedTag);
    ULONG storedType = PROP_TYPE(stored.tag);
    if (type == PT_UNSPECIFIED) type = storedType;
    // Strings are given in either width, as a store converts them.
    bool isString = storedType == PT_STRING8 || storedType == PT_UNICODE;
    if (type != storedType && !(isString && (type == PT_STRING8 || type == PT_UNICODE))) return MAPI_E_NOT_FOUND;
    if (PROP_TYPE(requestedTag) == PT_UNSPECIFIED && isString) type = (flags & MAPI_UNICODE) ? PT_UNICODE : PT_STRING8;
    out.ulPropTag = PROP_TAG(type, PROP_ID(requestedTag));
    switch (type) {
    case PT_STRING8: {
        std::string text = stored.ansi;
        if (storedType == PT_UNICODE) {
            int n = WideCharToMultiByte(CP_ACP, 0, stored.wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
            text.assign(n > 0 ? n - 1 : 0, '\0');
            if (n > 1) WideCharToMultiByte(CP_ACP, 0, stored.wide.c_str(), -1, &text[0], n, nullptr, nullptr);
        }
        void* buffer = nullptr;
        HRESULT hr = MapiAllocateMore(static_cast<ULONG>(text.size() + 1), parent, &buffer);
        if (FAILED(hr)) return hr;
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        out.Value.lpszA = static_cast<LPSTR>(buffer);
        return S_OK;
    }
    case PT_UNICODE: {
        std::wstring text = stored.wide;
        if (storedType == PT_STRING8) {
            int n = MultiByteToWideChar(CP_ACP, 0, stored.ansi.c_str(), -1, nullptr, 0);
            text.assign(n > 0 ? n - 1 : 0, L'\0');
            if (n > 1) MultiByteToWideChar(CP_ACP, 0, stored.ansi.c_str(), -1, &text[0], n);
        }
        void* buffer = nullptr;
        ULONG size = static_cast<ULONG>((text.size() + 1) * sizeof(wchar_t));
        HRESULT hr = MapiAllocateMore(size, parent, &buffer);
        if (FAILED(hr)) return hr;
        std::memcpy(buffer, text.c_str(), size);
        out.Value.lpszW = static_cast<LPWSTR>(buffer);
        return S_OK;
    }
    case PT_LONG: out.Value.l = static_cast<LONG>(stored.integer); return S_OK;
    case PT_I2: out.Value.i = static_cast<short>(stored.integer); return S_OK;
    case PT_BOOLEAN: out.Value.b = static_cast<unsigned short>(stored.integer); return S_OK;
    case PT_I8: out.Value.li.QuadPart = stored.integer; return S_OK;
    case PT_DOUBLE: out.Value.dbl = stored.real; return S_OK;
    case PT_SYSTIME:
        out.Value.ft.dwLowDateTime = static_cast<DWORD>(stored.integer);
        out.Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(stored.integer) >> 32);
        return S_OK;
    case PT_BINARY: {
        void* buffer = nullptr;
        ULONG size = static_cast<ULONG>(stored.binary.size());
        HRESULT hr = MapiAllocateMore(size ? size : 1, parent, &buffer);
        if (FAILED(hr)) return hr;
        if (size) std::memcpy(buffer, stored.binary.data(), size);
        out.Value.bin.cb = size;
        out.Value.bin.lpb = static_cast<LPBYTE>(buffer);
        return S_OK;
    }
    default:
        return MAPI_E_NOT_FOUND;
    }
}

HRESULT MapiMessage::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) {
    Outcome o = Enter("IMAPIProp.GetProps");
    if (!count || !values) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    if (o.injected) return o.hr;

    std::vector<ULONG> wanted;
    try {
        if (tags) {
            wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        } else {
            for (ULONG id : m_setOrder) wanted.push_back(PROP_TAG(PT_UNSPECIFIED, id));
        }
    } catch (...) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (wanted.empty()) return S_OK;
    LPSPropValue array = nullptr;
    HRESULT hr = MapiAllocate(static_cast<ULONG>(sizeof(SPropValue) * wanted.size()), reinterpret_cast<void**>(&array));
    if (FAILED(hr)) return hr;
    std::memset(array, 0, sizeof(SPropValue) * wanted.size());
    bool missing = false;
    for (size_t i = 0; i < wanted.size(); ++i) {
        auto it = m_props.find(PROP_ID(wanted[i]));
        HRESULT one = MAPI_E_NOT_FOUND;
        try {
            if (it != m_props.end()) one = CopyOut(it->second, wanted[i], flags, array[i], array);
        } catch (...) {
            one = MAPI_E_NOT_ENOUGH_MEMORY;
        }
        if (FAILED(one)) {
            array[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(wanted[i]));
            array[i].Value.err = one;
            missing = true;
        }
    }
    if (o.emptyOut) {
        MapiFree(array);
        return S_OK;
    }
    *count = static_cast<ULONG>(wanted.size());
    *values = array;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT MapiMessage::DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) {
    Outcome o = Enter("IMAPIProp.DeleteProps");
    if (problems) *problems = nullptr;
    if (o.injected) return o.hr;
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < tags->cValues; ++i) {
        ULONG id = PROP_ID(tags->aulPropTag[i]);
        if (m_props.erase(id)) {
            for (auto it = m_setOrder.begin(); it != m_setOrder.end(); ++it)
                if (*it == id) {
                    m_setOrder.erase(it);
                    break;
                }
        }
    }
    return S_OK;
}

HRESULT MapiMessage::SaveChanges(ULONG) {
    Outcome o = Enter("IMAPIProp.SaveChanges");
    if (o.injected) return o.hr;
    ++m_saveCount;
    return S_OK;
}

HRESULT MapiMessage::GetLastError(HRESULT, ULONG, LPMAPIERROR* error) {
    if (error) *error = nullptr;
    Enter("IMAPIProp.GetLastError");
    return MAPI_E_NO_SUPPORT;
}

// The transport lists the message's properties and names the named ones, to
// write each Internet-header property as a header line.
HRESULT MapiMessage::GetPropList(ULONG, LPSPropTagArray* tags) {
    if (tags) *tags = nullptr;
    Outcome o = Enter("IMAPIProp.GetPropList");
    if (o.injected) return o.hr;
    if (!tags) return MAPI_E_INVALID_PARAMETER;
    LPSPropTagArray array = nullptr;
    const ULONG count = static_cast<ULONG>(m_setOrder.size());
    HRESULT hr = MapiAllocate(CbNewSPropTagArray(count), reinterpret_cast<void**>(&array));
    if (FAILED(hr)) return hr;
    array->cValues = count;
    for (ULONG i = 0; i < count; ++i) array->aulPropTag[i] = m_props[m_setOrder[i]].tag;
    *tags = array;
    return S_OK;
}

HRESULT MapiMessage::OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) {
    if (object) *object = nullptr;
    Outcome o = Enter("IMAPIProp.OpenProperty");
    return o.injected ? o.hr : MAPI_E_NO_SUPPORT;
}

HRESULT MapiMessage::CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                            LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    Outcome o = Enter("IMAPIProp.CopyTo");
    return o.injected ? o.hr : MAPI_E_NO_SUPPORT;
}

HRESULT MapiMessage::CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                               LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    Outcome o = Enter("IMAPIProp.CopyProps");
    return o.injected ? o.hr : MAPI_E_NO_SUPPORT;
}

// Names of the given tags (an unmapped id gives a null entry); listing every
// named property (no tags given) is not needed by any caller.
HRESULT MapiMessage::GetNamesFromIDs(LPSPropTagArray* tags, LPGUID, ULONG, ULONG* count, LPMAPINAMEID** names) {
    if (count) *count = 0;
    if (names) *names = nullptr;
    Outcome o = Enter("IMAPIProp.GetNamesFromIDs");
    if (o.injected) return o.hr;
    if (!tags || !count || !names) return MAPI_E_INVALID_PARAMETER;
    if (!*tags) return MAPI_E_NO_SUPPORT;
    const ULONG n = (*tags)->cValues;
    LPMAPINAMEID* array = nullptr;
    HRESULT hr = MapiAllocate(static_cast<ULONG>(sizeof(LPMAPINAMEID) * (n ? n : 1)), reinterpret_cast<void**>(&array));
    if (FAILED(hr)) return hr;
    bool missing = false;
    for (ULONG i = 0; i < n; ++i) {
        array[i] = nullptr;
        GUID set{};
        bool byName = false;
        std::wstring name;
        LONG number = 0;
        if (!m_store->NameOf(PROP_ID((*tags)->aulPropTag[i]), set, byName, name, number)) {
            missing = true;
            continue;
        }
        MAPINAMEID* entry = nullptr;
        const ULONG size = static_cast<ULONG>(sizeof(MAPINAMEID) + sizeof(GUID) + (name.size() + 1) * sizeof(WCHAR));
        if (FAILED(MapiAllocateMore(size, array, reinterpret_cast<void**>(&entry)))) {
            MapiFree(array);
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* guid = reinterpret_cast<GUID*>(entry + 1);
        *guid = set;
        entry->lpguid = guid;
        entry->ulKind = byName ? MNID_STRING : MNID_ID;
        if (byName) {
            auto* text = reinterpret_cast<WCHAR*>(guid + 1);
            std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
            entry->Kind.lpwstrName = text;
        } else {
            entry->Kind.lID = number;
        }
        array[i] = entry;
    }
    *count = n;
    *names = array;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT MapiMessage::GetAttachmentTable(ULONG, LPMAPITABLE* table) {
    if (table) *table = nullptr;
    return NotImplementedCall("IMessage.GetAttachmentTable") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::OpenAttach(ULONG, LPCIID, ULONG, LPATTACH* attach) {
    if (attach) *attach = nullptr;
    return NotImplementedCall("IMessage.OpenAttach") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH* attach) {
    if (attach) *attach = nullptr;
    return NotImplementedCall("IMessage.CreateAttach") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::DeleteAttach(ULONG, ULONG, LPMAPIPROGRESS, ULONG) {
    return NotImplementedCall("IMessage.DeleteAttach") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::GetRecipientTable(ULONG, LPMAPITABLE* table) {
    if (table) *table = nullptr;
    return NotImplementedCall("IMessage.GetRecipientTable") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::ModifyRecipients(ULONG, LPADRLIST) {
    return NotImplementedCall("IMessage.ModifyRecipients") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::SubmitMessage(ULONG) {
    return NotImplementedCall("IMessage.SubmitMessage") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}
HRESULT MapiMessage::SetReadFlag(ULONG) {
    return NotImplementedCall("IMessage.SetReadFlag") == E_NOTIMPL ? MAPI_E_NO_SUPPORT : E_FAIL;
}

const StoredProperty* MapiMessage::Find(ULONG propId) const {
    auto it = m_props.find(propId);
    return it == m_props.end() ? nullptr : &it->second;
}

std::optional<std::string> MapiMessage::NamedString(const GUID& set, const std::wstring& name) const {
    ULONG id = m_store->IdOf(set, name, false);
    const StoredProperty* stored = id ? Find(id) : nullptr;
    if (!stored) return std::nullopt;
    if (PROP_TYPE(stored->tag) == PT_STRING8) return stored->ansi;
    if (PROP_TYPE(stored->tag) == PT_UNICODE) {
        int n = WideCharToMultiByte(CP_ACP, 0, stored->wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string text(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_ACP, 0, stored->wide.c_str(), -1, &text[0], n, nullptr, nullptr);
        return text;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// MapiIdentity

MapiIdentity::MapiIdentity(ksdouble::Context context, std::string label, MapiMessage* message)
    : StandIn(std::move(context), std::move(label)), m_message(message) {}

void* MapiIdentity::FindInterface(REFIID iid) {
    return IsEqualIID(iid, IID_IUnknown) ? Identity() : nullptr;
}

HRESULT MapiIdentity::QueryInterface(REFIID iid, void** object) {
    Outcome o = Enter("MAPIOBJECT.QueryInterface");
    if (!object) return E_POINTER;
    *object = nullptr;
    if (o.injected) return o.emptyOut ? S_OK : o.hr;
    if (IsEqualIID(iid, kIID_IMAPIProp) || IsEqualIID(iid, kIID_IMessage)) {
        m_message->AddRefObject();
        *object = static_cast<IMessage*>(m_message.Get());
        return S_OK;
    }
    return QueryObject(iid, object);
}

HRESULT MapiIdentity::Refuse(const char* member) {
    Enter(member);
    return MAPI_E_CALL_FAILED;
}

HRESULT MapiIdentity::GetLastError(HRESULT, ULONG, LPMAPIERROR* error) {
    if (error) *error = nullptr;
    return Refuse("MAPIOBJECT.GetLastError");
}
HRESULT MapiIdentity::SaveChanges(ULONG) { return Refuse("MAPIOBJECT.SaveChanges"); }
HRESULT MapiIdentity::GetProps(LPSPropTagArray, ULONG, ULONG* count, LPSPropValue* values) {
    if (count) *count = 0;
    if (values) *values = nullptr;
    return Refuse("MAPIOBJECT.GetProps");
}
HRESULT MapiIdentity::GetPropList(ULONG, LPSPropTagArray* tags) {
    if (tags) *tags = nullptr;
    return Refuse("MAPIOBJECT.GetPropList");
}
HRESULT MapiIdentity::OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) {
    if (object) *object = nullptr;
    return Refuse("MAPIOBJECT.OpenProperty");
}
HRESULT MapiIdentity::SetProps(ULONG, LPSPropValue, LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    return Refuse("MAPIOBJECT.SetProps");
}
HRESULT MapiIdentity::DeleteProps(LPSPropTagArray, LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    return Refuse("MAPIOBJECT.DeleteProps");
}
HRESULT MapiIdentity::CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                             LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    return Refuse("MAPIOBJECT.CopyTo");
}
HRESULT MapiIdentity::CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    return Refuse("MAPIOBJECT.CopyProps");
}
HRESULT MapiIdentity::GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG* count, LPMAPINAMEID** names) {
    if (count) *count = 0;
    if (names) *names = nullptr;
    return Refuse("MAPIOBJECT.GetNamesFromIDs");
}
HRESULT MapiIdentity::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray* tags) {
    if (tags) *tags = nullptr;
    return Refuse("MAPIOBJECT.GetIDsFromNames");
}

}  // namespace kshost
