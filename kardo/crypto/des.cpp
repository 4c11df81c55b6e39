#include <kardo/des.h>

#include "crypto/des_tables.h"

#include <bit>
#include <cstring>
#include <new>

namespace {

using namespace kardo::crypto::des;

// 8 S-boxes with P applied to their output: one 32-bit word per 6-bit input.
using SubstitutionTable = uint32_t[8][64];
// A 64-bit permutation split by 4-bit pieces of its input: for each of the 16
// pieces and each of its 16 values, the output bits that piece contributes.
using PermutationTable = uint64_t[16][16];

struct Tables {
    SubstitutionTable* substitution = nullptr;
    PermutationTable* initial = nullptr;  // both absent in mode 1
    PermutationTable* final = nullptr;
};

Tables* g_tables = nullptr;

constexpr int kRounds = 16;

void release(Tables* tables) {
    if (tables == nullptr) return;
    delete[] tables->substitution;
    delete[] tables->initial;
    delete[] tables->final;
    delete tables;
}

void build_substitution(SubstitutionTable& table) {
    for (int box = 0; box < 8; ++box)
        for (int input = 0; input < 64; ++input) {
            const int row = ((input >> 4) & 2) | (input & 1);
            const int column = (input >> 1) & 15;
            // The box's four output bits sit at bits 4 * box + 1 to 4 * box + 4.
            const uint32_t output = uint32_t{kSubstitution[box][row][column]} << (28 - 4 * box);
            uint32_t permuted = 0;
            for (int bit = 0; bit < 32; ++bit)
                if (output & (uint32_t{1} << (32 - kPermutation[bit])))
                    permuted |= uint32_t{1} << (31 - bit);
            table[box][input] = permuted;
        }
}

void build_permutation(PermutationTable& table, const uint8_t (&permutation)[64]) {
    for (int piece = 0; piece < 16; ++piece)
        for (int value = 0; value < 16; ++value) {
            uint64_t output = 0;
            for (int bit = 0; bit < 64; ++bit) {
                const int source = permutation[bit] - 1;  // counted from the top
                if (source / 4 == piece && (value & (8 >> (source % 4))))
                    output |= uint64_t{1} << (63 - bit);
            }
            table[piece][value] = output;
        }
}

uint64_t permute(const PermutationTable& table, uint64_t block) {
    uint64_t output = 0;
    for (int piece = 0; piece < 16; ++piece)
        output |= table[piece][(block >> (60 - 4 * piece)) & 15];
    return output;
}

// Blocks are read and written most significant byte first.
uint64_t load_block(const unsigned char* block) {
    uint64_t value;
    std::memcpy(&value, block, 8);
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    return value;
}

void store_block(uint64_t value, unsigned char* block) {
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    std::memcpy(block, &value, 8);
}

constexpr uint32_t rotate_left(uint32_t word, int count) {
    return word << count | word >> (32 - count);
}

// The cipher function: expansion, key mixing, S-boxes and P. Group j of the
// expansion is the bits 4j to 4j + 5 of the half, counted around the word; the
// half rotated right by one bit holds groups 0 to 6 at fixed shifts, and group 7
// wraps around the end.
inline uint32_t cipher_function(uint32_t right, const unsigned char* round_key,
                                const SubstitutionTable& sp) {
    const uint32_t shifted = rotate_left(right, 31);
    return sp[0][((shifted >> 26) ^ round_key[0]) & 63] ^
           sp[1][((shifted >> 22) ^ round_key[1]) & 63] ^
           sp[2][((shifted >> 18) ^ round_key[2]) & 63] ^
           sp[3][((shifted >> 14) ^ round_key[3]) & 63] ^
           sp[4][((shifted >> 10) ^ round_key[4]) & 63] ^
           sp[5][((shifted >> 6) ^ round_key[5]) & 63] ^
           sp[6][((shifted >> 2) ^ round_key[6]) & 63] ^
           sp[7][(rotate_left(right, 1) ^ round_key[7]) & 63];
}

// One block through the 16 rounds, the rows of the schedule taken in order
// (enciphering) or in reverse order (deciphering). The direction is a template
// argument so that each loop is unrolled with fixed row offsets.
template <bool Decipher>
int crypt_block(const unsigned char schedule[16][8], unsigned char block[8]) {
    const Tables* tables = g_tables;
    if (schedule == nullptr || block == nullptr || tables == nullptr) return -1;
    const SubstitutionTable& sp = *tables->substitution;

    uint64_t value = load_block(block);
    if (tables->initial) value = permute(*tables->initial, value);

    uint32_t left = static_cast<uint32_t>(value >> 32);
    uint32_t right = static_cast<uint32_t>(value);
    // Two rounds per step, so that the halves change roles without a swap.
#pragma GCC unroll 8
    for (int round = 0; round < kRounds; round += 2) {
        const int first = Decipher ? kRounds - 1 - round : round;
        const int second = Decipher ? first - 1 : first + 1;
        left ^= cipher_function(right, schedule[first], sp);
        right ^= cipher_function(left, schedule[second], sp);
    }

    // The halves are joined in swapped order.
    value = uint64_t{right} << 32 | left;
    if (tables->final) value = permute(*tables->final, value);
    store_block(value, block);
    return 0;
}

}  // namespace

int desinit(int mode) {
    if (g_tables != nullptr) return 0;

    auto* tables = new (std::nothrow) Tables;
    if (tables == nullptr) return -1;
    tables->substitution = new (std::nothrow) SubstitutionTable[1];
    bool complete = tables->substitution != nullptr;
    if (complete && mode != 1) {
        tables->initial = new (std::nothrow) PermutationTable[1];
        tables->final = new (std::nothrow) PermutationTable[1];
        complete = tables->initial != nullptr && tables->final != nullptr;
    }
    if (!complete) {
        release(tables);
        return -1;
    }

    build_substitution(*tables->substitution);
    if (tables->initial) {
        build_permutation(*tables->initial, kInitialPermutation);
        build_permutation(*tables->final, kFinalPermutation);
    }
    g_tables = tables;
    return 0;
}

void desdone(void) {
    release(g_tables);
    g_tables = nullptr;
}

int setkey(unsigned char schedule[16][8], const unsigned char key[8]) {
    if (schedule == nullptr || key == nullptr) return -1;
    std::memset(schedule, 0, 16 * 8);

    // The 56 selected key bits, one per entry, C half first.
    unsigned char selected[56];
    for (int i = 0; i < 56; ++i) {
        const int bit = kPermutedChoice1[i] - 1;
        selected[i] = (key[bit / 8] >> (7 - bit % 8)) & 1;
    }

    for (int round = 0; round < kRounds; ++round) {
        const int shift = kCumulativeShift[round];
        for (int i = 0; i < 48; ++i) {
            // Position in the rotated halves, then the bit it came from.
            const int position = kPermutedChoice2[i] - 1;
            const int half = position < 28 ? 0 : 28;
            const int source = half + (position - half + shift) % 28;
            if (selected[source]) schedule[round][i / 6] |= 1 << (5 - i % 6);
        }
    }
    return 0;
}

int endes(const unsigned char schedule[16][8], unsigned char block[8]) {
    return crypt_block<false>(schedule, block);
}

int dedes(const unsigned char schedule[16][8], unsigned char block[8]) {
    return crypt_block<true>(schedule, block);
}
