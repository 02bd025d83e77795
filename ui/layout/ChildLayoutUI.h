// A container whose children come from another skin document, built when
// the container is initialised.
#pragma once

#include "ui/base/StringUI.h"
#include "ui/layout/ContainerUI.h"

// "xmlfile" names the document (read from the skin source like any other,
// so from the same folder or archive). It is built once, through the
// dialog builder with this container as the parent, the first time the
// container is initialised with a manager; a missing or broken document
// leaves it empty, reported nowhere. UI thread only.
class CChildLayoutUI : public CContainerUI {
public:
    CChildLayoutUI() = default;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void onInitialise() override;

    const CStringUI& childDocument() const { return m_xmlFile; }
    void assignChildDocument(std::wstring_view name) { m_xmlFile = name; }

private:
    CStringUI m_xmlFile;
    bool m_built = false;
};
