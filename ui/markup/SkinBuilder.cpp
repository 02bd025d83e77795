// CSkinBuilder: resources, window attributes, the tag table and the build
// step that creates controls top-down and attaches them bottom-up.
#include "ui/markup/SkinBuilder.h"

#include "platform/system/Resources.h"
#include "ui/controls/ActiveXUI.h"
#include "ui/controls/ApngAnimUI.h"
#include "ui/controls/ApngButtonUI.h"
#include "ui/controls/ButtonUI.h"
#include "ui/controls/CheckBoxUI.h"
#include "ui/controls/ChrysanthemumLoadingUI.h"
#include "ui/controls/ComboUI.h"
#include "ui/controls/DateTimeUI.h"
#include "ui/controls/EditUI.h"
#include "ui/controls/RichEditUI.h"
#include "ui/controls/GifAnimUI.h"
#include "ui/controls/GifButtonUI.h"
#include "ui/controls/LabelUI.h"
#include "ui/controls/ListContainerElementUI.h"
#include "ui/controls/ListHBoxElementUI.h"
#include "ui/controls/ListHeaderItemUI.h"
#include "ui/controls/ListHeaderUI.h"
#include "ui/controls/ListLabelElementUI.h"
#include "ui/controls/ListTextElementUI.h"
#include "ui/controls/ListUI.h"
#include "ui/controls/OptionUI.h"
#include "ui/controls/ProgressUI.h"
#include "ui/controls/RotateImageUI.h"
#include "ui/controls/SliderUI.h"
#include "ui/controls/TextUI.h"
#include "ui/controls/TreeNodeUI.h"
#include "ui/controls/TreeViewUI.h"
#include "ui/controls/WebBrowserUI.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/layout/ChildLayoutUI.h"
#include "ui/layout/ContainerUI.h"
#include "ui/layout/HorizontalLayoutUI.h"
#include "ui/layout/ScrollBarUI.h"
#include "ui/layout/TabLayoutUI.h"
#include "ui/layout/TileLayoutUI.h"
#include "ui/layout/VerticalLayoutUI.h"

#include <cwctype>
#include <string>

namespace {

bool equalsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

bool isResourceElement(std::wstring_view name) {
    return equalsNoCase(name, L"Image") || equalsNoCase(name, L"Font") || equalsNoCase(name, L"Default") ||
           equalsNoCase(name, L"MultiLanguage");
}

template <typename T>
CControlUI* make() {
    return new T;
}

// The controls markup names directly ("TreeNode" has a build step of its
// own). Tags that are not here (rich edits, ...) go to the window's
// IDialogBuilderCallback; a new control class joins with one row.
struct TagEntry {
    const wchar_t* tag;
    CControlUI* (*create)();
};
constexpr TagEntry kTags[] = {
    {L"Control", make<CControlUI>},
    {L"Container", make<CContainerUI>},
    {L"VerticalLayout", make<CVerticalLayoutUI>},
    {L"VBox", make<CVerticalLayoutUI>},
    {L"HorizontalLayout", make<CHorizontalLayoutUI>},
    {L"HBox", make<CHorizontalLayoutUI>},
    {L"TileLayout", make<CTileLayoutUI>},
    {L"TabLayout", make<CTabLayoutUI>},
    {L"ChildLayout", make<CChildLayoutUI>},
    {L"Label", make<CLabelUI>},
    {L"Text", make<CTextUI>},
    {L"Button", make<CButtonUI>},
    {L"Option", make<COptionUI>},
    {L"CheckBox", make<CCheckBoxUI>},
    {L"Progress", make<CProgressUI>},
    {L"Edit", make<CEditUI>},
    {L"RichEdit", make<CRichEditUI>},
    {L"ScrollBar", make<CScrollBarUI>},
    {L"Combo", make<CComboUI>},
    {L"ComboBox", make<CComboUI>},
    {L"List", make<CListUI>},
    {L"ListHeader", make<CListHeaderUI>},
    {L"ListHeaderItem", make<CListHeaderItemUI>},
    {L"ListTextElement", make<CListTextElementUI>},
    {L"ListLabelElement", make<CListLabelElementUI>},
    {L"ListHBoxElement", make<CListHBoxElementUI>},
    {L"ListContainerElement", make<CListContainerElementUI>},
    {L"TreeView", make<CTreeViewUI>},
    {L"Tree", make<CTreeViewUI>},
    {L"Slider", make<CSliderUI>},
    {L"ActiveX", make<CActiveXUI>},
    {L"WebBrowser", make<CWebBrowserUI>},
    {L"RotateImage", make<CRotateImageUI>},
    {L"ChrysanthemumLoading", make<CChrysanthemumLoadingUI>},
    {L"DateTime", make<CDateTimeUI>},
    {L"GifAnim", make<CGifAnimUI>},
    {L"GifButton", make<CGifButtonUI>},
    {L"ApngAnim", make<CApngAnimUI>},
    {L"ApngButton", make<CApngButtonUI>},
};

// Attribute values of resource elements (names compared without regard to case).
struct ResourceAttributes {
    CSkinXmlNode node;

