// A month page of days to pick one from: the content of the date
// control's popup.
#pragma once

#include "ui/controls/CalendarDate.h"
#include "ui/core/ControlUI.h"

#include <functional>

// Shows one month: a title row with the month ("yyyy-MM") between buttons
// for the previous and next month, a row of weekday names (Sunday first),
// and six weeks of days. Days of the neighbouring months are grey, today
// is framed, the selected day filled. A click on a day (or Return) picks it
// through the pick handler; the arrow keys move the selection by a day or a
// week, PageUp/PageDown by a month, and the page follows. Nothing outside
// 1601-01-01..9999-12-31 is shown or reachable. UI thread only.
class CMonthCalendarUI : public CControlUI {
public:
    CMonthCalendarUI();

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    void handleEvent(TInputEventUI& event) override;
    void paintContent(platform::Canvas& canvas);
    void drawStateImage(platform::Canvas& canvas) override;

    // Called with the day picked.
    void setPickHandler(std::function<void(const TDateUI&)> handler) { m_onPick = std::move(handler); }
    const TDateUI& selected() const { return m_selected; }
    // Selects a valid `date` and shows its month; false (nothing changes) otherwise.
    bool assignSelected(const TDateUI& date);
    const TDateUI& today() const { return m_today; }
    void assignToday(const TDateUI& date);
    // The month shown (its 1st).
    TDateUI shownMonth() const { return {m_page.year, m_page.month, 1}; }
    // Shows the month `months` away; false at the ends of the supported years.
    bool pageBy(int months);
    const calendar::MonthPage& page() const { return m_page; }

    // --- Geometry of a calendar at `pos` ---
    static constexpr int kTitleHeight = 28;
    static constexpr int kWeekdayHeight = 22;
    static platform::Rect cellRect(const platform::Rect& pos, int index);
    // The cell under `point`, or -1.
    static int cellAt(const platform::Rect& pos, platform::Point point);
    static platform::Rect previousButton(const platform::Rect& pos);
    static platform::Rect nextButton(const platform::Rect& pos);

private:
    void show(int year, int month);
    void pick(TDateUI date);

    calendar::MonthPage m_page;
    TDateUI m_selected;
    TDateUI m_today;
    std::function<void(const TDateUI&)> m_onPick;
};
