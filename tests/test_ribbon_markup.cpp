// The ribbon markup as Outlook receives it: GetCustomUI called through the
// IRibbonExtensibility vtable of the add-in created by COM, with the two
// switches written into the prefix's machine hive. The expected documents are
// built here from the layout rules (elements, attributes, four spaces per
// level, continuation lines aligned under the first attribute), and each
// document is also parsed by MSXML.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml2.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ribbon/markup.h"
#include "support/connect_object.h"
#include "support/ribbon_switches.h"

using kstest::WriteSwitchText;

namespace {

const wchar_t kComposeId[] = L"Microsoft.Outlook.Mail.Compose";
const wchar_t kCustomUiNamespace[] = L"http://schemas.microsoft.com/office/2006/01/customui";

// ---------------------------------------------------------------------------
// The expected documents, from the layout rules.

using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;

struct LayoutLine {
    size_t indent;
    std::wstring text;
};

// An element as it is laid out: the first attribute on the element's line,
// each further one on a line of its own, aligned under the first.
std::vector<LayoutLine> ElementLines(size_t indent, const std::wstring& name, const Attributes& attributes,
                                     bool empty) {
    std::vector<LayoutLine> lines;
    const size_t attributeColumn = indent + 1 + name.size() + 1;  // "<" name " "
    for (size_t i = 0; i < attributes.size(); ++i) {
        std::wstring text = attributes[i].first + L"=\"" + attributes[i].second + L"\"";
        if (i == 0) {
            lines.push_back({indent, L"<" + name + L" " + text});
        } else {
            lines.push_back({attributeColumn, text});
        }
    }
    if (attributes.empty()) lines.push_back({indent, L"<" + name});
    lines.back().text += empty ? L"/>" : L">";
    return lines;
}

void Append(std::vector<LayoutLine>& to, const std::vector<LayoutLine>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}

// The layout with its line breaks taken out: each line's indentation stands
// where the line break before it was.
std::wstring Join(const std::vector<LayoutLine>& lines) {
    std::wstring text;
    for (const LayoutLine& line : lines) text += std::wstring(line.indent, L' ') + line.text;
    return text;
}

const Attributes kSelectButton = {{L"id", L"KestrinSelectButton"},
                                  {L"image", L"KestrinSelectImage"},
                                  {L"label", L"Encrypt &amp;&amp; Send"},
                                  {L"size", L"large"},
                                  {L"onAction", L"onClickSelect"}};
const Attributes kUnselectButton = {{L"id", L"KestrinUnselectButton"},
                                    {L"image", L"KestrinUnselectImage"},
                                    {L"label", L"Send Unencrypted"},
                                    {L"size", L"large"},
                                    {L"onAction", L"onClickUnselect"}};
const Attributes kGroup = {{L"id", L"KestrinSelectGroup"},
                           {L"insertBeforeMso", L"GroupClipboard"},
                           {L"label", L"KestrinSelect"}};

std::wstring ExpectedDocument(bool select, bool unselect) {
    std::vector<LayoutLine> lines;
    lines.push_back({0, L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"});
    lines.push_back({0, std::wstring(L"<customUI xmlns=\"") + kCustomUiNamespace + L"\" loadImage=\"getImage\">"});
    lines.push_back({4, L"<ribbon>"});
    lines.push_back({8, L"<tabs>"});
    Append(lines, ElementLines(12, L"tab", {{L"idMso", L"TabNewMailMessage"}}, false));
    Append(lines, ElementLines(16, L"group", kGroup, false));
    if (select) Append(lines, ElementLines(20, L"button", kSelectButton, true));
    if (unselect) Append(lines, ElementLines(20, L"button", kUnselectButton, true));
    lines.push_back({16, L"</group>"});
    lines.push_back({12, L"</tab>"});
    lines.push_back({8, L"</tabs>"});
    lines.push_back({4, L"</ribbon>"});
    lines.push_back({0, L"</customUI>"});
    return Join(lines);
}

TEST(RibbonMarkupLayout, ContinuationLinesAlignUnderTheFirstAttribute) {
    // The columns the layout rules name: 23 for the group, 28 for buttons.
    EXPECT_EQ(ElementLines(16, L"group", kGroup, false)[1].indent, 23u);
    EXPECT_EQ(ElementLines(20, L"button", kSelectButton, true)[4].indent, 28u);
}

// ---------------------------------------------------------------------------
// Calling the add-in.

class RibbonMarkup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kstest::CreateConnect(ks::IID_IRibbonExtensibility, m_ribbon), S_OK);
    }

