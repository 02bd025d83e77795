// CVerticalLayoutUI: top-to-bottom layout and the splitter drag.
#include "ui/layout/VerticalLayoutUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/layout/ScrollBarUI.h"
#include "ui/render/RenderEngine.h"

#include <algorithm>

using platform::Canvas;
using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

// The child's available size reduced to its limits (fixed size, else max size).
Size limitTo(const CControlUI& child, Size available) {
    const int limitW = child.fixedWidth() < 1 ? child.maxWidth() : child.fixedWidth();
    const int limitH = child.fixedHeight() < 1 ? child.maxHeight() : child.fixedHeight();
    return {std::min(available.cx, limitW), std::min(available.cy, limitH)};
}

constexpr platform::Argb kDragStripColour = 0xAA000000;

} // namespace

std::wstring_view CVerticalLayoutUI::typeName() const { return L"VerticalLayout"; }

void* CVerticalLayoutUI::castTo(std::wstring_view name) {
    if (name == L"VerticalLayout") return this;
    return CContainerUI::castTo(name);
}

unsigned CVerticalLayoutUI::behaviourFlags() const {
    return (m_enabled && m_splitterSize != 0) ? static_cast<unsigned>(ControlFlags::SetCursor) : 0u;
}

void CVerticalLayoutUI::place(Rect rect, bool needInvalidate) {
    CScrollBarUI* vBar = m_vScrollBar && m_vScrollBar->isShown() ? m_vScrollBar : nullptr;
    CScrollBarUI* hBar = m_hScrollBar && m_hScrollBar->isShown() ? m_hScrollBar : nullptr;
    if (rect.width() != m_pos.width() && hBar) hBar->assignScrollRange(0);
    if (rect.height() != m_pos.height() && vBar) vBar->assignScrollRange(0);
    CControlUI::place(rect, needInvalidate);

    Rect rc{m_pos.left + m_inset.left, m_pos.top + m_inset.top, m_pos.right - m_inset.right,
            m_pos.bottom - m_inset.bottom};
    if (vBar) rc.right -= vBar->fixedWidth();
    if (hBar) rc.bottom -= hBar->fixedHeight();
    if (m_items.isEmpty()) {
        fitScrollBars(rc, 0, 0);
        return;
    }
    Size available{rc.width(), rc.height()};
    if (hBar) available.cx += hBar->range();
    if (vBar) available.cy += vBar->range();

    // Pass 1: estimate the fixed height, the stretching children and the widest child.
    int count = 0, stretching = 0, fixedTotal = 0, requiredWidth = 0;
    for (CControlUI* child : m_items) {
        if (!child->isShown() || child->isFloating()) continue;
        const Rect pad = child->padding();
        Size measured = child->measure(limitTo(*child, {available.cx - pad.left - pad.right, available.cy}));
        if (measured.cy == 0)
            ++stretching;
        else
            measured.cy = std::clamp(measured.cy, child->minHeight(), child->maxHeight());
        fixedTotal += measured.cy + pad.top + pad.bottom;
        const int width = std::clamp(measured.cx < 1 ? 0 : measured.cx, child->minWidth(), child->maxWidth());
        requiredWidth = std::max(requiredWidth, width + pad.left + pad.right);
        ++count;
    }
    if (count > 0) fixedTotal += (count - 1) * m_childGap;
    const int stretch = stretching ? std::max(0, (available.cy - fixedTotal) / stretching) : 0;

    // Pass 2: place; the last stretching child takes what rounding left.
    int y = rc.top - (vBar ? vBar->scrollPos() : 0);
    Size remaining = available;
    int fixedRemaining = fixedTotal;
    int placed = 0, stretchSeen = 0, usedHeight = 0;
    for (int i = 0; i < m_items.size(); ++i) {
        CControlUI* child = m_items[i];
        if (!child->isShown()) continue;
        if (child->isFloating()) {
            placeFloatChild(i);
            continue;
        }
        const Rect pad = child->padding();
        remaining.cy -= pad.top;
        const Size childAvailable = limitTo(*child, {remaining.cx - pad.left - pad.right, remaining.cy});
        fixedRemaining -= pad.top + pad.bottom;
        if (placed > 0) fixedRemaining -= m_childGap;
        const Size measured = child->measure(childAvailable);

        int height = 0;
        if (measured.cy == 0) {
            ++stretchSeen;
            height = stretchSeen == stretching ? std::max(0, remaining.cy - pad.bottom - fixedRemaining) : stretch;
            height = std::clamp(height, child->minHeight(), child->maxHeight());
        } else {
            height = std::clamp(measured.cy, child->minHeight(), child->maxHeight());
            // The padding left the remainder above already.
            fixedRemaining -= height;
        }

        int width = child->autoWidth() ? measured.cx : child->maxWidth();
        if (width == 0) width = available.cx - pad.left - pad.right;
        width = std::max(width, 0);
        width = std::min(width, childAvailable.cx);
        width = std::max(width, child->minWidth());

        Rect r;
        r.top = y + pad.top;
        r.bottom = r.top + height;
        if (m_childAlign == ChildAlignUI::Centre) {
            int mid = (rc.left + rc.right) / 2;
            if (hBar) mid += hBar->range() / 2 - hBar->scrollPos();
            r.left = mid - width / 2;
            r.right = mid + width - width / 2;
        } else if (m_childAlign == ChildAlignUI::Right) {
            int edge = rc.right;
            if (hBar) edge += hBar->range() - hBar->scrollPos();
            r.left = edge - pad.right - width;
            r.right = edge - pad.right;
        } else {
            const int x = rc.left - (hBar ? hBar->scrollPos() : 0);
            r.left = x + pad.left;
            r.right = x + pad.left + width;
        }
        child->place(r, false);

        y += height + m_childGap + pad.top + pad.bottom;
        usedHeight += height + pad.top + pad.bottom;
        remaining.cy -= height + m_childGap + pad.bottom;
        ++placed;
    }
    if (count > 0) usedHeight += (count - 1) * m_childGap;
    fitScrollBars(rc, requiredWidth, usedHeight);
}

