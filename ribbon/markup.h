// The ribbon markup for Outlook's compose window and the names it uses.
// Pure text: no Windows headers, so it also builds natively (for fuzzing).
#pragma once

namespace ks {

// The ribbon id of the compose window of a mail message, the only window the
// add-in customises.
inline constexpr char kComposeRibbonId[] = "Microsoft.Outlook.Mail.Compose";
// The image name of the encrypt-and-send button; every other name gets the
// image of the send-unencrypted button.
inline constexpr char kSelectImageName[] = "KestrinSelectImage";

// The three documents: both buttons, the encrypt-and-send button alone, the
// send-unencrypted button alone. Each is a single line.
extern const wchar_t kMarkupBothButtons[];
extern const wchar_t kMarkupSelectButton[];
extern const wchar_t kMarkupUnselectButton[];

// The document that the two switches choose; the empty text when both are off.
const wchar_t* ChooseRibbonMarkup(bool selectEnabled, bool unselectEnabled) noexcept;

}  // namespace ks