    // GetCustomUI through the vtable; the markup, or "<failed 0x...>".
    std::wstring CustomUi(const wchar_t* ribbonId) {
        ks::UniqueBstr id(ribbonId ? SysAllocString(ribbonId) : nullptr);
        ks::UniqueBstr markup;
        HRESULT hr = m_ribbon->GetCustomUI(id.Get(), markup.Put());
        if (hr != S_OK || !markup) return L"<failed " + std::to_wstring(hr) + L">";
        return std::wstring(markup.Get(), markup.Length());
    }

    kstest::SwitchKeyScope m_switches;
    ks::ComRef<IRibbonExtensibility> m_ribbon;
};

TEST_F(RibbonMarkup, ComposeWindowFollowsBothSwitches) {
    struct Case {
        const char* select;
        const char* unselect;
        bool selectButton;
        bool unselectButton;
    } cases[] = {
        {"true", "true", true, true},
        {"true", "false", true, false},
        {"false", "true", false, true},
        {"false", "false", false, false},
        {"TRUE", nullptr, true, false},
        {nullptr, "True", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("select=") + (c.select ? c.select : "<absent>") +
                     " unselect=" + (c.unselect ? c.unselect : "<absent>"));
        kstest::DeleteSwitchKey(HKEY_LOCAL_MACHINE, kstest::OwnRegistryView());
        if (c.select) {
            ASSERT_TRUE(WriteSwitchText("selectEnabled", c.select));
        }
        if (c.unselect) {
            ASSERT_TRUE(WriteSwitchText("unselectEnabled", c.unselect));
        }
        const std::wstring expected =
            (c.selectButton || c.unselectButton) ? ExpectedDocument(c.selectButton, c.unselectButton) : L"";
        EXPECT_EQ(CustomUi(kComposeId), expected);
    }
}

TEST_F(RibbonMarkup, NoKeyOrAKeyOnlyForTheUserGivesNoGroup) {
    EXPECT_EQ(CustomUi(kComposeId), L"");
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true", HKEY_CURRENT_USER));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "true", HKEY_CURRENT_USER));
    EXPECT_EQ(CustomUi(kComposeId), L"");
}

TEST_F(RibbonMarkup, OtherWindowsGetNothingWhateverTheSwitches) {
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true"));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "true"));
    EXPECT_EQ(CustomUi(L"Microsoft.Outlook.Mail.Read"), L"");
    EXPECT_EQ(CustomUi(L"Microsoft.Outlook.Explorer"), L"");
    EXPECT_EQ(CustomUi(L"Microsoft.Outlook.Mail.Compose "), L"");
    EXPECT_EQ(CustomUi(L" Microsoft.Outlook.Mail.Compose"), L"");
    EXPECT_EQ(CustomUi(L"microsoft.outlook.mail.compose"), L"");
    EXPECT_EQ(CustomUi(L"MICROSOFT.OUTLOOK.MAIL.COMPOSE"), L"");
    EXPECT_EQ(CustomUi(L""), L"");
    EXPECT_EQ(CustomUi(nullptr), L"");
    // And the compose window itself still gets both buttons.
    EXPECT_EQ(CustomUi(kComposeId), ExpectedDocument(true, true));
}

TEST_F(RibbonMarkup, NullOutAddressIsRefused) {
    ks::UniqueBstr id(SysAllocString(kComposeId));
    EXPECT_EQ(m_ribbon->GetCustomUI(id.Get(), nullptr), E_POINTER);
}

