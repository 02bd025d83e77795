// CSliderUI: the thumb's geometry, dragging, keys and the change notices.
#include "ui/controls/SliderUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <cstdint>

using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

// The axis the value runs along: its start, length and the point's place
// on it, so that both orientations share one computation.
struct Axis {
    int start = 0;  // the thumb centre at min
    int travel = 0; // how far the centre moves from min to max
};

Axis axisOf(const Rect& pos, Size thumb, bool horizontal) {
    if (horizontal) return {pos.left + thumb.cx / 2, std::max(0, pos.width() - thumb.cx)};
    // Vertical sliders grow upwards: min at the bottom.
    return {pos.bottom - (thumb.cy - thumb.cy / 2), std::max(0, pos.height() - thumb.cy)};
}

} // namespace

CSliderUI::CSliderUI() { m_fixedHeight = 0; }

std::wstring_view CSliderUI::typeName() const { return L"Slider"; }

void* CSliderUI::castTo(std::wstring_view name) {
    if (name == L"Slider") return this;
    return CProgressUI::castTo(name);
}

unsigned CSliderUI::behaviourFlags() const { return keyboardEnabled() ? ControlFlags::TabStop : 0u; }

void CSliderUI::assignStep(int step) { m_step = std::max(1, step); }

void CSliderUI::assignThumbSize(Size size) {
    size.cx = std::max(0, size.cx);
    size.cy = std::max(0, size.cy);
    if (size == m_thumbSize) return;
    m_thumbSize = size;
    invalidate();
}

// --- Geometry ---

Rect CSliderUI::thumbRectFor(const Rect& pos, Size thumb, int min, int max, int value, bool horizontal) {
    const std::int64_t lo = min;
    const std::int64_t hi = min >= max ? lo + 1 : max;
    const std::int64_t v = std::clamp<std::int64_t>(value, lo, hi);
    const Axis axis = axisOf(pos, thumb, horizontal);
    const int along = static_cast<int>((v - lo) * axis.travel / (hi - lo));
    if (horizontal) {
        const int cx = axis.start + along;
        const int top = pos.top + (pos.height() - thumb.cy) / 2;
        return Rect::fromSize(cx - thumb.cx / 2, top, thumb.cx, thumb.cy);
    }
    const int cy = axis.start - along;
    const int left = pos.left + (pos.width() - thumb.cx) / 2;
    return Rect::fromSize(left, cy - thumb.cy / 2, thumb.cx, thumb.cy);
}

int CSliderUI::snapped(int min, int max, int step, long long value) {
    if (max <= min) return min;
    step = std::max(1, step);
    const long long v = std::clamp<long long>(value, min, max);
    const long long steps = (v - min + step / 2) / step;
    const long long onStep = std::min<long long>(max, min + steps * step);
    // The far end is reachable even when the range is not a whole number of steps.
    return static_cast<int>(max - v < v - onStep ? max : onStep);
}

int CSliderUI::valueAt(const Rect& pos, Size thumb, int min, int max, int step, bool horizontal, Point point) {
    if (max <= min) return min;
    const Axis axis = axisOf(pos, thumb, horizontal);
    if (axis.travel <= 0) return min;
    const long long along = horizontal ? point.x - axis.start : axis.start - point.y;
    const long long range = static_cast<long long>(max) - min;
    // Rounded to the nearest value, halves away from min.
    const long long offset = along <= 0 ? 0 : (along * range * 2 + axis.travel) / (2LL * axis.travel);
    return snapped(min, max, step, min + offset);
}

Rect CSliderUI::thumbRect() const {
    return thumbRectFor(m_pos, toDevice(m_thumbSize), minValue(), maxValue(), value(), isHorizontal());
}

Rect CSliderUI::foreImagePart() const {
    const Rect thumb = thumbRect();
    if (isHorizontal()) return {0, 0, std::max(0, (thumb.left + thumb.right) / 2 - m_pos.left), m_pos.height()};
    return {0, std::max(0, (thumb.top + thumb.bottom) / 2 - m_pos.top), m_pos.width(), m_pos.height()};
}

int CSliderUI::pageSize() const {
    const long long range = static_cast<long long>(maxValue()) - minValue();
    return static_cast<int>(std::max<long long>(m_step, range / 10));
}

// --- Input ---

bool CSliderUI::userValue(int v) {
    const int before = value();
    assignValue(v);
    return value() != before;
}

