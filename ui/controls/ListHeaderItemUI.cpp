// CListHeaderItemUI: column title, separator drag and "headerclick".
#include "ui/controls/ListHeaderItemUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"
#include "ui/layout/ContainerUI.h"

#include <algorithm>

using platform::Rect;

CListHeaderItemUI::CListHeaderItemUI() {
    m_textStyle = platform::DT_CENTER | platform::DT_VCENTER | platform::DT_SINGLELINE;
}

std::wstring_view CListHeaderItemUI::typeName() const { return L"ListHeaderItem"; }

void* CListHeaderItemUI::castTo(std::wstring_view name) {
    if (name == L"ListHeaderItem") return this;
    return CLabelUI::castTo(name);
}

unsigned CListHeaderItemUI::behaviourFlags() const { return ControlFlags::SetCursor; }

Rect CListHeaderItemUI::separatorRect() const {
    if (m_sepWidth <= 0 || !m_dragable) return {};
    return {m_pos.right - toDevice(m_sepWidth), m_pos.top, m_pos.right, m_pos.bottom};
}

void CListHeaderItemUI::handleEvent(TInputEventUI& event) {
    if (!m_enabled && isMouseEvent(event.kind)) {
        CLabelUI::handleEvent(event);
        return;
    }
    switch (event.kind) {
    case UiEventKind::SetCursor:
        platform::setCursor(separatorRect().contains(event.mousePos) || m_dragging ? platform::CursorShape::SizeWE
                                                                                   : platform::CursorShape::Arrow);
        return;
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
        if (separatorRect().contains(event.mousePos)) {
            m_dragging = true;
            m_dragStartX = event.mousePos.x;
            m_dragStartWidth = m_pos.width();
        } else {
            m_pushed = true;
        }
        invalidate();
        return;
    case UiEventKind::MouseMove:
        if (m_dragging) {
            // The limits are applied here, not left to the layout, so the
            // stored width is the one shown.
            // Dragged in device pixels, stored in skin units.
            const int width = std::clamp(m_dragStartWidth + event.mousePos.x - m_dragStartX, minWidth(), maxWidth());
            assignFixedWidth(toSkin(width));
        }
        return;
    case UiEventKind::ButtonUp:
        if (m_dragging) {
            m_dragging = false;
        } else if (m_pushed) {
            m_pushed = false;
            invalidate();
            if (m_pos.contains(event.mousePos) && m_manager) {
                int index = -1;
                if (m_parent)
                    if (auto* header = static_cast<IContainerUI*>(m_parent->castTo(L"IContainer")))
                        index = header->indexOf(this);
                m_manager->sendNotice(this, L"headerclick", static_cast<platform::WParam>(index));
            }
        }
        return;
    case UiEventKind::MouseEnter:
        m_hot = true;
        invalidate();
        return;
    case UiEventKind::MouseLeave:
        m_hot = false;
        invalidate();
        return;
    default:
        break;
    }
    CLabelUI::handleEvent(event);
}

void CListHeaderItemUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"sepwidth") {
        assignSeparatorWidth(attr::parseInt(value));
    } else if (name == L"dragable") {
        assignDragable(attr::parseBool(value));
    } else if (name == L"normalimage") {
        m_normalImage.setDescription(value);
        invalidate();
    } else if (name == L"hotimage") {
        m_hotImage.setDescription(value);
        invalidate();
    } else if (name == L"pushedimage") {
        m_pushedImage.setDescription(value);
        invalidate();
    } else if (name == L"sepimage") {
        m_sepImage.setDescription(value);
        invalidate();
    } else {
        CLabelUI::applyAttribute(name, value);
    }
}

platform::Size CListHeaderItemUI::measure(platform::Size available) {
    // The width is the column's: the layout takes the fixed width (or
    // stretches the item); only the height is measured from the text.
    const platform::Size text = CLabelUI::measure(available);
    return {fixedWidth(), text.cy};
}

void CListHeaderItemUI::drawStateImage(platform::Canvas& canvas) {
    ImageDescription* image = &m_normalImage;
    if (m_pushed && !m_pushedImage.description.isEmpty())
        image = &m_pushedImage;
    else if (m_hot && !m_hotImage.description.isEmpty())
        image = &m_hotImage;
    if (!image->description.isEmpty()) render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, *image);
    const Rect strip = separatorRect();
    if (!strip.isEmpty() && !m_sepImage.description.isEmpty())
        render::drawImageDescription(&canvas, m_manager, strip, m_paintRect, m_sepImage);
}
