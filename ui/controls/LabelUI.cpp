// CLabelUI: measuring, attributes and the three ways a label draws its text.
#include "ui/controls/LabelUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <cmath>

using platform::Argb;
using platform::Rect;
using platform::Size;

namespace {

constexpr int kUnboundedExtent = 99999;

bool isOpaque(Argb colour) { return (colour >> 24) == 0xFF; }

} // namespace

CLabelUI::CLabelUI() = default;

std::wstring_view CLabelUI::typeName() const { return L"Label"; }

void* CLabelUI::castTo(std::wstring_view name) {
    if (name == L"Label") return this;
    return CControlUI::castTo(name);
}

// --- Settings ---

void CLabelUI::assignText(std::wstring_view text) {
    if (m_text == text) return;
    CControlUI::assignText(text);
    markMeasureStale();
    // A label that sizes itself to its text must be laid out again, or a
    // longer text would be cut to the old size.
    if (m_autoWidth || m_autoHeight) scheduleParentLayout();
}

void CLabelUI::assignFixedWidth(int width) {
    CControlUI::assignFixedWidth(width);
    markMeasureStale();
}

void CLabelUI::assignFixedHeight(int height) {
    CControlUI::assignFixedHeight(height);
    markMeasureStale();
}

void CLabelUI::assignTextStyle(unsigned style) {
    style &= kStyleMask;
    if (style == m_textStyle) return;
    m_textStyle = style;
    markMeasureStale();
    invalidate();
}

void CLabelUI::assignTextColour(Argb colour) {
    if (colour != 0 && (colour >> 24) == 0) colour |= 0xFF000000;
    if (colour == m_textColour) return;
    m_textColour = colour;
    invalidate();
}

void CLabelUI::assignDisabledTextColour(Argb colour) {
    if (colour == m_disabledTextColour) return;
    m_disabledTextColour = colour;
    invalidate();
}

void CLabelUI::assignDisabledBkColour(Argb colour) {
    if (colour == m_disabledBkColour) return;
    m_disabledBkColour = colour;
    invalidate();
}

void CLabelUI::assignFont(int index) {
    m_font = index;
    markMeasureStale();
    invalidate();
}

void CLabelUI::assignTextPadding(const Rect& padding) {
    m_textPadding = padding;
    markMeasureStale();
    invalidate();
}

void CLabelUI::assignShowHtml(bool on) {
    m_showHtml = on;
    markMeasureStale();
    invalidate();
}

void CLabelUI::assignMultiLine(bool on) {
    if (on)
        m_textStyle = (m_textStyle & ~platform::DT_SINGLELINE) | platform::DT_WORDBREAK;
    else
        m_textStyle |= platform::DT_SINGLELINE;
    markMeasureStale();
    invalidate();
}

platform::Point CLabelUI::shadowOffset() const {
    constexpr double kPi = 3.14159265358979323846;
    double radians = m_effects.shadowAngle * kPi / 180.0;
    // The distance is a skin length: it grows with the window's scale.
    const int distance = toDevice(m_effects.shadowDistance);
    return {static_cast<int>(std::lround(distance * std::cos(radians))),
            static_cast<int>(std::lround(distance * std::sin(radians)))};
}

void CLabelUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    using platform::DT_BOTTOM;
    using platform::DT_CENTER;
    using platform::DT_RIGHT;
    using platform::DT_VCENTER;
    auto contains = [&](std::wstring_view what) { return value.find(what) != std::wstring_view::npos; };
    if (name == L"align") {
        // Tested in this order, so "center right" ends right-aligned.
        unsigned style = m_textStyle;
        if (contains(L"left")) style &= ~(DT_CENTER | DT_RIGHT);
        if (contains(L"center")) style = (style & ~DT_RIGHT) | DT_CENTER;
        if (contains(L"right")) style = (style & ~DT_CENTER) | DT_RIGHT;
        m_textStyle = style;
        invalidate();
    } else if (name == L"valign") {
        unsigned style = m_textStyle;
        if (contains(L"top")) style &= ~(DT_VCENTER | DT_BOTTOM);
        if (contains(L"vcenter")) style = (style & ~DT_BOTTOM) | DT_VCENTER;
        if (contains(L"bottom")) style = (style & ~DT_VCENTER) | DT_BOTTOM;
        m_textStyle = style;
        invalidate();
    } else if (name == L"endellipsis") {
        if (attr::parseBool(value))
            m_textStyle |= platform::DT_END_ELLIPSIS;
        else
            m_textStyle &= ~platform::DT_END_ELLIPSIS;
        invalidate();
    } else if (name == L"font") {
        assignFont(attr::parseInt(value));
    } else if (name == L"textcolor") {
        assignTextColour(attr::parseColour(value));
    } else if (name == L"disabledtextcolor") {
        assignDisabledTextColour(attr::parseColour(value));
    } else if (name == L"disabledbkcolor") {
        assignDisabledBkColour(attr::parseColour(value));
    } else if (name == L"textpadding") {
        assignTextPadding(attr::parseRect(value));
    } else if (name == L"multiline") {
        assignMultiLine(attr::parseBool(value));
    } else if (name == L"showhtml") {
        assignShowHtml(attr::parseBool(value));
    } else if (name == L"enabledeffect") {
        m_effects.enabled = attr::parseBool(value);
        markMeasureStale();
        invalidate();
    } else if (name == L"enabledluminous") {
        m_effects.luminous = attr::parseBool(value);
        invalidate();
    } else if (name == L"luminousfuzzy") {
        double f = attr::parseDouble(value);
        if (f >= 0.0001) m_effects.luminousFuzzy = static_cast<float>(f);
        invalidate();
    } else if (name == L"enabledstroke") {
        m_effects.stroke = attr::parseBool(value);
        invalidate();
    } else if (name == L"strokecolor") {
        m_effects.strokeColour = attr::parseColour(value);
        invalidate();
    } else if (name == L"enabledshadow") {
        m_effects.shadow = attr::parseBool(value);
        invalidate();
    } else if (name == L"textshadowcolora") {
        m_effects.shadowColourA = attr::parseColour(value);
        invalidate();
    } else if (name == L"textshadowcolorb") {
        m_effects.shadowColourB = attr::parseColour(value);
        invalidate();
    } else if (name == L"shadowoffset") {
        int values[2] = {};
        attr::parseIntList(value, values, 2);
        m_effects.shadowDistance = values[0];
        m_effects.shadowAngle = std::clamp(values[1], -180, 180);
        invalidate();
    } else if (name == L"textcolor1") {
        m_effects.textColour1 = attr::parseColour(value);
        invalidate();
    } else if (name == L"gradientangle") {
        m_effects.gradientAngle = attr::parseInt(value);
        invalidate();
    } else if (name == L"gradientlength") {
        m_effects.gradientLength = attr::parseInt(value);
        invalidate();
    } else if (name == L"rhaa") {
        m_effects.renderingHint = attr::parseInt(value);
        invalidate();
    } else {
        // "autocalwidth", "autocalheight" and everything else.
        CControlUI::applyAttribute(name, value);
    }
}

// --- Measuring ---

CStringUI CLabelUI::expandedText() const {
    CStringUI text = m_text;
    CFormManagerUI::expandTextIds(text);
    return text;
}