void CSliderUI::handleEvent(TInputEventUI& event) {
    if (!m_mouseEnabled && isMouseEvent(event.kind)) {
        if (m_parent)
            m_parent->handleEvent(event);
        else
            CProgressUI::handleEvent(event);
        return;
    }
    auto notify = [&](const wchar_t* kind) {
        if (m_manager) m_manager->sendNotice(this, kind, static_cast<platform::WParam>(value()));
    };
    switch (event.kind) {
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick: {
        if (!m_enabled) return;
        m_pressed = true;
        m_valueAtPress = value();
        const Rect thumb = thumbRect();
        if (thumb.contains(event.mousePos)) {
            m_grabOffset = {event.mousePos.x - (thumb.left + thumb.right) / 2,
                            event.mousePos.y - (thumb.top + thumb.bottom) / 2};
            m_dragging = true;
        } else if (m_trackClick == TrackClick::Jump) {
            m_grabOffset = {};
            m_dragging = true;
            if (userValue(valueAt(m_pos, toDevice(m_thumbSize), minValue(), maxValue(), m_step, isHorizontal(),
                                  event.mousePos)))
                notify(L"movevaluechanged");
        } else {
            // A page towards the press: up or right of the thumb is more.
            const bool more = isHorizontal() ? event.mousePos.x > thumb.right : event.mousePos.y < thumb.top;
            userValue(snapped(minValue(), maxValue(), m_step,
                              static_cast<long long>(value()) + (more ? pageSize() : -pageSize())));
        }
        invalidate();
        return;
    }
    case UiEventKind::MouseMove:
        if (m_dragging) {
            const Point centre{event.mousePos.x - m_grabOffset.x, event.mousePos.y - m_grabOffset.y};
            if (userValue(
                    valueAt(m_pos, toDevice(m_thumbSize), minValue(), maxValue(), m_step, isHorizontal(), centre)))
                notify(L"movevaluechanged");
        } else {
            const bool hot = m_enabled && thumbRect().contains(event.mousePos);
            if (hot != m_thumbHotState) {
                m_thumbHotState = hot;
                invalidate();
            }
        }
        return;
    case UiEventKind::ButtonUp:
        if (m_dragging) {
            m_dragging = false;
            invalidate();
        }
        if (m_pressed && value() != m_valueAtPress) notify(L"valuechanged");
        m_pressed = false;
        return;
    case UiEventKind::MouseLeave:
        if (m_thumbHotState) {
            m_thumbHotState = false;
            invalidate();
        }
        return;
    case UiEventKind::ScrollWheel:
        if (m_enabled) {
            // wparam is 1 for a turn towards the user: up (0) is more.
            const bool up = event.wparam == 0;
            if (userValue(
                    snapped(minValue(), maxValue(), m_step, static_cast<long long>(value()) + (up ? m_step : -m_step))))
                notify(L"valuechanged");
        }
        return;
    case UiEventKind::KeyDown: {
        if (!m_enabled || m_dragging) break;
        long long target = value();
        switch (event.keyChar) {
        case platform::VK_LEFT:
        case platform::VK_DOWN:
            target -= m_step;
            break;
        case platform::VK_RIGHT:
        case platform::VK_UP:
            target += m_step;
            break;
        case platform::VK_PRIOR:
            target += pageSize();
            break;
        case platform::VK_NEXT:
            target -= pageSize();
            break;
        case platform::VK_HOME:
            target = minValue();
            break;
        case platform::VK_END:
            target = maxValue();
            break;
        default:
            CProgressUI::handleEvent(event);
            return;
        }
        if (userValue(snapped(minValue(), maxValue(), m_step, target))) notify(L"valuechanged");
        return;
    }
    default:
        break;
    }
    CProgressUI::handleEvent(event);
}

// --- Attributes and painting ---

void CSliderUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"step") {
        assignStep(attr::parseInt(value));
    } else if (name == L"thumbsize") {
        assignThumbSize(attr::parseSize(value));
    } else if (name == L"thumbimage") {
        m_thumbNormal.setDescription(value);
        invalidate();
    } else if (name == L"thumbhotimage") {
        m_thumbHot.setDescription(value);
        invalidate();
    } else if (name == L"thumbpushedimage") {
        m_thumbPushed.setDescription(value);
        invalidate();
    } else if (name == L"trackclick") {
        m_trackClick = value == L"page" ? TrackClick::Page : TrackClick::Jump;
    } else {
        CProgressUI::applyAttribute(name, value);
    }
}

ImageDescription& CSliderUI::thumbImage() {
    ImageDescription* image = &m_thumbNormal;
    ImageDescription* wanted = m_dragging ? &m_thumbPushed : m_thumbHotState ? &m_thumbHot : nullptr;
    if (wanted && !wanted->description.isEmpty() && render::resolveImageDescription(m_manager, *wanted) &&
        wanted->image)
        image = wanted;
    return *image;
}

void CSliderUI::drawStateImage(platform::Canvas& canvas) {
    CProgressUI::drawStateImage(canvas);
    const Rect thumb = thumbRect();
    ImageDescription& image = thumbImage();
    if (image.description.isEmpty()) {
        // Without images the thumb still shows where the value is: framed,
        // so that it stands out on a track of any colour.
        const platform::Argb frame = !m_enabled ? 0xFF9AA0A8u : m_dragging ? 0xFF1D3E6Bu : 0xFF3A6BB5u;
        const platform::Argb face = !m_enabled                      ? 0xFFE4E7EBu
                                    : m_thumbHotState || m_dragging ? 0xFFDCE8FAu
                                                                    : 0xFFFFFFFFu;
        canvas.fillRect(thumb, frame);
        canvas.fillRect({thumb.left + 1, thumb.top + 1, thumb.right - 1, thumb.bottom - 1}, face);
        return;
    }
    if (!render::resolveImageDescription(m_manager, image)) return;
    image.dest = {thumb.left - m_pos.left, thumb.top - m_pos.top, thumb.right - m_pos.left, thumb.bottom - m_pos.top};
    render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, image);
}
