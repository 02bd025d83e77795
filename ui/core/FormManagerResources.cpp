// CFormManagerUI, resource half: the skin source and custom window
// attributes (images, fonts, default attributes, colours and language texts
// are the window's CSkinResourcesUI, forwarded from the header).
#include "ui/core/FormManagerUI.h"

#include "ui/render/SkinSource.h"

CFormManagerUI::CFormManagerUI() = default;

void CFormManagerUI::clearWindowResources() {
    m_skin.clearWindowTables();
    m_windowAttributes.clear();
}

// --- Skin source ----------------------------------------------------------

void CFormManagerUI::setInstance(void* instance) { skinsource::setInstance(instance); }
void* CFormManagerUI::instanceHandle() { return skinsource::instanceHandle(); }
void CFormManagerUI::setSkinArchive(const void* bytes, std::size_t size, const char* password) {
    skinsource::setSkinArchive(bytes, size, password);
}
void CFormManagerUI::setResourcePath(std::wstring_view path) { skinsource::setResourcePath(path); }
const std::wstring& CFormManagerUI::resourcePath() { return skinsource::resourcePath(); }

// --- Custom window attributes ---------------------------------------------

void CFormManagerUI::addWindowAttribute(std::wstring_view name, std::wstring_view value) {
    if (name.empty() || value.empty()) return;
    m_windowAttributes.insert(name, CStringUI(value));
}

const wchar_t* CFormManagerUI::windowAttribute(std::wstring_view name) const {
    const CStringUI* found = m_windowAttributes.find(name);
    return found ? found->c_str() : nullptr;
}

void CFormManagerUI::removeAllWindowAttributes() { m_windowAttributes.clear(); }
