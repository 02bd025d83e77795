// CBoxLayoutUI (and its row and column): placement along an axis and the splitter drag, written once
// in terms of "along" (the axis) and "across" (the other one).
#include "ui/layout/BoxLayoutUI.h"

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

constexpr platform::Argb kDragStripColour = 0xAA000000;

// A view of sizes, rectangles and a child's limits along and across one axis.
struct AxisView {
    bool row; // the horizontal axis

    int along(Size s) const { return row ? s.cx : s.cy; }
    int across(Size s) const { return row ? s.cy : s.cx; }
    int along(Point p) const { return row ? p.x : p.y; }
    Size size(int alongSize, int acrossSize) const {
        return row ? Size{alongSize, acrossSize} : Size{acrossSize, alongSize};
    }
    int& low(Rect& r) const { return row ? r.left : r.top; }
    int& high(Rect& r) const { return row ? r.right : r.bottom; }
    int low(const Rect& r) const { return row ? r.left : r.top; }
    int high(const Rect& r) const { return row ? r.right : r.bottom; }
    int acrossLow(const Rect& r) const { return row ? r.top : r.left; }
    int acrossHigh(const Rect& r) const { return row ? r.bottom : r.right; }
    int length(const Rect& r) const { return high(r) - low(r); }
    Rect rect(int lo, int hi, int acrossLo, int acrossHi) const {
        return row ? Rect{lo, acrossLo, hi, acrossHi} : Rect{acrossLo, lo, acrossHi, hi};
    }

    int minAlong(const CControlUI& c) const { return row ? c.minWidth() : c.minHeight(); }
    int maxAlong(const CControlUI& c) const { return row ? c.maxWidth() : c.maxHeight(); }
    int minAcross(const CControlUI& c) const { return row ? c.minHeight() : c.minWidth(); }
    int maxAcross(const CControlUI& c) const { return row ? c.maxHeight() : c.maxWidth(); }
    bool autoAcross(const CControlUI& c) const { return row ? c.autoHeight() : c.autoWidth(); }

    // The bar that scrolls along the axis, and the one across it.
    CScrollBarUI* alongBar(CScrollBarUI* hBar, CScrollBarUI* vBar) const { return row ? hBar : vBar; }
    CScrollBarUI* acrossBar(CScrollBarUI* hBar, CScrollBarUI* vBar) const { return row ? vBar : hBar; }

    // A child keeps its measured length when it reports one; a row asks
    // more, auto width or a fixed width, and stretches any other child.
    bool sizesItself(const CControlUI& c, Size measured) const {
        if (row) return c.autoWidth() || (c.fixedWidth() != 0 && measured.cx != 0);
        return measured.cy != 0;
    }
    // What the first pass counts across: a row takes a child without a
    // fixed width at its fixed height, whatever it measured.
    int estimatedAcross(const CControlUI& c, Size measured) const {
        if (row && c.fixedWidth() == 0) return c.fixedHeight();
        return across(measured);
    }
};

// The child's available size reduced to its limits (fixed size, else max size).
Size limitTo(const CControlUI& child, Size available) {
    const int limitW = child.fixedWidth() < 1 ? child.maxWidth() : child.fixedWidth();
    const int limitH = child.fixedHeight() < 1 ? child.maxHeight() : child.fixedHeight();
    return {std::min(available.cx, limitW), std::min(available.cy, limitH)};
}

// The first pass: the shown, non-floating children, how many of them
// stretch, the length the others take (with their padding and the gaps)
// and the thickness the thickest one needs across.
struct Estimate {
    int count = 0;
    int stretching = 0;
    int fixedTotal = 0;
    int requiredAcross = 0;
};

Estimate estimate(const AxisView& a, CPtrArrayUI<CControlUI>& items, int gap, int availableAlong, int availableAcross) {
    Estimate e;
    for (CControlUI* child : items) {
        if (!child->isShown() || child->isFloating()) continue;
        const Rect pad = child->padding();
        const int padAlong = a.low(pad) + a.high(pad), padAcross = a.acrossLow(pad) + a.acrossHigh(pad);
        const Size measured = child->measure(limitTo(*child, a.size(availableAlong, availableAcross - padAcross)));
        int length = 0;
        if (a.sizesItself(*child, measured))
            length = std::clamp(a.along(measured), a.minAlong(*child), a.maxAlong(*child));
        else
            ++e.stretching;
        e.fixedTotal += length + padAlong;
        const int estimated = a.estimatedAcross(*child, measured);
        const int thickness = std::clamp(estimated < 1 ? 0 : estimated, a.minAcross(*child), a.maxAcross(*child));
        e.requiredAcross = std::max(e.requiredAcross, thickness + padAcross);
        ++e.count;
    }
    if (e.count > 0) e.fixedTotal += (e.count - 1) * gap;
    return e;
}

