// Calendar dates for the date controls: validity within the supported
// years, weekdays, month pages, formatting and parsing.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// A day of the proleptic Gregorian calendar. Plain value; any thread.
struct TDateUI {
    int year = 1601;
    int month = 1; // 1..12
    int day = 1;   // 1..daysInMonth

    friend bool operator==(const TDateUI&, const TDateUI&) = default;
    friend auto operator<=>(const TDateUI&, const TDateUI&) = default;
};

namespace calendar {

// The years the date controls accept: dates outside them are refused.
inline constexpr int kFirstYear = 1601;
inline constexpr int kLastYear = 9999;

bool isLeapYear(int year);
// 28..31; 0 for a month outside 1..12.
int daysInMonth(int year, int month);
// A real day within kFirstYear..kLastYear.
bool isValid(const TDateUI& date);
// 0 = Sunday ... 6 = Saturday.
int weekday(const TDateUI& date);
// Days since 1970-01-01 (negative before it), and back.
long long toDayNumber(const TDateUI& date);
TDateUI fromDayNumber(long long days);
// The local date now.
TDateUI today();

// The page a month calendar shows: six weeks of seven days, Sunday first,
// the first row holding the 1st of the month. A cell outside the supported
// years is not valid (isValid false), and is shown empty.
struct MonthPage {
    int year = 0;
    int month = 0;
    std::array<TDateUI, 42> cells{};
    int firstOfMonth = 0; // the cell of the 1st (its weekday)
    int dayCount = 0;     // days in the month
};
MonthPage monthPage(int year, int month);
// `date`'s month moved by `months`, the day held to the new month's length.
TDateUI addMonths(const TDateUI& date, int months);

// What a date field of a format stands for.
enum class Field { Year, Month, Day };
// One run of a format's date letters in the formatted text.
struct FieldSpan {
    Field field;
    std::size_t start = 0;  // in the formatted text
    std::size_t length = 0; // characters
};
// `date` written with `format`: "yyyy" (four digits), "yy" (two), "M"/"MM"
// (month, "MM" with a leading zero), "d"/"dd" (day); text in single quotes,
// and any other character, as it stands ('' for a quote). `spans`, when
// given, receives the place of each field in the result.
std::wstring format(const TDateUI& date, std::wstring_view format, std::vector<FieldSpan>* spans = nullptr);
// "YYYY-MM-DD", exactly four, two and two digits; false (date unchanged)
// for anything else or a date that isValid refuses.
bool parseIso(std::wstring_view text, TDateUI& date);
std::wstring toIso(const TDateUI& date);

} // namespace calendar
