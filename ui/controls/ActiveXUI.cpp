// CActiveXUI: the attributes, the "showactivex" notice and the report that
// the component is unavailable.
#include "ui/controls/ActiveXUI.h"

#include "platform/system/System.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"

std::wstring_view CActiveXUI::typeName() const { return L"ActiveX"; }

void* CActiveXUI::castTo(std::wstring_view name) {
    if (name == L"ActiveX") return this;
    return CControlUI::castTo(name);
}

void CActiveXUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"clsid")
        m_clsid = value;
    else if (name == L"modulename")
        m_module = value;
    else if (name == L"delaycreate")
        m_delayCreate = attr::parseBool(value);
    else
        CControlUI::applyAttribute(name, value);
}

std::wstring CActiveXUI::componentDescription() const {
    std::wstring text = L"component " + m_clsid.toStd();
    if (!m_module.isEmpty()) text += L" from " + m_module.toStd();
    return text;
}

void CActiveXUI::onInitialise() {
    m_initialised = true;
    // Without delayed creation the component is wanted at once, shown or not.
    if (!m_delayCreate && !m_creationTried) {
        m_creationTried = true;
        platform::debugOutput(L"quellan: " + componentDescription() + L" is not available on this system\n");
    }
    shownChanged(false);
}

void CActiveXUI::assignShown(bool visible) {
    const bool was = isShown();
    CControlUI::assignShown(visible);
    shownChanged(was);
}

void CActiveXUI::assignInheritedShown(bool visible) {
    const bool was = isShown();
    CControlUI::assignInheritedShown(visible);
    shownChanged(was);
}

void CActiveXUI::shownChanged(bool wasShown) {
    if (!m_initialised || !m_manager || wasShown || !isShown()) return;
    if (!m_creationTried) {
        m_creationTried = true;
        platform::debugOutput(L"quellan: " + componentDescription() + L" is not available on this system\n");
    }
    m_manager->sendNotice(this, L"showactivex", 0, 0, /*async=*/true);
}
