// Dates: the calendar arithmetic (leap years, weekdays, month pages within
// 1601–9999, formats), and the date control on the virtual display: field
// keys, and picking a day in the calendar popup.
#include "ui/controls/DateTimeUI.h"
#include "ui/controls/DateTimeWnd.h"
#include "ui/controls/MonthCalendarUI.h"

#include "platform/system/Text.h"
#include "tests/ui/SkinWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Rect;
using testsupport::SkinWindow;
using Notices = std::vector<std::string>;

namespace {

namespace vd = platform::vdisplay;

std::string iso(const TDateUI& d) { return platform::toUtf8(calendar::toIso(d)); }

Notices dateNotices(SkinWindow& w) {
    Notices out;
    for (std::string& n : w.takeNotices())
        if (n.rfind("datetimechange", 0) == 0) out.push_back(n);
    return out;
}

} // namespace

TEST(Calendar, LeapYearsMonthLengthsAndWeekdays) {
    const struct {
        int year;
        bool leap;
    } years[] = {{1601, false}, {1700, false}, {1900, false}, {2000, true}, {2023, false}, {2024, true}, {9996, true}};
    for (const auto& y : years) {
        EXPECT_EQ(calendar::isLeapYear(y.year), y.leap) << y.year;
        EXPECT_EQ(calendar::daysInMonth(y.year, 2), y.leap ? 29 : 28) << y.year;
    }
    EXPECT_EQ(calendar::daysInMonth(2023, 4), 30);
    EXPECT_EQ(calendar::daysInMonth(2023, 12), 31);
    EXPECT_EQ(calendar::daysInMonth(2023, 13), 0);

    const struct {
        TDateUI date;
        int weekday; // 0 = Sunday
    } days[] = {{{1601, 1, 1}, 1},  {{1752, 9, 14}, 4}, {{1970, 1, 1}, 4}, {{2000, 1, 1}, 6},
                {{2000, 2, 29}, 2}, {{2024, 2, 29}, 4}, {{2026, 3, 1}, 0}, {{9999, 12, 31}, 5}};
    for (const auto& d : days) EXPECT_EQ(calendar::weekday(d.date), d.weekday) << iso(d.date);

    // Day numbers run without a gap or a repeat over every supported day.
    long long n = calendar::toDayNumber({1601, 1, 1});
    TDateUI expected{1601, 1, 1};
    for (; expected.year <= 9999; ++n) {
        const TDateUI got = calendar::fromDayNumber(n);
        ASSERT_EQ(got, expected) << n;
        ASSERT_TRUE(calendar::isValid(got));
        if (++expected.day > calendar::daysInMonth(expected.year, expected.month)) {
            expected.day = 1;
            if (++expected.month > 12) {
                expected.month = 1;
                ++expected.year;
            }
        }
    }
    EXPECT_EQ(n, calendar::toDayNumber({10000, 1, 1}) + 0);
}

