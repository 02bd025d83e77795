// CContainerUI: children, binding, visibility, the base layout, scrolling
// and scroll bars, the tree walk, input and the clipped paint.
//
// Index:
//   --- Children ---
//   --- Binding, visibility, attributes ---
//   --- Layout ---
//   --- Scrolling ---
//   --- Tree walk and input ---
//   --- Painting ---
#include "ui/layout/ContainerUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/layout/ScrollBarUI.h"
#include "ui/render/RenderEngine.h"

#include <algorithm>
#include <cmath>
#include <vector>

using platform::Canvas;
using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

int anchorOffset(int extent, double anchor) { return static_cast<int>(std::floor(extent * anchor)); }

bool shownBar(const CScrollBarUI* bar) { return bar && bar->isShown(); }

} // namespace

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
    if (m_manager) m_manager->removePostPainter(this);
    m_defersChildDeletion = false;
    // Children go at once, without layout requests: the container is going too.
    CPtrArrayUI<CControlUI> children = m_items;
    m_items.empty();
    if (m_ownsChildren)
        for (CControlUI* child : children) child->destroySelf();
    if (m_vScrollBar) m_vScrollBar->destroySelf();
    if (m_hScrollBar) m_hScrollBar->destroySelf();
    m_vScrollBar = m_hScrollBar = nullptr;
}

// --- Children ---------------------------------------------------------------------

CControlUI* CContainerUI::itemAt(int index) const { return m_items.at(index); }

int CContainerUI::indexOf(CControlUI* control) const { return m_items.find(control); }

int CContainerUI::itemCount() const { return m_items.size(); }

bool CContainerUI::moveItemTo(CControlUI* control, int index) {
    const int from = m_items.find(control);
    // An index outside the children would lose the child: refused.
    if (from < 0 || index < 0 || index >= m_items.size()) return false;
    scheduleLayout();
    m_items.removeAt(from);
    m_items.insertAt(index, control);
    return true;
}

bool CContainerUI::moveItemsTo(CControlUI* control, int count, int index) {
    if (!control || count < 0 || index < 0) return false;
    const int from = m_items.find(control);
    if (from < 0) return false;
    if (index == from) return true;
    if (from + count > m_items.size() || index + count > m_items.size()) return false;
    std::vector<CControlUI*> run(m_items.begin() + from, m_items.begin() + from + count);
    for (int i = 0; i < count; ++i) m_items.removeAt(from);
    for (int i = 0; i < count; ++i) m_items.insertAt(index + i, run[static_cast<std::size_t>(i)]);
    scheduleLayout();
    return true;
}

bool CContainerUI::addItem(CControlUI* control) { return insertItem(control, m_items.size()); }

bool CContainerUI::insertItem(CControlUI* control, int index) {
    if (!control || index < 0 || index > m_items.size()) return false;
    if (m_manager)
        m_manager->initControlTree(control, this);
    else
        control->bindManager(nullptr, this, /*init=*/false);
    if (isShown())
        scheduleLayout();
    else
        control->assignInheritedShown(false);
    return m_items.insertAt(index, control);
}

void CContainerUI::deleteChild(CControlUI* child) {
    if (m_defersChildDeletion && m_manager)
        m_manager->deferDelete(child);
    else
        child->destroySelf();
}

bool CContainerUI::removeChildAt(int index, bool keepAlive) {
    CControlUI* child = m_items.at(index);
    if (!child) return false;
    scheduleLayout();
    m_items.removeAt(index);
    if (!keepAlive && m_ownsChildren) deleteChild(child);
    return true;
}

bool CContainerUI::removeItem(CControlUI* control, bool keepAlive) {
    if (!control) return false;
    return removeChildAt(m_items.find(control), keepAlive);
}

bool CContainerUI::removeItemAt(int index, bool keepAlive) { return removeChildAt(index, keepAlive); }

void CContainerUI::removeAllItems() {
    CPtrArrayUI<CControlUI> children = m_items;
    m_items.empty();
    if (m_ownsChildren)
        for (CControlUI* child : children) deleteChild(child);
    scheduleLayout();
}