    const wchar_t* find(std::wstring_view name) const {
        for (int i = 0; i < node.attributeCount(); ++i)
            if (equalsNoCase(node.attributeName(i), name)) return node.attributeValue(i);
        return nullptr;
    }
    int number(std::wstring_view name, int fallback) const {
        const wchar_t* v = find(name);
        return v ? attr::parseInt(v) : fallback;
    }
    bool flag(std::wstring_view name) const {
        const wchar_t* v = find(name);
        return v && attr::parseBoolNoCase(v);
    }
};

} // namespace

CControlUI* CSkinBuilder::createBuiltIn(std::wstring_view tag) {
    for (const TagEntry& entry : kTags)
        if (equalsNoCase(tag, entry.tag)) return entry.create();
    return nullptr;
}

// --- Loading ---

CControlUI* CSkinBuilder::build(const wchar_t* source, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                                CFormManagerUI* manager, CControlUI* parent) {
    if (!source) return nullptr;
    m_fromResource = false;
    m_resourceType.clear();
    bool loaded = source[0] == L'<' ? m_document.load(source) : m_document.loadFromFile(source, XmlEncoding::Utf8);
    (void)resourceType; // a named or inline document is never a resource
    if (!loaded) return nullptr;
    return buildLoaded(callback, manager, parent);
}

CControlUI* CSkinBuilder::build(int resourceId, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                                CFormManagerUI* manager, CControlUI* parent) {
    if (!resourceType) return nullptr;
    m_callback = callback;
    auto bytes = platform::findResource(resourceType, resourceId);
    if (bytes.empty()) return nullptr;
    if (!m_document.loadFromMemory(bytes.data(), bytes.size(), XmlEncoding::Utf8)) return nullptr;
    m_fromResource = true;
    m_resourceType = resourceType;
    return buildLoaded(callback, manager, parent);
}

CControlUI* CSkinBuilder::buildLoaded(IDialogBuilderCallback* callback, CFormManagerUI* manager, CControlUI* parent) {
    m_callback = callback;
    CSkinXmlNode root = m_document.root();
    if (!root.isValid()) return nullptr;
    if (manager) {
        registerResources(root, manager);
        if (manager->hostWindow() && equalsNoCase(root.name(), L"Window")) applyWindowAttributes(root, manager);
    }
    return buildLevel(root, parent, manager, m_baseDepth);
}

// --- Resources and window attributes ---

