#ifndef KARDO_CRYPTO_BASE64_H
#define KARDO_CRYPTO_BASE64_H

// Base64 coder shared by CTEA's public coder and its text formats. Lengths
// are size_t throughout, so inputs of any size are handled.
#include <cstddef>
#include <cstdint>

namespace kardo::crypto {

// Characters written for length bytes, without the terminating zero: the bits
// of an incomplete last group are dropped and no padding is written.
constexpr std::size_t base64_encoded_size(std::size_t length) {
    return 4 * (length / 3) + length % 3;
}

// Largest number of bytes that length characters can decode to.
constexpr std::size_t base64_decoded_capacity(std::size_t length) {
    return length / 4 * 3 + (length % 4 == 0 ? 0 : length % 4 - 1);
}

// Writes base64_encoded_size(length) characters and a terminating zero.
void base64_encode(const uint8_t* in, std::size_t length, char* out);

// Decodes, skipping characters outside the alphabet, writes a zero byte behind
// the decoded bytes and returns their number (at most
// base64_decoded_capacity(length)).
std::size_t base64_decode(const char* in, std::size_t length, uint8_t* out);

// The character of a 6-bit value, '=' for any other value.
char base64_char(int value);

}  // namespace kardo::crypto

#endif
