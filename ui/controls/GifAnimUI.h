// An animated picture: every frame of a GIF or animated PNG shown for its
// own delay, looping as the file says.
#pragma once

#include "ui/controls/AnimationPlayerUI.h"
#include "ui/core/ControlUI.h"

// Shows the animation named by "bkimage" (either format, recognised by its
// content; a still image shows its one picture) in place of a background
// image. "autoplay" (default true) starts it when the control is
// initialised; "autosize" gives the control the picture's size. The frame
// timer runs only while the control is shown. UI thread only.
class CGifAnimUI : public CControlUI {
public:
    // Local id of the frame timer.
    static constexpr unsigned kFrameTimer = 12;

    CGifAnimUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void onInitialise() override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void assignShown(bool visible = true) override;
    void assignInheritedShown(bool visible = true) override;
    void bindManager(CFormManagerUI* manager, CControlUI* parent, bool init = true) override;
    void drawBackImage(platform::Canvas& canvas) override;

    // --- Operations ---
    void play() { m_player.play(); }
    void pause() { m_player.pause(); }
    void stop() { m_player.stop(); }
    bool isPlaying() const { return m_player.isPlaying(); }
    int frameCount() { return m_player.frameCount(); }
    int currentFrame() const { return m_player.currentFrame(); }
    const AnimatedImage* animation() const { return m_player.animation(); }

    void assignImage(std::wstring_view description);
    const CStringUI& image() const { return m_player.source(); }
    bool autoPlay() const { return m_autoPlay; }
    void assignAutoPlay(bool on);
    bool autoSize() const { return m_autoSize; }
    void assignAutoSize(bool on);

private:
    void applyAutoSize();

    CAnimationPlayerUI m_player;
    bool m_autoPlay = true;
    bool m_autoSize = false;
};
