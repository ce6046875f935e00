// The Extended MAPI message behind a mail item (_MailItem.MAPIOBJECT): an
// IMessage whose properties live in memory, and the named-property mapping
// of the store the message belongs to.
#pragma once

#include <windows.h>
#include <mapidefs.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "host/doubles/stand_in.h"
#include "host/outlook/owners.h"

namespace kshost {

// PS_INTERNET_HEADERS: the property set of Internet header names.
inline constexpr GUID PS_InternetHeaders = {0x00020386, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Buffers handed to MAPI callers come from mapi32's allocator, so that the
// caller's MAPIFreeBuffer can free them.
HRESULT MapiAllocate(ULONG size, void** buffer);
HRESULT MapiAllocateMore(ULONG size, void* parent, void** buffer);
void MapiFree(void* buffer);

// The named-property map of one message store: each (property set, name)
// gets a property id from 0x8000 on when first created. Different stores
// give different ids to the same name.
class MapiStore {
public:
    explicit MapiStore(ULONG firstId = 0x8000) : m_nextId(firstId) {}

    // The id of a name, or 0 when unmapped; `create` maps it first.
    ULONG IdOf(const GUID& set, const std::wstring& name, bool create);
    ULONG IdOf(const GUID& set, LONG number, bool create);
    size_t MappedCount() const { return m_ids.size(); }
    // The name mapped to an id: false when the id is not mapped.
    bool NameOf(ULONG id, GUID& set, bool& byName, std::wstring& name, LONG& number) const;

private:
    using Key = std::tuple<std::wstring, bool, std::wstring, LONG>;  // set, by-name, name, number
    static std::wstring SetText(const GUID& set);
    ULONG Lookup(const Key& key, bool create);

    std::map<Key, ULONG> m_ids;
    ULONG m_nextId;
};

// One stored property value.
struct StoredProperty {
    ULONG tag = 0;
    std::string ansi;
    std::wstring wide;
    std::vector<BYTE> binary;
    LONGLONG integer = 0;
    double real = 0;
};

class MapiMessage final : public IMessage, public ksdouble::StandIn {
public:
    MapiMessage(ksdouble::Context context, std::string label, std::shared_ptr<MapiStore> store);

    // IUnknown. QueryInterface is logged and can be made to fail: it is how
    // a caller gets from MAPIOBJECT's IUnknown to IMAPIProp.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefObject(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseObject(); }
    // IMAPIProp
    STDMETHODIMP GetLastError(HRESULT hResult, ULONG flags, LPMAPIERROR* error) override;
    STDMETHODIMP SaveChanges(ULONG flags) override;
    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override;
    STDMETHODIMP GetPropList(ULONG flags, LPSPropTagArray* tags) override;
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID iid, ULONG options, ULONG flags, LPUNKNOWN* object) override;
    STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override;
    STDMETHODIMP DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override;
    STDMETHODIMP CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                        LPSPropProblemArray*) override;
    STDMETHODIMP CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG, LPSPropProblemArray*) override;
    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override;
    STDMETHODIMP GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) override;
    // IMessage
    STDMETHODIMP GetAttachmentTable(ULONG, LPMAPITABLE*) override;
    STDMETHODIMP OpenAttach(ULONG, LPCIID, ULONG, LPATTACH*) override;
    STDMETHODIMP CreateAttach(LPCIID, ULONG, ULONG*, LPATTACH*) override;
    STDMETHODIMP DeleteAttach(ULONG, ULONG, LPMAPIPROGRESS, ULONG) override;
    STDMETHODIMP GetRecipientTable(ULONG, LPMAPITABLE*) override;
    STDMETHODIMP ModifyRecipients(ULONG, LPADRLIST) override;
    STDMETHODIMP SubmitMessage(ULONG) override;
    STDMETHODIMP SetReadFlag(ULONG) override;

    // For the host and tests.
    MapiStore& Store() { return *m_store; }
    // The property stored under a tag's id, if any.
    const StoredProperty* Find(ULONG propId) const;
    // A named string property (PT_STRING8 or PT_UNICODE) as narrow text.
    std::optional<std::string> NamedString(const GUID& set, const std::wstring& name) const;
    size_t PropertyCount() const { return m_props.size(); }
    int SaveCount() const { return m_saveCount; }
    // Every property id that has been set, in order of first setting.
    const std::vector<ULONG>& SetOrder() const { return m_setOrder; }

protected:
    void* FindInterface(REFIID iid) override;

private:
    HRESULT CopyOut(const StoredProperty& stored, ULONG requestedTag, ULONG flags, SPropValue& out, void* parent);

    std::shared_ptr<MapiStore> m_store;
    std::map<ULONG, StoredProperty> m_props;  // by property id
    std::vector<ULONG> m_setOrder;
    int m_saveCount = 0;
};

// An identity object in front of a message, for MailItem's separate-identity
// form of MAPIOBJECT: QueryInterface for IMAPIProp or IMessage gives the
// message; its own IMAPIProp-shaped slots, which a caller could only reach by
// treating the IUnknown as the message, fail with MAPI_E_CALL_FAILED and are
// counted as "MAPIOBJECT.<member>".
class MapiIdentity final : public IMAPIProp, public ksdouble::StandIn {
public:
    MapiIdentity(ksdouble::Context context, std::string label, MapiMessage* message);

    IUnknown* Identity() { return static_cast<IMAPIProp*>(this); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefObject(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseObject(); }
    STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override;
    STDMETHODIMP SaveChanges(ULONG) override;
    STDMETHODIMP GetProps(LPSPropTagArray, ULONG, ULONG* count, LPSPropValue* values) override;
    STDMETHODIMP GetPropList(ULONG, LPSPropTagArray* tags) override;
    STDMETHODIMP OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* object) override;
    STDMETHODIMP SetProps(ULONG, LPSPropValue, LPSPropProblemArray* problems) override;
    STDMETHODIMP DeleteProps(LPSPropTagArray, LPSPropProblemArray* problems) override;
    STDMETHODIMP CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                        LPSPropProblemArray* problems) override;
    STDMETHODIMP CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                           LPSPropProblemArray* problems) override;
    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG* count, LPMAPINAMEID** names) override;
    STDMETHODIMP GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray* tags) override;

protected:
    void* FindInterface(REFIID iid) override;

private:
    HRESULT Refuse(const char* member);

    ComRef<MapiMessage> m_message;
};

}  // namespace kshost