int scrollOf(const CScrollBarUI* bar) { return bar ? bar->scrollPos() : 0; }
int rangeOf(const CScrollBarUI* bar) { return bar ? bar->range() : 0; }

// Where the container's alignment puts children across the axis.
enum class Across { Start, Centre, End };

Across acrossPlacement(int align) {
    if (align == ChildAlignUI::Centre || align == ChildAlignUI::VCentre) return Across::Centre;
    if (align == ChildAlignUI::Right || align == ChildAlignUI::Bottom) return Across::End;
    return Across::Start;
}

} // namespace

unsigned CBoxLayoutUI::behaviourFlags() const {
    return (m_enabled && m_splitterSize != 0) ? static_cast<unsigned>(ControlFlags::SetCursor) : 0u;
}

void CBoxLayoutUI::place(Rect rect, bool needInvalidate) {
    const AxisView a{m_axis == Axis::Horizontal};
    const Rect rc = placeClientArea(rect, needInvalidate);
    const int gap = childGap();
    if (m_items.isEmpty()) {
        fitScrollBars(rc, 0, 0);
        return;
    }
    CScrollBarUI* vBar = m_vScrollBar && m_vScrollBar->isShown() ? m_vScrollBar : nullptr;
    CScrollBarUI* hBar = m_hScrollBar && m_hScrollBar->isShown() ? m_hScrollBar : nullptr;
    const CScrollBarUI* alongBar = a.alongBar(hBar, vBar);
    const CScrollBarUI* acrossBar = a.acrossBar(hBar, vBar);
    const int availableAlong = a.length(rc) + rangeOf(alongBar);
    const int availableAcross = a.acrossHigh(rc) - a.acrossLow(rc) + rangeOf(acrossBar);

    const Estimate e = estimate(a, m_items, gap, availableAlong, availableAcross);
    const int stretching = e.stretching, fixedTotal = e.fixedTotal;
    const int stretch = stretching ? std::max(0, (availableAlong - fixedTotal) / stretching) : 0;

    const Across where = acrossPlacement(a.row ? m_childVAlign : m_childAlign);

    // Pass 2: place; the last stretching child takes what rounding left.
    int cursor = a.low(rc) - scrollOf(alongBar);
    int remaining = availableAlong;
    int fixedRemaining = fixedTotal;
    int placed = 0, stretchSeen = 0, usedAlong = 0;
    placeChildren([&](int, CControlUI* child) {
        const Rect pad = child->padding();
        const int padBefore = a.low(pad), padAfter = a.high(pad);
        const int padAcrossBefore = a.acrossLow(pad), padAcrossAfter = a.acrossHigh(pad);
        remaining -= padBefore;
        const Size childAvailable =
            limitTo(*child, a.size(remaining, availableAcross - padAcrossBefore - padAcrossAfter));
        fixedRemaining -= padBefore + padAfter;
        if (placed > 0) fixedRemaining -= gap;
        const Size measured = child->measure(childAvailable);

        int length = 0;
        if (a.sizesItself(*child, measured)) {
            length = std::clamp(a.along(measured), a.minAlong(*child), a.maxAlong(*child));
            fixedRemaining -= length;
        } else {
            ++stretchSeen;
            length = stretchSeen == stretching ? std::max(0, remaining - padAfter - fixedRemaining) : stretch;
            length = std::clamp(length, a.minAlong(*child), a.maxAlong(*child));
        }

        int thickness = a.autoAcross(*child) ? a.across(measured) : a.maxAcross(*child);
        if (thickness == 0) thickness = availableAcross - padAcrossBefore - padAcrossAfter;
        thickness = std::max(thickness, 0);
        thickness = std::min(thickness, a.across(childAvailable));
        thickness = std::max(thickness, a.minAcross(*child));

        int acrossLo = 0;
        if (where == Across::Centre) {
            int mid = (a.acrossLow(rc) + a.acrossHigh(rc)) / 2;
            if (acrossBar) mid += acrossBar->range() / 2 - acrossBar->scrollPos();
            // A row centres the child with its padding shifting it; a column
            // centres the bare child.
            acrossLo = mid - thickness / 2 + (a.row ? padAcrossBefore - padAcrossAfter : 0);
        } else if (where == Across::End) {
            const int edge = a.acrossHigh(rc) + rangeOf(acrossBar) - scrollOf(acrossBar);
            acrossLo = edge - padAcrossAfter - thickness;
        } else {
            acrossLo = a.acrossLow(rc) - scrollOf(acrossBar) + padAcrossBefore;
        }
        const int lo = cursor + padBefore;
        child->place(a.rect(lo, lo + length, acrossLo, acrossLo + thickness), false);

        cursor += length + gap + padBefore + padAfter;
        usedAlong += length + padBefore + padAfter;
        remaining -= length + gap + padAfter;
        ++placed;
    });
    if (e.count > 0) usedAlong += (e.count - 1) * gap;
    if (a.row)
        fitScrollBars(rc, usedAlong, e.requiredAcross);
    else
        fitScrollBars(rc, e.requiredAcross, usedAlong);
}

