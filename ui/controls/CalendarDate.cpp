// Calendar arithmetic over day numbers, month pages and date formats.
#include "ui/controls/CalendarDate.h"

#include <cstdio>
#include <ctime>

namespace calendar {

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isValid(const TDateUI& d) {
    return d.year >= kFirstYear && d.year <= kLastYear && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= daysInMonth(d.year, d.month);
}

// Days from civil: the year counted from March, so that the leap day ends it.
long long toDayNumber(const TDateUI& d) {
    const long long y = d.year - (d.month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long mp = (d.month + 9) % 12; // March = 0
    const long long doy = (153 * mp + 2) / 5 + d.day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TDateUI fromDayNumber(long long days) {
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

int weekday(const TDateUI& d) {
    // 1970-01-01 was a Thursday.
    const long long n = toDayNumber(d);
    return static_cast<int>(((n % 7) + 7 + 4) % 7);
}

TDateUI today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {1970, 1, 1};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

MonthPage monthPage(int year, int month) {
    MonthPage page;
    page.year = year;
    page.month = month;
    page.dayCount = daysInMonth(year, month);
    const TDateUI first{year, month, 1};
    page.firstOfMonth = weekday(first);
    const long long start = toDayNumber(first) - page.firstOfMonth;
    for (int i = 0; i < 42; ++i) page.cells[i] = fromDayNumber(start + i);
    return page;
}

TDateUI addMonths(const TDateUI& date, int months) {
    long long index = static_cast<long long>(date.year) * 12 + (date.month - 1) + months;
    TDateUI out;
    out.year = static_cast<int>(index >= 0 ? index / 12 : (index - 11) / 12);
    out.month = static_cast<int>(index - static_cast<long long>(out.year) * 12) + 1;
    const int last = daysInMonth(out.year, out.month);
    out.day = date.day > last ? last : date.day;
    return out;
}

std::wstring format(const TDateUI& date, std::wstring_view format, std::vector<FieldSpan>* spans) {
    const std::wstring_view fmt = format;
    std::wstring out;
    auto number = [](int value, int width) {
        wchar_t buffer[16];
        std::swprintf(buffer, 16, L"%0*d", width, value);
        return std::wstring(buffer);
    };
    for (std::size_t i = 0; i < fmt.size();) {
        const wchar_t ch = fmt[i];
        if (ch == L'\'') {
            // Quoted text; '' is a quote.
            std::size_t j = i + 1;
            if (j < fmt.size() && fmt[j] == L'\'') {
                out += L'\'';
                i = j + 1;
                continue;
            }
            while (j < fmt.size()) {
                if (fmt[j] == L'\'') {
                    if (j + 1 < fmt.size() && fmt[j + 1] == L'\'') {
                        out += L'\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                out += fmt[j++];
            }
            i = j + 1;
            continue;
        }
        if (ch != L'y' && ch != L'M' && ch != L'd') {
            out += ch;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < fmt.size() && fmt[i + run] == ch) ++run;
        std::wstring text;
        Field field = Field::Day;
        if (ch == L'y') {
            field = Field::Year;
            text = run <= 2 ? number(date.year % 100, 2) : number(date.year, 4);
        } else if (ch == L'M') {
            field = Field::Month;
            text = number(date.month, run >= 2 ? 2 : 1);
        } else {
            text = number(date.day, run >= 2 ? 2 : 1);
        }
        if (spans) spans->push_back({field, out.size(), text.size()});
        out += text;
        i += run;
    }
    return out;
}

bool parseIso(std::wstring_view text, TDateUI& date) {
    if (text.size() != 10 || text[4] != L'-' || text[7] != L'-') return false;
    auto digits = [&](std::size_t from, std::size_t count, int& value) {
        value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            if (text[i] < L'0' || text[i] > L'9') return false;
            value = value * 10 + (text[i] - L'0');
        }
        return true;
    };
    TDateUI parsed;
    if (!digits(0, 4, parsed.year) || !digits(5, 2, parsed.month) || !digits(8, 2, parsed.day)) return false;
    if (!isValid(parsed)) return false;
    date = parsed;
    return true;
}

std::wstring toIso(const TDateUI& date) { return format(date, L"yyyy-MM-dd"); }

} // namespace calendar
