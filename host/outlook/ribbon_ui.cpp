#include "host/outlook/ribbon_ui.h"

#include <objidl.h>
#include <gdiplus.h>
#include <msxml2.h>

#include <algorithm>
#include <new>

#include "addin/host_interfaces.h"
#include "host/outlook/addin_site.h"

namespace kshost {
namespace {

const wchar_t kCustomUiNamespace[] = L"http://schemas.microsoft.com/office/2006/01/customui";

std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Attribute(IXMLDOMNode* node, const wchar_t* name) {
    ComRef<IXMLDOMNamedNodeMap> attributes;
    if (FAILED(node->get_attributes(attributes.Put())) || !attributes) return L"";
    UniqueBstr bname(SysAllocString(name));
    ComRef<IXMLDOMNode> attribute;
    if (attributes->getNamedItem(bname.Get(), attribute.Put()) != S_OK || !attribute) return L"";
    UniqueBstr text;
    attribute->get_text(text.Put());
    return text ? std::wstring(text.Get(), text.Length()) : L"";
}

std::wstring Text(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

// The element children of a node, in document order.
std::vector<ComRef<IXMLDOMNode>> Elements(IXMLDOMNode* parent) {
    std::vector<ComRef<IXMLDOMNode>> out;
    ComRef<IXMLDOMNode> child;
    parent->get_firstChild(child.Put());
    while (child) {
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type == NODE_ELEMENT) out.push_back(child);
        ComRef<IXMLDOMNode> next;
        child->get_nextSibling(next.Put());
        child = next;
    }
    return out;
}

std::wstring BaseName(IXMLDOMNode* node) {
    UniqueBstr name;
    node->get_baseName(name.Put());
    return Text(name.Get());
}

std::wstring NamespaceOf(IXMLDOMNode* node) {
    UniqueBstr uri;
    node->get_namespaceURI(uri.Put());
    return Text(uri.Get());
}

HRESULT ParseMarkup(const std::wstring& markup, Ribbon& ribbon, std::string& error) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid);
    if (FAILED(hr)) {
        error = "no XML parser (Msxml2.DOMDocument.3.0)";
        return hr;
    }
    ComRef<IXMLDOMDocument> document;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, document.PutVoid());
    if (FAILED(hr)) {
        error = "cannot create the XML parser";
        return hr;
    }
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    UniqueBstr text(SysAllocStringLen(markup.data(), static_cast<UINT>(markup.size())));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->loadXML(text.Get(), &loaded);
    if (hr != S_OK || loaded != VARIANT_TRUE) {
        ComRef<IXMLDOMParseError> parseError;
        document->get_parseError(parseError.Put());
        UniqueBstr reason;
        if (parseError) parseError->get_reason(reason.Put());
        error = "markup is not well formed: " + Narrow(Text(reason.Get()));
        return E_FAIL;
    }
    ComRef<IXMLDOMElement> root;
    document->get_documentElement(root.Put());
    ComRef<IXMLDOMNode> rootNode;
    if (!root || FAILED(root->QueryInterface(IID_IXMLDOMNode, rootNode.PutVoid()))) {
        error = "markup has no root element";
        return E_FAIL;
    }
    if (BaseName(rootNode.Get()) != L"customUI" || NamespaceOf(rootNode.Get()) != kCustomUiNamespace) {
        error = "root element is not customUI of the 2006/01 namespace";
        return E_FAIL;
    }
    ribbon.loadImage = Attribute(rootNode.Get(), L"loadImage");
    for (auto& ribbonNode : Elements(rootNode.Get())) {
        if (BaseName(ribbonNode.Get()) != L"ribbon") continue;
        for (auto& tabs : Elements(ribbonNode.Get())) {
            if (BaseName(tabs.Get()) != L"tabs") continue;
            for (auto& tab : Elements(tabs.Get())) {
                if (BaseName(tab.Get()) != L"tab") continue;
                for (auto& groupNode : Elements(tab.Get())) {
                    if (BaseName(groupNode.Get()) != L"group") continue;
                    RibbonGroup group;
                    group.tabIdMso = Attribute(tab.Get(), L"idMso");
                    group.id = Attribute(groupNode.Get(), L"id");
                    group.label = Attribute(groupNode.Get(), L"label");
                    group.insertBeforeMso = Attribute(groupNode.Get(), L"insertBeforeMso");
                    for (auto& buttonNode : Elements(groupNode.Get())) {
                        if (BaseName(buttonNode.Get()) != L"button") continue;
                        RibbonButton button;
                        button.id = Attribute(buttonNode.Get(), L"id");
                        button.label = Attribute(buttonNode.Get(), L"label");
                        button.image = Attribute(buttonNode.Get(), L"image");
                        button.size = Attribute(buttonNode.Get(), L"size");
                        button.onAction = Attribute(buttonNode.Get(), L"onAction");
                        group.buttons.push_back(std::move(button));
                    }
                    ribbon.groups.push_back(std::move(group));
                }
            }
        }
    }
    return S_OK;
}

