// A button whose state images may be animated.
#pragma once

#include "ui/controls/AnimationPlayerUI.h"
#include "ui/controls/ButtonUI.h"

#include <array>
#include <memory>

// A push button (clicks, notices and colours as CButtonUI) whose
// "normalimage", "hotimage", "pushedimage", "focusedimage" and
// "disabledimage" are animations (GIF or animated PNG, by content; a still
// image shows its one picture). The image of the state shown plays from its
// first frame whenever the button enters that state; a state without an
// image shows the normal one. "autoplay" (default true) and "autosize" (the
// normal image's size) as for CGifAnimUI. UI thread only.
class CGifButtonUI : public CButtonUI {
public:
    static constexpr unsigned kFrameTimer = 12;
    enum class StateImage { Normal, Hot, Pushed, Focused, Disabled };

    CGifButtonUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void onInitialise() override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void assignShown(bool visible = true) override;
    void assignInheritedShown(bool visible = true) override;
    void bindManager(CFormManagerUI* manager, CControlUI* parent, bool init = true) override;
    void drawStateImage(platform::Canvas& canvas) override;

    // --- Operations (on every state's animation) ---
    void play();
    void pause();
    void stop();
    bool isPlaying() const { return m_playing; }
    // The state image shown is still moving on.
    bool shownIsPlaying() { return shownPlayer().isPlaying(); }
    // The state whose image is shown, as of the last paint.
    StateImage shownState() const { return m_shown; }
    // Frames and frame of the image shown.
    int frameCount() { return shownPlayer().frameCount(); }
    int currentFrame() { return shownPlayer().currentFrame(); }

    void assignStateImage(StateImage state, std::wstring_view description);
    const CStringUI& stateImage(StateImage state) const { return player(state).source(); }
    void assignAutoPlay(bool on) { m_autoPlay = on; }
    bool autoPlay() const { return m_autoPlay; }
    void assignAutoSize(bool on);
    bool autoSize() const { return m_autoSize; }

private:
    CAnimationPlayerUI& player(StateImage state) { return *m_players[static_cast<std::size_t>(state)]; }
    const CAnimationPlayerUI& player(StateImage state) const { return *m_players[static_cast<std::size_t>(state)]; }
    CAnimationPlayerUI& shownPlayer() { return player(m_shown); }
    // The state image the button's state calls for (the normal one when
    // that state has none).
    StateImage wantedState();
    void show(StateImage state);
    void applyAutoSize();

    std::array<std::unique_ptr<CAnimationPlayerUI>, 5> m_players;
    StateImage m_shown = StateImage::Normal;
    bool m_playing = false;
    bool m_autoPlay = true;
    bool m_autoSize = false;
};
