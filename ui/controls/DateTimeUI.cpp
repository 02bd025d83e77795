// CDateTimeUI: the shown date, field keys and the calendar popup.
#include "ui/controls/DateTimeUI.h"

#include "platform/window/Window.h"
#include "ui/controls/DateTimeWnd.h"
#include "ui/controls/MonthCalendarUI.h"
#include "ui/controls/PopupPlacement.h"
#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <vector>

using calendar::Field;
using platform::Rect;

CDateTimeUI::CDateTimeUI() {
    m_date = calendar::today();
    if (!calendar::isValid(m_date)) m_date = {2000, 1, 1};
    refreshText();
}

CDateTimeUI::~CDateTimeUI() {
    if (m_popup) {
        CDateTimeWnd* popup = m_popup;
        m_popup = nullptr;
        popup->close();
    }
}

std::wstring_view CDateTimeUI::typeName() const { return L"DateTime"; }

void* CDateTimeUI::castTo(std::wstring_view name) {
    if (name == L"DateTime") return this;
    return CLabelUI::castTo(name);
}

unsigned CDateTimeUI::behaviourFlags() const { return keyboardEnabled() ? ControlFlags::TabStop : 0u; }

void CDateTimeUI::refreshText() { assignText(calendar::format(m_date, m_format.view())); }

bool CDateTimeUI::assignDate(const TDateUI& date) {
    if (!calendar::isValid(date)) return false;
    if (date == m_date) return true;
    m_date = date;
    refreshText();
    return true;
}

void CDateTimeUI::assignFormat(std::wstring_view format) {
    if (m_format == format) return;
    m_format = format.empty() ? std::wstring_view(L"yyyy-MM-dd") : format;
    // The keys change a field that can be seen: the last one shown when the
    // focused one is not.
    std::vector<calendar::FieldSpan> spans;
    calendar::format(m_date, m_format.view(), &spans);
    if (!spans.empty() && std::none_of(spans.begin(), spans.end(), [&](const auto& s) { return s.field == m_field; }))
        m_field = spans.back().field;
    refreshText();
}

void CDateTimeUI::userDate(const TDateUI& date) {
    if (date == m_date || !assignDate(date)) return;
    if (m_manager) m_manager->sendNotice(this, L"datetimechange");
}

void CDateTimeUI::pickFromPopup(const TDateUI& date) { userDate(date); }

bool CDateTimeUI::stepField(int delta) {
    std::vector<calendar::FieldSpan> spans;
    calendar::format(m_date, m_format.view(), &spans);
    if (spans.empty()) return false; // no field is shown to change
    TDateUI next = m_date;
    auto wrap = [](int value, int count) { return ((value - 1) % count + count) % count + 1; };
    switch (m_field) {
    case Field::Year:
        next.year = std::clamp(m_date.year + delta, calendar::kFirstYear, calendar::kLastYear);
        break;
    case Field::Month:
        next.month = wrap(m_date.month + delta, 12);
        break;
    case Field::Day:
        next.day = wrap(m_date.day + delta, calendar::daysInMonth(m_date.year, m_date.month));
        break;
    }
    next.day = std::min(next.day, calendar::daysInMonth(next.year, next.month));
    const TDateUI before = m_date;
    userDate(next);
    return m_date != before;
}

void CDateTimeUI::moveField(int direction) {
    std::vector<calendar::FieldSpan> spans;
    calendar::format(m_date, m_format.view(), &spans);
    if (spans.empty()) return;
    std::size_t at = 0;
    while (at < spans.size() && spans[at].field != m_field) ++at;
    if (at == spans.size()) {
        m_field = spans.front().field;
    } else {
        const auto next = static_cast<long long>(at) + direction;
        if (next < 0 || next >= static_cast<long long>(spans.size())) return;
        m_field = spans[static_cast<std::size_t>(next)].field;
    }
    invalidate();
}

// --- The popup ---

bool CDateTimeUI::open() {
    if (m_popup || !m_enabled || !m_manager || !m_manager->hostWindow()) return false;
    platform::WindowHandle host = m_manager->hostWindow();
    const platform::Point topLeft = platform::clientToScreen(host, {m_pos.left, m_pos.top});
    const Rect screen = Rect::fromSize(topLeft.x, topLeft.y, m_pos.width(), m_pos.height());
    const Rect rect = popup::placeUnder(screen, toDevice(m_dropBox), platform::workAreaNear(host));
    m_popup = new CDateTimeWnd(this);
    if (!m_popup->openAt(rect)) {
        delete m_popup;
        m_popup = nullptr;
        return false;
    }
    invalidate();
    return true;
}

void CDateTimeUI::close() {
    if (m_popup) m_popup->close();
}

// --- Events, attributes, painting ---

void CDateTimeUI::handleEvent(TInputEventUI& event) {
    switch (event.kind) {
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick:
        if (m_enabled) {
            if (isOpen())
                close();
            else
                open();
        }
        return;
    case UiEventKind::KeyDown:
        if (!m_enabled) break;
        switch (event.keyChar) {
        case platform::VK_UP:
            stepField(1);
            return;
        case platform::VK_DOWN:
            stepField(-1);
            return;
        case platform::VK_LEFT:
            moveField(-1);
            return;
        case platform::VK_RIGHT:
            moveField(1);
            return;
        default:
            break;
        }
        break;
    case UiEventKind::SetFocus:
    case UiEventKind::KillFocus:
        invalidate();
        break;
    default:
        break;
    }
    CLabelUI::handleEvent(event);
}

void CDateTimeUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"format") {
        assignFormat(value);
    } else if (name == L"date") {
        TDateUI date;
        if (calendar::parseIso(value, date)) assignDate(date);
    } else if (name == L"dropboxsize" || name == L"dropbox") {
        const platform::Size size = attr::parseSize(value);
        if (size.cx > 0 && size.cy > 0) m_dropBox = size;
    } else {
        CLabelUI::applyAttribute(name, value);
    }
}

void CDateTimeUI::drawTextPart(platform::Canvas& canvas) {
    CLabelUI::drawTextPart(canvas);
    if (!m_focused || !m_manager || m_effects.enabled || m_showHtml) return;
    // A line under the field the keys change.
    std::vector<calendar::FieldSpan> spans;
    const std::wstring text = calendar::format(m_date, m_format.view(), &spans);
    const auto span = std::find_if(spans.begin(), spans.end(), [&](const auto& s) { return s.field == m_field; });
    if (span == spans.end()) return;
    auto widthOf = [&](std::wstring_view part) {
        Rect r{0, 0, 30000, 1000};
        render::drawPlainText(canvas, m_manager, r, part, 0, m_font,
                              platform::DT_SINGLELINE | platform::DT_NOPREFIX | platform::DT_CALCRECT);
        return r;
    };
    const Rect whole = widthOf(text);
    const int before = widthOf(std::wstring_view(text).substr(0, span->start)).width();
    const int fieldWidth = widthOf(std::wstring_view(text).substr(span->start, span->length)).width();
    const Rect area = textRect();
    int left = area.left;
    if (m_textStyle & platform::DT_CENTER)
        left += (area.width() - whole.width()) / 2;
    else if (m_textStyle & platform::DT_RIGHT)
        left = area.right - whole.width();
    const int bottom = (m_textStyle & platform::DT_VCENTER) ? area.top + (area.height() + whole.height()) / 2
                                                            : area.top + whole.height();
    platform::Argb colour = m_enabled ? m_textColour : m_disabledTextColour;
    canvas.fillRect({left + before, bottom, left + before + fieldWidth, bottom + 2}, colour);
}
