// CButtonUI: the state machine of press, hover and focus, the fade timer,
// and the state images, colours and border.
#include "ui/controls/ButtonUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

using platform::Argb;
using platform::Rect;

CButtonUI::CButtonUI() { m_textStyle = platform::DT_CENTER | platform::DT_VCENTER | platform::DT_SINGLELINE; }

std::wstring_view CButtonUI::typeName() const { return L"Button"; }

void* CButtonUI::castTo(std::wstring_view name) {
    if (name == L"Button") return this;
    return CLabelUI::castTo(name);
}

unsigned CButtonUI::behaviourFlags() const {
    return (keyboardEnabled() ? ControlFlags::TabStop : 0u) | (m_enabled ? ControlFlags::SetCursor : 0u);
}

bool CButtonUI::trigger() {
    if (!CControlUI::trigger()) return false;
    if (m_manager) m_manager->sendNotice(this, L"click");
    return true;
}

void CButtonUI::assignEnabled(bool enabled) {
    CLabelUI::assignEnabled(enabled);
    if (!enabled) m_state = 0;
}

// --- Events ---

void CButtonUI::startFade() {
    if (m_fadeStep > 0 && m_manager) m_manager->startTimer(this, kFadeTimer, kFadeIntervalMs);
}

void CButtonUI::onFadeTick() {
    // Hot: the normal image fades out; not hot: it fades back in.
    if (m_state & State::Hot) {
        if (m_fadeStep >= m_fadeAlpha) {
            m_fadeAlpha = 0;
            if (m_manager) m_manager->stopTimer(this, kFadeTimer);
        } else {
            m_fadeAlpha -= m_fadeStep;
        }
    } else {
        if (m_fadeAlpha >= 255 - m_fadeStep) {
            m_fadeAlpha = 255;
            if (m_manager) m_manager->stopTimer(this, kFadeTimer);
        } else {
            m_fadeAlpha += m_fadeStep;
        }
    }
    invalidate();
}

void CButtonUI::applyCursor() {
    platform::setCursor(m_arrowCursor ? platform::CursorShape::Arrow : platform::CursorShape::Hand);
}

void CButtonUI::handleEvent(TInputEventUI& event) {
    if (!m_mouseEnabled && isMouseEvent(event.kind)) {
        if (m_parent)
            m_parent->handleEvent(event);
        else
            CLabelUI::handleEvent(event);
        return;
    }
    const bool inside = m_pos.contains(event.mousePos);
    switch (event.kind) {
    case UiEventKind::SetFocus:
    case UiEventKind::KillFocus:
        invalidate();
        break; // the label keeps the focused flag
    case UiEventKind::KeyDown:
        if ((event.keyChar == platform::VK_SPACE || event.keyChar == platform::VK_RETURN) && isShown() &&
            keyboardEnabled() && m_enabled) {
            trigger();
            return;
        }
        break;
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
        if (inside && m_enabled) {
            m_state |= State::Captured | State::Pushed;
            invalidate();
        }
        return;
    case UiEventKind::MouseMove:
        if (m_state & State::Captured) {
            if (inside)
                m_state |= State::Pushed;
            else
                m_state &= ~State::Pushed;
            invalidate();
        }
        return;
    case UiEventKind::ButtonUp:
        if (m_state & State::Captured) {
            // The state is cleared before the click is delivered, so a
            // handler that opens a modal window does not leave the button
            // drawn pressed underneath it.
            m_state &= ~(State::Captured | State::Pushed);
            invalidate();
            if (inside && m_enabled) trigger();
        }
        return;
    case UiEventKind::ContextMenu:
        if (m_contextMenuUsed && m_enabled && m_manager)
            m_manager->sendNotice(this, L"menu", event.wparam, event.lparam);
        return;
    case UiEventKind::MouseEnter:
        if (inside) {
            if (m_enabled && !(m_state & State::Hot)) {
                m_state |= State::Hot;
                invalidate();
                if (m_manager) m_manager->sendNotice(this, L"mouseenter");
                startFade();
            }
            return;
        }
        break;
    case UiEventKind::MouseLeave:
        if (inside) {
            // The mouse moved onto something lying over the button.
            if (m_manager) m_manager->wantMouseLeave(this);
            return;
        }
        if (m_enabled && (m_state & State::Hot)) {
            m_state &= ~State::Hot;
            invalidate();
            if (m_manager) m_manager->sendNotice(this, L"mouseleave");
            startFade();
        }
        if (m_manager) m_manager->removeMouseLeave(this);
        return;
    case UiEventKind::SetCursor:
        applyCursor();
        return;
    case UiEventKind::Timer:
        if (event.wparam == kFadeTimer) {
            onFadeTick();
            return;
        }
        break;
    default:
        break;
    }
    CLabelUI::handleEvent(event);
}

