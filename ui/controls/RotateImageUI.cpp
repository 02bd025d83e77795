// CRotateImageUI: the angle and the turned drawing of the image.
#include "ui/controls/RotateImageUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <cmath>

std::wstring_view CRotateImageUI::typeName() const { return L"RotateImage"; }

void* CRotateImageUI::castTo(std::wstring_view name) {
    if (name == L"RotateImage") return this;
    return CTickingControlUI::castTo(name);
}

int CRotateImageUI::angle() const { return static_cast<int>(std::floor(m_angle)) % 360; }

void CRotateImageUI::assignAngle(double degrees) {
    if (!std::isfinite(degrees)) return;
    degrees = std::fmod(degrees, 360.0);
    if (degrees < 0) degrees += 360.0;
    if (degrees >= 360.0) degrees = 0; // fmod of a tiny negative value
    if (degrees == m_angle) return;
    m_angle = degrees;
    invalidate();
}

void CRotateImageUI::assignSpeed(double degreesPerSecond) {
    if (std::isfinite(degreesPerSecond)) m_speed = degreesPerSecond;
}

void CRotateImageUI::tick() { assignAngle(m_angle + m_speed * interval() / 1000.0); }

void CRotateImageUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"angle")
        assignAngle(attr::parseDouble(value));
    else if (name == L"speed")
        assignSpeed(attr::parseDouble(value));
    else
        CTickingControlUI::applyAttribute(name, value);
}

void CRotateImageUI::drawBackImage(platform::Canvas& canvas) {
    if (m_bkImage.description.isEmpty() || !render::resolveImageDescription(m_manager, m_bkImage) || !m_bkImage.image)
        return;
    platform::Rect dest = m_pos;
    const platform::Rect& d = m_bkImage.dest;
    if (d.left != 0 || d.top != 0 || d.right != 0 || d.bottom != 0)
        dest = {m_pos.left + d.left, m_pos.top + d.top, m_pos.left + d.right, m_pos.top + d.bottom};
    canvas.drawSurfaceRotated(m_bkImage.image->bitmap,
                              {static_cast<float>(dest.left), static_cast<float>(dest.top),
                               static_cast<float>(dest.width()), static_cast<float>(dest.height())},
                              m_bkImage.source, m_angle, m_bkImage.fade);
}
