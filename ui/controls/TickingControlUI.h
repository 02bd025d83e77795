// The base of controls that animate on a timer while they can be seen.
#pragma once

#include "ui/core/ControlUI.h"

// Runs one control timer every interval() milliseconds while the control
// is playing, attached to a window, initialised and shown (itself and every
// ancestor); hiding it, detaching it or stopping it kills the timer, and
// showing it again restarts it. Each tick calls tick(). "autoplay" (default
// true) and "interval" are read here. UI thread only.
class CTickingControlUI : public CControlUI {
public:
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void bindManager(CFormManagerUI* manager, CControlUI* parent, bool init = true) override;
    void onInitialise() override;
    void assignShown(bool visible = true) override;
    void assignInheritedShown(bool visible = true) override;
    void handleEvent(TInputEventUI& event) override;

    // Starts or stops the animation (it runs only while shown).
    void play();
    void stop();
    bool isPlaying() const { return m_playing; }
    // Whether the timer runs now.
    bool isTicking() const { return m_ticking; }
    unsigned interval() const { return m_interval; }
    // Milliseconds between ticks, at least 10.
    void assignInterval(unsigned ms);

protected:
    explicit CTickingControlUI(unsigned intervalMs) : m_interval(intervalMs) {}
    // One step of the animation.
    virtual void tick() = 0;

private:
    static constexpr unsigned kTimer = 1;
    void updateTimer();

    unsigned m_interval;
    bool m_playing = true;
    bool m_ticking = false;
    bool m_initialised = false;
};