// Draws the picture's 32-bit premultiplied bitmap scaled into `target`.
void DrawPicture(Gdiplus::Graphics& g, IPictureDisp* pictureDisp, const Gdiplus::Rect& target) {
    if (!pictureDisp) return;
    ComRef<IPicture> picture;
    if (FAILED(pictureDisp->QueryInterface(IID_IPicture, picture.PutVoid()))) return;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Handle(&handle))) return;
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    DIBSECTION dib{};
    if (GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) || dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits) {
        Gdiplus::Bitmap plain(bitmap, nullptr);
        g.DrawImage(&plain, target);
        return;
    }
    const int width = dib.dsBm.bmWidth;
    const int height = dib.dsBm.bmHeight;
    const int stride = dib.dsBm.bmWidthBytes;
    BYTE* bits = static_cast<BYTE*>(dib.dsBm.bmBits);
    // Bottom-up rows: start at the last row and walk back.
    const bool bottomUp = dib.dsBmih.biHeight > 0;
    Gdiplus::Bitmap view(width, height, bottomUp ? -stride : stride, PixelFormat32bppPARGB,
                         bottomUp ? bits + static_cast<size_t>(stride) * (height - 1) : bits);
    g.DrawImage(&view, target);
}

}  // namespace

CLSID PngEncoder() {
    CLSID clsid{};
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return clsid;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return clsid;
    for (UINT i = 0; i < count; ++i) {
        if (lstrcmpW(codecs[i].MimeType, L"image/png") == 0) return codecs[i].Clsid;
    }
    return clsid;
}

std::wstring DisplayLabel(const std::wstring& label) {
    std::wstring out;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == L'&') {
            if (i + 1 < label.size() && label[i + 1] == L'&') {
                out.push_back(L'&');
                ++i;
            }
            continue;
        }
        out.push_back(label[i]);
    }
    return out;
}

HRESULT LoadRibbon(IUnknown* addin, const wchar_t* ribbonId, Ribbon& ribbon, std::string& error) {
    ribbon = Ribbon{};
    ComRef<IRibbonExtensibility> extensibility;
    HRESULT hr = addin->QueryInterface(ks::IID_IRibbonExtensibility, extensibility.PutVoid());
    if (FAILED(hr)) {
        error = "the add-in has no IRibbonExtensibility";
        return hr;
    }
    UniqueBstr id(SysAllocString(ribbonId));
    UniqueBstr markup;
    hr = extensibility->GetCustomUI(id.Get(), markup.Put());
    if (FAILED(hr)) {
        error = "GetCustomUI failed";
        return hr;
    }
    ribbon.markup = Text(markup.Get());
    if (ribbon.markup.empty()) return S_OK;  // no customisation for this window
    ribbon.customised = true;
    return ParseMarkup(ribbon.markup, ribbon, error);
}

HRESULT LoadRibbonImages(IUnknown* addin, Ribbon& ribbon, ImageIdForms& forms) {
    HRESULT first = S_OK;
    for (RibbonGroup& group : ribbon.groups) {
        for (RibbonButton& button : group.buttons) {
            if (button.image.empty() || ribbon.loadImage.empty()) continue;
            // Office resolves every callback by name on the add-in's IDispatch.
            ComRef<IDispatch> dispatch;
            button.imageResult = addin->QueryInterface(IID_IDispatch, dispatch.PutVoid());
            UniqueBstr id(SysAllocString(button.image.c_str()));
            UniqueVariant result;
            if (SUCCEEDED(button.imageResult)) {
                BSTR text = id.Get();
                VARIANT arg;
                VariantInit(&arg);
                button.imageIdByReference = forms.NextByReference();
                if (button.imageIdByReference) {
                    arg.vt = VT_BYREF | VT_BSTR;
                    arg.pbstrVal = &text;
                } else {
                    arg.vt = VT_BSTR;
                    arg.bstrVal = text;
                }
                button.imageResult = InvokeByName(dispatch.Get(), ribbon.loadImage.c_str(), {arg}, result.Get());
                // A callee that replaced the id by reference handed over its own text.
                if (text != id.Get()) id.Reset(text);
            }
            if (SUCCEEDED(button.imageResult) && result->vt == VT_DISPATCH && result->pdispVal) {
                result->pdispVal->QueryInterface(IID_IPictureDisp, button.picture.PutVoid());
            }
            if (FAILED(button.imageResult) && SUCCEEDED(first)) first = button.imageResult;
        }
    }
    return first;
}

