// CMonthCalendarUI: the month page's geometry, drawing, paging and picking.
#include "ui/controls/MonthCalendarUI.h"

#include "ui/core/FormManagerUI.h"
#include "ui/core/ManagerDrawing.h"

#include <algorithm>
#include <string>

using platform::Point;
using platform::Rect;

namespace {

constexpr platform::Argb kTitleColour = 0xFF20242C;
constexpr platform::Argb kDayColour = 0xFF20242C;
constexpr platform::Argb kOtherMonthColour = 0xFFA0A6B0;
constexpr platform::Argb kSelectedBack = 0xFF3A7BD5;
constexpr platform::Argb kSelectedText = 0xFFFFFFFF;
constexpr platform::Argb kTodayFrame = 0xFFC0392B;
constexpr platform::Argb kWeekdayBack = 0xFFE8EEF7;

bool yearInRange(int year) { return year >= calendar::kFirstYear && year <= calendar::kLastYear; }

} // namespace

CMonthCalendarUI::CMonthCalendarUI() {
    m_today = calendar::today();
    if (!calendar::isValid(m_today)) m_today = {2000, 1, 1};
    m_selected = m_today;
    show(m_selected.year, m_selected.month);
}

std::wstring_view CMonthCalendarUI::typeName() const { return L"MonthCalendar"; }

void* CMonthCalendarUI::castTo(std::wstring_view name) {
    if (name == L"MonthCalendar") return this;
    return CControlUI::castTo(name);
}

unsigned CMonthCalendarUI::behaviourFlags() const { return keyboardEnabled() ? ControlFlags::TabStop : 0u; }

void CMonthCalendarUI::show(int year, int month) {
    if (m_page.year == year && m_page.month == month) return;
    m_page = calendar::monthPage(year, month);
    invalidate();
}

bool CMonthCalendarUI::assignSelected(const TDateUI& date) {
    if (!calendar::isValid(date)) return false;
    m_selected = date;
    show(date.year, date.month);
    invalidate();
    return true;
}

void CMonthCalendarUI::assignToday(const TDateUI& date) {
    if (date == m_today) return;
    m_today = date;
    invalidate();
}

bool CMonthCalendarUI::pageBy(int months) {
    const TDateUI target = calendar::addMonths(shownMonth(), months);
    if (!yearInRange(target.year)) return false;
    show(target.year, target.month);
    return true;
}

// By value: selecting may show another page, whose cells `date` could be one of.
void CMonthCalendarUI::pick(TDateUI date) {
    if (!calendar::isValid(date)) return;
    assignSelected(date);
    if (m_onPick) m_onPick(date);
}

// --- Geometry ---

Rect CMonthCalendarUI::cellRect(const Rect& pos, int index) {
    const int top = pos.top + kTitleHeight + kWeekdayHeight;
    const int row = index / 7, column = index % 7;
    const int width = pos.width(), height = std::max(0, pos.bottom - top);
    return {pos.left + width * column / 7, top + height * row / 6, pos.left + width * (column + 1) / 7,
            top + height * (row + 1) / 6};
}

int CMonthCalendarUI::cellAt(const Rect& pos, Point point) {
    for (int i = 0; i < 42; ++i)
        if (cellRect(pos, i).contains(point)) return i;
    return -1;
}

Rect CMonthCalendarUI::previousButton(const Rect& pos) {
    return {pos.left, pos.top, pos.left + kTitleHeight, pos.top + kTitleHeight};
}

Rect CMonthCalendarUI::nextButton(const Rect& pos) {
    return {pos.right - kTitleHeight, pos.top, pos.right, pos.top + kTitleHeight};
}

// --- Input ---