// --- Splitter -------------------------------------------------------------------------

Rect CVerticalLayoutUI::splitterRect(const Rect& rect) const {
    const int s = m_splitterSize;
    if (s >= 0) return {rect.left, std::max(rect.top, rect.bottom - s), rect.right, rect.bottom};
    return {rect.left, rect.top, rect.right, std::min(rect.top - s, rect.bottom)};
}

void CVerticalLayoutUI::handleEvent(TInputEventUI& event) {
    if (m_splitterSize != 0) {
        switch (event.kind) {
        case UiEventKind::SetCursor:
            if (m_enabled && splitterRect(m_pos).contains(event.mousePos)) {
                platform::setCursor(platform::CursorShape::SizeNS);
                return;
            }
            break;
        case UiEventKind::ButtonDown:
            if (m_enabled && splitterRect(m_pos).contains(event.mousePos)) {
                m_dragging = true;
                m_lastMouse = event.mousePos;
                m_dragRect = m_pos;
                if (!m_immediate && m_manager) m_manager->addPostPainter(this);
                return;
            }
            break;
        case UiEventKind::ButtonUp:
            if (m_dragging) {
                m_dragging = false;
                m_pos = m_dragRect;
                if (!m_immediate && m_manager) m_manager->removePostPainter(this);
                scheduleParentLayout();
                return;
            }
            break;
        case UiEventKind::MouseMove: {
            if (!m_dragging) break;
            const int dy = event.mousePos.y - m_lastMouse.y;
            m_lastMouse = event.mousePos;
            const int my = event.mousePos.y;
            Rect rc = m_dragRect;
            const int s = m_splitterSize;
            if (s >= 0) {
                if ((dy > 0 && my < m_dragRect.bottom + s) || (dy < 0 && my > m_dragRect.bottom)) return;
                rc.bottom += dy;
                if (rc.height() <= minHeight()) {
                    if (m_dragRect.height() <= minHeight()) return;
                    rc.bottom = rc.top + minHeight();
                }
                if (rc.height() >= maxHeight()) {
                    if (m_dragRect.height() >= maxHeight()) return;
                    rc.bottom = rc.top + maxHeight();
                }
            } else {
                if ((dy > 0 && my < m_dragRect.top) || (dy < 0 && my > m_dragRect.top - s)) return;
                rc.top += dy;
                if (rc.height() <= minHeight()) {
                    if (m_dragRect.height() <= minHeight()) return;
                    rc.top = rc.bottom - minHeight();
                }
                if (rc.height() >= maxHeight()) {
                    if (m_dragRect.height() >= maxHeight()) return;
                    rc.top = rc.bottom - maxHeight();
                }
            }
            const Rect oldStrip = splitterRect(m_dragRect);
            m_dragRect = rc;
            m_fixedHeight = rc.height();
            if (m_immediate) {
                m_pos = m_dragRect;
                scheduleParentLayout();
            } else if (m_manager) {
                m_manager->invalidateRect(oldStrip.unite(splitterRect(m_dragRect)).unite(splitterRect(m_pos)));
            }
            return;
        }
        default:
            break;
        }
    }
    CContainerUI::handleEvent(event);
}

void CVerticalLayoutUI::afterPaint(Canvas& canvas, const Rect& paint) {
    if (m_dragging && !m_immediate) render::fillColour(canvas, splitterRect(m_dragRect), kDragStripColour);
    CContainerUI::afterPaint(canvas, paint);
}

void CVerticalLayoutUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"sepheight")
        assignSplitterSize(attr::parseInt(value));
    else if (name == L"sepimm")
        assignSplitterImmediate(attr::parseBool(value));
    else
        CContainerUI::applyAttribute(name, value);
}