// --- Binding, visibility, attributes ------------------------------------------------------

std::wstring_view CContainerUI::typeName() const { return L"Container"; }

void* CContainerUI::castTo(std::wstring_view name) {
    if (name == L"Container") return static_cast<CContainerUI*>(this);
    if (name == L"IContainer") return static_cast<IContainerUI*>(this);
    return CControlUI::castTo(name);
}

void CContainerUI::bindManager(CFormManagerUI* manager, CControlUI* parent, bool init) {
    for (CControlUI* child : m_items) child->bindManager(manager, this, init);
    if (m_vScrollBar) m_vScrollBar->bindManager(manager, this, init);
    if (m_hScrollBar) m_hScrollBar->bindManager(manager, this, init);
    CControlUI::bindManager(manager, parent, init);
}

void CContainerUI::assignShown(bool visible) {
    if (m_visible == visible) return;
    CControlUI::assignShown(visible);
    for (CControlUI* child : m_items) child->assignInheritedShown(isShown());
}

void CContainerUI::assignInheritedShown(bool visible) {
    CControlUI::assignInheritedShown(visible);
    for (CControlUI* child : m_items) child->assignInheritedShown(isShown());
}

void CContainerUI::assignMouseEnabled(bool enabled) {
    if (m_vScrollBar) m_vScrollBar->assignMouseEnabled(enabled);
    if (m_hScrollBar) m_hScrollBar->assignMouseEnabled(enabled);
    CControlUI::assignMouseEnabled(enabled);
}

Rect CContainerUI::inset() const { return toDevice(m_inset); }

void CContainerUI::assignInset(const Rect& inset) {
    m_inset = inset;
    scheduleLayout();
}

int CContainerUI::childGap() const { return toDevice(m_childGap); }

void CContainerUI::assignChildGap(int gap) {
    m_childGap = std::max(gap, 0);
    scheduleLayout();
}

int CContainerUI::childAlign() const { return m_childAlign; }

void CContainerUI::assignChildAlign(int align) {
    m_childAlign = align;
    scheduleLayout();
}

int CContainerUI::childVAlign() const { return m_childVAlign; }

void CContainerUI::assignChildVAlign(int align) {
    m_childVAlign = align;
    scheduleLayout();
}

bool CContainerUI::ownsChildren() const { return m_ownsChildren; }
void CContainerUI::assignOwnsChildren(bool owns) { m_ownsChildren = owns; }
bool CContainerUI::defersChildDeletion() const { return m_defersChildDeletion; }
void CContainerUI::assignDefersChildDeletion(bool defer) { m_defersChildDeletion = defer; }
bool CContainerUI::mouseChildEnabled() const { return m_mouseChildEnabled; }
void CContainerUI::assignMouseChildEnabled(bool enabled) { m_mouseChildEnabled = enabled; }

int CContainerUI::nearestSelectable(int index, bool forward) const {
    auto selectable = [this](int i) {
        CControlUI* c = m_items.at(i);
        return c && c->isShown() && c->enabledState() && c->castTo(L"IListItem");
    };
    const int n = m_items.size();
    if (forward) {
        for (int i = std::max(index, 0); i < n; ++i)
            if (selectable(i)) return i;
        return -1;
    }
    for (int i = std::min(index, n - 1); i >= 0; --i)
        if (selectable(i)) return i;
    for (int i = 0; i < n; ++i)
        if (selectable(i)) return i;
    return -1;
}

void CContainerUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"inset") {
        assignInset(attr::parseRect(value));
    } else if (name == L"mousechild") {
        assignMouseChildEnabled(attr::parseBool(value));
    } else if (name == L"vscrollbar") {
        enableScrollBars(attr::parseBool(value), m_hScrollBar != nullptr);
    } else if (name == L"hscrollbar") {
        enableScrollBars(m_vScrollBar != nullptr, attr::parseBool(value));
    } else if (name == L"vscrollbarstyle") {
        if (m_vScrollBar) m_vScrollBar->applyAttributeText(value);
    } else if (name == L"hscrollbarstyle") {
        if (m_hScrollBar) m_hScrollBar->applyAttributeText(value);
    } else if (name == L"childpadding") {
        assignChildGap(attr::parseInt(value));
    } else if (name == L"childalign") {
        if (value == L"left")
            assignChildAlign(ChildAlignUI::Left);
        else if (value == L"center")
            assignChildAlign(ChildAlignUI::Centre);
        else if (value == L"right")
            assignChildAlign(ChildAlignUI::Right);
    } else if (name == L"childvalign") {
        if (value == L"top")
            assignChildVAlign(ChildAlignUI::Top);
        else if (value == L"vcenter")
            assignChildVAlign(ChildAlignUI::VCentre);
        else if (value == L"bottom")
            assignChildVAlign(ChildAlignUI::Bottom);
    } else {
        CControlUI::applyAttribute(name, value);
    }
}

// --- Layout ----------------------------------------------------------------------------

Rect CContainerUI::innerBounds() const {
    const Rect in = inset();
    Rect rc{m_pos.left + in.left, m_pos.top + in.top, m_pos.right - in.right, m_pos.bottom - in.bottom};
    if (shownBar(m_vScrollBar)) rc.right -= m_vScrollBar->fixedWidth();
    if (shownBar(m_hScrollBar)) rc.bottom -= m_hScrollBar->fixedHeight();
    return rc;
}

Rect CContainerUI::scrolledClientRect() const {
    const Rect in = inset();
    Rect rc{m_pos.left + in.left, m_pos.top + in.top, m_pos.right - in.right, m_pos.bottom - in.bottom};
    if (shownBar(m_vScrollBar)) {
        rc.top -= m_vScrollBar->scrollPos();
        rc.right -= m_vScrollBar->fixedWidth();
        rc.bottom += m_vScrollBar->range() - m_vScrollBar->scrollPos();
    }
    if (shownBar(m_hScrollBar)) {
        rc.left -= m_hScrollBar->scrollPos();
        rc.right += m_hScrollBar->range() - m_hScrollBar->scrollPos();
        rc.bottom -= m_hScrollBar->fixedHeight();
    }
    return rc;
}

Rect CContainerUI::placeClientArea(Rect rect, bool needInvalidate) {
    if (rect.width() != m_pos.width() && shownBar(m_hScrollBar)) m_hScrollBar->assignScrollRange(0);
    if (rect.height() != m_pos.height() && shownBar(m_vScrollBar)) m_vScrollBar->assignScrollRange(0);
    CControlUI::place(rect, needInvalidate);
    return CContainerUI::innerBounds();
}

void CContainerUI::place(Rect rect, bool needInvalidate) {
    placeClientArea(rect, needInvalidate);
    if (m_items.isEmpty()) return;
    const Rect client = scrolledClientRect();
    placeChildren([&](int, CControlUI* child) {
        const int w = std::clamp(client.width(), child->minWidth(), child->maxWidth());
        const int h = std::clamp(client.height(), child->minHeight(), child->maxHeight());
        child->place(Rect::fromSize(client.left, client.top, w, h), false);
    });
}

void CContainerUI::shiftBy(int dx, int dy, bool needInvalidate) {
    CControlUI::shiftBy(dx, dy, needInvalidate);
    if (shownBar(m_vScrollBar)) m_vScrollBar->shiftBy(dx, dy, false);
    if (shownBar(m_hScrollBar)) m_hScrollBar->shiftBy(dx, dy, false);
    for (CControlUI* child : m_items)
        if (child->isShown()) child->shiftBy(dx, dy, false);
}