void CSkinBuilder::registerResources(CSkinXmlNode root, CFormManagerUI* manager) {
    for (CSkinXmlNode node = root.firstChild(); node.isValid(); node = node.nextSibling()) {
        const std::wstring_view name = node.name();
        const ResourceAttributes a{node};
        if (equalsNoCase(name, L"Image")) {
            const wchar_t* imageName = a.find(L"name");
            if (!imageName) continue;
            const wchar_t* mask = a.find(L"mask");
            manager->addImage(imageName, a.find(L"restype"), mask ? attr::parseColour(mask) : 0, a.flag(L"shared"));
        } else if (equalsNoCase(name, L"Font")) {
            const int id = a.number(L"id", -1);
            const wchar_t* face = a.find(L"name");
            if (id < 0 || !face) continue;
            const int size = a.number(L"size", 12);
            const bool bold = a.flag(L"bold"), underline = a.flag(L"underline"), italic = a.flag(L"italic"),
                       strikeout = a.flag(L"strikeout"), shared = a.flag(L"shared");
            manager->addFont(id, face, size, bold, underline, italic, strikeout, shared);
            if (a.flag(L"default")) manager->setDefaultFont(face, size, bold, underline, italic, strikeout, shared);
        } else if (equalsNoCase(name, L"Default")) {
            const wchar_t* tag = a.find(L"name");
            if (!tag) continue;
            const wchar_t* value = a.find(L"value");
            manager->addDefaultAttributes(tag, value ? value : L"", a.flag(L"shared"));
        } else if (equalsNoCase(name, L"MultiLanguage")) {
            const int id = a.number(L"id", -1);
            const wchar_t* value = a.find(L"value");
            if (id >= 0 && value) CFormManagerUI::addLanguageText(id, value);
        }
    }
}

void CSkinBuilder::applyWindowAttributes(CSkinXmlNode root, CFormManagerUI* manager) {
    for (int i = 0; i < root.attributeCount(); ++i)
        manager->applyWindowAttribute(root.attributeName(i), root.attributeValue(i));
}

// --- The build step ---

namespace {

// Names are registered while a control is bound during the build; a control
// the build then drops must take them along, or a lookup by name would hand
// out a freed control.
void forgetNames(CControlUI* control, CFormManagerUI* manager) {
    if (!control || !manager) return;
    control->walkTree(
        [](CControlUI* c, void* m) -> CControlUI* {
            static_cast<CFormManagerUI*>(m)->forgetControl(c);
            return nullptr;
        },
        manager, FindAll);
}

void dropControl(CControlUI* control, CFormManagerUI* manager) {
    forgetNames(control, manager);
    control->destroySelf();
}

} // namespace

bool CSkinBuilder::spend() {
    if (m_limits->work <= 0) return false;
    --m_limits->work;
    return true;
}

void CSkinBuilder::buildInclude(CSkinXmlNode include, CControlUI* parent, CFormManagerUI* manager, int depth) {
    if (!include.hasAttributes()) return;
    wchar_t text[32] = {};
    int count = include.copyAttributeValue(L"count", text, 31) ? attr::parseInt(text) : 1;
    wchar_t source[500] = {};
    if (!include.copyAttributeValue(L"source", source, 499)) return;
    if (m_includeDepth >= kMaxIncludeDepth) return;

    CSkinBuilder included;
    included.m_includeDepth = m_includeDepth + 1;
    included.m_baseDepth = depth;
    included.m_limits = m_limits;
    for (int i = 0; i < count && spend(); ++i) {
        CControlUI* first = nullptr;
        if (i == 0) {
            if (m_fromResource)
                first = included.build(attr::parseInt(source), m_resourceType.c_str(), m_callback, manager, parent);
            else
                first = included.build(source, nullptr, m_callback, manager, parent);
        } else {
            first = included.buildLoaded(m_callback, manager, parent);
        }
        // Without a parent nothing would own what the include made.
        if (!parent && first) dropControl(first, manager);
        if (i == 0 && !included.m_document.isValid()) break; // nothing to build again
    }
}

