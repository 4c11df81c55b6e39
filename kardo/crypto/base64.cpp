#include "crypto/base64.h"

#include <array>

namespace kardo::crypto {
namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr uint8_t kNotInAlphabet = 0xFF;

// Value of every byte as a Base64 character, kNotInAlphabet for the others.
constexpr std::array<uint8_t, 256> make_decode_table() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = kNotInAlphabet;
    for (uint8_t value = 0; value < 64; ++value)
        table[static_cast<uint8_t>(kAlphabet[value])] = value;
    return table;
}

constexpr std::array<uint8_t, 256> kDecodeTable = make_decode_table();

}  // namespace

char base64_char(int value) {
    return value >= 0 && value < 64 ? kAlphabet[value] : '=';
}

void base64_encode(const uint8_t* in, std::size_t length, char* out) {
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint8_t a = in[i], b = in[i + 1], c = in[i + 2];
        *out++ = kAlphabet[a >> 2];
        *out++ = kAlphabet[((a & 0x03) << 4) | (b >> 4)];
        *out++ = kAlphabet[((b & 0x0F) << 2) | (c >> 6)];
        *out++ = kAlphabet[c & 0x3F];
    }
    // An incomplete last group writes only the characters its bytes fill
    // completely; the bits still left over are dropped.
    if (length - i >= 1) *out++ = kAlphabet[in[i] >> 2];
    if (length - i == 2) *out++ = kAlphabet[((in[i] & 0x03) << 4) | (in[i + 1] >> 4)];
    *out = '\0';
}

std::size_t base64_decode(const char* in, std::size_t length, uint8_t* out) {
    std::size_t written = 0;
    unsigned position = 0;  // within the current group of four characters
    uint8_t previous = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const uint8_t value = kDecodeTable[static_cast<uint8_t>(in[i])];
        if (value == kNotInAlphabet) continue;
        switch (position) {
        case 0: break;
        case 1: out[written++] = static_cast<uint8_t>((previous << 2) | (value >> 4)); break;
        case 2: out[written++] = static_cast<uint8_t>((previous << 4) | (value >> 2)); break;
        case 3: out[written++] = static_cast<uint8_t>((previous << 6) | value); break;
        }
        previous = value;
        position = (position + 1) % 4;
    }
    out[written] = 0;
    return written;
}

}  // namespace kardo::crypto
