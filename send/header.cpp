// The encryption-selection header: a named property in the Internet-headers
// property set of the message being composed, which the transport writes out
// as a header line ("x-rdz-select: select" or "x-rdz-unselect: unselect").
#include "addin/connect.h"

#include <mapidefs.h>
#include <mapicode.h>

#include "send/mapi_functions.h"
#include "send/send_texts.h"

namespace ks {

namespace {

// IID_IMAPIProp, without the header dance that defines MAPI's IIDs.
constexpr IID kIID_IMAPIProp = {0x00020303, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// PS_INTERNET_HEADERS; MinGW's MAPI headers do not define it.
GUID InternetHeadersPropertySet() noexcept {
    return {0x00020386, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

struct HeaderChoice {
    const wchar_t* name;
    const char* value;
};

HeaderChoice ChoiceFor(bool select) noexcept {
    return select ? HeaderChoice{L"x-rdz-select", "select"} : HeaderChoice{L"x-rdz-unselect", "unselect"};
}

MAPINAMEID HeaderName(GUID& propertySet, const wchar_t* name) noexcept {
    MAPINAMEID id{};
    id.lpguid = &propertySet;
    id.ulKind = MNID_STRING;
    id.Kind.lpwstrName = const_cast<LPWSTR>(name);
    return id;
}

enum class Lookup { Absent, Present, NameNotLookedUp, NotRead };

// Whether the message carries the header `name`, and if so under which tag.
// A name the store has never mapped cannot be on the message.
Lookup FindHeader(IMAPIProp* message, const wchar_t* name, const MapiFunctions& mapi, ULONG& presentTag) noexcept {
    GUID propertySet = InternetHeadersPropertySet();
    MAPINAMEID nameId = HeaderName(propertySet, name);
    MAPINAMEID* names[] = {&nameId};

    MapiBuffer<SPropTagArray> mapped(mapi);
    HRESULT hr = message->GetIDsFromNames(1, names, 0, mapped.Put());
    if (hr == MAPI_E_NOT_FOUND) return Lookup::Absent;
    // A store that answers without a tag has not said the name is unmapped:
    // the header cannot be known to be absent.
    if (FAILED(hr) || !mapped.Get() || mapped->cValues < 1) return Lookup::NameNotLookedUp;
    const ULONG mappedTag = mapped->aulPropTag[0];
    if (PROP_TYPE(mappedTag) == PT_ERROR || PROP_ID(mappedTag) == 0) return Lookup::Absent;

    SPropTagArray wanted{1, {PROP_TAG(PT_UNSPECIFIED, PROP_ID(mappedTag))}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values(mapi);
    hr = message->GetProps(&wanted, 0, &count, values.Put());
    if (FAILED(hr)) return Lookup::NotRead;
    presentTag = PROP_TAG(PT_STRING8, PROP_ID(mappedTag));
    if (values.Get() && count >= 1) {
        const SPropValue& value = values.Get()[0];
        if (PROP_TYPE(value.ulPropTag) == PT_ERROR) {
            if (value.Value.err == MAPI_E_NOT_FOUND) return Lookup::Absent;
        } else {
            presentTag = value.ulPropTag;
        }
    }
    return Lookup::Present;
}

// Makes sure the message does not carry the other command's header, left
// there by an earlier command that stamped the message and then failed to
// send it. Shows its box and answers false when that cannot be made sure.
bool RemoveHeader(IMAPIProp* message, const wchar_t* name, const MapiFunctions& mapi) noexcept {
    ULONG presentTag = 0;
    switch (FindHeader(message, name, mapi, presentTag)) {
    case Lookup::Absent:
        return true;
    case Lookup::NameNotLookedUp:
        ShowErrorBox(kNoHeaderPropertyId);
        return false;
    case Lookup::NotRead:
        ShowErrorBox(kHeaderNotSet);
        return false;
    case Lookup::Present:
        break;
    }
    SPropTagArray doomed{1, {presentTag}};
    MapiBuffer<SPropProblemArray> problems(mapi);
    const HRESULT hr = message->DeleteProps(&doomed, problems.Put());
    if (FAILED(hr) || (problems.Get() && problems->cProblem != 0)) {
        ShowErrorBox(kHeaderNotSet);
        return false;
    }
    return true;
}

// The message's property interface: MAPIOBJECT gives the message's
// IUnknown, which need not be its IMAPIProp, so the interface is asked for.
bool OpenMessageProperties(_MailItem* mailItem, ComRef<IMAPIProp>& properties) noexcept {
    ComRef<IUnknown> messageObject;
    if (!mailItem || FAILED(mailItem->get_MAPIOBJECT(messageObject.Put())) || !messageObject ||
        FAILED(messageObject.QueryTo(kIID_IMAPIProp, properties)) || !properties) {
        properties.Reset();
        ShowErrorBox(kNoMessageObject);
        return false;
    }
    return true;
}

}  // namespace

bool CConnect::SetEncryptionHeader(bool select, _MailItem* mailItem) noexcept {
    ComRef<IMAPIProp> properties;
    if (!OpenMessageProperties(mailItem, properties)) return false;
    IMAPIProp* const message = properties.Get();
    MapiFunctions mapi;
    if (!mapi.Ready()) {
        ShowErrorBox(kHeaderNotSet);
        return false;
    }

    // The other header goes first, and the chosen one is set only once it is
    // gone: at no moment may the open message carry both, since Outlook's own
    // Send button would then transmit both.
    if (!RemoveHeader(message, ChoiceFor(!select).name, mapi)) return false;

    const HeaderChoice choice = ChoiceFor(select);
    GUID propertySet = InternetHeadersPropertySet();
    MAPINAMEID nameId = HeaderName(propertySet, choice.name);
    MAPINAMEID* names[] = {&nameId};
    MapiBuffer<SPropTagArray> tags(mapi);
    if (FAILED(message->GetIDsFromNames(1, names, MAPI_CREATE, tags.Put())) || !tags.Get() ||
        tags->cValues < 1) {
        ShowErrorBox(kNoHeaderPropertyId);
        return false;
    }

    SPropValue value{};
    value.ulPropTag = PROP_TAG(PT_STRING8, PROP_ID(tags->aulPropTag[0]));
    value.Value.lpszA = const_cast<LPSTR>(choice.value);
    if (FAILED(mapi.SetOneProp(message, &value))) {
        ShowErrorBox(kHeaderNotSet);
        return false;
    }
    return true;
}

bool CConnect::ReadEncryptionRequest(_MailItem* mailItem, bool& requested) noexcept {
    requested = false;
    ComRef<IMAPIProp> properties;
    if (!OpenMessageProperties(mailItem, properties)) return false;
    MapiFunctions mapi;
    if (!mapi.Ready()) {
        ShowErrorBox(kNoHeaderPropertyId);
        return false;
    }
    ULONG presentTag = 0;
    switch (FindHeader(properties.Get(), ChoiceFor(true).name, mapi, presentTag)) {
    case Lookup::Absent:
        return true;
    case Lookup::Present:
        requested = true;
        return true;
    case Lookup::NameNotLookedUp:
    case Lookup::NotRead:
        break;
    }
    ShowErrorBox(kNoHeaderPropertyId);
    return false;
}

}  // namespace ks