void CContainerUI::placeFloatChild(int index) {
    CControlUI* child = m_items.at(index);
    if (!child || !child->isShown() || !child->isFloating()) return;
    const int w = m_pos.width(), h = m_pos.height();
    // Each edge is converted on its own (skin offset × scale, rounded), so
    // floating neighbours that share an edge in the skin share it on screen.
    const Point f = child->skinFixedXY();
    const FloatAnchorsUI a = child->floatAnchors();
    const int fw = child->skinFixedWidth(), fh = child->skinFixedHeight();
    child->place({anchorOffset(w, a.left) + toDevice(f.x), anchorOffset(h, a.top) + toDevice(f.y),
                  anchorOffset(w, a.right) + toDevice(f.x + fw), anchorOffset(h, a.bottom) + toDevice(f.y + fh)},
                 false);
}

void CContainerUI::relayout(bool needInvalidate) { place(m_floating ? boundsInParent() : m_pos, needInvalidate); }

void CContainerUI::fitScrollBars(Rect rc, int requiredWidth, int requiredHeight) {
    CScrollBarUI* v = m_vScrollBar;
    CScrollBarUI* h = m_hScrollBar;
    if (!v && !h) return;
    auto hide = [](CScrollBarUI* bar) {
        bar->assignShown(false);
        bar->assignScrollPos(0, /*notify=*/true);
    };
    auto relayoutShowing = [this] {
        m_relayoutGuard = true;
        relayout(true);
        m_relayoutGuard = false;
    };
    // A bar whose range differs from the excess takes it; a range of 0
    // hides it. True when that lowered its position.
    auto takeRange = [&](CScrollBarUI* bar, int excess) {
        const int oldPos = bar->scrollPos();
        bar->assignScrollRange(excess);
        if (bar->range() == 0) hide(bar);
        return bar->scrollPos() < oldPos;
    };

    if (v && !h) {
        const int gy = requiredHeight - rc.height();
        if (!v->isShown()) {
            if (requiredHeight <= rc.height()) return;
            v->assignShown(true);
            v->assignScrollRange(gy);
            v->assignScrollPos(0);
            relayoutShowing();
            return;
        }
        if (gy < 1 && !m_relayoutGuard) {
            hide(v);
            v->assignScrollRange(0);
            relayout(true);
            return;
        }
        v->place({rc.right, rc.top, rc.right + v->fixedWidth(), rc.bottom});
        if (v->range() != gy && takeRange(v, gy)) relayout(false);
        return;
    }

    if (h && !v) {
        const int gx = requiredWidth - rc.width();
        if (!h->isShown()) {
            if (requiredWidth <= rc.width()) return;
            h->assignShown(true);
            h->assignScrollRange(gx);
            h->assignScrollPos(0);
            relayoutShowing();
            return;
        }
        if (gx < 1 && !m_relayoutGuard) {
            hide(h);
            h->assignScrollRange(0);
            relayout(true);
            return;
        }
        h->place({rc.left, rc.bottom, rc.right, rc.bottom + h->fixedHeight()});
        if (h->range() != gx && takeRange(h, gx)) relayout(false);
        return;
    }

    // Both bars: the horizontal one first, then the vertical one with the
    // height that is left.
    bool hRangeChanged = false;
    const int gx = requiredWidth - rc.width();
    if (requiredWidth > rc.width()) {
        if (!h->isShown()) {
            h->assignShown(true);
            h->assignScrollPos(0);
            rc.bottom -= h->fixedHeight();
        }
        h->place({rc.left, rc.bottom, rc.right, rc.bottom + h->fixedHeight()});
        if (h->range() != gx) {
            h->assignScrollRange(gx);
            hRangeChanged = true;
        }
    } else if (h->isShown()) {
        h->assignShown(false);
        rc.bottom += h->fixedHeight();
    }

    const int gy = requiredHeight - rc.height();
    const int vw = v->fixedWidth();
    if (!v->isShown()) {
        if (requiredHeight > rc.height()) {
            v->assignShown(true);
            v->assignScrollRange(gy);
            v->assignScrollPos(0);
            if (h->isShown()) {
                h->place({rc.left, rc.bottom, rc.right - vw, rc.bottom + h->fixedHeight()});
                h->assignScrollRange(h->range() + vw);
            }
            relayoutShowing();
        } else if (hRangeChanged) {
            relayout(true);
        }
        return;
    }
    if (gy < 1 && !m_relayoutGuard) {
        hide(v);
        v->assignScrollRange(0);
        if (h->isShown()) {
            h->place({rc.left, rc.bottom, rc.right + vw, rc.bottom + h->fixedHeight()});
            h->assignScrollRange(h->range() - vw);
        }
        relayout(true);
        return;
    }
    v->place({rc.right, rc.top, rc.right + vw, rc.bottom});
    if (v->range() != gy) {
        const bool lowered = takeRange(v, gy);
        if (lowered || hRangeChanged) relayout(false);
    }
}

