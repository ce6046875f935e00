// The documents are kept as their indented layout with the line breaks taken
// out: each literal below is one line of that layout, and the run of spaces
// that starts it stands where the line break was. Outlook validates them
// against the 2006/01 customUI schema, so keep them exactly as they are.
#include "ribbon/markup.h"

namespace ks {

#define KS_MARKUP_HEAD                                                              \
    L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"                                   \
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" "    \
    L"loadImage=\"getImage\">"                                                      \
    L"    <ribbon>"                                                                 \
    L"        <tabs>"                                                               \
    L"            <tab idMso=\"TabNewMailMessage\">"                                \
    L"                <group id=\"KestrinSelectGroup\""                             \
    L"                       insertBeforeMso=\"GroupClipboard\""                    \
    L"                       label=\"KestrinSelect\">"

#define KS_MARKUP_SELECT_BUTTON                                                     \
    L"                    <button id=\"KestrinSelectButton\""                       \
    L"                            image=\"KestrinSelectImage\""                     \
    L"                            label=\"Encrypt &amp;&amp; Send\""                \
    L"                            size=\"large\""                                   \
    L"                            onAction=\"onClickSelect\"/>"

#define KS_MARKUP_UNSELECT_BUTTON                                                   \
    L"                    <button id=\"KestrinUnselectButton\""                     \
    L"                            image=\"KestrinUnselectImage\""                   \
    L"                            label=\"Send Unencrypted\""                       \
    L"                            size=\"large\""                                   \
    L"                            onAction=\"onClickUnselect\"/>"

#define KS_MARKUP_TAIL                                                              \
    L"                </group>"                                                     \
    L"            </tab>"                                                           \
    L"        </tabs>"                                                              \
    L"    </ribbon>"                                                                \
    L"</customUI>"

const wchar_t kMarkupBothButtons[] =
    KS_MARKUP_HEAD KS_MARKUP_SELECT_BUTTON KS_MARKUP_UNSELECT_BUTTON KS_MARKUP_TAIL;
const wchar_t kMarkupSelectButton[] = KS_MARKUP_HEAD KS_MARKUP_SELECT_BUTTON KS_MARKUP_TAIL;
const wchar_t kMarkupUnselectButton[] = KS_MARKUP_HEAD KS_MARKUP_UNSELECT_BUTTON KS_MARKUP_TAIL;

#undef KS_MARKUP_HEAD
#undef KS_MARKUP_SELECT_BUTTON
#undef KS_MARKUP_UNSELECT_BUTTON
#undef KS_MARKUP_TAIL

const wchar_t* ChooseRibbonMarkup(bool selectEnabled, bool unselectEnabled) noexcept {
    if (selectEnabled && unselectEnabled) return kMarkupBothButtons;
    if (selectEnabled) return kMarkupSelectButton;
    if (unselectEnabled) return kMarkupUnselectButton;
    return L"";
}

}  // namespace ks
