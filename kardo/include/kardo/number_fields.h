#ifndef KARDO_NUMBER_FIELDS_H
#define KARDO_NUMBER_FIELDS_H

/* Fixed-width numeric fields as they occur in card records and data files,
 * which are not NUL-terminated, and the six-character number code. */
#include <kardo/export.h>

KARDO_BEGIN_C

/* The number in the first `n` characters of `s`: leading blanks and tabs,
 * one optional sign, then decimal digits up to the first other character.
 * 0 when there are no digits or n < 1. Never reads beyond s[n-1].
 * `atoln` is the same function under a second name. */
KARDO_API int atoin(const char* s, int n);
KARDO_API int atoln(const char* s, int n);

/* The number of a six-character code field of width `n`: leading zeros are
 * counted in the millions ("  0123" is 1000123), "  ABP7" is -7. 0 for n < 1. */
KARDO_API long nstatoln(const char* s, int n);

/* The six-character code of a number (the reverse of nstatoln): "   123",
 * "  0123" for 1000123, "ABP123" for -123. The text lives in a buffer of the
 * calling thread, valid until that thread's next call. */
KARDO_API char* nstltoa(long v);

/* How many bytes from `p` on equal `c`, at most `n` (0 for n < 1 or a null `p`). */
KARDO_API int memccmp(const void* p, unsigned char c, int n);

/* Maps any byte to a letter or digit: letters and digits stay, other bytes
 * are moved into the letter ranges. */
KARDO_API char bin_to_ascii(char c);

KARDO_END_C

#endif