// --- Scrolling ---------------------------------------------------------------------------

Size CContainerUI::scrollOffset() const {
    return {shownBar(m_hScrollBar) ? m_hScrollBar->scrollPos() : 0,
            shownBar(m_vScrollBar) ? m_vScrollBar->scrollPos() : 0};
}

Size CContainerUI::scrollExtent() const {
    return {shownBar(m_hScrollBar) ? m_hScrollBar->range() : 0, shownBar(m_vScrollBar) ? m_vScrollBar->range() : 0};
}

void CContainerUI::scrollTo(int x, int y, bool notify) {
    int dx = 0, dy = 0;
    if (shownBar(m_vScrollBar)) {
        const int old = m_vScrollBar->scrollPos();
        m_vScrollBar->assignScrollPos(y, notify);
        dy = m_vScrollBar->scrollPos() - old;
    }
    if (shownBar(m_hScrollBar)) {
        const int old = m_hScrollBar->scrollPos();
        m_hScrollBar->assignScrollPos(x, notify);
        dx = m_hScrollBar->scrollPos() - old;
    }
    if (dx == 0 && dy == 0) return;
    for (CControlUI* child : m_items)
        if (child->isShown() && !child->isFloating()) child->shiftBy(-dx, -dy, false);
    invalidate();
}

int CContainerUI::lineStep(const CScrollBarUI* bar) const {
    if (bar && bar->lineSize() > 1) return toDevice(bar->lineSize());
    if (m_manager) return m_manager->defaultFontInfo().metrics.height + toDevice(8);
    return 8;
}

void CContainerUI::scrollLineUp() {
    const Size off = scrollOffset();
    scrollTo(off.cx, off.cy - lineStep(m_vScrollBar));
}

void CContainerUI::scrollLineDown() {
    const Size off = scrollOffset();
    scrollTo(off.cx, off.cy + lineStep(m_vScrollBar));
}

namespace {

int pageHeight(const CContainerUI& c, const CScrollBarUI* hBar) {
    const Rect inset = c.inset();
    int h = c.bounds().height() - inset.top - inset.bottom;
    if (hBar && hBar->isShown()) h -= hBar->fixedHeight();
    return h;
}

int pageWidth(const CContainerUI& c, const CScrollBarUI* vBar) {
    const Rect inset = c.inset();
    int w = c.bounds().width() - inset.left - inset.right;
    if (vBar && vBar->isShown()) w -= vBar->fixedWidth();
    return w;
}

} // namespace

void CContainerUI::scrollPageUp() {
    const Size off = scrollOffset();
    scrollTo(off.cx, off.cy - pageHeight(*this, m_hScrollBar));
}

void CContainerUI::scrollPageDown() {
    const Size off = scrollOffset();
    scrollTo(off.cx, off.cy + pageHeight(*this, m_hScrollBar));
}

void CContainerUI::scrollToTop() { scrollTo(scrollOffset().cx, 0); }

void CContainerUI::scrollToBottom() {
    // The range is known only after the next layout; the repaint makes sure
    // a next paint comes even when nothing else changed.
    m_scrollToEndPending = true;
    if (m_manager && m_manager->addPostPainter(this)) invalidate();
}

void CContainerUI::scrollLineLeft() {
    const Size off = scrollOffset();
    scrollTo(off.cx - lineStep(m_hScrollBar), off.cy);
}

void CContainerUI::scrollLineRight() {
    const Size off = scrollOffset();
    scrollTo(off.cx + lineStep(m_hScrollBar), off.cy);
}

