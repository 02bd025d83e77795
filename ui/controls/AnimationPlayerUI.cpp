// CAnimationPlayerUI: loading the frames, the frame timer, and drawing.
#include "ui/controls/AnimationPlayerUI.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/render/RenderEngine.h"

#include <algorithm>

using platform::Rect;

CAnimationPlayerUI::CAnimationPlayerUI(CControlUI& owner, unsigned timerId) : m_owner(owner), m_timerId(timerId) {}

void CAnimationPlayerUI::assignSource(std::wstring_view description) {
    if (m_source == description) return;
    stopTimer();
    m_source = description;
    m_parsed = render::parseImageDescription(description);
    m_animation.reset();
    m_loadTried = false;
    rewind();
    refreshTimer();
    m_owner.markDirty();
}

bool CAnimationPlayerUI::ensureLoaded() {
    if (m_animation) return true;
    if (m_loadTried || m_parsed.name.empty()) return false;
    m_loadTried = true;
    std::string error;
    const wchar_t* type = m_parsed.type.empty() ? nullptr : m_parsed.type.c_str();
    m_animation = anim::loadAnimation(ImageSource::named(m_parsed.name), type, error);
    if (!m_animation && platform::debugOutputEnabled())
        platform::debugOutput(L"animation \"" + m_parsed.name + L"\" not shown: " + platform::fromUtf8(error) + L"\n");
    return m_animation != nullptr;
}

int CAnimationPlayerUI::frameCount() { return ensureLoaded() ? static_cast<int>(m_animation->frames.size()) : 0; }

platform::Size CAnimationPlayerUI::imageSize() {
    if (!ensureLoaded()) return {};
    return {m_animation->width, m_animation->height};
}

// --- Playback ---

void CAnimationPlayerUI::rewind() {
    m_frame = 0;
    m_playsDone = 0;
    m_ended = false;
}

bool CAnimationPlayerUI::shouldRun() {
    return m_wantPlay && m_active && !m_ended && m_owner.isShown() && m_owner.owningManager() && frameCount() > 1;
}

void CAnimationPlayerUI::stopTimer() {
    if (!m_timerRunning) return;
    m_timerRunning = false;
    if (CFormManagerUI* manager = m_owner.owningManager()) manager->stopTimer(&m_owner, m_timerId);
}

void CAnimationPlayerUI::refreshTimer() {
    if (!shouldRun()) {
        stopTimer();
        return;
    }
    if (m_timerRunning) return;
    const int delay = m_animation->frames[static_cast<std::size_t>(m_frame)].delayMs;
    m_timerRunning = m_owner.owningManager()->startTimer(&m_owner, m_timerId, static_cast<unsigned>(delay));
}

void CAnimationPlayerUI::play() {
    if (m_ended) {
        rewind();
        m_owner.markDirty();
    }
    m_wantPlay = true;
    refreshTimer();
}

void CAnimationPlayerUI::pause() {
    m_wantPlay = false;
    refreshTimer();
}

void CAnimationPlayerUI::stop() {
    m_wantPlay = false;
    refreshTimer();
    if (m_frame != 0) m_owner.markDirty();
    rewind();
}

void CAnimationPlayerUI::assignActive(bool active) {
    if (m_active == active) return;
    m_active = active;
    if (active) rewind();
    refreshTimer();
}

bool CAnimationPlayerUI::handleTimer(unsigned localId) {
    if (localId != m_timerId || !m_timerRunning) return false;
    // Each frame has its own delay: the timer is set again for the next one.
    stopTimer();
    if (!m_animation) return true;
    const int count = static_cast<int>(m_animation->frames.size());
    if (m_frame + 1 < count) {
        ++m_frame;
    } else {
        ++m_playsDone;
        if (m_animation->plays != 0 && m_playsDone >= m_animation->plays)
            m_ended = true; // the last frame stays
        else
            m_frame = 0;
    }
    m_owner.markDirty();
    refreshTimer();
    return true;
}

// --- Drawing ---

bool CAnimationPlayerUI::draw(platform::Canvas& canvas, const Rect& item, const Rect& paint) {
    if (!ensureLoaded()) return false;
    const ImageRecord& image = *m_animation->frames[static_cast<std::size_t>(m_frame)].image;
    Rect dest = item;
    if (m_parsed.dest != Rect{})
        dest = {item.left + m_parsed.dest.left, item.top + m_parsed.dest.top,
                std::min(item.left + m_parsed.dest.right, item.right),
                std::min(item.top + m_parsed.dest.bottom, item.bottom)};
    if (dest.intersect(paint).isEmpty()) return true;
    render::BitmapOptions options;
    options.hasAlpha = image.hasAlpha;
    options.fade = static_cast<std::uint8_t>(std::clamp(m_parsed.fade, 0, 255));
    render::drawBitmap(canvas, image.bitmap, dest, paint, {0, 0, image.width, image.height}, {}, options);
    return true;
}
