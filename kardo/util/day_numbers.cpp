// Day numbers and minute numbers and their date and time texts.
#include <kardo/day_numbers.h>
#include <kardo/number_fields.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr bool IsLeap(long year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// 365 days for each year from 1582 to year - 1, plus the leap years from
// year 1 to year - 1. For 1582 this is 383, so the day number plus 383 is
// this count plus the day of the year.
constexpr long DaysBeforeYear(long year) {
    long y = year - 1;
    return 365 * (year - 1582) + y / 4 - y / 100 + y / 400;
}

// Days of the year before the first of `month`.
long DaysBeforeMonth(long month, bool leap) {
    long days = 31 * (month - 1);
    if (month > 2) days -= leap ? 2 : 3;
    if (month > 4) days -= 1;
    if (month > 6) days -= 1;
    if (month > 9) days -= 1;
    if (month > 11) days -= 1;
    return days;
}

// Day number of 31 December 9999: the last date a four-digit year can show.
constexpr long kLastDay = DaysBeforeYear(10000) - 383;
static_assert(DaysBeforeYear(2000) - 383 + 1 == 152672, "1 January 2000 is day 152672");

bool UsesDots(int code) { return (code & 2) != 0; }

}  // namespace

char* retdat(char* dst, long day, int code) {
    if (!dst) return nullptr;
    if (code < 0 || code > 7) return nullptr;
    if (day < 1 || day > kLastDay) return nullptr;

    const long x = day + 383;
    long year = x / 365 + 1583;
    while (DaysBeforeYear(year) >= x) --year;
    const long dayOfYear = x - DaysBeforeYear(year);
    const bool leap = IsLeap(year);
    long month = dayOfYear / 28 + 2;
    while (DaysBeforeMonth(month, leap) >= dayOfYear) --month;
    const int d = static_cast<int>(dayOfYear - DaysBeforeMonth(month, leap));
    const int m = static_cast<int>(month);
    const int y = static_cast<int>(year);
    const int yy = y % 100;

    // Formatted apart first: the compiler cannot see that a year up to 9999
    // keeps every text within 10 characters.
    char text[48];
    switch (code) {
        case 0: std::snprintf(text, sizeof text, "%02d%02d%02d", d, m, yy); break;
        case 1: std::snprintf(text, sizeof text, "%02d%02d%02d", yy, m, d); break;
        case 2: std::snprintf(text, sizeof text, "%02d.%02d.%02d", d, m, yy); break;
        case 3: std::snprintf(text, sizeof text, "%02d.%02d.%02d", yy, m, d); break;
        case 4: std::snprintf(text, sizeof text, "%02d%02d%04d", d, m, y); break;
        case 5: std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d); break;
        case 6: std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y); break;
        default: std::snprintf(text, sizeof text, "%04d.%02d.%02d", y, m, d); break;
    }
    std::memcpy(dst, text, std::strlen(text) + 1);
    return dst;
}

extern "C" char* retxdat(char* dst, long day, int code) __attribute__((alias("retdat")));

char* retddt(char* date, char* time, long minutes, int code) {
    char* result = retdat(date, minutes / 1440, code);
    if (result && time) {
        const long hour = (minutes / 60) % 24;
        const long minute = minutes % 60;
        char text[48];
        std::snprintf(text, sizeof text, UsesDots(code) ? "%02ld:%02ld" : "%02ld%02ld", hour, minute);
        std::memcpy(time, text, std::strlen(text) + 1);
    }
    return result;
}

extern "C" char* retxddt(char* date, char* time, long minutes, int code) __attribute__((alias("retddt")));

int tstdat(const char* text, int code) {
    if (!text) return -1;
    // (first position, width) of day, month and year for each code.
    struct Fields {
        int day, dayWidth, month, year, yearWidth;
    };
    static const Fields kFields[8] = {
        {0, 2, 2, 4, 2}, {4, 2, 2, 0, 2}, {0, 2, 3, 6, 2}, {6, 2, 3, 0, 2},
        {0, 2, 2, 4, 4}, {6, 2, 4, 0, 4}, {0, 2, 3, 6, 4}, {8, 2, 5, 0, 4},
    };
    if (code < 0 || code > 7) return -1;
    const Fields& f = kFields[code];
    const int day = atoin(text + f.day, f.dayWidth);
    const int month = atoin(text + f.month, 2);
    int year = atoin(text + f.year, f.yearWidth);
    if (f.yearWidth == 2) year += 1900;

    if (year < 1582) return -1;
    if (month < 1 || month > 12) return -1;
    if (day < 1 || day > 31) return -1;
    if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return -1;
    const bool leap = IsLeap(year);
    if (month == 2 && day > (leap ? 29 : 28)) return -1;

    // The same count retdat takes apart (see DaysBeforeYear).
    return static_cast<int>(DaysBeforeYear(year) + DaysBeforeMonth(month, leap) + day - 383);
}

int tstddt(const char* date, int code, const char* time, int layout) {
    const int day = tstdat(date, code);
    if (day < 0) return -1;
    int hour = 0;
    int minute = 0;
    if (layout != 8) {
        if (!time) return -1;
        hour = atoin(time, 2);
        minute = atoin(time + (layout == 0 ? 2 : 3), 2);
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return -1;
    const long long result = (static_cast<long long>(day) * 24 + hour) * 60 + minute;
    if (result > INT_MAX) return -1;
    return static_cast<int>(result);
}