TEST_F(RibbonMarkup, ASwitchChangedBetweenRequestsIsSeenAtOnce) {
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "false"));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "true"));
    EXPECT_EQ(CustomUi(kComposeId), ExpectedDocument(false, true));
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true"));
    EXPECT_EQ(CustomUi(kComposeId), ExpectedDocument(true, true));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "no"));
    EXPECT_EQ(CustomUi(kComposeId), ExpectedDocument(true, false));
}

TEST_F(RibbonMarkup, EachCallReturnsItsOwnCopy) {
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true"));
    ks::UniqueBstr id(SysAllocString(kComposeId));
    ks::UniqueBstr first, second;
    ASSERT_EQ(m_ribbon->GetCustomUI(id.Get(), first.Put()), S_OK);
    ASSERT_EQ(m_ribbon->GetCustomUI(id.Get(), second.Put()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(first.Length(), second.Length());
}

// The bitness rule: a 64-bit add-in reads the 64-bit view of the machine
// hive, a 32-bit one the 32-bit view, as Outlook of the same bitness would.
TEST_F(RibbonMarkup, ReadsTheRegistryViewOfItsOwnBitness) {
    if (!kstest::RegistryHasTwoViews()) GTEST_SKIP() << "this system has a single registry view";
    ASSERT_TRUE(WriteSwitchText("selectEnabled", "true", HKEY_LOCAL_MACHINE, kstest::OwnRegistryView()));
    ASSERT_TRUE(WriteSwitchText("unselectEnabled", "true", HKEY_LOCAL_MACHINE, kstest::OtherRegistryView()));
    EXPECT_EQ(CustomUi(kComposeId), ExpectedDocument(true, false));

    kstest::DeleteSwitchKey(HKEY_LOCAL_MACHINE, kstest::OwnRegistryView());
    EXPECT_EQ(CustomUi(kComposeId), L"");
}

// ---------------------------------------------------------------------------
// The documents read by a real XML parser.

const CLSID kClsidDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID kIidXmlDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

std::wstring Text(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

std::wstring NodeName(IXMLDOMNode* node) {
    ks::UniqueBstr name;
    node->get_nodeName(name.Put());
    return Text(name.Get());
}

// Attribute names and values in document order. Namespace declarations are
// left out: MSXML lists them among the attributes, Wine's MSXML does not (the
// namespace is checked through namespaceURI, its place by the text itself).
Attributes AttributesOf(IXMLDOMNode* node) {
    Attributes result;
    ks::ComRef<IXMLDOMNamedNodeMap> map;
    if (FAILED(node->get_attributes(map.Put())) || !map) return result;
    long count = 0;
    map->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ks::ComRef<IXMLDOMNode> attribute;
        if (FAILED(map->get_item(i, attribute.Put())) || !attribute) continue;
        const std::wstring name = NodeName(attribute.Get());
        if (name == L"xmlns" || name.compare(0, 6, L"xmlns:") == 0) continue;
        ks::UniqueBstr value;
        attribute->get_text(value.Put());
        result.emplace_back(name, Text(value.Get()));
    }
    return result;
}

std::vector<ks::ComRef<IXMLDOMNode>> ChildElements(IXMLDOMNode* node) {
    std::vector<ks::ComRef<IXMLDOMNode>> children;
    ks::ComRef<IXMLDOMNode> child;
    node->get_firstChild(child.Put());
    while (child) {
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type == NODE_ELEMENT) children.push_back(child);
        ks::ComRef<IXMLDOMNode> next;
        child->get_nextSibling(next.Put());
        child = std::move(next);
    }
    return children;
}

// The single child element of `node`, checked for its name and attributes.
ks::ComRef<IXMLDOMNode> OnlyChild(IXMLDOMNode* node, const std::wstring& name, const Attributes& attributes) {
    std::vector<ks::ComRef<IXMLDOMNode>> children = ChildElements(node);
    EXPECT_EQ(children.size(), 1u) << "children of " << std::string(name.begin(), name.end()) << "'s parent";
    if (children.empty()) return ks::ComRef<IXMLDOMNode>();
    EXPECT_EQ(NodeName(children[0].Get()), name);
    EXPECT_EQ(AttributesOf(children[0].Get()), attributes);
    return children[0];
}

Attributes Unescaped(Attributes attributes) {
    for (auto& a : attributes) {
        if (a.second == L"Encrypt &amp;&amp; Send") a.second = L"Encrypt && Send";
    }
    return attributes;
}

void ExpectParsedDocument(const std::wstring& markup, bool select, bool unselect) {
    ks::ComRef<IXMLDOMDocument> document;
    ASSERT_EQ(CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument,
                               document.PutVoid()), S_OK);
    document->put_async(VARIANT_FALSE);
    ks::UniqueBstr text(SysAllocStringLen(markup.data(), static_cast<UINT>(markup.size())));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(document->loadXML(text.Get(), &loaded), S_OK);
    ASSERT_EQ(loaded, VARIANT_TRUE) << "not well formed";

    ks::ComRef<IXMLDOMElement> rootElement;
    ASSERT_EQ(document->get_documentElement(rootElement.Put()), S_OK);
    ks::ComRef<IXMLDOMNode> root;
    ASSERT_EQ(rootElement.QueryTo(IID_IXMLDOMNode, root), S_OK);
    EXPECT_EQ(NodeName(root.Get()), L"customUI");
    ks::UniqueBstr namespaceUri;
    root->get_namespaceURI(namespaceUri.Put());
    EXPECT_EQ(Text(namespaceUri.Get()), kCustomUiNamespace);
    EXPECT_EQ(AttributesOf(root.Get()), (Attributes{{L"loadImage", L"getImage"}}));

    ks::ComRef<IXMLDOMNode> ribbon = OnlyChild(root.Get(), L"ribbon", {});
    ASSERT_TRUE(ribbon);
    ks::ComRef<IXMLDOMNode> tabs = OnlyChild(ribbon.Get(), L"tabs", {});
    ASSERT_TRUE(tabs);
    ks::ComRef<IXMLDOMNode> tab = OnlyChild(tabs.Get(), L"tab", {{L"idMso", L"TabNewMailMessage"}});
    ASSERT_TRUE(tab);
    ks::ComRef<IXMLDOMNode> group = OnlyChild(tab.Get(), L"group", kGroup);
    ASSERT_TRUE(group);

    std::vector<Attributes> expectedButtons;
    if (select) expectedButtons.push_back(Unescaped(kSelectButton));
    if (unselect) expectedButtons.push_back(Unescaped(kUnselectButton));
    std::vector<ks::ComRef<IXMLDOMNode>> buttons = ChildElements(group.Get());
    ASSERT_EQ(buttons.size(), expectedButtons.size());
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(NodeName(buttons[i].Get()), L"button");
        EXPECT_EQ(AttributesOf(buttons[i].Get()), expectedButtons[i]);
        EXPECT_TRUE(ChildElements(buttons[i].Get()).empty());
    }
}

TEST_F(RibbonMarkup, EachDocumentIsWellFormedWithItsElementsInOrder) {
    const std::pair<bool, bool> choices[] = {{true, true}, {true, false}, {false, true}};
    for (const auto& choice : choices) {
        SCOPED_TRACE(std::string("select=") + (choice.first ? "on" : "off") +
                     " unselect=" + (choice.second ? "on" : "off"));
        kstest::DeleteSwitchKey(HKEY_LOCAL_MACHINE, kstest::OwnRegistryView());
        ASSERT_TRUE(WriteSwitchText("selectEnabled", choice.first ? "true" : "false"));
        ASSERT_TRUE(WriteSwitchText("unselectEnabled", choice.second ? "true" : "false"));
        const std::wstring markup = CustomUi(kComposeId);
        EXPECT_EQ(markup.find_first_of(L"\r\n\t"), std::wstring::npos);
        ExpectParsedDocument(markup, choice.first, choice.second);
    }
}

}  // namespace
