// Dates checked against the C++ calendar library, not against a copy of the
// library's arithmetic.
#include <kardo/day_numbers.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace std::chrono;

namespace {

const sys_days kDayZero = sys_days{1582y / January / 1} - days{1};

long DayNumber(year_month_day ymd) { return (sys_days{ymd} - kDayZero).count(); }

// The text of a date in a format code, from the calendar's own fields.
std::string Text(year_month_day ymd, int code) {
    const int d = static_cast<int>(unsigned(ymd.day()));
    const int m = static_cast<int>(unsigned(ymd.month()));
    const int y = int(ymd.year());
    const int yy = y % 100;
    char text[32];
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
    return text;
}

// What tstdat must give for a text of the code: two-digit years are read as
// years of the 1900s.
long ExpectedTstdat(year_month_day ymd, int code) {
    if (code <= 3) {
        year_month_day read{year{1900 + int(ymd.year()) % 100}, ymd.month(), ymd.day()};
        return read.ok() ? DayNumber(read) : -1;
    }
    return DayNumber(ymd);
}

}  // namespace

TEST(DayNumbers, EveryDayFrom1582To2200InEveryCode) {
    const sys_days first{1582y / January / 1};
    const sys_days last{2200y / December / 31};
    EXPECT_EQ(1, DayNumber(1582y / January / 1));
    EXPECT_EQ(152672, DayNumber(2000y / January / 1));
    int failures = 0;
    char buffer[16];
    for (sys_days day = first; day <= last && failures < 10; day += days{1}) {
        const year_month_day ymd{day};
        const long number = DayNumber(ymd);
        for (int code = 0; code < 8; ++code) {
            const std::string text = Text(ymd, code);
            std::memset(buffer, 'x', sizeof buffer);
            if (retdat(buffer, number, code) != buffer || text != buffer) {
                ADD_FAILURE() << "retdat(" << number << ", " << code << ") gave " << buffer << ", not " << text;
                ++failures;
            }
            const long got = tstdat(text.c_str(), code);
            if (got != ExpectedTstdat(ymd, code)) {
                ADD_FAILURE() << "tstdat(" << text << ", " << code << ") gave " << got;
                ++failures;
            }
        }
    }
}

TEST(DayNumbers, TstdatRejectsEveryImpossibleDate) {
    for (int y : {1581, 1582, 1600, 1700, 1900, 1999, 2000, 2004, 2100}) {
        for (int m = 0; m <= 13; ++m) {
            for (int d = 0; d <= 32; ++d) {
                char text[16];
                std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y);
                const year_month_day ymd{year{y}, month(unsigned(m)), day(unsigned(d))};
                const long expected = (ymd.ok() && y >= 1582) ? DayNumber(ymd) : -1;
                EXPECT_EQ(expected, tstdat(text, 6)) << text;
            }
        }
    }
}

TEST(DayNumbers, PartEdgeCases) {
    char buffer[16];
    EXPECT_EQ(1, tstdat("01.01.1582", 6));
    EXPECT_STREQ("1582.01.01", retdat(buffer, 1, 7));
    EXPECT_LT(0, tstdat("29.02.2000", 6));
    EXPECT_EQ(-1, tstdat("29.02.1900", 6));
    EXPECT_EQ(-1, tstdat("31.04.2007", 6));
    EXPECT_EQ(-1, tstdat("31.12.1581", 6));
    EXPECT_EQ(DayNumber(1905y / January / 1), tstdat("010105", 0));
    EXPECT_EQ(-1, tstdat("01.01.2000", 8));
    EXPECT_EQ(-1, tstdat("01.01.2000", -1));
    EXPECT_EQ(-1, tstdat(nullptr, 6));
}

TEST(DayNumbers, TstdatReadsOnlyItsPositions) {
    // The date text is not terminated; the characters around are ignored.
    const char text[10] = {'2', '0', '0', '0', '-', '0', '1', '-', '0', '1'};
    EXPECT_EQ(152672, tstdat(text, 7));
    EXPECT_EQ(152672, tstdat("20000101garbage", 5));
}