void CMonthCalendarUI::handleEvent(TInputEventUI& event) {
    switch (event.kind) {
    case UiEventKind::ButtonDown:
    case UiEventKind::DoubleClick: {
        if (!m_enabled) return;
        if (previousButton(m_pos).contains(event.mousePos)) {
            pageBy(-1);
        } else if (nextButton(m_pos).contains(event.mousePos)) {
            pageBy(1);
        } else if (const int cell = cellAt(m_pos, event.mousePos); cell >= 0) {
            pick(m_page.cells[static_cast<std::size_t>(cell)]);
        }
        return;
    }
    case UiEventKind::KeyDown: {
        if (!m_enabled) break;
        long long days = 0;
        int months = 0;
        switch (event.keyChar) {
        case platform::VK_LEFT:
            days = -1;
            break;
        case platform::VK_RIGHT:
            days = 1;
            break;
        case platform::VK_UP:
            days = -7;
            break;
        case platform::VK_DOWN:
            days = 7;
            break;
        case platform::VK_PRIOR:
            months = -1;
            break;
        case platform::VK_NEXT:
            months = 1;
            break;
        case platform::VK_RETURN:
            pick(m_selected);
            return;
        default:
            CControlUI::handleEvent(event);
            return;
        }
        const TDateUI next = months ? calendar::addMonths(m_selected, months)
                                    : calendar::fromDayNumber(calendar::toDayNumber(m_selected) + days);
        assignSelected(next); // refused past the supported years
        return;
    }
    default:
        break;
    }
    CControlUI::handleEvent(event);
}

// --- Painting ---

void CMonthCalendarUI::drawStateImage(platform::Canvas& canvas) {
    CControlUI::drawStateImage(canvas);
    paintContent(canvas);
}

void CMonthCalendarUI::paintContent(platform::Canvas& canvas) {
    if (!m_manager) return;
    const unsigned centred =
        platform::DT_SINGLELINE | platform::DT_CENTER | platform::DT_VCENTER | platform::DT_NOPREFIX;
    auto text = [&](Rect r, const std::wstring& s, platform::Argb colour) {
        render::drawPlainText(canvas, m_manager, r, s, colour, -1, centred);
    };
    // Title: paging buttons (greyed at the ends) and the month.
    const TDateUI before = calendar::addMonths(shownMonth(), -1);
    const TDateUI after = calendar::addMonths(shownMonth(), 1);
    text(previousButton(m_pos), L"<", yearInRange(before.year) ? kTitleColour : kOtherMonthColour);
    text(nextButton(m_pos), L">", yearInRange(after.year) ? kTitleColour : kOtherMonthColour);
    text({m_pos.left + kTitleHeight, m_pos.top, m_pos.right - kTitleHeight, m_pos.top + kTitleHeight},
         calendar::format(shownMonth(), L"yyyy-MM"), kTitleColour);
    // Weekday names.
    static const wchar_t* const kNames[] = {L"Su", L"Mo", L"Tu", L"We", L"Th", L"Fr", L"Sa"};
    const int weekdayTop = m_pos.top + kTitleHeight;
    canvas.fillRect({m_pos.left, weekdayTop, m_pos.right, weekdayTop + kWeekdayHeight}, kWeekdayBack);
    for (int c = 0; c < 7; ++c) {
        const Rect cell = cellRect(m_pos, c);
        text({cell.left, weekdayTop, cell.right, weekdayTop + kWeekdayHeight}, kNames[c], kTitleColour);
    }
    // Days.
    for (int i = 0; i < 42; ++i) {
        const TDateUI& day = m_page.cells[static_cast<std::size_t>(i)];
        if (!calendar::isValid(day)) continue;
        const Rect cell = cellRect(m_pos, i);
        const bool inMonth = day.month == m_page.month;
        platform::Argb colour = inMonth ? kDayColour : kOtherMonthColour;
        if (day == m_selected) {
            canvas.fillRect({cell.left + 1, cell.top + 1, cell.right - 1, cell.bottom - 1}, kSelectedBack);
            colour = kSelectedText;
        }
        if (day == m_today)
            canvas.drawRectangle({cell.left + 1, cell.top + 1, cell.right - 1, cell.bottom - 1},
                                 platform::Pen{kTodayFrame, 1, platform::PS_SOLID});
        text(cell, std::to_wstring(day.day), colour);
    }
}