bool PictureFingerprint(IPictureDisp* pictureDisp, int& width, int& height, unsigned long& hash) {
    width = height = 0;
    hash = 0;
    ComRef<IPicture> picture;
    if (!pictureDisp || FAILED(pictureDisp->QueryInterface(IID_IPicture, picture.PutVoid()))) return false;
    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Handle(&handle))) return false;
    DIBSECTION dib{};
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    if (GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) || dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits) {
        return false;
    }
    width = dib.dsBm.bmWidth;
    height = dib.dsBm.bmHeight;
    unsigned long fnv = 2166136261ul;
    const BYTE* bits = static_cast<const BYTE*>(dib.dsBm.bmBits);
    for (int row = 0; row < height; ++row) {
        const BYTE* line = bits + static_cast<size_t>(row) * dib.dsBm.bmWidthBytes;
        for (int i = 0; i < width * 4; ++i) fnv = ((fnv ^ line[i]) * 16777619ul) & 0xFFFFFFFFul;
    }
    hash = fnv;
    return true;
}

HRESULT RenderRibbonPng(const Ribbon& ribbon, const std::wstring& path) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return E_FAIL;
    HRESULT hr = S_OK;
    {
        const int buttonWidth = 86, padding = 8, imageSize = 32, height = 112;
        size_t buttons = 0;
        for (const RibbonGroup& group : ribbon.groups) buttons += group.buttons.size();
        const int groupCount = static_cast<int>(std::max<size_t>(ribbon.groups.size(), 1));
        const int width = std::max(160, static_cast<int>(buttons) * buttonWidth + padding * 2 * groupCount);
        Gdiplus::Bitmap canvas(width, height, PixelFormat32bppARGB);
        Gdiplus::Graphics g(&canvas);
        g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.Clear(Gdiplus::Color(255, 243, 243, 243));
        Gdiplus::FontFamily family(L"Liberation Sans");
        Gdiplus::Font font(&family, 11, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
        Gdiplus::SolidBrush text(Gdiplus::Color(255, 38, 38, 38));
        Gdiplus::SolidBrush muted(Gdiplus::Color(255, 96, 96, 96));
        Gdiplus::Pen separator(Gdiplus::Color(255, 200, 200, 200));
        Gdiplus::StringFormat centred;
        centred.SetAlignment(Gdiplus::StringAlignmentCenter);
        centred.SetLineAlignment(Gdiplus::StringAlignmentNear);

        if (ribbon.groups.empty()) {
            g.DrawString(L"(no group)", -1, &font, Gdiplus::RectF(0, 40, static_cast<float>(width), 20),
                         &centred, &muted);
        }
        int x = padding;
        for (const RibbonGroup& group : ribbon.groups) {
            const int groupWidth = std::max(80, static_cast<int>(group.buttons.size()) * buttonWidth);
            for (size_t i = 0; i < group.buttons.size(); ++i) {
                const RibbonButton& button = group.buttons[i];
                const int bx = x + static_cast<int>(i) * buttonWidth;
                DrawPicture(g, button.picture.Get(),
                            Gdiplus::Rect(bx + (buttonWidth - imageSize) / 2, 8, imageSize, imageSize));
                const std::wstring label = DisplayLabel(button.label);
                g.DrawString(label.c_str(), -1, &font,
                             Gdiplus::RectF(static_cast<float>(bx), 46, static_cast<float>(buttonWidth), 34),
                             &centred, &text);
            }
            g.DrawString(group.label.c_str(), -1, &font,
                         Gdiplus::RectF(static_cast<float>(x), 90, static_cast<float>(groupWidth), 16), &centred,
                         &muted);
            g.DrawLine(&separator, x + groupWidth + padding / 2, 4, x + groupWidth + padding / 2, height - 4);
            x += groupWidth + padding * 2;
        }
        CLSID png = PngEncoder();
        if (canvas.Save(path.c_str(), &png, nullptr) != Gdiplus::Ok) hr = E_FAIL;
    }
    Gdiplus::GdiplusShutdown(token);
    return hr;
}

}  // namespace kshost
