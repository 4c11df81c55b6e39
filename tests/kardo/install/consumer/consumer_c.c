/* The plain functions of libkardo from C: unmangled names. */
#include <kardo/day_numbers.h>
#include <kardo/number_fields.h>
#include <kardo/window_messages.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    char date[16];
    int ok = atoin("0042", 4) == 42 && memccmp("  A ", ' ', 4) == 2 && bin_to_ascii(0) == 'A' &&
             retxdat(date, 1, 7) == date && strcmp(date, "1582.01.01") == 0 &&
             tstddt("01.01.2000", 6, "10:05", 1) == 152672 * 1440 + 605 && kardo_current_thread_id() != 0;
    printf("consumer_c: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
