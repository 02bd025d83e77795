// CTickingControlUI: the animation timer that runs only while shown.
#include "ui/controls/TickingControlUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"

#include <algorithm>

void* CTickingControlUI::castTo(std::wstring_view name) {
    if (name == L"TickingControl") return this;
    return CControlUI::castTo(name);
}

void CTickingControlUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"autoplay") {
        if (attr::parseBool(value))
            play();
        else
            stop();
    } else if (name == L"interval") {
        assignInterval(static_cast<unsigned>(std::max(0, attr::parseInt(value))));
    } else {
        CControlUI::applyAttribute(name, value);
    }
}

void CTickingControlUI::assignInterval(unsigned ms) {
    ms = std::max(10u, ms);
    if (ms == m_interval) return;
    m_interval = ms;
    if (m_ticking && m_manager) {
        // A running timer keeps its period: start it again with the new one.
        m_manager->stopTimer(this, kTimer);
        m_ticking = false;
        updateTimer();
    }
}

void CTickingControlUI::play() {
    m_playing = true;
    updateTimer();
}

void CTickingControlUI::stop() {
    m_playing = false;
    updateTimer();
}

void CTickingControlUI::bindManager(CFormManagerUI* manager, CControlUI* parent, bool init) {
    if (manager != m_manager && m_ticking) {
        if (m_manager) m_manager->stopTimer(this, kTimer);
        m_ticking = false;
    }
    if (manager != m_manager) m_initialised = false;
    CControlUI::bindManager(manager, parent, init);
    updateTimer();
}

void CTickingControlUI::onInitialise() {
    m_initialised = true;
    updateTimer();
}

void CTickingControlUI::assignShown(bool visible) {
    CControlUI::assignShown(visible);
    updateTimer();
}

void CTickingControlUI::assignInheritedShown(bool visible) {
    CControlUI::assignInheritedShown(visible);
    updateTimer();
}

void CTickingControlUI::updateTimer() {
    const bool wanted = m_playing && m_initialised && m_manager && isShown();
    if (wanted == m_ticking) return;
    if (wanted) {
        m_ticking = m_manager->startTimer(this, kTimer, m_interval);
    } else {
        if (m_manager) m_manager->stopTimer(this, kTimer);
        m_ticking = false;
    }
}

void CTickingControlUI::handleEvent(TInputEventUI& event) {
    if (event.kind == UiEventKind::Timer && event.wparam == kTimer) {
        tick();
        return;
    }
    CControlUI::handleEvent(event);
}
