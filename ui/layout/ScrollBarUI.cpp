// CScrollBarUI: range and position, part geometry, mouse input with
// repeating presses and the thumb drag, and the part images.
#include "ui/layout/ScrollBarUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/layout/ContainerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>

using platform::Argb;
using platform::Canvas;
using platform::Point;
using platform::Rect;

namespace {

// Repeating presses: a tick every 50 ms after a pause of six ticks.
constexpr unsigned kRepeatMs = 50;
constexpr int kRepeatPause = 6;
constexpr int kDefaultLine = 8;
constexpr int kWheelLines = 3;

} // namespace

CScrollBarUI::CScrollBarUI() { m_fixedWidth = kDefaultThickness; }

CScrollBarUI::~CScrollBarUI() = default;

std::wstring_view CScrollBarUI::typeName() const { return L"ScrollBar"; }

void* CScrollBarUI::castTo(std::wstring_view name) {
    if (name == L"ScrollBar") return this;
    return CControlUI::castTo(name);
}

void CScrollBarUI::assignHorizontal(bool horizontal) {
    if (m_horizontal == horizontal) return;
    m_horizontal = horizontal;
    const int t = horizontal ? (m_fixedWidth ? m_fixedWidth : kDefaultThickness)
                             : (m_fixedHeight ? m_fixedHeight : kDefaultThickness);
    m_fixedWidth = horizontal ? 0 : t;
    m_fixedHeight = horizontal ? t : 0;
    scheduleParentLayout();
}

void CScrollBarUI::assignScrollRange(int range) {
    range = std::max(range, 0);
    if (range == m_range) return;
    m_range = range;
    if (m_scrollPos > m_range) assignScrollPos(m_range);
    invalidate();
}

void CScrollBarUI::assignScrollPos(int pos, bool notify) {
    pos = std::clamp(pos, 0, m_range);
    if (pos == m_scrollPos) return;
    const int old = m_scrollPos;
    m_scrollPos = pos;
    invalidate();
    if (notify && m_manager) m_manager->sendNotice(this, L"scroll", static_cast<platform::WParam>(pos), old);
}

void CScrollBarUI::assignLineSize(int size) { m_lineSize = std::max(size, 0); }

void CScrollBarUI::assignEnabled(bool enabled) {
    CControlUI::assignEnabled(enabled);
    if (enabled) return;
    m_hot = m_pushed = ScrollBarPart::None;
    if (m_timerRunning && m_manager) m_manager->stopTimer(this, kRepeatTimer);
    m_timerRunning = false;
}

// --- Geometry -------------------------------------------------------------------

int CScrollBarUI::thickness() const { return m_horizontal ? m_pos.height() : m_pos.width(); }

Rect CScrollBarUI::partRect(ScrollBarPart part) const {
    // Work along the axis as if vertical: start and end of each part.
    const int start = m_horizontal ? m_pos.left : m_pos.top;
    const int end = m_horizontal ? m_pos.right : m_pos.bottom;
    const int length = end - start;
    const int button = std::min(thickness(), length / 2);
    const int b1 = m_showButton1 ? button : 0;
    const int b2 = m_showButton2 ? button : 0;
    const int trackStart = start + b1, trackEnd = end - b2;
    const int trackLength = std::max(trackEnd - trackStart, 0);
    int from = 0, to = 0;
    switch (part) {
    case ScrollBarPart::None:
        return {};
    case ScrollBarPart::Button1:
        from = start, to = start + b1;
        break;
    case ScrollBarPart::Button2:
        from = end - b2, to = end;
        break;
    case ScrollBarPart::Track:
        from = trackStart, to = trackStart + trackLength;
        break;
    case ScrollBarPart::Thumb: {
        if (m_range <= 0 || trackLength <= 0) return {};
        const long long wanted =
            static_cast<long long>(trackLength) * length / (static_cast<long long>(length) + m_range);
        const int thumb = std::min(trackLength, std::max(static_cast<int>(wanted), toDevice(m_thumbMinLength)));
        from = trackStart + static_cast<int>(static_cast<long long>(trackLength - thumb) * m_scrollPos / m_range);
        to = from + thumb;
        break;
    }
    }
    return m_horizontal ? Rect{from, m_pos.top, to, m_pos.bottom} : Rect{m_pos.left, from, m_pos.right, to};
}

ScrollBarPart CScrollBarUI::partAt(Point point) const {
    if (!m_pos.contains(point)) return ScrollBarPart::None;
    for (ScrollBarPart part : {ScrollBarPart::Thumb, ScrollBarPart::Button1, ScrollBarPart::Button2})
        if (partRect(part).contains(point)) return part;
    return partRect(ScrollBarPart::Track).contains(point) ? ScrollBarPart::Track : ScrollBarPart::None;
}

// --- Scrolling ---------------------------------------------------------------------

void CScrollBarUI::scrollToPosition(int pos) {
    if (m_owner) {
        const platform::Size off = m_owner->scrollOffset();
        if (m_horizontal)
            m_owner->scrollTo(pos, off.cy);
        else
            m_owner->scrollTo(off.cx, pos);
        return;
    }
    assignScrollPos(pos);
}

