// The DES functions against published test vectors of the standard and
// against OpenSSL's DES as an independent implementation.
#include <kardo/kardo.h>

// OpenSSL 3 marks its single-block DES interface deprecated; it is exactly the
// interface this comparison needs.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

using Block = std::array<unsigned char, 8>;
using Schedule = unsigned char[16][8];

Block from_hex(const char* hex) {
    Block block{};
    for (int i = 0; i < 8; ++i) {
        unsigned value = 0;
        std::sscanf(hex + 2 * i, "%2x", &value);
        block[i] = static_cast<unsigned char>(value);
    }
    return block;
}

std::string to_hex(const Block& block) {
    char text[17];
    for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02X", block[i]);
    return text;
}

Block random_block(std::mt19937& random) {
    Block block;
    for (auto& byte : block) byte = static_cast<unsigned char>(random());
    return block;
}

// The initial permutation of the standard, applied bit by bit: output bit i
// (counted from 1 at the most significant bit of byte 0) is input bit kIp[i-1].
constexpr int kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                         62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                         57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                         61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

Block initial_permutation(const Block& in) {
    Block out{};
    for (int i = 0; i < 64; ++i) {
        const int source = kIp[i] - 1;
        if (in[source / 8] & (0x80 >> (source % 8))) out[i / 8] |= 0x80 >> (i % 8);
    }
    return out;
}

Block openssl_crypt(const Block& key, const Block& in, int direction) {
    DES_cblock openssl_key;
    std::memcpy(openssl_key, key.data(), 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&openssl_key, &schedule);
    DES_cblock input, output;
    std::memcpy(input, in.data(), 8);
    DES_ecb_encrypt(&input, &output, &schedule, direction);
    Block result;
    std::memcpy(result.data(), output, 8);
    return result;
}

Block encipher(const Block& key, Block block) {
    Schedule schedule;
    EXPECT_EQ(setkey(schedule, key.data()), 0);
    EXPECT_EQ(endes(schedule, block.data()), 0);
    return block;
}

Block decipher(const Block& key, Block block) {
    Schedule schedule;
    EXPECT_EQ(setkey(schedule, key.data()), 0);
    EXPECT_EQ(dedes(schedule, block.data()), 0);
    return block;
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Published known answers: the validation set of NBS Special Publication
// 500-20 (initial permutation, key permutation, data permutation and S-box
// tests), the ECB example of FIPS 81, and further widely published vectors.
constexpr Vector kPublished[] = {
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"0123456789ABCDEF", "68652074696D6520", "6A271787AB8883F9"},
    {"0123456789ABCDEF", "666F7220616C6C20", "893D51EC4B563B53"},
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"0000000000000000", "0000000000000000", "8CA64DE9C1B123A7"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "7359B2163E4EDC58"},
    {"3000000000000000", "1000000000000001", "958E6E627A05557B"},
    {"0123456789ABCDEF", "1111111111111111", "17668DFC7292532D"},
    {"1111111111111111", "0123456789ABCDEF", "8A5AE1F81AB8F2DD"},
};

// Each test starts without tables; the fixture builds them in the mode the
// test asks for and releases them afterwards.
class DesTest : public ::testing::Test {
protected:
    void SetUp() override { desdone(); }
    void TearDown() override { desdone(); }
};

class StandardDes : public DesTest {
protected:
    void SetUp() override {
        DesTest::SetUp();
        ASSERT_EQ(desinit(0), 0);
    }
};

class DesWithoutPermutations : public DesTest {
protected:
    void SetUp() override {
        DesTest::SetUp();
        ASSERT_EQ(desinit(1), 0);
    }
};

TEST_F(StandardDes, PublishedVectors) {
    for (const auto& v : kPublished) {
        EXPECT_EQ(to_hex(encipher(from_hex(v.key), from_hex(v.plain))), v.cipher) << v.key << " " << v.plain;
        EXPECT_EQ(to_hex(decipher(from_hex(v.key), from_hex(v.cipher))), v.plain) << v.key << " " << v.cipher;
    }
}