void CContainerUI::scrollPageLeft() {
    const Size off = scrollOffset();
    scrollTo(off.cx - pageWidth(*this, m_vScrollBar), off.cy);
}

void CContainerUI::scrollPageRight() {
    const Size off = scrollOffset();
    scrollTo(off.cx + pageWidth(*this, m_vScrollBar), off.cy);
}

void CContainerUI::scrollToLeftEnd() { scrollTo(0, scrollOffset().cy); }

void CContainerUI::scrollToRightEnd() { scrollTo(scrollExtent().cx, scrollOffset().cy); }

void CContainerUI::enableScrollBars(bool vertical, bool horizontal) {
    auto make = [this](bool horizontalBar) {
        auto* bar = new CScrollBarUI();
        bar->assignHorizontal(horizontalBar);
        bar->assignShown(false); // shown by the layout when the content overflows
        bar->assignOwner(this);
        bar->bindManager(m_manager, this, /*init=*/false);
        if (m_manager)
            if (const wchar_t* defaults = m_manager->defaultAttributes(horizontalBar ? L"HScrollBar" : L"VScrollBar"))
                bar->applyAttributeText(defaults);
        return bar;
    };
    if (vertical && !m_vScrollBar) {
        m_vScrollBar = make(false);
    } else if (!vertical && m_vScrollBar) {
        m_vScrollBar->destroySelf();
        m_vScrollBar = nullptr;
    }
    if (horizontal && !m_hScrollBar) {
        m_hScrollBar = make(true);
    } else if (!horizontal && m_hScrollBar) {
        m_hScrollBar->destroySelf();
        m_hScrollBar = nullptr;
    }
    scheduleLayout();
}

CScrollBarUI* CContainerUI::verticalScrollBar() const { return m_vScrollBar; }

CScrollBarUI* CContainerUI::horizontalScrollBar() const { return m_hScrollBar; }

// --- Tree walk and input -------------------------------------------------------------------

CControlUI* CContainerUI::walkTree(FindControlProc proc, void* data, unsigned flags) {
    if ((flags & FindVisible) && !isShown()) return nullptr;
    if ((flags & FindEnabled) && !enabledState()) return nullptr;
    const bool hitTest = (flags & FindHitTest) != 0;
    if (hitTest && !m_pos.contains(*static_cast<const Point*>(data))) return nullptr;
    if ((flags & FindUpdateTest) && proc(this, data)) return nullptr;

    CControlUI* result = nullptr;
    if ((flags & FindMeFirst) && (!hitTest || m_mouseEnabled)) result = proc(this, data);
    if (!result && m_cover && (!hitTest || m_mouseChildEnabled)) result = m_cover->walkTree(proc, data, flags);
    if (!result && m_vScrollBar && (!hitTest || m_mouseEnabled)) result = m_vScrollBar->walkTree(proc, data, flags);
    if (!result && m_hScrollBar && (!hitTest || m_mouseEnabled)) result = m_hScrollBar->walkTree(proc, data, flags);
    if (result) return result;

    if (!hitTest || m_mouseChildEnabled) {
        const Rect client = innerBounds();
        auto accept = [&](CControlUI* found) {
            return !hitTest || found->isFloating() || client.contains(*static_cast<const Point*>(data));
        };
        const int n = m_items.size();
        if (flags & FindTopFirst) {
            for (int i = n - 1; i >= 0; --i)
                if (CControlUI* found = m_items[i]->walkTree(proc, data, flags); found && accept(found)) return found;
        } else {
            for (int i = 0; i < n; ++i)
                if (CControlUI* found = m_items[i]->walkTree(proc, data, flags); found && accept(found)) return found;
        }
    }
    if (!(flags & FindMeFirst) && (!hitTest || m_mouseEnabled)) result = proc(this, data);
    return result;
}

