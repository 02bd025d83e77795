// An image turning about its centre.
#pragma once

#include "ui/controls/TickingControlUI.h"

// Draws its "bkimage" turned by angle() degrees (clockwise) about the
// centre of where the image would be drawn. While shown and playing, the
// angle advances by "speed" degrees a second (negative: anticlockwise) on
// a timer of "interval" ms (default 40); "angle" sets it. UI thread only.
class CRotateImageUI : public CTickingControlUI {
public:
    CRotateImageUI() : CTickingControlUI(40) {}

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawBackImage(platform::Canvas& canvas) override;

    // The angle in whole degrees, 0..359.
    int angle() const;
    void assignAngle(double degrees);
    double speed() const { return m_speed; }
    void assignSpeed(double degreesPerSecond);

protected:
    void tick() override;

private:
    double m_angle = 0; // 0 <= m_angle < 360
    double m_speed = 360;
};