TEST_F(StandardDes, AgreesWithOpenSslOnRandomKeysAndBlocks) {
    std::mt19937 random(46);
    for (int i = 0; i < 2000; ++i) {
        const Block key = random_block(random);
        const Block plain = random_block(random);
        const Block cipher = openssl_crypt(key, plain, DES_ENCRYPT);
        ASSERT_EQ(to_hex(encipher(key, plain)), to_hex(cipher)) << "key " << to_hex(key);
        ASSERT_EQ(to_hex(decipher(key, cipher)), to_hex(plain)) << "key " << to_hex(key);
        // Deciphering a random block agrees as well.
        const Block other = random_block(random);
        ASSERT_EQ(to_hex(decipher(key, other)), to_hex(openssl_crypt(key, other, DES_DECRYPT)));
    }
}

TEST_F(StandardDes, OneScheduleServesManyBlocks) {
    std::mt19937 random(81);
    const Block key = random_block(random);
    Schedule schedule;
    ASSERT_EQ(setkey(schedule, key.data()), 0);
    Block chained{};
    for (int i = 0; i < 100; ++i) {
        const Block expected = openssl_crypt(key, chained, DES_ENCRYPT);
        ASSERT_EQ(endes(schedule, chained.data()), 0);
        ASSERT_EQ(chained, expected);
    }
}

// The worked example of the key schedule widely published for the key
// 13 34 57 79 9B BC DF F1: K1 = 000110 110000 001011 101111 111111 000111
// 000001 110010 and K16 = 110010 110011 110110 001011 000011 100001 011111
// 110101, one 6-bit group per byte.
TEST(DesSetkey, ScheduleHoldsTheRoundKeysInSixBitGroups) {
    Schedule schedule;
    std::memset(schedule, 0xFF, sizeof schedule);
    const Block key = from_hex("133457799BBCDFF1");
    ASSERT_EQ(setkey(schedule, key.data()), 0);
    const unsigned char k1[8] = {0x06, 0x30, 0x0B, 0x2F, 0x3F, 0x07, 0x01, 0x32};
    const unsigned char k16[8] = {0x32, 0x33, 0x36, 0x0B, 0x03, 0x21, 0x1F, 0x35};
    EXPECT_EQ(std::memcmp(schedule[0], k1, 8), 0);
    EXPECT_EQ(std::memcmp(schedule[15], k16, 8), 0);
    for (const auto& row : schedule)
        for (unsigned char group : row) EXPECT_LT(group, 64);
}

TEST(DesSetkey, ParityBitsAreIgnored) {
    std::mt19937 random(64);
    for (int i = 0; i < 100; ++i) {
        const Block key = random_block(random);
        Block flipped = key;
        for (auto& byte : flipped) byte ^= static_cast<unsigned char>(random() & 1);
        Schedule a, b;
        ASSERT_EQ(setkey(a, key.data()), 0);
        ASSERT_EQ(setkey(b, flipped.data()), 0);
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0);
    }
    Schedule all_clear, all_set;
    const Block clear = from_hex("0000000000000000");
    const Block set = from_hex("0101010101010101");
    setkey(all_clear, clear.data());
    setkey(all_set, set.data());
    EXPECT_EQ(std::memcmp(all_clear, all_set, sizeof all_clear), 0);
}

