#ifndef KARDO_DES_H
#define KARDO_DES_H

/* DES (FIPS 46) on single 8-byte blocks, electronic codebook only; chaining,
 * if any, is the caller's.
 *
 * Bit 1 of the standard is the most significant bit of byte 0 of a key or a
 * block. The lowest bit of every key byte (its parity bit) is ignored.
 *
 * The substitution and permutation tables are process-wide: desinit builds
 * them and desdone releases them. Neither may run while another thread
 * enciphers; setkey, endes and dedes only read the tables and may run in
 * parallel on different blocks. */
#include <kardo/export.h>

KARDO_BEGIN_C

/* Builds the tables. mode 1 leaves out the initial and final permutations,
 * any other value gives standard DES. A call while the tables exist changes
 * nothing, not even the mode. Returns 0 when the tables are ready, -1 when
 * memory for them could not be had (then nothing stays allocated). */
KARDO_API int desinit(int mode);

/* Computes the key schedule of an 8-byte key: 16 rows of 8 bytes, row i for
 * round i + 1, each byte one 6-bit group of the round key (in its low six
 * bits) in the order of the standard's PC-2. Returns 0, or -1 when a pointer
 * is null. Needs no tables. */
KARDO_API int setkey(unsigned char schedule[16][8], const unsigned char key[8]);

/* Replaces the 8-byte block by its encipherment (endes) or decipherment
 * (dedes) under the key schedule. Returns 0, or -1 when a pointer is null
 * or desinit has not built the tables. */
KARDO_API int endes(const unsigned char schedule[16][8], unsigned char block[8]);
KARDO_API int dedes(const unsigned char schedule[16][8], unsigned char block[8]);

/* Releases the tables; desinit may be called again afterwards. Does nothing
 * when there are none. */
KARDO_API void desdone(void);

KARDO_END_C

#endif
