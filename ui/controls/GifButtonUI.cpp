// CGifButtonUI: one animation per state image, the shown one playing.
#include "ui/controls/GifButtonUI.h"

#include "ui/core/AttributeValues.h"

CGifButtonUI::CGifButtonUI() {
    for (auto& p : m_players) {
        p = std::make_unique<CAnimationPlayerUI>(*this, kFrameTimer);
        p->assignActive(false);
    }
    player(StateImage::Normal).assignActive(true);
}

std::wstring_view CGifButtonUI::typeName() const { return L"GifButton"; }

void* CGifButtonUI::castTo(std::wstring_view name) {
    if (name == L"GifButton") return this;
    return CButtonUI::castTo(name);
}

void CGifButtonUI::onInitialise() {
    CButtonUI::onInitialise();
    if (m_autoPlay) play();
}

void CGifButtonUI::play() {
    m_playing = true;
    for (auto& p : m_players) p->play();
}

void CGifButtonUI::pause() {
    m_playing = false;
    for (auto& p : m_players) p->pause();
}

void CGifButtonUI::stop() {
    m_playing = false;
    for (auto& p : m_players) p->stop();
}

void CGifButtonUI::handleEvent(TInputEventUI& event) {
    // One timer: only the shown state's player has it running.
    if (event.kind == UiEventKind::Timer && event.wparam == kFrameTimer) {
        shownPlayer().handleTimer(kFrameTimer);
        return;
    }
    CButtonUI::handleEvent(event);
}

void CGifButtonUI::assignShown(bool visible) {
    CButtonUI::assignShown(visible);
    shownPlayer().refreshTimer();
}

void CGifButtonUI::assignInheritedShown(bool visible) {
    CButtonUI::assignInheritedShown(visible);
    shownPlayer().refreshTimer();
}

void CGifButtonUI::bindManager(CFormManagerUI* manager, CControlUI* parent, bool init) {
    if (manager != m_manager) shownPlayer().releaseTimer();
    CButtonUI::bindManager(manager, parent, init);
    shownPlayer().refreshTimer();
}

void CGifButtonUI::assignStateImage(StateImage state, std::wstring_view description) {
    player(state).assignSource(description);
    if (state == StateImage::Normal) applyAutoSize();
}

void CGifButtonUI::assignAutoSize(bool on) {
    if (m_autoSize == on) return;
    m_autoSize = on;
    applyAutoSize();
}

void CGifButtonUI::applyAutoSize() {
    if (!m_autoSize || !player(StateImage::Normal).hasSource()) return;
    const platform::Size size = player(StateImage::Normal).imageSize();
    if (size.cx <= 0) return;
    assignFixedWidth(size.cx);
    assignFixedHeight(size.cy);
}

void CGifButtonUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    static const struct {
        const wchar_t* name;
        StateImage state;
    } kStates[] = {{L"normalimage", StateImage::Normal},
                   {L"hotimage", StateImage::Hot},
                   {L"pushedimage", StateImage::Pushed},
                   {L"focusedimage", StateImage::Focused},
                   {L"disabledimage", StateImage::Disabled}};
    for (const auto& s : kStates) {
        if (name == s.name) {
            assignStateImage(s.state, value);
            return;
        }
    }
    if (name == L"autoplay")
        assignAutoPlay(attr::parseBool(value));
    else if (name == L"autosize")
        assignAutoSize(attr::parseBool(value));
    else
        CButtonUI::applyAttribute(name, value);
}

// --- Painting ---

CGifButtonUI::StateImage CGifButtonUI::wantedState() {
    auto orNormal = [this](StateImage state) {
        return player(state).hasSource() && player(state).frameCount() > 0 ? state : StateImage::Normal;
    };
    if (!m_enabled) return orNormal(StateImage::Disabled);
    if (m_state & State::Pushed) return orNormal(StateImage::Pushed);
    if (m_state & State::Hot) return orNormal(StateImage::Hot);
    if (hasFocus()) return orNormal(StateImage::Focused);
    return StateImage::Normal;
}

void CGifButtonUI::show(StateImage state) {
    if (state == m_shown) return;
    shownPlayer().assignActive(false);
    m_shown = state;
    shownPlayer().assignActive(true);
}

void CGifButtonUI::drawStateImage(platform::Canvas& canvas) {
    // The fade between normal and hot images belongs to still images; with
    // no animated state image at all the button draws as any button.
    bool any = false;
    for (auto& p : m_players) any = any || p->hasSource();
    if (!any) {
        CButtonUI::drawStateImage(canvas);
        return;
    }
    show(wantedState());
    shownPlayer().draw(canvas, m_pos, m_paintRect);
    drawImage(canvas, m_foreImage);
}