// --- Attributes ---

void CButtonUI::setImage(ImageDescription& image, std::wstring_view description) {
    if (image.description == description && image.image) return;
    image.setDescription(description);
    invalidate();
}

void CButtonUI::assignFiveStatusImage(std::wstring_view description) {
    ImageDescription* parts[5] = {&m_images.normal, &m_images.pushed, &m_images.hot, &m_images.focused,
                                  &m_images.disabled};
    for (ImageDescription* part : parts) part->setDescription(description);
    if (render::resolveImageDescription(m_manager, m_images.normal) && m_images.normal.image) {
        const int w5 = m_images.normal.image->unitWidth() / 5;
        const int h = m_images.normal.image->unitHeight();
        for (int i = 0; i < 5; ++i) {
            render::resolveImageDescription(m_manager, *parts[i]);
            parts[i]->source = {i * w5, 0, (i + 1) * w5, h};
        }
        if (m_floating && m_fixedWidth == 0 && m_fixedHeight == 0) {
            assignFixedWidth(w5);
            assignFixedHeight(h);
        }
    }
    invalidate();
}

void CButtonUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"normalimage")
        setImage(m_images.normal, value);
    else if (name == L"hotimage")
        setImage(m_images.hot, value);
    else if (name == L"hotforeimage")
        setImage(m_images.hotFore, value);
    else if (name == L"pushedimage")
        setImage(m_images.pushed, value);
    else if (name == L"focusedimage")
        setImage(m_images.focused, value);
    else if (name == L"disabledimage")
        setImage(m_images.disabled, value);
    else if (name == L"fivestatusimage")
        assignFiveStatusImage(value);
    else if (name == L"fadedelta")
        m_fadeStep = static_cast<std::uint8_t>(attr::parseInt(value));
    else if (name == L"hotbkcolor")
        m_hotBkColour = attr::parseColour(value);
    else if (name == L"hottextcolor")
        m_hotTextColour = attr::parseColour(value);
    else if (name == L"hotbordercolor")
        m_hotBorderColour = attr::parseColour(value);
    else if (name == L"pushedtextcolor")
        m_pushedTextColour = attr::parseColour(value);
    else if (name == L"focusedtextcolor")
        m_focusedTextColour = attr::parseColour(value);
    else if (name == L"focusedbkcolor")
        m_focusedBkColour = attr::parseColour(value);
    else if (name == L"cursor") {
        m_arrowCursor = value == L"arrow";
        if (m_enabled && m_manager && m_pos.contains(m_manager->lastMousePosition())) applyCursor();
    } else
        CLabelUI::applyAttribute(name, value);
}

// --- Painting ---

bool CButtonUI::drawImage(platform::Canvas& canvas, ImageDescription& image) {
    if (image.description.isEmpty()) return false;
    return render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, image);
}

bool CButtonUI::drawImageAt(platform::Canvas& canvas, ImageDescription& image, int alpha) {
    if (image.description.isEmpty()) return false;
    // Resolve first: parsing the description sets its own fade.
    if (!render::resolveImageDescription(m_manager, image)) return false;
    const std::uint8_t own = image.fade;
    image.fade = static_cast<std::uint8_t>(alpha);
    bool drawn = render::drawImageDescription(&canvas, m_manager, m_pos, m_paintRect, image);
    image.fade = own;
    return drawn;
}

