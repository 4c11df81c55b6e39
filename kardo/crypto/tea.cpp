#include <kardo/tea.h>

#include "crypto/base64.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

using kardo::crypto::base64_decode;
using kardo::crypto::base64_decoded_capacity;
using kardo::crypto::base64_encode;
using kardo::crypto::base64_encoded_size;

constexpr uint32_t kDelta = 0x9E3779B9u;
constexpr uint32_t kDecipherSum = 0xC6EF3720u;  // 32 * kDelta modulo 2^32
constexpr int kCycles = 32;

// The 9 bytes behind a 12-character code: two words and a check byte.
constexpr std::size_t kCodeBytes = 9;
constexpr std::size_t kCodeChars = 12;

// Encrypted string format: length word, cipher blocks, three zero bytes.
constexpr std::size_t kLengthWordSize = 4;
constexpr std::size_t kTrailerSize = 3;
constexpr std::size_t kBlockSize = 8;

uint32_t load_big_endian(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void store_big_endian(uint32_t word, unsigned char* p) {
    p[0] = static_cast<unsigned char>(word >> 24);
    p[1] = static_cast<unsigned char>(word >> 16);
    p[2] = static_cast<unsigned char>(word >> 8);
    p[3] = static_cast<unsigned char>(word);
}

uint32_t load_little_endian(const unsigned char* p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

void store_little_endian(uint32_t word, unsigned char* p) {
    p[0] = static_cast<unsigned char>(word);
    p[1] = static_cast<unsigned char>(word >> 8);
    p[2] = static_cast<unsigned char>(word >> 16);
    p[3] = static_cast<unsigned char>(word >> 24);
}

void tea_encipher(uint32_t& y, uint32_t& z, uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    uint32_t sum = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        sum += kDelta;
        y += ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
        z += ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
    }
}

void tea_decipher(uint32_t& y, uint32_t& z, uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    uint32_t sum = kDecipherSum;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        z -= ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + k3);
        y -= ((z << 4) + k0) ^ (z + sum) ^ ((z >> 5) + k1);
        sum -= kDelta;
    }
}

void xor_big_endian(uint32_t* y, uint32_t* z, const unsigned char bytes[8]) {
    *y ^= load_big_endian(bytes);
    *z ^= load_big_endian(bytes + 4);
}

}  // namespace

CTEA::CTEA() : k0_(0), k1_(0), k2_(0), k3_(0) {}

CTEA::~CTEA() = default;

void CTEA::teasetkey(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    k0_ = k0;
    k1_ = k1;
    k2_ = k2;
    k3_ = k3;
}

void CTEA::encipher(uint32_t* y, uint32_t* z) const {
    tea_encipher(*y, *z, k0_, k1_, k2_, k3_);
}

void CTEA::preparekey(uint32_t* y, uint32_t* z, const unsigned char bytes[8]) const {
    xor_big_endian(y, z, bytes);
    encipher(y, z);
}

void CTEA::verifykey(uint32_t* y, uint32_t* z, const unsigned char bytes[8]) const {
    xor_big_endian(y, z, bytes);
}

void CTEA::updatekey(uint32_t y, uint32_t z, unsigned char out[8]) const {
    store_big_endian(y, out);
    store_big_endian(z, out + 4);
}

int CTEA::strencipher(const char* code, char* out) const {
    if (code == nullptr || std::strlen(code) != kCodeChars) return -1;

    // Room for the decoded bytes and the zero byte the decoder writes behind.
    unsigned char bytes[base64_decoded_capacity(kCodeChars) + 1] = {};
    // Characters outside the alphabet are skipped, so a code holding any
    // decodes to fewer than 9 bytes and has no check byte.
    if (base64_decode(code, kCodeChars, bytes) != kCodeBytes) return -2;

    unsigned sum = 0;
    for (std::size_t i = 0; i < kCodeBytes; ++i) sum += bytes[i];
    if (sum % 256 != 0) return -2;

    uint32_t y = load_big_endian(bytes);
    uint32_t z = load_big_endian(bytes + 4);
    encipher(&y, &z);
    store_big_endian(y, bytes);
    store_big_endian(z, bytes + 4);

    unsigned words_sum = 0;
    for (std::size_t i = 0; i < 8; ++i) words_sum += bytes[i];
    bytes[8] = static_cast<unsigned char>(256 - words_sum % 256);

    base64_encode(bytes, kCodeBytes, out);
    return 0;
}

