// The stand-in Outlook's ribbon, as Office builds it for an add-in: asks for
// the markup, parses it with a real XML parser, loads each button's picture
// through the add-in's `loadImage` callback by name, and draws the group to
// a PNG file. Buttons are pressed with LoadedAddIn::RunRibbonAction.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <string>
#include <vector>

#include "host/outlook/owners.h"

namespace kshost {

struct RibbonButton {
    std::wstring id;
    std::wstring label;      // as the markup gives it, after XML unescaping ("Encrypt && Send")
    std::wstring image;
    std::wstring size;
    std::wstring onAction;
    ComRef<IPictureDisp> picture;
    HRESULT imageResult = S_OK;
    bool imageIdByReference = false;  // how the image id went to loadImage
};

struct RibbonGroup {
    std::wstring tabIdMso;
    std::wstring id;
    std::wstring label;
    std::wstring insertBeforeMso;
    std::vector<RibbonButton> buttons;
};

struct Ribbon {
    std::wstring markup;        // what GetCustomUI returned
    bool customised = false;    // false for the empty text
    std::wstring loadImage;     // customUI/@loadImage
    std::vector<RibbonGroup> groups;
};

// GetCustomUI through the add-in's IRibbonExtensibility vtable, then parse.
// An error text is given for markup that is not well formed or not of the
// 2006/01 customUI namespace.
HRESULT LoadRibbon(IUnknown* addin, const wchar_t* ribbonId, Ribbon& ribbon, std::string& error);

// How a loadImage request passes the image id. Office's documentation does
// not settle it: its callback signatures give a String, and Microsoft's own
// native ribbon sample declares the id as BSTR*. So both forms are used,
// request by request in turn.
class ImageIdForms {
public:
    explicit ImageIdForms(bool byReferenceFirst = false) : m_next(byReferenceFirst) {}
    // True when the next request passes VT_BYREF | VT_BSTR.
    bool NextByReference() {
        const bool byReference = m_next;
        m_next = !m_next;
        return byReference;
    }

private:
    bool m_next;
};

// Calls the add-in's loadImage callback by name, once, for every button's
// image: "The Microsoft Office application retrieves this image from your
// solution only once, when the Ribbon is displayed" (RibbonLoadImageEventArgs).
HRESULT LoadRibbonImages(IUnknown* addin, Ribbon& ribbon, ImageIdForms& forms);

// A picture's size and a hash of its pixels (FNV-1a over the rows of its
// 32-bit bitmap), to tell one picture from another; false when the picture
// has no such bitmap.
bool PictureFingerprint(IPictureDisp* picture, int& width, int& height, unsigned long& hash);

// The label as Office shows it: "&&" is a literal ampersand, a lone "&" marks
// an access key and is not shown.
std::wstring DisplayLabel(const std::wstring& label);

// GDI+'s PNG encoder, for the pictures the stand-in writes (GUID_NULL when
// GDI+ has none).
CLSID PngEncoder();

// Draws the groups as Office draws large buttons and writes a PNG.
HRESULT RenderRibbonPng(const Ribbon& ribbon, const std::wstring& path);

}  // namespace kshost