TEST(Calendar, MonthPages) {
    const struct {
        const char* proves;
        int year, month;
        int first, count;
        const char* firstCell;
        const char* lastCell;
    } cases[] = {
        {"leap February starting on Thursday", 2024, 2, 4, 29, "2024-01-28", "2024-03-09"},
        {"common February", 2023, 2, 3, 28, "2023-01-29", "2023-03-11"},
        {"a month beginning on Sunday starts the page", 2026, 3, 0, 31, "2026-03-01", "2026-04-11"},
        {"a month beginning on Saturday needs the sixth week", 2025, 11, 6, 30, "2025-10-26", "2025-12-06"},
        {"century without a leap day", 1900, 2, 4, 28, "1900-01-28", "1900-03-10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const calendar::MonthPage page = calendar::monthPage(c.year, c.month);
        EXPECT_EQ(page.firstOfMonth, c.first);
        EXPECT_EQ(page.dayCount, c.count);
        EXPECT_EQ(iso(page.cells[0]), c.firstCell);
        EXPECT_EQ(iso(page.cells[41]), c.lastCell);
        EXPECT_EQ(page.cells[static_cast<std::size_t>(c.first)], (TDateUI{c.year, c.month, 1}));
        EXPECT_EQ(page.cells[static_cast<std::size_t>(c.first + c.count - 1)], (TDateUI{c.year, c.month, c.count}));
    }
    // The ends of the supported years: the days beyond them are not valid cells.
    const calendar::MonthPage first = calendar::monthPage(1601, 1);
    EXPECT_EQ(first.firstOfMonth, 1);
    EXPECT_FALSE(calendar::isValid(first.cells[0]));
    EXPECT_TRUE(calendar::isValid(first.cells[1]));
    const calendar::MonthPage last = calendar::monthPage(9999, 12);
    EXPECT_TRUE(calendar::isValid(last.cells[static_cast<std::size_t>(last.firstOfMonth + 30)]));
    EXPECT_FALSE(calendar::isValid(last.cells[static_cast<std::size_t>(last.firstOfMonth + 31)]));

    // Moving by months holds the day to the month's length.
    EXPECT_EQ(iso(calendar::addMonths({2024, 1, 31}, 1)), "2024-02-29");
    EXPECT_EQ(iso(calendar::addMonths({2023, 1, 31}, 1)), "2023-02-28");
    EXPECT_EQ(iso(calendar::addMonths({2024, 3, 15}, -15)), "2022-12-15");
    EXPECT_EQ(iso(calendar::addMonths({2024, 3, 15}, 22)), "2026-01-15");
}

TEST(Calendar, FormatsAndParsing) {
    const TDateUI date{2024, 3, 5};
    const struct {
        const wchar_t* format;
        const wchar_t* expected;
    } formats[] = {{L"yyyy-MM-dd", L"2024-03-05"},           {L"d/M/yy", L"5/3/24"},
                   {L"yyyy'年'M'月'd'日'", L"2024年3月5日"}, {L"'It''s' yyyy", L"It's 2024"},
                   {L"dd.MM.yyyy ''", L"05.03.2024 '"},      {L"day d", L"5a24 5"}};
    for (const auto& f : formats) EXPECT_EQ(calendar::format(date, f.format), f.expected);
    std::vector<calendar::FieldSpan> spans;
    calendar::format(date, L"dd.MM.yyyy", &spans);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0].field, calendar::Field::Day);
    EXPECT_EQ(spans[1].start, 3u);
    EXPECT_EQ(spans[2].field, calendar::Field::Year);
    EXPECT_EQ(spans[2].length, 4u);

    const struct {
        const wchar_t* text;
        bool ok;
    } texts[] = {{L"2024-02-29", true},   {L"1601-01-01", true},  {L"9999-12-31", true},  {L"1600-12-31", false},
                 {L"10000-01-01", false}, {L"2023-02-29", false}, {L"2024-2-01", false},  {L"2024-13-01", false},
                 {L"2024-00-10", false},  {L"2024-01-00", false}, {L"2024/01/01", false}, {L"", false},
                 {L"2024-01-0x", false}};
    for (const auto& t : texts) {
        TDateUI parsed{2000, 6, 15};
        EXPECT_EQ(calendar::parseIso(t.text, parsed), t.ok) << platform::toUtf8(t.text);
        if (!t.ok)
            EXPECT_EQ(parsed, (TDateUI{2000, 6, 15})) << "left unchanged";
        else
            EXPECT_EQ(calendar::toIso(parsed), t.text);
    }
}

TEST(DateTime, FieldKeysAndLimits) {
    SkinWindow w(LR"(<Window><VBox><DateTime name="d" date="2024-01-31" height="24"/>
      <DateTime name="bad" date="1600-12-31" format="d/M/yyyy" height="24"/><Control/></VBox></Window>)",
                 {200, 100});
    ASSERT_TRUE(w.built());
    auto* d = w.as<CDateTimeUI>(L"d", L"DateTime");
    auto* bad = w.as<CDateTimeUI>(L"bad", L"DateTime");
    ASSERT_TRUE(d && bad);
    EXPECT_EQ(d->textValue(), L"2024-01-31");
    EXPECT_EQ(bad->date(), calendar::today()) << "a date before 1601 is refused";
    EXPECT_FALSE(d->assignDate({10000, 1, 1}));
    EXPECT_FALSE(d->assignDate({2023, 2, 29}));
    EXPECT_EQ(iso(d->date()), "2024-01-31");

    d->takeFocus();
    SkinWindow::settle();
    w.takeNotices();
    // Day: wraps within the month.
    w.key(platform::VK_UP);
    EXPECT_EQ(iso(d->date()), "2024-01-01");
    w.key(platform::VK_DOWN);
    // Month: wraps within the year, the day held to February's length.
    w.key(platform::VK_LEFT);
    EXPECT_EQ(d->focusedField(), calendar::Field::Month);
    w.key(platform::VK_UP);
    EXPECT_EQ(iso(d->date()), "2024-02-29");
    // Year: to a common year, then stops at 9999.
    w.key(platform::VK_LEFT);
    w.key(platform::VK_LEFT); // already the first field
    EXPECT_EQ(d->focusedField(), calendar::Field::Year);
    w.key(platform::VK_DOWN);
    EXPECT_EQ(iso(d->date()), "2023-02-28");
    EXPECT_EQ(d->textValue(), L"2023-02-28");
    ASSERT_TRUE(d->assignDate({9999, 12, 31}));
    w.key(platform::VK_UP);
    EXPECT_EQ(iso(d->date()), "9999-12-31");
    EXPECT_EQ(dateNotices(w), (Notices{"datetimechange:d", "datetimechange:d", "datetimechange:d", "datetimechange:d"}))
        << "one per change; none for a refused step or a date set by code";

    // Without a day in the format the keys change the last field shown; with no field, nothing.
    bad->assignFormat(L"MM/yyyy");
    EXPECT_EQ(bad->focusedField(), calendar::Field::Year);
    ASSERT_TRUE(bad->assignDate({2024, 5, 31}));
    EXPECT_TRUE(bad->stepField(1));
    EXPECT_EQ(iso(bad->date()), "2025-05-31");
    bad->assignFormat(L"'today'");
    EXPECT_FALSE(bad->stepField(1));
    EXPECT_EQ(bad->textValue(), L"today");
}