Size CLabelUI::measure(Size available) {
    if (fixedWidth() > 0 && fixedHeight() > 0) return {fixedWidth(), fixedHeight()};
    // Only a multi-line label without a fixed width depends on the available
    // size (its width limit); for every other label the layouts' several
    // questions with different sizes share one measurement.
    const bool dependsOnAvailable = !(m_textStyle & platform::DT_SINGLELINE) && fixedWidth() <= 0;
    if (dependsOnAvailable && available != m_measureAvailable) m_measureStale = true;
    const double scale = m_manager ? m_manager->scale() : 1.0;
    if (scale != m_measuredScale) m_measureStale = true;
    if (!m_measureStale) return m_measured;
    m_measureAvailable = available;
    m_measuredScale = scale;
    // Without a window there are no fonts: such an answer is not kept.
    m_measureStale = m_manager == nullptr;

    const Rect pad = textPadding();
    const int padX = pad.left + pad.right;
    const int padY = pad.top + pad.bottom;
    Rect limit;
    if (m_textStyle & platform::DT_SINGLELINE) {
        if (fixedWidth() > 0) {
            m_measured = {fixedWidth(), fixedHeight()};
            return m_measured;
        }
        int fontHeight = m_manager ? m_manager->fontInfo(m_font).metrics.height : defaultFontHeight();
        limit = {0, 0, kUnboundedExtent, fixedHeight() > 0 ? fixedHeight() : fontHeight + toDevice(8) + padY};
    } else {
        limit = {0, 0, fixedWidth() > 0 ? fixedWidth() : available.cx,
                 fixedHeight() > 0 ? fixedHeight() : kUnboundedExtent};
    }

    Rect extent = limit;
    if (m_manager && !m_text.isEmpty()) {
        unsigned flags = (m_textStyle & ~(platform::DT_CENTER | platform::DT_RIGHT)) | platform::DT_CALCRECT;
        platform::Canvas& canvas = m_manager->windowCanvas();
        if (m_showHtml) {
            int none = 0;
            render::drawRichText(canvas, m_manager, extent, m_text.view(), 0, nullptr, nullptr, none, m_font, flags);
        } else {
            render::drawPlainText(canvas, m_manager, extent, m_text.view(), 0, m_font, flags);
        }
    } else {
        extent = {};
    }

    Size size;
    size.cx = fixedWidth() > 0 ? fixedWidth() : extent.width() + padX;
    size.cy = fixedHeight() > 0 ? fixedHeight() : extent.height() + padY;
    if (m_effects.enabled && fixedWidth() <= 0) size.cx = static_cast<int>(size.cx * 1.03);
    m_measured = size;
    return m_measured;
}

// --- Events ---

void CLabelUI::handleEvent(TInputEventUI& event) {
    if (event.kind == UiEventKind::SetFocus) {
        m_focused = true;
        return;
    }
    if (event.kind == UiEventKind::KillFocus) {
        m_focused = false;
        return;
    }
    CControlUI::handleEvent(event);
}

// --- Painting ---

void CLabelUI::fillBackground(platform::Canvas& canvas, Argb colour) {
    colour = tintColour(colour);
    render::fillColour(canvas, isOpaque(colour) ? m_paintRect : m_pos, colour);
}

void CLabelUI::drawBackground(platform::Canvas& canvas) {
    if (!m_enabled && m_disabledBkColour != 0) {
        fillBackground(canvas, m_disabledBkColour);
        return;
    }
    CControlUI::drawBackground(canvas);
}

void CLabelUI::takeDefaultColours() {
    if (!m_manager) return;
    if (m_textColour == 0) m_textColour = m_manager->defaultTextColour();
    if (m_disabledTextColour == 0) m_disabledTextColour = m_manager->disabledTextColour();
}

Rect CLabelUI::textRect() const {
    const Rect pad = textPadding();
    return {m_pos.left + pad.left, m_pos.top + pad.top, m_pos.right - pad.right, m_pos.bottom - pad.bottom};
}

void CLabelUI::drawTextPart(platform::Canvas& canvas) {
    takeDefaultColours();
    if (m_text.isEmpty()) return;
    drawLabelText(canvas, m_enabled ? m_textColour : m_disabledTextColour);
}

void CLabelUI::drawLabelText(platform::Canvas& canvas, Argb colour) {
    if (!m_manager || m_text.isEmpty()) return;
    if (m_effects.enabled) {
        drawEffectText(canvas, colour);
        return;
    }
    Rect rect = textRect();
    if (m_showHtml) {
        int none = 0;
        render::drawRichText(canvas, m_manager, rect, m_text.view(), colour, nullptr, nullptr, none, m_font,
                             m_textStyle);
    } else {
        render::drawPlainText(canvas, m_manager, rect, m_text.view(), colour, m_font, m_textStyle);
    }
}

namespace {

platform::StringFormat stringFormat(unsigned style, int hint) {
    platform::StringFormat format;
    format.lineAlignment = (style & platform::DT_VCENTER)  ? platform::StringFormat::Center
                           : (style & platform::DT_BOTTOM) ? platform::StringFormat::Far
                                                           : platform::StringFormat::Near;
    format.alignment = (style & platform::DT_CENTER)  ? platform::StringFormat::Center
                       : (style & platform::DT_RIGHT) ? platform::StringFormat::Far
                                                      : platform::StringFormat::Near;
    format.noWrap = (style & platform::DT_SINGLELINE) != 0;
    format.renderingHint = hint;
    return format;
}

platform::RectF toRectF(const Rect& r) {
    return {static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.width()),
            static_cast<float>(r.height())};
}

} // namespace

