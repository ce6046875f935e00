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

enum class Removal { Done, NameNotLookedUp, NotRemoved };

// Makes sure the message does not carry the other command's header, left
// there by an earlier command that stamped the message and then failed to
// send it. A name the store has never mapped cannot be on the message.
Removal RemoveHeader(IMAPIProp* message, const wchar_t* name, const MapiFunctions& mapi) noexcept {
    GUID propertySet = InternetHeadersPropertySet();
    MAPINAMEID nameId = HeaderName(propertySet, name);
    MAPINAMEID* names[] = {&nameId};

    MapiBuffer<SPropTagArray> mapped(mapi);
    HRESULT hr = message->GetIDsFromNames(1, names, 0, mapped.Put());
    if (hr == MAPI_E_NOT_FOUND) return Removal::Done;
    // A store that answers without a tag has not said the name is unmapped:
    // the header cannot be known to be gone.
    if (FAILED(hr) || !mapped.Get() || mapped->cValues < 1) return Removal::NameNotLookedUp;
    const ULONG mappedTag = mapped->aulPropTag[0];
    if (PROP_TYPE(mappedTag) == PT_ERROR || PROP_ID(mappedTag) == 0) return Removal::Done;

    SPropTagArray wanted{1, {PROP_TAG(PT_UNSPECIFIED, PROP_ID(mappedTag))}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values(mapi);
    hr = message->GetProps(&wanted, 0, &count, values.Put());
    if (FAILED(hr)) return Removal::NotRemoved;
    ULONG presentTag = PROP_TAG(PT_STRING8, PROP_ID(mappedTag));
    if (values.Get() && count >= 1) {
        const SPropValue& value = values.Get()[0];
        if (PROP_TYPE(value.ulPropTag) == PT_ERROR) {
            if (value.Value.err == MAPI_E_NOT_FOUND) return Removal::Done;
        } else {
            presentTag = value.ulPropTag;
        }
    }

    SPropTagArray doomed{1, {presentTag}};
    MapiBuffer<SPropProblemArray> problems(mapi);
    hr = message->DeleteProps(&doomed, problems.Put());
    if (FAILED(hr) || (problems.Get() && problems->cProblem != 0)) return Removal::NotRemoved;
    return Removal::Done;
}

}  // namespace

bool CConnect::SetEncryptionHeader(bool select, _MailItem* mailItem) noexcept {
    // MAPIOBJECT gives the message's IUnknown, which need not be its
    // IMAPIProp: the property interface is asked for.
    ComRef<IUnknown> messageObject;
    ComRef<IMAPIProp> properties;
    if (!mailItem || FAILED(mailItem->get_MAPIOBJECT(messageObject.Put())) || !messageObject ||
        FAILED(messageObject.QueryTo(kIID_IMAPIProp, properties)) || !properties) {
        ShowErrorBox(kNoMessageObject);
        return false;
    }
    IMAPIProp* const message = properties.Get();

    MapiFunctions mapi;
    if (!mapi.Ready()) {
        ShowErrorBox(kHeaderNotSet);
        return false;
    }

    // The other header goes first, and the chosen one is set only once it is
    // gone: at no moment may the open message carry both, since Outlook's own
    // Send button would then transmit both.
    switch (RemoveHeader(message, ChoiceFor(!select).name, mapi)) {
    case Removal::Done:
        break;
    case Removal::NameNotLookedUp:
        ShowErrorBox(kNoHeaderPropertyId);
        return false;
    case Removal::NotRemoved:
        ShowErrorBox(kHeaderNotSet);
        return false;
    }

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

}  // namespace ks