void CTEA::TeaEncipher(const uint32_t in[2], uint32_t out[2], const uint32_t key[4]) {
    uint32_t y = in[0], z = in[1];
    tea_encipher(y, z, key[0], key[1], key[2], key[3]);
    out[0] = y;
    out[1] = z;
}

void CTEA::TeaDecipher(const uint32_t in[2], uint32_t out[2], const uint32_t key[4]) {
    uint32_t y = in[0], z = in[1];
    tea_decipher(y, z, key[0], key[1], key[2], key[3]);
    out[0] = y;
    out[1] = z;
}

std::string CTEA::TeaEncryptString(std::string text, const uint32_t key[4]) {
    const std::size_t blocks = (text.size() + kBlockSize - 1) / kBlockSize;
    const std::size_t cipher_size = blocks * kBlockSize;
    if (cipher_size > std::numeric_limits<uint32_t>::max())
        throw std::length_error("CTEA::TeaEncryptString: text longer than its length word can count");

    // Length word, cipher blocks and three zero bytes; the blocks start out
    // as the text filled up with zero bytes and are enciphered in place.
    std::vector<unsigned char> plain(kLengthWordSize + cipher_size + kTrailerSize, 0);
    store_little_endian(static_cast<uint32_t>(cipher_size), plain.data());
    std::memcpy(plain.data() + kLengthWordSize, text.data(), text.size());
    for (std::size_t offset = kLengthWordSize; offset < kLengthWordSize + cipher_size;
         offset += kBlockSize) {
        uint32_t pair[2] = {load_little_endian(&plain[offset]), load_little_endian(&plain[offset + 4])};
        TeaEncipher(pair, pair, key);
        store_little_endian(pair[0], &plain[offset]);
        store_little_endian(pair[1], &plain[offset + 4]);
    }

    std::string encoded(base64_encoded_size(plain.size()) + 1, '\0');
    base64_encode(plain.data(), plain.size(), encoded.data());
    encoded.pop_back();  // the terminating zero written by the encoder
    return encoded;
}

std::string CTEA::TeaDecryptString(std::string text, const uint32_t key[4]) {
    std::string result;
    if (text.empty()) return result;

    std::vector<unsigned char> decoded(base64_decoded_capacity(text.size()) + 1);
    const std::size_t decoded_size = base64_decode(text.data(), text.size(), decoded.data());
    if (decoded_size < kLengthWordSize) return result;

    // The length word is read unsigned: the encrypter counts up to 2^32 - 8
    // cipher bytes, and a signed reading would lose every text above 2 GiB.
    // Whatever it announces, deciphering stops where the decoded bytes end.
    std::size_t announced = load_little_endian(decoded.data());
    std::size_t offset = kLengthWordSize;
    while (announced > 0) {
        const std::size_t take = std::min(announced, kBlockSize);
        if (decoded_size - offset < take) break;

        unsigned char block[kBlockSize] = {};
        std::memcpy(block, &decoded[offset], take);
        uint32_t pair[2] = {load_little_endian(block), load_little_endian(block + 4)};
        TeaDecipher(pair, pair, key);
        store_little_endian(pair[0], block);
        store_little_endian(pair[1], block + 4);

        // Each block counts as a zero-terminated text of at most 8 bytes.
        const auto* end = static_cast<const unsigned char*>(std::memchr(block, 0, kBlockSize));
        result.append(reinterpret_cast<const char*>(block),
                      end ? static_cast<std::size_t>(end - block) : kBlockSize);

        offset += take;
        announced -= take;
    }
    return result;
}

void CTEA::base64Encode(const unsigned char* in, char* out, std::size_t length) {
    base64_encode(in, length, out);
}

void CTEA::base64Decode(const char* in, unsigned char* out, std::size_t length) {
    base64_decode(in, length, out);
}

char CTEA::base64ToAscii(int value) {
    return kardo::crypto::base64_char(value);
}