void CContainerUI::handleEvent(TInputEventUI& event) {
    if (isMouseEvent(event.kind) && !m_mouseEnabled) {
        if (m_parent)
            m_parent->handleEvent(event);
        else
            CControlUI::handleEvent(event);
        return;
    }
    auto usable = [](const CScrollBarUI* bar) { return bar && bar->isShown() && bar->enabledState(); };
    switch (event.kind) {
    case UiEventKind::SetFocus:
        m_focused = true;
        return;
    case UiEventKind::KillFocus:
        m_focused = false;
        return;
    case UiEventKind::KeyDown:
        if (!keyboardEnabled() || !enabledState()) break;
        if (usable(m_vScrollBar)) {
            switch (event.keyChar) {
            case platform::VK_PRIOR:
                return scrollPageUp();
            case platform::VK_NEXT:
                return scrollPageDown();
            case platform::VK_END:
                return scrollToBottom();
            case platform::VK_HOME:
                return scrollToTop();
            case platform::VK_UP:
                return scrollLineUp();
            case platform::VK_DOWN:
                return scrollLineDown();
            default:
                break;
            }
        } else if (usable(m_hScrollBar)) {
            switch (event.keyChar) {
            case platform::VK_PRIOR:
                return scrollPageLeft();
            case platform::VK_NEXT:
                return scrollPageRight();
            case platform::VK_END:
                return scrollToRightEnd();
            case platform::VK_HOME:
                return scrollToLeftEnd();
            case platform::VK_UP:
                return scrollLineLeft();
            case platform::VK_DOWN:
                return scrollLineRight();
            default:
                break;
            }
        }
        break;
    case UiEventKind::ScrollWheel: {
        const bool down = event.wparam != 0;
        if (usable(m_hScrollBar) && m_hScrollBar->bounds().contains(event.mousePos))
            return down ? scrollLineRight() : scrollLineLeft();
        if (usable(m_vScrollBar)) return down ? scrollLineDown() : scrollLineUp();
        if (usable(m_hScrollBar)) return down ? scrollLineRight() : scrollLineLeft();
        break;
    }
    default:
        break;
    }
    CControlUI::handleEvent(event);
}

// --- Painting ---------------------------------------------------------------------------------

bool CContainerUI::paintSelf(Canvas& canvas, const Rect& paint, CControlUI* stop) {
    const Rect visible = m_pos.intersect(paint);
    if (visible.isEmpty()) return true;
    render::ClipScope outer;
    render::clipToRect(canvas, visible, outer);
    CControlUI::paintSelf(canvas, paint, stop);

    if (!m_items.isEmpty()) {
        const Rect client = innerBounds();
        const Rect clientPaint = client.intersect(paint);
        render::ClipScope inner;
        if (!clientPaint.isEmpty()) render::clipToRect(canvas, clientPaint, inner);
        for (CControlUI* child : m_items) {
            if (child == stop) return false;
            if (!child->isShown()) continue;
            const Rect& pos = child->bounds();
            if (pos.intersect(paint).isEmpty()) continue;
            if (child->isFloating()) {
                // A floating child may draw over the inset.
                if (pos.intersect(m_pos).isEmpty()) continue;
                inner.useOuter();
                const bool go = child->paintTree(canvas, paint, stop);
                inner.useInner();
                if (!go) return false;
            } else {
                if (clientPaint.isEmpty() || pos.intersect(client).isEmpty()) continue;
                if (!child->paintTree(canvas, paint, stop)) return false;
            }
        }
    }
    for (CScrollBarUI* bar : {m_vScrollBar, m_hScrollBar}) {
        if (!bar) continue;
        if (bar == stop) return false;
        if (bar->isShown() && !bar->bounds().intersect(paint).isEmpty() && !bar->paintTree(canvas, paint, stop))
            return false;
    }
    return true;
}

void CContainerUI::afterPaint(Canvas& canvas, const Rect& paint) {
    if (m_scrollToEndPending) {
        m_scrollToEndPending = false;
        if (m_manager) m_manager->removePostPainter(this);
        scrollTo(scrollOffset().cx, scrollExtent().cy);
    }
    CControlUI::afterPaint(canvas, paint);
}
