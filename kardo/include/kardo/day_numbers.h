#ifndef KARDO_DAY_NUMBERS_H
#define KARDO_DAY_NUMBERS_H

/* Dates as day numbers and date-times as minute numbers, and their texts.
 *
 * Day 1 is 1 January 1582; each following day adds 1, by the Gregorian
 * calendar throughout (1 January 2000 is day 152672). A minute number is
 * (day number * 24 + hour) * 60 + minute.
 *
 * Format codes:          0 DDMMYY    1 YYMMDD    2 DD.MM.YY    3 YY.MM.DD
 *                        4 DDMMYYYY  5 YYYYMMDD  6 DD.MM.YYYY  7 YYYY.MM.DD
 * Time texts are HHMM for codes 0, 1, 4, 5 and HH:MM for codes 2, 3, 6, 7.
 * A destination needs room for the text and a NUL: 11 bytes for a date,
 * 6 for a time. */
#include <kardo/export.h>

KARDO_BEGIN_C

/* Writes the date text of a day number to `dst` and returns `dst`. Null
 * (nothing written) when dst is null, the code is not 0 to 7, or the day lies
 * outside 1 January 1582 to 31 December 9999. `retxdat` is the same function. */
KARDO_API char* retdat(char* dst, long day, int code);
KARDO_API char* retxdat(char* dst, long day, int code);

/* Writes the date text and the time text of a minute number; returns what
 * retdat returns for the date. The time is written only when that is not
 * null (and `time` is not null). `retxddt` is the same function. */
KARDO_API char* retddt(char* date, char* time, long minutes, int code);
KARDO_API char* retxddt(char* date, char* time, long minutes, int code);

/* The day number of a date text of the given code (read by position, no
 * terminator needed), or -1 when the code is unknown or the date invalid or
 * before 1582. Two-digit years are years of the 1900s. */
KARDO_API int tstdat(const char* text, int code);

/* The minute number of a date text and a time text, or -1. Time layout 0
 * reads HHMM, layout 8 reads no time (midnight), any other layout HH?MM with
 * one separator character. Also -1 when the result does not fit an int. */
KARDO_API int tstddt(const char* date, int code, const char* time, int layout);

KARDO_END_C

#endif