TEST(DateTime, PickingADayInThePopup) {
    SkinWindow w(LR"(<Window><VBox><DateTime name="d" date="2024-02-10" height="24"/><Control/>
      <Button name="elsewhere" height="30"/></VBox></Window>)",
                 {240, 300});
    ASSERT_TRUE(w.built());
    auto* d = w.as<CDateTimeUI>(L"d", L"DateTime");
    ASSERT_NE(d, nullptr);
    w.takeNotices();

    // Opens under the control as an owned top-level window, on the date's month.
    w.click(L"d");
    ASSERT_TRUE(d->isOpen());
    platform::WindowHandle popup = d->popup()->windowHandle();
    const platform::Point below = w.screen({0, 24});
    EXPECT_EQ(platform::windowRect(popup), (Rect{below.x, below.y, below.x + 210, below.y + 196}));
    EXPECT_EQ(vd::stackingOrder().front(), popup);
    CMonthCalendarUI* cal = d->popup()->calendar();
    EXPECT_EQ(cal->shownMonth(), (TDateUI{2024, 2, 1}));
    EXPECT_EQ(cal->selected(), (TDateUI{2024, 2, 10}));
    // Today is framed, the selected day filled.
    cal->assignToday({2024, 2, 14});
    SkinWindow::settle();
    const Rect todayCell = CMonthCalendarUI::cellRect(cal->bounds(), cal->page().firstOfMonth + 13);
    const Rect selectedCell = CMonthCalendarUI::cellRect(cal->bounds(), cal->page().firstOfMonth + 9);
    vd::Snapshot shot;
    ASSERT_TRUE(vd::windowPixels(popup, shot));
    EXPECT_EQ(shot.at(todayCell.left + 1, todayCell.top + 1) & 0xFFFFFFu, 0xC0392Bu);
    EXPECT_EQ(shot.at(selectedCell.left + 2, selectedCell.top + 2) & 0xFFFFFFu, 0x3A7BD5u);

    auto clickIn = [&](const Rect& r) {
        vd::click(platform::clientToScreen(popup, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
        SkinWindow::settle();
    };
    // Page to March and pick the 20th: closed, the date taken, one notice.
    clickIn(CMonthCalendarUI::nextButton(cal->bounds()));
    EXPECT_EQ(cal->shownMonth(), (TDateUI{2024, 3, 1}));
    const calendar::MonthPage& page = cal->page();
    clickIn(CMonthCalendarUI::cellRect(cal->bounds(), page.firstOfMonth + 19));
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(iso(d->date()), "2024-03-20");
    EXPECT_EQ(d->textValue(), L"2024-03-20");
    EXPECT_EQ(dateNotices(w), (Notices{"datetimechange:d"}));

    // A grey day of the next month picks it too; keys in the popup move and Return picks.
    w.click(L"d");
    ASSERT_TRUE(d->isOpen());
    popup = d->popup()->windowHandle();
    cal = d->popup()->calendar();
    EXPECT_EQ(cal->shownMonth(), (TDateUI{2024, 3, 1}));
    clickIn(CMonthCalendarUI::cellRect(cal->bounds(), 41));
    EXPECT_EQ(iso(d->date()), "2024-04-06");
    w.click(L"d");
    ASSERT_TRUE(d->isOpen());
    w.key(platform::VK_DOWN);
    w.key(platform::VK_LEFT);
    w.key(platform::VK_NEXT);
    w.key(platform::VK_RETURN);
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(iso(d->date()), "2024-05-12");
    EXPECT_EQ(dateNotices(w), (Notices{"datetimechange:d", "datetimechange:d"}));

    // Escape and a click elsewhere close without a change.
    w.click(L"d");
    w.key(platform::VK_RIGHT);
    w.key(platform::VK_ESCAPE);
    EXPECT_FALSE(d->isOpen());
    w.click(L"d");
    ASSERT_TRUE(d->isOpen());
    w.click(L"elsewhere");
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(iso(d->date()), "2024-05-12");
    EXPECT_EQ(dateNotices(w), Notices{});

    // The window goes with the popup open: the popup closes first.
    w.click(L"d");
    ASSERT_TRUE(d->isOpen());
}

TEST(DateTime, CalendarStopsAtTheSupportedYears) {
    CMonthCalendarUI cal;
    ASSERT_TRUE(cal.assignSelected({1601, 1, 5}));
    EXPECT_FALSE(cal.pageBy(-1));
    EXPECT_EQ(cal.shownMonth(), (TDateUI{1601, 1, 1}));
    EXPECT_FALSE(cal.assignSelected({1600, 12, 31}));
    ASSERT_TRUE(cal.assignSelected({9999, 12, 30}));
    EXPECT_FALSE(cal.pageBy(1));
    EXPECT_TRUE(cal.pageBy(-1));
    EXPECT_EQ(cal.shownMonth(), (TDateUI{9999, 11, 1}));
}