// Without the initial and final permutations the function is the standard one
// with both taken away: endes in mode 1 maps IP(P) to IP(C) wherever standard
// DES maps P to C, the final permutation being the inverse of IP.
TEST_F(DesWithoutPermutations, IsTheStandardResultWithoutInitialAndFinalPermutation) {
    for (const auto& v : kPublished) {
        const Block key = from_hex(v.key);
        const Block plain = initial_permutation(from_hex(v.plain));
        const Block cipher = initial_permutation(from_hex(v.cipher));
        EXPECT_EQ(to_hex(encipher(key, plain)), to_hex(cipher)) << v.key;
        EXPECT_EQ(to_hex(decipher(key, cipher)), to_hex(plain)) << v.key;
    }
    std::mt19937 random(1);
    for (int i = 0; i < 500; ++i) {
        const Block key = random_block(random);
        const Block plain = random_block(random);
        const Block cipher = openssl_crypt(key, plain, DES_ENCRYPT);
        ASSERT_EQ(to_hex(encipher(key, initial_permutation(plain))), to_hex(initial_permutation(cipher)));
    }
}

TEST_F(DesWithoutPermutations, DedesInvertsEndes) {
    std::mt19937 random(2);
    for (int i = 0; i < 500; ++i) {
        const Block key = random_block(random);
        const Block plain = random_block(random);
        ASSERT_EQ(decipher(key, encipher(key, plain)), plain);
    }
}

TEST_F(DesTest, SecondDesinitKeepsTheFirstMode) {
    ASSERT_EQ(desinit(1), 0);
    ASSERT_EQ(desinit(0), 0);  // changes nothing
    const Vector& v = kPublished[7];
    EXPECT_EQ(to_hex(encipher(from_hex(v.key), initial_permutation(from_hex(v.plain)))),
              to_hex(initial_permutation(from_hex(v.cipher))));

    desdone();
    ASSERT_EQ(desinit(0), 0);
    ASSERT_EQ(desinit(1), 0);  // changes nothing
    EXPECT_EQ(to_hex(encipher(from_hex(v.key), from_hex(v.plain))), v.cipher);
}

TEST_F(DesTest, DesdoneTwiceAndReinitialisation) {
    desdone();
    desdone();
    for (int mode : {0, 1, 2, -1}) {
        ASSERT_EQ(desinit(mode), 0);
        const Vector& v = kPublished[0];
        const Block expected = mode == 1 ? initial_permutation(from_hex(v.cipher)) : from_hex(v.cipher);
        const Block plain = mode == 1 ? initial_permutation(from_hex(v.plain)) : from_hex(v.plain);
        EXPECT_EQ(encipher(from_hex(v.key), plain), expected) << "mode " << mode;
        desdone();
    }
}

TEST_F(DesTest, NullPointersGiveMinusOne) {
    ASSERT_EQ(desinit(0), 0);
    Schedule schedule;
    Block block = from_hex("0123456789ABCDEF");
    const Block key = from_hex("133457799BBCDFF1");
    EXPECT_EQ(setkey(nullptr, key.data()), -1);
    EXPECT_EQ(setkey(schedule, nullptr), -1);
    ASSERT_EQ(setkey(schedule, key.data()), 0);
    EXPECT_EQ(endes(nullptr, block.data()), -1);
    EXPECT_EQ(endes(schedule, nullptr), -1);
    EXPECT_EQ(dedes(nullptr, block.data()), -1);
    EXPECT_EQ(dedes(schedule, nullptr), -1);
    EXPECT_EQ(block, from_hex("0123456789ABCDEF"));
}

TEST_F(DesTest, EnciphersNothingBeforeDesinit) {
    Schedule schedule;
    Block block = from_hex("0123456789ABCDEF");
    const Block key = from_hex("133457799BBCDFF1");
    EXPECT_EQ(setkey(schedule, key.data()), 0);  // needs no tables
    EXPECT_EQ(endes(schedule, block.data()), -1);
    EXPECT_EQ(dedes(schedule, block.data()), -1);
    EXPECT_EQ(block, from_hex("0123456789ABCDEF"));

    ASSERT_EQ(desinit(0), 0);
    EXPECT_EQ(endes(schedule, block.data()), 0);
    EXPECT_EQ(to_hex(block), "85E813540F0AB405");
}

}  // namespace
