// CHorizontalLayoutUI: left-to-right layout and the splitter drag.
#include "ui/layout/HorizontalLayoutUI.h"

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

Size limitTo(const CControlUI& child, Size available) {
    const int limitW = child.fixedWidth() < 1 ? child.maxWidth() : child.fixedWidth();
    const int limitH = child.fixedHeight() < 1 ? child.maxHeight() : child.fixedHeight();
    return {std::min(available.cx, limitW), std::min(available.cy, limitH)};
}

// A child keeps its measured width when it sizes itself (auto width) or has
// a fixed width it reports; every other child stretches.
bool sizesItself(const CControlUI& child, Size measured) {
    return child.autoWidth() || (child.fixedWidth() != 0 && measured.cx != 0);
}

constexpr platform::Argb kDragStripColour = 0xAA000000;

} // namespace

std::wstring_view CHorizontalLayoutUI::typeName() const { return L"HorizontalLayout"; }

void* CHorizontalLayoutUI::castTo(std::wstring_view name) {
    if (name == L"HorizontalLayout") return this;
    return CContainerUI::castTo(name);
}

unsigned CHorizontalLayoutUI::behaviourFlags() const {
    return (m_enabled && m_splitterSize != 0) ? static_cast<unsigned>(ControlFlags::SetCursor) : 0u;
}

void CHorizontalLayoutUI::place(Rect rect, bool needInvalidate) {
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

    // Pass 1: estimate the fixed width, the stretching children and the tallest child.
    int count = 0, stretching = 0, fixedTotal = 0, requiredHeight = 0;
    for (CControlUI* child : m_items) {
        if (!child->isShown() || child->isFloating()) continue;
        const Rect pad = child->padding();
        Size measured = child->measure(limitTo(*child, {available.cx, available.cy - pad.top - pad.bottom}));
        int width = 0;
        if (sizesItself(*child, measured))
            width = std::clamp(measured.cx, child->minWidth(), child->maxWidth());
        else
            ++stretching;
        if (child->fixedWidth() == 0) measured.cy = child->fixedHeight();
        fixedTotal += width + pad.left + pad.right;
        const int height = std::clamp(measured.cy < 1 ? 0 : measured.cy, child->minHeight(), child->maxHeight());
        requiredHeight = std::max(requiredHeight, height + pad.top + pad.bottom);
        ++count;
    }
    if (count > 0) fixedTotal += (count - 1) * m_childGap;
    const int stretch = stretching ? std::max(0, (available.cx - fixedTotal) / stretching) : 0;

    // Pass 2: place; the last stretching child takes what rounding left.
    int x = rc.left - (hBar ? hBar->scrollPos() : 0);
    Size remaining = available;
    int fixedRemaining = fixedTotal;
    int placed = 0, stretchSeen = 0, usedWidth = 0;
    for (int i = 0; i < m_items.size(); ++i) {
        CControlUI* child = m_items[i];
        if (!child->isShown()) continue;
        if (child->isFloating()) {
            placeFloatChild(i);
            continue;
        }
        const Rect pad = child->padding();
        remaining.cx -= pad.left;
        const Size childAvailable = limitTo(*child, {remaining.cx, remaining.cy - pad.top - pad.bottom});
        fixedRemaining -= pad.left + pad.right;
        if (placed > 0) fixedRemaining -= m_childGap;
        const Size measured = child->measure(childAvailable);

        int width = 0;
        if (sizesItself(*child, measured)) {
            width = std::clamp(measured.cx, child->minWidth(), child->maxWidth());
            fixedRemaining -= width;
        } else {
            ++stretchSeen;
            width = stretchSeen == stretching ? std::max(0, remaining.cx - pad.right - fixedRemaining) : stretch;
            width = std::clamp(width, child->minWidth(), child->maxWidth());
        }

        int height = child->autoHeight() ? measured.cy : child->maxHeight();
        if (height == 0) height = available.cy - pad.top - pad.bottom;
        height = std::max(height, 0);
        height = std::min(height, childAvailable.cy);
        height = std::max(height, child->minHeight());

        Rect r;
        r.left = x + pad.left;
        r.right = r.left + width;
        if (m_childVAlign == ChildAlignUI::VCentre) {
            int mid = (rc.top + rc.bottom) / 2;
            if (vBar) mid += vBar->range() / 2 - vBar->scrollPos();
            r.top = mid + pad.top - height / 2 - pad.bottom;
            r.bottom = r.top + height;
        } else if (m_childVAlign == ChildAlignUI::Bottom) {
            int edge = rc.bottom;
            if (vBar) edge += vBar->range() - vBar->scrollPos();
            r.top = edge - pad.bottom - height;
            r.bottom = edge - pad.bottom;
        } else {
            const int y = rc.top - (vBar ? vBar->scrollPos() : 0);
            r.top = y + pad.top;
            r.bottom = y + pad.top + height;
        }
        child->place(r, false);

        x += width + m_childGap + pad.left + pad.right;
        usedWidth += width + pad.left + pad.right;
        remaining.cx -= width + m_childGap + pad.right;
        ++placed;
    }
    if (count > 0) usedWidth += (count - 1) * m_childGap;
    fitScrollBars(rc, usedWidth, requiredHeight);
}

