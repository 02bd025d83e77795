// Text in a rectangle: alignment, padding, plain or rich text, a measure
// cache for the layouts, and optional anti-aliased effects (gradient text,
// stroke, shadow, glow).
#pragma once

#include "platform/graphics/Graphics.h"
#include "ui/core/ControlUI.h"

// A label. The text colours default to the window's colours, taken at the
// first paint. measure() answers the text's extent (plus padding) and keeps
// it until the available size or a setting that changes it does. UI thread
// only.
class CLabelUI : public CControlUI {
public:
    // The text style bits a label keeps (DrawText flags).
    static constexpr unsigned kStyleMask = platform::DT_CENTER | platform::DT_RIGHT | platform::DT_VCENTER |
                                           platform::DT_BOTTOM | platform::DT_WORDBREAK | platform::DT_SINGLELINE |
                                           platform::DT_END_ELLIPSIS;

    CLabelUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void assignText(std::wstring_view text) override;
    void assignFixedWidth(int width) override;
    void assignFixedHeight(int height) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    platform::Size measure(platform::Size available) override;
    void drawBackground(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;

    // --- Text settings ---
    unsigned textStyle() const { return m_textStyle; }
    void assignTextStyle(unsigned style);
    platform::Argb textColour() const { return m_textColour; }
    // A non-zero colour with alpha 0 is made opaque (skins write RRGGBB).
    void assignTextColour(platform::Argb colour);
    platform::Argb disabledTextColour() const { return m_disabledTextColour; }
    void assignDisabledTextColour(platform::Argb colour);
    platform::Argb disabledBkColour() const { return m_disabledBkColour; }
    void assignDisabledBkColour(platform::Argb colour);
    int font() const { return m_font; }
    void assignFont(int index);
    // Device pixels at the window's scale (set in skin units).
    platform::Rect textPadding() const { return toDevice(m_textPadding); }
    void assignTextPadding(const platform::Rect& padding);
    bool showHtml() const { return m_showHtml; }
    void assignShowHtml(bool on);
    // Multi-line: word breaks instead of a single line.
    void assignMultiLine(bool on);

    // --- Effects (anti-aliased drawing) ---
    struct Effects {
        bool enabled = false; // "enabledeffect"
        bool luminous = false;
        float luminousFuzzy = 3.0f;
        bool stroke = false;
        platform::Argb strokeColour = 0;
        bool shadow = false;
        platform::Argb shadowColourA = 0xFF000000;
        platform::Argb shadowColourB = 0xFFFFFFFF; // 0xFFFFFFFF: same as A
        int shadowDistance = 0;
        int shadowAngle = 0;                     // degrees, clockwise from the positive x axis
        platform::Argb textColour1 = 0xFFFFFFFF; // 0xFFFFFFFF: same as the text colour
        int gradientAngle = 0;
        int gradientLength = 0; // 0: the text rectangle's height
        int renderingHint = 4;
    };
    const Effects& effects() const { return m_effects; }
    // The shadow (and glow) offset in pixels from distance and angle.
    platform::Point shadowOffset() const;

protected:
    // The window's default colours for colours left at 0.
    void takeDefaultColours();
    // The text rectangle: the position minus the text padding.
    platform::Rect textRect() const;
    // Draws the text in `colour` the way the label's settings say: with the
    // effects when on, else rich or plain text.
    void drawLabelText(platform::Canvas& canvas, platform::Argb colour);
    // Anti-aliased text with a solid brush and the label's alignment (no
    // effect layers), as buttons draw with effects on.
    void drawSolidString(platform::Canvas& canvas, platform::Argb colour);
    // The text with every language token expanded.
    CStringUI expandedText() const;
    // Fills `colour` over the paint rectangle when opaque, else over the whole position.
    void fillBackground(platform::Canvas& canvas, platform::Argb colour);
    void markMeasureStale() { m_measureStale = true; }

    platform::Argb m_textColour = 0;
    platform::Argb m_disabledTextColour = 0;
    platform::Argb m_disabledBkColour = 0;
    int m_font = -1;
    unsigned m_textStyle = platform::DT_VCENTER | platform::DT_SINGLELINE;
    platform::Rect m_textPadding;
    bool m_showHtml = false;
    Effects m_effects;

private:
    void drawEffectText(platform::Canvas& canvas, platform::Argb colour);

    platform::Size m_measureAvailable{-1, -1};
    platform::Size m_measured;
    bool m_measureStale = true;
    double m_measuredScale = 1.0; // the window's scale the measurement was made at
};