// --- Splitter -------------------------------------------------------------------------

Rect CBoxLayoutUI::splitterRect(const Rect& rect) const {
    const AxisView a{m_axis == Axis::Horizontal};
    const int s = toDevice(m_splitterSize);
    const int lo = a.low(rect), hi = a.high(rect);
    if (s >= 0) return a.rect(std::max(lo, hi - s), hi, a.acrossLow(rect), a.acrossHigh(rect));
    return a.rect(lo, std::min(lo - s, hi), a.acrossLow(rect), a.acrossHigh(rect));
}

bool CBoxLayoutUI::dragSplitterTo(Point mouse) {
    const AxisView a{m_axis == Axis::Horizontal};
    const int d = a.along(mouse) - a.along(m_lastMouse);
    m_lastMouse = mouse;
    const int m = a.along(mouse);
    const int minLength = a.minAlong(*this), maxLength = a.maxAlong(*this);
    const int dragLength = a.length(m_dragRect);
    Rect rc = m_dragRect;
    const int s = toDevice(m_splitterSize);
    // The far edge moves with a splitter there, the near edge otherwise;
    // the other edge (`anchor`) stays put.
    const bool atFar = s >= 0;
    const int edge = atFar ? a.high(m_dragRect) : a.low(m_dragRect);
    if (atFar ? ((d > 0 && m < edge + s) || (d < 0 && m > edge)) : ((d > 0 && m < edge) || (d < 0 && m > edge - s)))
        return false;
    int& moving = atFar ? a.high(rc) : a.low(rc);
    const int anchor = atFar ? a.low(rc) : a.high(rc);
    const int direction = atFar ? 1 : -1;
    moving += d;
    if (a.length(rc) <= minLength) {
        if (dragLength <= minLength) return false;
        moving = anchor + direction * minLength;
    }
    if (a.length(rc) >= maxLength) {
        if (dragLength >= maxLength) return false;
        moving = anchor + direction * maxLength;
    }
    const Rect oldStrip = splitterRect(m_dragRect);
    m_dragRect = rc;
    (a.row ? m_fixedWidth : m_fixedHeight) = toSkin(a.length(rc));
    if (m_immediate) {
        m_pos = m_dragRect;
        scheduleParentLayout();
    } else if (m_manager) {
        m_manager->invalidateRect(oldStrip.unite(splitterRect(m_dragRect)).unite(splitterRect(m_pos)));
    }
    return true;
}

void CBoxLayoutUI::handleEvent(TInputEventUI& event) {
    if (m_splitterSize != 0) {
        switch (event.kind) {
        case UiEventKind::SetCursor:
            if (m_enabled && splitterRect(m_pos).contains(event.mousePos)) {
                platform::setCursor(m_axis == Axis::Horizontal ? platform::CursorShape::SizeWE
                                                               : platform::CursorShape::SizeNS);
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
        case UiEventKind::MouseMove:
            if (!m_dragging) break;
            dragSplitterTo(event.mousePos);
            return;
        default:
            break;
        }
    }
    CContainerUI::handleEvent(event);
}

void CBoxLayoutUI::afterPaint(Canvas& canvas, const Rect& paint) {
    if (m_dragging && !m_immediate) render::fillColour(canvas, splitterRect(m_dragRect), kDragStripColour);
    CContainerUI::afterPaint(canvas, paint);
}

std::wstring_view CHorizontalLayoutUI::typeName() const { return L"HorizontalLayout"; }

void* CHorizontalLayoutUI::castTo(std::wstring_view name) {
    if (name == L"HorizontalLayout") return this;
    return CBoxLayoutUI::castTo(name);
}

std::wstring_view CVerticalLayoutUI::typeName() const { return L"VerticalLayout"; }

void* CVerticalLayoutUI::castTo(std::wstring_view name) {
    if (name == L"VerticalLayout") return this;
    return CBoxLayoutUI::castTo(name);
}

void CBoxLayoutUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == (m_axis == Axis::Horizontal ? L"sepwidth" : L"sepheight"))
        assignSplitterSize(attr::parseInt(value));
    else if (name == L"sepimm")
        assignSplitterImmediate(attr::parseBool(value));
    else
        CContainerUI::applyAttribute(name, value);
}