bool CSkinBuilder::buildTreeNode(CSkinXmlNode element, CControlUI* parent, CFormManagerUI* manager, int depth) {
    auto* node = new CTreeNodeUI;
    auto* parentNode = parent ? static_cast<CTreeNodeUI*>(parent->castTo(L"TreeNode")) : nullptr;
    if (parentNode && !parentNode->addItem(node)) {
        dropControl(node, manager);
        return true;
    }
    // A node stays bound: it gets its attributes before its child nodes
    // are built, and they need its manager to register their names.
    const wchar_t* tag = element.name();
    if (manager) {
        node->bindManager(manager, nullptr, false);
        if (const wchar_t* defaults = manager->defaultAttributes(tag)) node->applyAttributeText(defaults);
    }
    for (int i = 0; i < element.attributeCount(); ++i)
        node->applyAttribute(element.attributeName(i), element.attributeValue(i));
    if (element.hasChildren()) buildLevel(element, node, manager, depth + 1);
    if (parentNode) return true;
    // A top-level node needs a tree view; anywhere else the level ends.
    auto* view = parent ? static_cast<CTreeViewUI*>(parent->castTo(L"TreeView")) : nullptr;
    if (!view) {
        dropControl(node, manager);
        return false;
    }
    if (!view->addItem(node)) dropControl(node, manager);
    return true;
}

CControlUI* CSkinBuilder::buildLevel(CSkinXmlNode element, CControlUI* parent, CFormManagerUI* manager, int depth) {
    if (depth >= kMaxDepth) return nullptr;
    CControlUI* first = nullptr;
    IContainerUI* container = nullptr;
    bool containerAsked = false;

    for (CSkinXmlNode node = element.firstChild(); node.isValid(); node = node.nextSibling()) {
        const wchar_t* tag = node.name();
        if (isResourceElement(tag)) continue;
        if (equalsNoCase(tag, L"Include")) {
            buildInclude(node, parent, manager, depth);
            continue;
        }
        if (!spend()) break;
        if (equalsNoCase(tag, L"TreeNode")) {
            if (buildTreeNode(node, parent, manager, depth)) continue;
            // The level ends with nothing handed back: at the top nothing
            // would own the control built first.
            if (!parent && first) dropControl(first, manager);
            return nullptr;
        }

        // 1. Create: the table, else the window's callback; unknown tags
        // are skipped with their subtree.
        CControlUI* control = createBuiltIn(tag);
        if (!control && m_callback) control = m_callback->createControl(tag);
        if (!control) continue;

        // 2. Children first: a control is complete before it is attached.
        if (node.hasChildren()) buildLevel(node, control, manager, depth + 1);

        // 3. Attach to the parent: as its cover, or as a child.
        if (parent) {
            wchar_t cover[8] = {};
            if (node.copyAttributeValue(L"cover", cover, 7) && std::wstring_view(cover) == L"true") {
                // A second cover replaces (and deletes) the first.
                forgetNames(parent->coverControl(), manager);
                parent->assignCover(control);
            } else if (auto* treeNode = static_cast<CTreeNodeUI*>(parent->castTo(L"TreeNode"))) {
                // A node's own controls go beside its text, not among its child nodes.
                if (!treeNode->content()->addItem(control)) {
                    dropControl(control, manager);
                    continue;
                }
            } else {
                if (!containerAsked) {
                    container = static_cast<IContainerUI*>(parent->castTo(L"IContainer"));
                    containerAsked = true;
                }
                if (!container) {
                    // A control inside a control that holds none: the rest
                    // of this level is not built.
                    dropControl(control, manager);
                    return nullptr;
                }
                if (!container->addItem(control)) {
                    dropControl(control, manager);
                    continue;
                }
            }
        }

        // 4. Attributes: the window's defaults for the tag as written, then
        // the element's own (which therefore win).
        if (manager) {
            control->bindManager(manager, nullptr, false);
            if (const wchar_t* defaults = manager->defaultAttributes(tag)) control->applyAttributeText(defaults);
        }
        for (int i = 0; i < node.attributeCount(); ++i)
            control->applyAttribute(node.attributeName(i), node.attributeValue(i));
        if (manager) control->bindManager(nullptr, nullptr, false);

        if (!first) {
            first = control;
        } else if (!parent) {
            // Only the first top-level control is handed back; nothing
            // would own the others.
            dropControl(control, manager);
        }
    }
    return first;
}