TEST(DayNumbers, RetdatNullAndOutOfRange) {
    char buffer[16] = "untouched";
    EXPECT_EQ(nullptr, retdat(nullptr, 152672, 6));
    EXPECT_EQ(nullptr, retdat(buffer, 152672, 8));
    EXPECT_EQ(nullptr, retdat(buffer, 152672, -1));
    EXPECT_EQ(nullptr, retdat(buffer, 0, 6));
    EXPECT_EQ(nullptr, retdat(buffer, -5, 6));
    EXPECT_STREQ("untouched", buffer);
    // The last day a four-digit year can show, and the day after.
    const long last = DayNumber(9999y / December / 31);
    EXPECT_STREQ("31.12.9999", retdat(buffer, last, 6));
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(nullptr, retdat(buffer, last + 1, 6));
    EXPECT_EQ(nullptr, retdat(buffer, 1L << 40, 7));
    EXPECT_STREQ("untouched", buffer);
}

TEST(DayNumbers, RetxdatIsTheSameFunction) {
    EXPECT_EQ(&retdat, &retxdat);
    EXPECT_EQ(&retddt, &retxddt);
}

TEST(MinuteNumbers, RetddtWritesDateAndTime) {
    char date[16];
    char time[16];
    const long minutes = 152672L * 1440 + 605;
    EXPECT_EQ(date, retddt(date, time, minutes, 6));
    EXPECT_STREQ("01.01.2000", date);
    EXPECT_STREQ("10:05", time);
    EXPECT_EQ(date, retddt(date, time, minutes, 4));
    EXPECT_STREQ("01012000", date);
    EXPECT_STREQ("1005", time);
    std::strcpy(time, "kept");
    EXPECT_EQ(nullptr, retddt(date, time, minutes, 9));
    EXPECT_STREQ("kept", time);
    EXPECT_EQ(nullptr, retddt(date, time, 5, 6));  // day 0
    EXPECT_STREQ("kept", time);
    EXPECT_EQ(date, retddt(date, nullptr, minutes, 6));
}

TEST(MinuteNumbers, TstddtReadsDateAndTime) {
    const int minutes = 152672 * 1440 + 605;
    EXPECT_EQ(minutes, tstddt("01.01.2000", 6, "10:05", 1));
    EXPECT_EQ(minutes, tstddt("01012000", 4, "1005", 0));
    EXPECT_EQ(-1, tstddt("01.01.2000", 6, "24:00", 1));
    EXPECT_EQ(-1, tstddt("01.01.2000", 6, "23:60", 1));
    EXPECT_EQ(-1, tstddt("32.01.2000", 6, "10:05", 1));
    EXPECT_EQ(152672 * 1440, tstddt("01.01.2000", 6, nullptr, 8));
    EXPECT_EQ(-1, tstddt("01.01.2000", 6, nullptr, 1));
    // A minute number beyond a 32-bit integer is refused, not wrapped.
    EXPECT_EQ(-1, tstddt("01.01.9000", 6, "00:00", 1));
}

TEST(MinuteNumbers, RoundTripOverEveryHourOfSomeDays) {
    char date[16];
    char time[16];
    for (year_month_day ymd : {1582y / January / 1, 1900y / February / 28, 2000y / February / 29,
                               2038y / January / 19, 2200y / December / 31}) {
        for (int hour = 0; hour < 24; ++hour) {
            for (int minute = 0; minute < 60; minute += 7) {
                const long m = (DayNumber(ymd) * 24 + hour) * 60 + minute;
                ASSERT_NE(nullptr, retddt(date, time, m, 7));
                EXPECT_EQ(Text(ymd, 7), date);
                char expected[8];
                std::snprintf(expected, sizeof expected, "%02d:%02d", hour, minute);
                EXPECT_STREQ(expected, time);
                EXPECT_EQ(m, tstddt(date, 7, time, 1));
            }
        }
    }
}
