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

// Makes sure the message does not also carry the other command's header,
// left there by an earlier command that stamped the message and then failed
// to send it. A name the store has never mapped cannot be on the message.
bool RemoveHeader(IMAPIProp* message, const wchar_t* name, const MapiFunctions& mapi) noexcept {
    GUID propertySet = InternetHeadersPropertySet();
    MAPINAMEID nameId = HeaderName(propertySet, name);
    MAPINAMEID* names[] = {&nameId};

    MapiBuffer<SPropTagArray> mapped(mapi);
    HRESULT hr = message->GetIDsFromNames(1, names, 0, mapped.Put());
    if (hr == MAPI_E_NOT_FOUND) return true;
    if (FAILED(hr)) return false;
    if (!mapped.Get() || mapped->cValues < 1) return true;
    const ULONG mappedTag = mapped->aulPropTag[0];
    if (PROP_TYPE(mappedTag) == PT_ERROR || PROP_ID(mappedTag) == 0) return true;

    SPropTagArray wanted{1, {PROP_TAG(PT_UNSPECIFIED, PROP_ID(mappedTag))}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values(mapi);
    hr = message->GetProps(&wanted, 0, &count, values.Put());
    if (FAILED(hr)) return false;
    ULONG presentTag = PROP_TAG(PT_STRING8, PROP_ID(mappedTag));
    if (values.Get() && count >= 1) {
        const SPropValue& value = values.Get()[0];
        if (PROP_TYPE(value.ulPropTag) == PT_ERROR) {
            if (value.Value.err == MAPI_E_NOT_FOUND) return true;
        } else {
            presentTag = value.ulPropTag;
        }
    }

    SPropTagArray doomed{1, {presentTag}};
    MapiBuffer<SPropProblemArray> problems(mapi);
    hr = message->DeleteProps(&doomed, problems.Put());
    if (FAILED(hr)) return false;
    return !problems.Get() || problems->cProblem == 0;
}

}  // namespace

bool CConnect::SetEncryptionHeader(bool select, _MailItem* mailItem) noexcept {
    ComRef<IUnknown> messageObject;
    if (!mailItem || FAILED(mailItem->get_MAPIOBJECT(messageObject.Put())) || !messageObject) {
        ShowErrorBox(kNoMessageObject);
        return false;
    }
    // The host hands out its MAPI message, whose first slots are IMAPIProp's.
    auto* message = reinterpret_cast<IMAPIProp*>(messageObject.Get());

    MapiFunctions mapi;
    if (!mapi.Ready()) {
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

    // The gateway must see exactly the sender's last choice.
    if (!RemoveHeader(message, ChoiceFor(!select).name, mapi)) {
        ShowErrorBox(kHeaderNotSet);
        return false;
    }
    return true;
}

}  // namespace ks