void CScrollBarUI::stepLine(int direction) {
    if (m_owner) {
        if (m_horizontal)
            direction < 0 ? m_owner->scrollLineLeft() : m_owner->scrollLineRight();
        else
            direction < 0 ? m_owner->scrollLineUp() : m_owner->scrollLineDown();
        return;
    }
    assignScrollPos(m_scrollPos + direction * toDevice(m_lineSize > 0 ? m_lineSize : kDefaultLine));
}

void CScrollBarUI::stepPage(int direction) {
    if (m_owner) {
        if (m_horizontal)
            direction < 0 ? m_owner->scrollPageLeft() : m_owner->scrollPageRight();
        else
            direction < 0 ? m_owner->scrollPageUp() : m_owner->scrollPageDown();
        return;
    }
    assignScrollPos(m_scrollPos + direction * std::max(m_horizontal ? m_pos.width() : m_pos.height(), 1));
}

void CScrollBarUI::pressAction() {
    switch (m_pushed) {
    case ScrollBarPart::Button1:
        stepLine(-1);
        break;
    case ScrollBarPart::Button2:
        stepLine(+1);
        break;
    case ScrollBarPart::Track: {
        // Towards the mouse, until the thumb is under it.
        const Rect thumb = partRect(ScrollBarPart::Thumb);
        const int at = along(m_lastMouse);
        if (at < (m_horizontal ? thumb.left : thumb.top))
            stepPage(-1);
        else if (at >= (m_horizontal ? thumb.right : thumb.bottom))
            stepPage(+1);
        break;
    }
    default:
        break;
    }
}

// --- Input -------------------------------------------------------------------------------

void CScrollBarUI::handleEvent(TInputEventUI& event) {
    if (isMouseEvent(event.kind) && !m_mouseEnabled) {
        if (m_owner)
            m_owner->handleEvent(event);
        else
            CControlUI::handleEvent(event);
        return;
    }
    auto setHot = [this](ScrollBarPart part) {
        if (part == m_hot) return;
        m_hot = part;
        invalidate();
    };
    switch (event.kind) {
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick: {
        if (!m_enabled) return;
        m_lastMouse = event.mousePos;
        m_pushed = partAt(event.mousePos);
        if (m_pushed == ScrollBarPart::Thumb) {
            m_dragStart = event.mousePos;
            m_dragStartPos = m_scrollPos;
        } else if (m_pushed != ScrollBarPart::None) {
            pressAction();
            if (m_manager && m_manager->startTimer(this, kRepeatTimer, kRepeatMs)) m_timerRunning = true;
            m_repeatDelayTicks = kRepeatPause;
        }
        invalidate();
        return;
    }
    case UiEventKind::MouseMove:
        m_lastMouse = event.mousePos;
        if (m_pushed == ScrollBarPart::Thumb) {
            const int track =
                m_horizontal ? partRect(ScrollBarPart::Track).width() : partRect(ScrollBarPart::Track).height();
            const Rect thumbRect = partRect(ScrollBarPart::Thumb);
            const int thumb = m_horizontal ? thumbRect.width() : thumbRect.height();
            const int travel = track - thumb;
            if (travel > 0) {
                const long long delta = along(event.mousePos) - along(m_dragStart);
                scrollToPosition(m_dragStartPos + static_cast<int>(delta * m_range / travel));
            }
        } else if (m_enabled && m_pushed == ScrollBarPart::None) {
            setHot(partAt(event.mousePos));
        }
        return;
    case UiEventKind::ButtonUp:
        m_pushed = ScrollBarPart::None;
        if (m_timerRunning && m_manager) m_manager->stopTimer(this, kRepeatTimer);
        m_timerRunning = false;
        setHot(partAt(event.mousePos));
        invalidate();
        return;
    case UiEventKind::MouseEnter:
        if (m_enabled) setHot(partAt(event.mousePos));
        return;
    case UiEventKind::MouseLeave:
        setHot(ScrollBarPart::None);
        return;
    case UiEventKind::Timer:
        if (event.wparam != kRepeatTimer) break;
        if (m_repeatDelayTicks > 0) {
            --m_repeatDelayTicks;
            return;
        }
        // Only while the mouse stays on the pressed part.
        if (partAt(m_lastMouse) == m_pushed || m_pushed == ScrollBarPart::Track) pressAction();
        return;
    case UiEventKind::ScrollWheel:
        if (m_owner) {
            m_owner->handleEvent(event);
            return;
        }
        for (int i = 0; i < kWheelLines; ++i) stepLine(event.wparam != 0 ? +1 : -1);
        return;
    default:
        break;
    }
    CControlUI::handleEvent(event);
}

// --- Attributes ---------------------------------------------------------------------------

void CScrollBarUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    struct ImageAttr {
        std::wstring_view prefix;
        PartImages* images;
    };
    const ImageAttr imageAttrs[] = {{L"button1", &m_button1Images},
                                    {L"button2", &m_button2Images},
                                    {L"thumb", &m_thumbImages},
                                    {L"rail", &m_railImages},
                                    {L"bk", &m_bkImages}};
    for (const ImageAttr& a : imageAttrs) {
        if (name.size() <= a.prefix.size() || name.substr(0, a.prefix.size()) != a.prefix) continue;
        const std::wstring_view state = name.substr(a.prefix.size());
        ImageDescription* target = state == L"normalimage"     ? &a.images->normal
                                   : state == L"hotimage"      ? &a.images->hot
                                   : state == L"pushedimage"   ? &a.images->pushed
                                   : state == L"disabledimage" ? &a.images->disabled
                                                               : nullptr;
        if (!target) break;
        if (!(target->description == value && target->image)) {
            target->setDescription(value);
            invalidate();
        }
        return;
    }
    auto colour = [&](Argb& field) {
        field = attr::parseColour(value);
        invalidate();
    };
    if (name == L"hor")
        assignHorizontal(attr::parseBool(value));
    else if (name == L"range")
        assignScrollRange(attr::parseInt(value));
    else if (name == L"value")
        assignScrollPos(attr::parseInt(value), /*notify=*/false);
    else if (name == L"linesize")
        assignLineSize(attr::parseInt(value));
    else if (name == L"showbutton1")
        m_showButton1 = attr::parseBool(value), invalidate();
    else if (name == L"showbutton2")
        m_showButton2 = attr::parseBool(value), invalidate();
    else if (name == L"thumbminlength")
        m_thumbMinLength = std::max(attr::parseInt(value), 1), invalidate();
    else if (name == L"trackcolor")
        colour(m_trackColour);
    else if (name == L"thumbcolor")
        colour(m_thumbColour);
    else if (name == L"thumbhotcolor")
        colour(m_thumbHotColour);
    else if (name == L"thumbpushedcolor")
        colour(m_thumbPushedColour);
    else if (name == L"buttoncolor")
        colour(m_buttonColour);
    else if (name == L"arrowcolor")
        colour(m_arrowColour);
    else
        CControlUI::applyAttribute(name, value);
}

// --- Painting -------------------------------------------------------------------------------

ImageDescription* CScrollBarUI::stateImage(PartImages& images, ScrollBarPart part) {
    ImageDescription* chosen = &images.normal;
    if (!m_enabled)
        chosen = &images.disabled;
    else if (part != ScrollBarPart::None && m_pushed == part)
        chosen = &images.pushed;
    else if (part != ScrollBarPart::None && m_hot == part)
        chosen = &images.hot;
    if (chosen->description.isEmpty()) chosen = &images.normal;
    return chosen->description.isEmpty() ? nullptr : chosen;
}

void CScrollBarUI::drawPart(Canvas& canvas, ScrollBarPart part, PartImages& images, Argb colour) {
    const Rect r = part == ScrollBarPart::None ? m_pos : partRect(part);
    if (r.isEmpty() || r.intersect(m_paintRect).isEmpty()) return;
    if (ImageDescription* image = stateImage(images, part)) {
        if (render::drawImageDescription(&canvas, m_manager, r, m_paintRect, *image)) return;
        // Fall back to the normal image, then to the plain colour.
        if (image != &images.normal && !images.normal.description.isEmpty() &&
            render::drawImageDescription(&canvas, m_manager, r, m_paintRect, images.normal))
            return;
    }
    if (colour) render::fillColour(canvas, r.intersect(m_paintRect), colour);
    if (part != ScrollBarPart::Button1 && part != ScrollBarPart::Button2) return;
    // A small triangle pointing away from the track.
    const int size = std::max(std::min(r.width(), r.height()) / 4, 2);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const bool towardsStart = part == ScrollBarPart::Button1;
    const Argb arrow = m_enabled ? m_arrowColour : 0xFFB0B0B0;
    for (int i = 0; i < size; ++i) {
        const int offset = towardsStart ? -size / 2 + i : size / 2 - i;
        if (m_horizontal)
            canvas.fillRect({cx + offset, cy - i, cx + offset + 1, cy + i + 1}, arrow);
        else
            canvas.fillRect({cx - i, cy + offset, cx + i + 1, cy + offset + 1}, arrow);
    }
}

bool CScrollBarUI::paintSelf(Canvas& canvas, const Rect& paint, CControlUI* stop) {
    CControlUI::paintSelf(canvas, paint, stop);
    drawPart(canvas, ScrollBarPart::None, m_bkImages, 0);
    drawPart(canvas, ScrollBarPart::Track, m_railImages, m_trackColour);
    drawPart(canvas, ScrollBarPart::Button1, m_button1Images, m_buttonColour);
    drawPart(canvas, ScrollBarPart::Button2, m_button2Images, m_buttonColour);
    const Argb thumb = !m_enabled                         ? m_thumbColour
                       : m_pushed == ScrollBarPart::Thumb ? m_thumbPushedColour
                       : m_hot == ScrollBarPart::Thumb    ? m_thumbHotColour
                                                          : m_thumbColour;
    drawPart(canvas, ScrollBarPart::Thumb, m_thumbImages, thumb);
    return true;
}