// --- Splitter -------------------------------------------------------------------------

Rect CHorizontalLayoutUI::splitterRect(const Rect& rect) const {
    const int s = m_splitterSize;
    if (s >= 0) return {std::max(rect.left, rect.right - s), rect.top, rect.right, rect.bottom};
    return {rect.left, rect.top, std::min(rect.left - s, rect.right), rect.bottom};
}

void CHorizontalLayoutUI::handleEvent(TInputEventUI& event) {
    if (m_splitterSize != 0) {
        switch (event.kind) {
        case UiEventKind::SetCursor:
            if (m_enabled && splitterRect(m_pos).contains(event.mousePos)) {
                platform::setCursor(platform::CursorShape::SizeWE);
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
            const int dx = event.mousePos.x - m_lastMouse.x;
            m_lastMouse = event.mousePos;
            const int mx = event.mousePos.x;
            Rect rc = m_dragRect;
            const int s = m_splitterSize;
            if (s >= 0) {
                if ((dx > 0 && mx < m_dragRect.right + s) || (dx < 0 && mx > m_dragRect.right)) return;
                rc.right += dx;
                if (rc.width() <= minWidth()) {
                    if (m_dragRect.width() <= minWidth()) return;
                    rc.right = rc.left + minWidth();
                }
                if (rc.width() >= maxWidth()) {
                    if (m_dragRect.width() >= maxWidth()) return;
                    rc.right = rc.left + maxWidth();
                }
            } else {
                if ((dx > 0 && mx < m_dragRect.left) || (dx < 0 && mx > m_dragRect.left - s)) return;
                rc.left += dx;
                if (rc.width() <= minWidth()) {
                    if (m_dragRect.width() <= minWidth()) return;
                    rc.left = rc.right - minWidth();
                }
                if (rc.width() >= maxWidth()) {
                    if (m_dragRect.width() >= maxWidth()) return;
                    rc.left = rc.right - maxWidth();
                }
            }
            const Rect oldStrip = splitterRect(m_dragRect);
            m_dragRect = rc;
            m_fixedWidth = rc.width();
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

void CHorizontalLayoutUI::afterPaint(Canvas& canvas, const Rect& paint) {
    if (m_dragging && !m_immediate) render::fillColour(canvas, splitterRect(m_dragRect), kDragStripColour);
    CContainerUI::afterPaint(canvas, paint);
}

void CHorizontalLayoutUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"sepwidth")
        assignSplitterSize(attr::parseInt(value));
    else if (name == L"sepimm")
        assignSplitterImmediate(attr::parseBool(value));
    else
        CContainerUI::applyAttribute(name, value);
}
