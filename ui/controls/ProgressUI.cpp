// CProgressUI: value, range and the cut of the fore image.
#include "ui/controls/ProgressUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <climits>
#include <cstdint>

using platform::Rect;

CProgressUI::CProgressUI() { m_fixedHeight = 12; }

std::wstring_view CProgressUI::typeName() const { return L"Progress"; }

void* CProgressUI::castTo(std::wstring_view name) {
    if (name == L"Progress") return this;
    return CLabelUI::castTo(name);
}

void CProgressUI::assignHorizontal(bool horizontal) {
    m_horizontal = horizontal;
    invalidate();
}

void CProgressUI::assignMin(int min) {
    m_min = min;
    invalidate();
}

void CProgressUI::assignMax(int max) {
    m_max = max;
    invalidate();
}

void CProgressUI::assignValue(int value) {
    m_value = std::max(std::min(value, m_max), m_min);
    invalidate();
}

void CProgressUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"foreimage") {
        if (m_progressImage.description == value && m_progressImage.image) return;
        m_progressImage.setDescription(value);
        invalidate();
    } else if (name == L"hor") {
        assignHorizontal(attr::parseBool(value));
    } else if (name == L"min") {
        assignMin(attr::parseInt(value));
    } else if (name == L"max") {
        assignMax(attr::parseInt(value));
    } else if (name == L"value") {
        assignValue(attr::parseInt(value));
    } else {
        CLabelUI::applyAttribute(name, value);
    }
}

Rect CProgressUI::coveredPart(platform::Size size, int min, int max, int value, bool horizontal) {
    // 64-bit products: markup values reach 2^24 and sizes 2^14.
    const std::int64_t lo = min;
    const std::int64_t hi = min >= max ? lo + 1 : max;
    const std::int64_t v = std::clamp<std::int64_t>(value, lo, hi);
    if (horizontal) return {0, 0, static_cast<int>((v - lo) * size.cx / (hi - lo)), size.cy};
    return {0, static_cast<int>(size.cy * (hi - v) / (hi - lo)), size.cx, size.cy};
}

Rect CProgressUI::foreImagePart() const { return coveredPart(m_pos.size(), m_min, m_max, m_value, m_horizontal); }

void CProgressUI::drawStateImage(platform::Canvas& canvas) {
    if (m_progressImage.description.isEmpty()) return;
    if (m_min >= m_max && m_min < INT_MAX) m_max = m_min + 1;
    m_value = std::clamp(m_value, m_min, m_max);
    // Resolve first: parsing the description would reset the cut.
    if (!render::resolveImageDescription(m_manager, m_progressImage)) return;
    m_progressImage.dest = foreImagePart();
    m_progressImage.destInDevicePixels = true;
    render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, m_progressImage);
}