void CLabelUI::drawSolidString(platform::Canvas& canvas, Argb colour) {
    if (!m_manager || m_text.isEmpty()) return;
    const FontRecord& font = m_manager->fontInfo(m_font);
    if (!font.font) return;
    platform::LinearBrush brush{colour, colour, {0, 0}, {0, 1}};
    canvas.drawString(expandedText().view(), *font.font, toRectF(textRect()),
                      stringFormat(m_textStyle, m_effects.renderingHint), brush);
}

void CLabelUI::drawEffectText(platform::Canvas& canvas, Argb colour) {
    const FontRecord& fontRecord = m_manager->fontInfo(m_font);
    if (!fontRecord.font) return;
    const platform::Font& font = *fontRecord.font;
    const CStringUI text = expandedText();
    const Rect rect = textRect();
    if (rect.isEmpty()) return;
    const platform::StringFormat format = stringFormat(m_textStyle, m_effects.renderingHint);
    const platform::Point offset = shadowOffset();

    // The gradient runs from (angle, 0) to (0, length), measured from the
    // text rectangle's top-left so that it starts at the text wherever the
    // label sits.
    const float length =
        static_cast<float>(m_effects.gradientLength != 0 ? toDevice(m_effects.gradientLength) : rect.height());
    const int angleOffset = toDevice(m_effects.gradientAngle);
    auto brushAt = [&](const Rect& r, Argb from, Argb to) {
        return platform::LinearBrush{from,
                                     to,
                                     {static_cast<float>(r.left + angleOffset), static_cast<float>(r.top)},
                                     {static_cast<float>(r.left), static_cast<float>(r.top) + length}};
    };
    const Argb textTo = m_effects.textColour1 == 0xFFFFFFFF ? colour : m_effects.textColour1;
    const Argb shadowTo = m_effects.shadowColourB == 0xFFFFFFFF ? m_effects.shadowColourA : m_effects.shadowColourB;
    const Rect shadowRect = rect.offset(offset.x, offset.y);

    // (1) Glow: the text drawn small and scaled back up, which blurs it.
    if (m_effects.luminous) {
        platform::Surface full(rect.width(), rect.height());
        {
            platform::Canvas c(full);
            Rect local{0, 0, rect.width(), rect.height()};
            c.drawString(text.view(), font, toRectF(local), format, brushAt(local, m_effects.shadowColourA, shadowTo));
        }
        const float factor = std::max(1.0f, m_effects.luminousFuzzy);
        int smallW = std::max(1, static_cast<int>(rect.width() / factor));
        int smallH = std::max(1, static_cast<int>(rect.height() / factor));
        platform::Surface small(smallW, smallH);
        {
            platform::Canvas c(small);
            c.drawSurfaceSmooth(full, {0, 0, static_cast<float>(smallW), static_cast<float>(smallH)}, full.bounds());
        }
        canvas.drawSurfaceSmooth(small, toRectF(shadowRect), small.bounds());
    }
    // (2) Stroke: the text four times around its place.
    if (m_effects.stroke && m_effects.strokeColour != 0) {
        static constexpr int kAround[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        const int unit = toDevice(1); // one skin unit around
        for (const auto& d : kAround) {
            Rect r = rect.offset(d[0] * unit, d[1] * unit);
            canvas.drawString(text.view(), font, toRectF(r), format,
                              brushAt(r, m_effects.strokeColour, m_effects.strokeColour));
        }
    }
    // (3) Shadow.
    if (m_effects.shadow && m_effects.shadowColourA != 0)
        canvas.drawString(text.view(), font, toRectF(shadowRect), format,
                          brushAt(shadowRect, m_effects.shadowColourA, shadowTo));
    // (4) The text.
    canvas.drawString(text.view(), font, toRectF(rect), format, brushAt(rect, colour, textTo));
}
