// The fixed texts of the two send commands. Users and support staff already
// know them; they stay word for word.
#pragma once

namespace ks {

// Finding the message being composed.
inline constexpr char kNoCurrentMessage[] = "Unable to locate current Outlook message.";
inline constexpr char kNoMailItemDispatch[] = "Unable to locate current Outlook mail item dispatch.";
inline constexpr char kNoMailItem[] = "Unable to locate current mail item.";

// Branding the body, and putting it back.
inline constexpr char kBodyNotModified[] = "Unable to modify message HTML.";

// Stamping the encryption-selection header.
inline constexpr char kNoMessageObject[] = "Unable to brand message.";
inline constexpr char kNoHeaderPropertyId[] = "Unable to locate message properties for encryption.";
inline constexpr char kHeaderNotSet[] = "Unable to set encryption message property.";

// The send-failure box, a warning of its own rather than the error box.
inline constexpr char kSendFailed[] = "Unable to send message.  Internal KestrinSelect Error.";
inline constexpr char kSendFailedTitle[] = "KestrinSelect";

}  // namespace ks
