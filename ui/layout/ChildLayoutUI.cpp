// CChildLayoutUI: builds the named document into itself once.
#include "ui/layout/ChildLayoutUI.h"

#include "ui/markup/SkinBuilder.h"

std::wstring_view CChildLayoutUI::typeName() const { return L"ChildLayout"; }

void* CChildLayoutUI::castTo(std::wstring_view name) {
    if (name == L"ChildLayout") return this;
    return CContainerUI::castTo(name);
}

void CChildLayoutUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"xmlfile")
        assignChildDocument(value);
    else
        CContainerUI::applyAttribute(name, value);
}

void CChildLayoutUI::onInitialise() {
    CContainerUI::onInitialise();
    // A container moved to another parent is initialised again; its
    // content must not be built twice.
    if (m_built || !m_manager || m_xmlFile.isEmpty()) return;
    m_built = true;
    std::wstring source = m_xmlFile.toStd();
    // Markup text would let a skin attribute smuggle in a whole document;
    // only a document name is accepted here.
    if (source.front() == L'<') return;
    // Built under a detached holder first, so that every control is
    // complete (attributes applied) before it joins this live container and
    // is bound and initialised like any control added at run time.
    CContainerUI holder;
    CSkinBuilder builder;
    builder.build(source.c_str(), nullptr, nullptr, m_manager, &holder);
    while (holder.itemCount() > 0) {
        CControlUI* control = holder.itemAt(0);
        holder.removeItemAt(0, /*keepAlive=*/true);
        addItem(control);
    }
}
