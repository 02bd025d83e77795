// CTextUI: links found by the rich-text paint, their hover and their clicks.
#include "ui/controls/TextUI.h"

#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

using platform::Rect;

CTextUI::CTextUI() {
    m_textStyle = platform::DT_WORDBREAK;
    m_textPadding = {2, 0, 2, 0};
}

std::wstring_view CTextUI::typeName() const { return L"Text"; }

void* CTextUI::castTo(std::wstring_view name) {
    if (name == L"Text") return this;
    return CLabelUI::castTo(name);
}

unsigned CTextUI::behaviourFlags() const {
    return m_enabled && m_linkCount > 0 ? static_cast<unsigned>(ControlFlags::SetCursor) : 0u;
}

Rect CTextUI::linkRect(int index) const { return index >= 0 && index < m_linkCount ? m_links[index] : Rect{}; }

CStringUI CTextUI::linkTarget(int index) const {
    return index >= 0 && index < m_linkCount ? m_linkTargets[index] : CStringUI();
}

int CTextUI::linkAt(platform::Point point) const {
    for (int i = 0; i < m_linkCount; ++i)
        if (m_links[i].contains(point)) return i;
    return -1;
}

void CTextUI::handleEvent(TInputEventUI& event) {
    if (!m_mouseEnabled && isMouseEvent(event.kind)) {
        if (m_parent)
            m_parent->handleEvent(event);
        else
            CLabelUI::handleEvent(event);
        return;
    }
    switch (event.kind) {
    case UiEventKind::SetCursor:
        if (linkAt(event.mousePos) >= 0) {
            platform::setCursor(platform::CursorShape::Hand);
            return;
        }
        break;
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
        if (m_enabled && linkAt(event.mousePos) >= 0) {
            invalidate();
            return;
        }
        break;
    case UiEventKind::ButtonUp:
        if (m_enabled) {
            int link = linkAt(event.mousePos);
            if (link >= 0) {
                if (m_manager) m_manager->sendNotice(this, L"link", static_cast<platform::WParam>(link));
                return;
            }
        }
        break;
    case UiEventKind::ContextMenu:
        return;
    case UiEventKind::MouseMove:
        if (m_enabled) {
            int link = linkAt(event.mousePos);
            if (link != m_hoverLink) {
                m_hoverLink = link;
                invalidate();
            }
            return;
        }
        break;
    case UiEventKind::MouseLeave:
        if (m_enabled && m_hoverLink >= 0) {
            if (m_hoverLink < m_linkCount && m_links[m_hoverLink].contains(event.mousePos)) {
                if (m_manager) m_manager->wantMouseLeave(this);
                return;
            }
            m_hoverLink = -1;
            invalidate();
            if (m_manager) m_manager->removeMouseLeave(this);
            return;
        }
        break;
    default:
        break;
    }
    CLabelUI::handleEvent(event);
}

void CTextUI::drawTextPart(platform::Canvas& canvas) {
    takeDefaultColours();
    if (m_text.isEmpty()) {
        m_linkCount = 0;
        return;
    }
    if (!m_manager) return;
    const platform::Argb colour = m_enabled ? m_textColour : m_disabledTextColour;
    Rect rect = textRect();
    if (m_showHtml) {
        int count = kMaxLinks;
        render::drawRichText(canvas, m_manager, rect, m_text.view(), colour, m_links, m_linkTargets, count, m_font,
                             m_textStyle);
        m_linkCount = count;
    } else {
        render::drawPlainText(canvas, m_manager, rect, m_text.view(), colour, m_font, m_textStyle);
        m_linkCount = 0;
    }
}
