// The dialog builder: turns a skin document into a tree of controls for one
// window, registering the document's fonts, images, default attributes and
// language texts with the window's manager on the way.
#pragma once

#include "ui/markup/SkinXml.h"

#include <string>
#include <string_view>

class CControlUI;
class CFormManagerUI;

// Creates the controls of tags the builder's table does not know. Windows
// implement it for their own tags.
class IDialogBuilderCallback {
public:
    // A new control for the tag (the element name as written), or null: the
    // element is then skipped together with everything inside it.
    virtual CControlUI* createControl(const wchar_t* tagName) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

// Builds one document (possibly several times, for "Include" with a count).
// Lives on the caller's stack; the controls it returns belong to the caller
// (normally handed to the manager with setRoot), the resources it registers
// to the manager's tables. UI thread only.
class CSkinBuilder {
public:
    // Elements nested deeper than this many control levels are skipped: the
    // control tree is walked, painted and destroyed recursively.
    static constexpr int kMaxDepth = 200;
    // "Include" documents nested deeper than this are not built (a document
    // that includes itself would otherwise recurse without end).
    static constexpr int kMaxIncludeDepth = 16;
    // Controls and include passes one build may make; the rest of the
    // document is skipped (an "Include" with a large count inside an
    // included document multiplies).
    static constexpr int kMaxWork = 100000;

    CSkinBuilder() = default;
    CSkinBuilder(const CSkinBuilder&) = delete;
    CSkinBuilder& operator=(const CSkinBuilder&) = delete;

    // Loads `source` and builds it: markup text when it begins with "<",
    // else a document name read from the skin source. The first control of
    // the document's top level is returned (null when the document fails to
    // load or yields none; lastError() says why a load failed). Without a
    // manager no resources or window attributes are registered. With a
    // parent the controls are added to it.
    CControlUI* build(const wchar_t* source, const wchar_t* resourceType = nullptr,
                      IDialogBuilderCallback* callback = nullptr, CFormManagerUI* manager = nullptr,
                      CControlUI* parent = nullptr);
    // Builds the document embedded in the executable as resource (type, id).
    CControlUI* build(int resourceId, const wchar_t* resourceType, IDialogBuilderCallback* callback = nullptr,
                      CFormManagerUI* manager = nullptr, CControlUI* parent = nullptr);
    // Builds the document loaded already (again).
    CControlUI* buildLoaded(IDialogBuilderCallback* callback = nullptr, CFormManagerUI* manager = nullptr,
                            CControlUI* parent = nullptr);

    CSkinXml& document() { return m_document; }
    // The parser's message and location of the last failed load (empty when none).
    const wchar_t* lastError() const { return m_document.lastError(); }
    const wchar_t* lastErrorLocation() const { return m_document.lastErrorLocation(); }

    // A new control of a built-in tag (compared without regard to case), or
    // null for a tag the table does not know.
    static CControlUI* createBuiltIn(std::wstring_view tag);

private:
    // Shared by a builder and the builders of its "Include" elements.
    struct Limits {
        int work = kMaxWork;
    };

    void registerResources(CSkinXmlNode root, CFormManagerUI* manager);
    void applyWindowAttributes(CSkinXmlNode root, CFormManagerUI* manager);
    // Builds the children of `element` under `parent`; the first control made at this level, or null.
    CControlUI* buildLevel(CSkinXmlNode element, CControlUI* parent, CFormManagerUI* manager, int depth);
    void buildInclude(CSkinXmlNode include, CControlUI* parent, CFormManagerUI* manager, int depth);
    // A TreeNode element: under a node, or at the top of a tree view; false
    // when the parent is neither (the level then ends).
    bool buildTreeNode(CSkinXmlNode element, CControlUI* parent, CFormManagerUI* manager, int depth);
    bool spend();

    CSkinXml m_document;
    IDialogBuilderCallback* m_callback = nullptr;
    std::wstring m_resourceType;
    bool m_fromResource = false;
    int m_includeDepth = 0;
    int m_baseDepth = 0; // control depth at which this builder's top level sits
    Limits m_ownLimits;
    Limits* m_limits = &m_ownLimits;
};
