// Playback of one animated image for a control: the decoded frames, the
// frame shown, the plays done, and the control's timer that moves it on.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "ui/base/StringUI.h"
#include "ui/render/AnimatedImage.h"
#include "ui/render/ImageDescription.h"

#include <string_view>

class CControlUI;

// Owned by the control it plays for (not a control itself). Each frame is
// shown for its own delay on the owner's timer `timerId`; the timer runs
// only while playing is wanted, the player is active, the owner is shown and
// attached to a manager, and the image has more than one frame. UI thread
// only.
class CAnimationPlayerUI {
public:
    CAnimationPlayerUI(CControlUI& owner, unsigned timerId);
    CAnimationPlayerUI(const CAnimationPlayerUI&) = delete;
    CAnimationPlayerUI& operator=(const CAnimationPlayerUI&) = delete;

    // The image, written as an image description (a name, or entries with
    // file, restype, dest and fade). Unchanged: nothing; else the frames are
    // dropped (decoded again on first use) and playback starts over.
    void assignSource(std::wstring_view description);
    const CStringUI& source() const { return m_source; }
    bool hasSource() const { return !m_source.isEmpty(); }

    // Decodes the image once; false when there is none or it is refused
    // (the reason goes to the debug output).
    bool ensureLoaded();
    // Frames of the image (loading it), 0 when there is none.
    int frameCount();
    int currentFrame() const { return m_frame; }
    // The image's size (loading it); 0 × 0 when there is none.
    platform::Size imageSize();
    const AnimatedImage* animation() const { return m_animation.get(); }

    // --- Playback ---
    // Plays from the frame shown (from the start again when the file's plays
    // had ended).
    void play();
    // Keeps the frame shown and stops moving on.
    void pause();
    // Back to the first frame, not moving on.
    void stop();
    // Playing is wanted, the image moves and the file's plays have not ended.
    bool isPlaying() const { return m_wantPlay && !m_ended && (!m_animation || m_animation->frames.size() > 1); }
    // An inactive player keeps its wish to play but holds its timer (a
    // button shows one state's animation at a time). Activating rewinds.
    void assignActive(bool active);
    bool isActive() const { return m_active; }
    // Starts or stops the timer after the owner's visibility or manager changed.
    void refreshTimer();
    // Stops the timer now (before the owner changes managers); refreshTimer
    // starts it again.
    void releaseTimer() { stopTimer(); }
    // A Timer event with this local id: the next frame. False for other ids.
    bool handleTimer(unsigned localId);

    // Draws the frame shown over `item` (the description's dest and fade
    // applied), limited to `paint`. False when there is nothing to draw.
    bool draw(platform::Canvas& canvas, const platform::Rect& item, const platform::Rect& paint);

private:
    bool shouldRun();
    void stopTimer();
    void rewind();

    CControlUI& m_owner;
    unsigned m_timerId;
    CStringUI m_source;
    render::ParsedImageDescription m_parsed;
    AnimationHandle m_animation;
    bool m_loadTried = false;
    int m_frame = 0;
    int m_playsDone = 0;
    bool m_ended = false; // the file's plays are done
    bool m_wantPlay = false;
    bool m_active = true;
    bool m_timerRunning = false;
};
