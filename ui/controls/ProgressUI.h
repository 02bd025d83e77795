// A progress bar: a label whose fore image is cut to the current value.
#pragma once

#include "ui/controls/LabelUI.h"
#include "ui/render/ImageDescription.h"

// Horizontal (left to right) or vertical (bottom to top) progress between
// min and max. The background and text are the label's; the fore image is
// drawn over the part that the value covers. UI thread only.
class CProgressUI : public CLabelUI {
public:
    CProgressUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawStateImage(platform::Canvas& canvas) override;

    bool isHorizontal() const { return m_horizontal; }
    void assignHorizontal(bool horizontal);
    int minValue() const { return m_min; }
    void assignMin(int min);
    int maxValue() const { return m_max; }
    void assignMax(int max);
    int value() const { return m_value; }
    // Held within min..max.
    void assignValue(int value);
    const ImageDescription& progressImage() const { return m_progressImage; }

    // The part of a control of `size` that `value` covers (relative to the
    // control), with min >= max read as max = min + 1.
    static platform::Rect coveredPart(platform::Size size, int min, int max, int value, bool horizontal);

protected:
    // The part of the control the fore image covers now (relative to it).
    virtual platform::Rect foreImagePart() const;

private:
    bool m_horizontal = true;
    int m_max = 100;
    int m_min = 0;
    int m_value = 0;
    ImageDescription m_progressImage;
};
