// CGifAnimUI: attributes, visibility and the frame timer of an animated picture.
#include "ui/controls/GifAnimUI.h"

#include "ui/core/AttributeValues.h"

CGifAnimUI::CGifAnimUI() : m_player(*this, kFrameTimer) {}

std::wstring_view CGifAnimUI::typeName() const { return L"GifAnim"; }

void* CGifAnimUI::castTo(std::wstring_view name) {
    if (name == L"GifAnim") return this;
    return CControlUI::castTo(name);
}

void CGifAnimUI::onInitialise() {
    CControlUI::onInitialise();
    if (m_autoPlay) m_player.play();
}

void CGifAnimUI::handleEvent(TInputEventUI& event) {
    if (event.kind == UiEventKind::Timer && m_player.handleTimer(static_cast<unsigned>(event.wparam))) return;
    CControlUI::handleEvent(event);
}

void CGifAnimUI::assignShown(bool visible) {
    CControlUI::assignShown(visible);
    m_player.refreshTimer();
}

void CGifAnimUI::assignInheritedShown(bool visible) {
    CControlUI::assignInheritedShown(visible);
    m_player.refreshTimer();
}

void CGifAnimUI::bindManager(CFormManagerUI* manager, CControlUI* parent, bool init) {
    // The timer belongs to the manager it was started with.
    if (manager != m_manager) m_player.releaseTimer();
    CControlUI::bindManager(manager, parent, init);
    m_player.refreshTimer();
}

void CGifAnimUI::assignImage(std::wstring_view description) {
    m_player.assignSource(description);
    applyAutoSize();
}

void CGifAnimUI::assignAutoPlay(bool on) {
    if (m_autoPlay == on) return;
    m_autoPlay = on;
}

void CGifAnimUI::assignAutoSize(bool on) {
    if (m_autoSize == on) return;
    m_autoSize = on;
    applyAutoSize();
}

void CGifAnimUI::applyAutoSize() {
    if (!m_autoSize || !m_player.hasSource()) return;
    const platform::Size size = m_player.imageSize();
    if (size.cx <= 0) return;
    assignFixedWidth(size.cx);
    assignFixedHeight(size.cy);
}

void CGifAnimUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"bkimage")
        assignImage(value);
    else if (name == L"autoplay")
        assignAutoPlay(attr::parseBool(value));
    else if (name == L"autosize")
        assignAutoSize(attr::parseBool(value));
    else
        CControlUI::applyAttribute(name, value);
}

void CGifAnimUI::drawBackImage(platform::Canvas& canvas) { m_player.draw(canvas, m_pos, m_paintRect); }
