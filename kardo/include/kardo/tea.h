#ifndef KARDO_TEA_H
#define KARDO_TEA_H

#ifdef __cplusplus

#include <kardo/export.h>

#include <cstddef>
#include <cstdint>
#include <string>

/* The Tiny Encryption Algorithm (64-bit block, 128-bit key, 32 cycles) and
 * the Base64 coder that its text formats use.
 *
 * Two word orders are used and must not be mixed up:
 * - preparekey, verifykey, updatekey and strencipher read and write each
 *   32-bit word most significant byte first;
 * - TeaEncryptString and TeaDecryptString lay each 8-byte block over two
 *   little-endian words and write the length word little-endian too.
 *
 * Encrypted string format, before Base64: a 4-byte little-endian count N of
 * cipher bytes (8 per started 8-byte block of the text), the N cipher bytes,
 * three zero bytes.
 *
 * The Base64 coder writes no '=' padding and drops the bits left over in an
 * incomplete last group of three bytes: 3m bytes give 4m characters, 3m + 1
 * bytes 4m + 1 characters and 3m + 2 bytes 4m + 2 characters. */
class KARDO_API CTEA {
public:
    CTEA();
    CTEA(const CTEA&) = default;
    CTEA& operator=(const CTEA&) = default;
    virtual ~CTEA();

    /* Sets the key used by encipher, preparekey and strencipher. */
    void teasetkey(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3);

    /* Enciphers the pair (y first) in place with the object's key. */
    void encipher(uint32_t* y, uint32_t* z) const;

    /* XORs the 8 bytes into the pair (most significant byte first), then
     * enciphers it. Called on successive 8-byte pieces with the same pair it
     * computes a cipher-block chaining, the pair carrying the chaining value. */
    void preparekey(uint32_t* y, uint32_t* z, const unsigned char bytes[8]) const;

    /* XORs the 8 bytes into the pair (most significant byte first) only. */
    void verifykey(uint32_t* y, uint32_t* z, const unsigned char bytes[8]) const;

    /* Writes the pair as 8 bytes, each word most significant byte first. */
    void updatekey(uint32_t y, uint32_t z, unsigned char out[8]) const;

    /* Enciphers a code of 12 Base64 characters (9 bytes: two words, most
     * significant byte first, and a check byte that makes the nine add up to
     * 0 modulo 256) with the object's key into a code of the same form: 12
     * characters and a terminating zero in out (at least 13 characters).
     * Returns 0; -1 when the code is not 12 characters long; -2 when its
     * check byte is wrong (or its characters do not decode to 9 bytes). On
     * failure out is left alone. */
    int strencipher(const char* code, char* out) const;

    /* Reference TEA on the pair in[0], in[1] with the key k[0..3]; the
     * result goes to out[0], out[1] (which may be in). */
    static void TeaEncipher(const uint32_t in[2], uint32_t out[2], const uint32_t key[4]);
    static void TeaDecipher(const uint32_t in[2], uint32_t out[2], const uint32_t key[4]);

    /* Encrypts a text into the Base64 form of the encrypted string format,
     * with the key k[0..3]. An empty text gives "AAAAAAAAA". A text of more
     * than 2^32 - 8 bytes, which the 32-bit length word cannot count, throws
     * std::length_error. */
    static std::string TeaEncryptString(std::string text, const uint32_t key[4]);

    /* Decrypts the Base64 form of the encrypted string format. Each deciphered
     * block counts up to its first zero byte, so zero bytes of a text vanish
     * together with the rest of their block. Deciphers no further than the
     * bytes the input holds, whatever its length word announces (read as an
     * unsigned count). */
    static std::string TeaDecryptString(std::string text, const uint32_t key[4]);

    /* Encodes length bytes into characters and a terminating zero: out must
     * hold 4 * (length / 3) + length % 3 + 1 characters. */
    static void base64Encode(const unsigned char* in, char* out, std::size_t length);

    /* Decodes length characters, skipping any outside the Base64 alphabet
     * ('=' padding, line breaks, spaces), and writes a zero byte behind the
     * decoded bytes: out must hold 3 * length / 4 + 1 bytes. An incomplete
     * last group gives the bytes of its complete positions only. */
    static void base64Decode(const char* in, unsigned char* out, std::size_t length);

    /* The Base64 character of a 6-bit value; '=' for any other value. */
    static char base64ToAscii(int value);

private:
    uint32_t k0_, k1_, k2_, k3_;
};

#endif /* __cplusplus */

#endif