void CButtonUI::drawStateImage(platform::Canvas& canvas) {
    if (hasFocus())
        m_state |= State::Focused;
    else
        m_state &= ~State::Focused;
    if (!m_enabled)
        m_state |= State::Disabled;
    else
        m_state &= ~State::Disabled;

    // The normal image, cross-faded with the hot one while fading back.
    auto drawNormal = [&] {
        if (m_fadeStep > 0 && m_fadeAlpha < 255) {
            drawImageAt(canvas, m_images.hot, 255 - m_fadeAlpha);
            drawImageAt(canvas, m_images.normal, m_fadeAlpha);
        } else {
            drawImage(canvas, m_images.normal);
        }
    };
    auto drawFore = [&](ImageDescription& stateFore) {
        if (!drawImage(canvas, stateFore)) drawImage(canvas, m_foreImage);
    };

    if (m_state & State::Disabled) {
        if (!drawImage(canvas, m_images.disabled)) drawNormal();
        return;
    }
    if (m_state & State::Pushed) {
        if (!drawImage(canvas, m_images.pushed)) drawImage(canvas, m_images.normal);
        drawFore(m_images.pushedFore);
        return;
    }
    if (m_state & State::Hot) {
        if (m_fadeStep > 0) {
            if (m_fadeAlpha != 0) drawImageAt(canvas, m_images.normal, m_fadeAlpha);
            drawImageAt(canvas, m_images.hot, 255 - m_fadeAlpha);
        } else if (!drawImage(canvas, m_images.hot)) {
            drawImage(canvas, m_images.normal);
        }
        drawFore(m_images.hotFore);
        return;
    }
    if ((m_state & State::Focused) && drawImage(canvas, m_images.focused)) {
        drawImage(canvas, m_foreImage);
        return;
    }
    drawNormal();
    drawImage(canvas, m_foreImage);
}

void CButtonUI::drawBackground(platform::Canvas& canvas) {
    if (!m_enabled) {
        if (m_disabledBkColour != 0)
            fillBackground(canvas, m_disabledBkColour);
        else
            CLabelUI::drawBackground(canvas);
        return;
    }
    if (hasFocus() && m_focusedBkColour != 0)
        fillBackground(canvas, m_focusedBkColour);
    else if ((m_state & State::Hot) && m_hotBkColour != 0)
        fillBackground(canvas, m_hotBkColour);
    else
        CLabelUI::drawBackground(canvas);
}

void CButtonUI::drawButtonText(platform::Canvas& canvas) {
    takeDefaultColours();
    if (m_text.isEmpty()) return;
    Argb colour;
    if ((m_state & State::Pushed) && m_pushedTextColour != 0)
        colour = m_pushedTextColour;
    else if ((m_state & State::Hot) && m_hotTextColour != 0)
        colour = m_hotTextColour;
    else if (hasFocus() && m_focusedTextColour != 0)
        colour = m_focusedTextColour;
    else
        colour = m_enabled ? m_textColour : m_disabledTextColour;
    if (m_effects.enabled)
        drawSolidString(canvas, colour);
    else
        drawLabelText(canvas, colour);
}

void CButtonUI::drawTextPart(platform::Canvas& canvas) { drawButtonText(canvas); }

void CButtonUI::drawBorder(platform::Canvas& canvas) {
    const bool useHot = !(hasFocus() && m_focusBorderColour != 0) && (m_state & State::Hot) && m_hotBorderColour != 0;
    if (!useHot) {
        CLabelUI::drawBorder(canvas);
        return;
    }
    const Argb own = m_borderColour;
    m_borderColour = m_hotBorderColour;
    CLabelUI::drawBorder(canvas);
    m_borderColour = own;
}
