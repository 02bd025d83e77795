// A label that reacts to the mouse and the keyboard: state images and
// colours for hot, pushed, focused and disabled, an optional fade between
// the normal and hot images, and the "click" notice.
#pragma once

#include "ui/controls/LabelUI.h"
#include "ui/render/ImageDescription.h"

// A push button. Clicking (press and release inside), Space or Return while
// focused, or an Alt shortcut trigger it: it raises "click". Entering and
// leaving raise "mouseenter" and "mouseleave". UI thread only.
class CButtonUI : public CLabelUI {
public:
    // Bits of the button state.
    struct State {
        enum : unsigned { Focused = 1, Selected = 2, Disabled = 4, Hot = 8, Pushed = 0x10, Captured = 0x40 };
    };
    // Local id of the fading timer, and its interval.
    static constexpr unsigned kFadeTimer = 11;
    static constexpr unsigned kFadeIntervalMs = 30;

    CButtonUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    // Raises "click" when visible and enabled.
    bool trigger() override;
    void assignEnabled(bool enabled = true) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawBackground(platform::Canvas& canvas) override;
    void drawStateImage(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;
    void drawBorder(platform::Canvas& canvas) override;

    unsigned buttonState() const { return m_state; }
    int fadeAlpha() const { return m_fadeAlpha; }
    int fadeStep() const { return m_fadeStep; }
    bool usesArrowCursor() const { return m_arrowCursor; }

    struct Images {
        ImageDescription normal, hot, hotFore, pushed, pushedFore, focused, disabled;
    };
    const Images& images() const { return m_images; }

    // Loads one image five times, cut into five equal columns: normal,
    // pushed, hot, focused and disabled.
    void assignFiveStatusImage(std::wstring_view description);

protected:
    // Draws the description over the position; false when it draws nothing
    // (empty, or its image cannot be loaded).
    bool drawImage(platform::Canvas& canvas, ImageDescription& image);
    // As drawImage, at a constant alpha instead of the description's fade.
    bool drawImageAt(platform::Canvas& canvas, ImageDescription& image, int alpha);
    // The button's text drawing with its state colours.
    void drawButtonText(platform::Canvas& canvas);
    void setImage(ImageDescription& image, std::wstring_view description);

    unsigned m_state = 0;
    bool m_arrowCursor = false;
    platform::Argb m_hotBkColour = 0;
    platform::Argb m_hotTextColour = 0;
    platform::Argb m_hotBorderColour = 0;
    platform::Argb m_pushedTextColour = 0;
    platform::Argb m_focusedTextColour = 0;
    platform::Argb m_focusedBkColour = 0;
    int m_fadeAlpha = 255;
    int m_fadeStep = 0;
    Images m_images;

private:
    void startFade();
    void onFadeTick();
    void applyCursor();
};
