// TEA on word pairs and 8-byte codes, against the published reference results
// of TEA (Wheeler and Needham's algorithm, test vectors for the all-zero key).
#include <kardo/kardo.h>

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kZeroKey[4] = {0, 0, 0, 0};

// Published reference results of TEA (the test vectors that chain six words
// through the cipher, data followed by key): under the all-zero key the zero
// pair enciphers to 41EA3A0A 94BAA940; the next step enciphers the pair
// 94BAA940 00000000 under the key 0 0 0 41EA3A0A to 4E8E7829 7D8236D8.
constexpr uint32_t kZeroPairCipher[2] = {0x41EA3A0A, 0x94BAA940};
constexpr uint32_t kSecondKey[4] = {0, 0, 0, 0x41EA3A0A};
constexpr uint32_t kSecondPlain[2] = {0x94BAA940, 0x00000000};
constexpr uint32_t kSecondCipher[2] = {0x4E8E7829, 0x7D8236D8};

TEST(TeaEncipher, ReferenceResultsForTheZeroKey) {
    uint32_t zero[2] = {0, 0};
    uint32_t out[2] = {};
    CTEA::TeaEncipher(zero, out, kZeroKey);
    EXPECT_EQ(out[0], kZeroPairCipher[0]);
    EXPECT_EQ(out[1], kZeroPairCipher[1]);
    CTEA::TeaEncipher(kSecondPlain, out, kSecondKey);
    EXPECT_EQ(out[0], kSecondCipher[0]);
    EXPECT_EQ(out[1], kSecondCipher[1]);
}

TEST(TeaDecipher, InvertsTheReferenceResults) {
    uint32_t out[2] = {1, 1};
    CTEA::TeaDecipher(kZeroPairCipher, out, kZeroKey);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1], 0u);
    CTEA::TeaDecipher(kSecondCipher, out, kSecondKey);
    EXPECT_EQ(out[0], kSecondPlain[0]);
    EXPECT_EQ(out[1], kSecondPlain[1]);
}

TEST(TeaEncipher, InputAndOutputMayBeTheSamePair) {
    uint32_t pair[2] = {0, 0};
    CTEA::TeaEncipher(pair, pair, kZeroKey);
    EXPECT_EQ(pair[0], kZeroPairCipher[0]);
    EXPECT_EQ(pair[1], kZeroPairCipher[1]);
    CTEA::TeaDecipher(pair, pair, kZeroKey);
    EXPECT_EQ(pair[0], 0u);
    EXPECT_EQ(pair[1], 0u);
}

TEST(TeaRoundTrip, RandomPairsAndKeys) {
    std::mt19937 random(1994);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t key[4] = {static_cast<uint32_t>(random()), static_cast<uint32_t>(random()),
                                 static_cast<uint32_t>(random()), static_cast<uint32_t>(random())};
        const uint32_t plain[2] = {static_cast<uint32_t>(random()), static_cast<uint32_t>(random())};
        uint32_t cipher[2], back[2];
        CTEA::TeaEncipher(plain, cipher, key);
        CTEA::TeaDecipher(cipher, back, key);
        ASSERT_EQ(back[0], plain[0]);
        ASSERT_EQ(back[1], plain[1]);
    }
}

TEST(CteaKey, DefaultKeyIsZeroAndCopiesKeepTheKey) {
    CTEA tea;
    uint32_t y = 0, z = 0;
    tea.encipher(&y, &z);
    EXPECT_EQ(y, kZeroPairCipher[0]);
    EXPECT_EQ(z, kZeroPairCipher[1]);

    CTEA keyed;
    keyed.teasetkey(0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210);
    const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    uint32_t expected[2] = {0x11111111, 0x22222222};
    CTEA::TeaEncipher(expected, expected, key);

    CTEA copy(keyed);
    CTEA assigned;
    assigned = keyed;
    for (const CTEA* object : {&keyed, &copy, &assigned}) {
        uint32_t a = 0x11111111, b = 0x22222222;
        object->encipher(&a, &b);
        EXPECT_EQ(a, expected[0]);
        EXPECT_EQ(b, expected[1]);
    }
}

TEST(CteaWordPairs, VerifykeyXorsTheBytesMostSignificantFirst) {
    CTEA tea;
    uint32_t y = 0x01020304, z = 0xA0B0C0D0;
    const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    tea.verifykey(&y, &z, bytes);
    EXPECT_EQ(y, 0x00000000u);
    EXPECT_EQ(z, 0xA5B6C7D8u);
}

TEST(CteaWordPairs, UpdatekeyWritesBothWordsMostSignificantFirst) {
    CTEA tea;
    unsigned char out[8] = {};
    tea.updatekey(0x01234567, 0x89ABCDEF, out);
    const unsigned char expected[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(std::memcmp(out, expected, 8), 0);
}

TEST(CteaWordPairs, PreparekeyXorsThenEnciphers) {
    CTEA tea;
    uint32_t y = 0, z = 0;
    const unsigned char zero[8] = {};
    tea.preparekey(&y, &z, zero);
    EXPECT_EQ(y, kZeroPairCipher[0]);
    EXPECT_EQ(z, kZeroPairCipher[1]);
}

// The pair carries the chaining value: XORed with the piece it becomes the
// second reference plaintext, which enciphers to the second reference result.
TEST(CteaWordPairs, PreparekeyChainsThroughThePair) {
    CTEA tea;
    tea.teasetkey(kSecondKey[0], kSecondKey[1], kSecondKey[2], kSecondKey[3]);
    uint32_t y = 0x12345678, z = 0x9ABCDEF0;
    // 12345678 ^ 868EFF38 = 94BAA940, 9ABCDEF0 ^ 9ABCDEF0 = 0.
    const unsigned char piece[8] = {0x86, 0x8E, 0xFF, 0x38, 0x9A, 0xBC, 0xDE, 0xF0};
    tea.preparekey(&y, &z, piece);
    unsigned char out[8];
    tea.updatekey(y, z, out);
    const unsigned char expected[8] = {0x4E, 0x8E, 0x78, 0x29, 0x7D, 0x82, 0x36, 0xD8};
    EXPECT_EQ(std::memcmp(out, expected, 8), 0);
}

// The 12-character code "AAAAAAAAAAAA" stands for nine zero bytes (check byte
// included). Under the zero key its words encipher to the reference result,
// written most significant byte first with the check byte 0x5A:
// 41 EA 3A 0A 94 BA A9 40 5A, which is "Qeo6CpS6qUBa" in Base64.
TEST(Strencipher, EnciphersTheCodeWithTheObjectsKey) {
    CTEA tea;
    char out[13];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(tea.strencipher("AAAAAAAAAAAA", out), 0);
    EXPECT_STREQ(out, "Qeo6CpS6qUBa");
}

TEST(Strencipher, OutputCarriesAValidCheckByte) {
    CTEA tea;
    tea.teasetkey(0xDEADBEEF, 0x01234567, 0x89ABCDEF, 0x0BADF00D);
    char out[13];
    ASSERT_EQ(tea.strencipher("Qeo6CpS6qUBa", out), 0);
    ASSERT_EQ(std::strlen(out), 12u);
    unsigned char bytes[10];
    CTEA::base64Decode(out, bytes, 12);
    EXPECT_EQ(std::accumulate(bytes, bytes + 9, 0u) % 256, 0u);
}

TEST(Strencipher, RejectsCodesOfAnotherLength) {
    CTEA tea;
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(tea.strencipher("AAAAAAAAAAA", out), -1);
    EXPECT_EQ(tea.strencipher("AAAAAAAAAAAAA", out), -1);
    EXPECT_EQ(tea.strencipher("", out), -1);
    EXPECT_EQ(tea.strencipher(nullptr, out), -1);
    EXPECT_EQ(out[0], '#') << "output left alone";
}

TEST(Strencipher, RejectsAWrongCheckByte) {
    CTEA tea;
    char out[16];
    std::memset(out, '#', sizeof out);
    // Last character 'B' makes the check byte 1: the nine bytes add up to 1.
    EXPECT_EQ(tea.strencipher("AAAAAAAAAAAB", out), -2);
    // One character changed in the words: the sum is no longer 0.
    EXPECT_EQ(tea.strencipher("Qeo6CpS6qUBb", out), -2);
    // A character outside the alphabet leaves fewer than nine bytes.
    EXPECT_EQ(tea.strencipher("AAAAAAAAAAA=", out), -2);
    EXPECT_EQ(tea.strencipher("AAAAAA AAAAA", out), -2);
    EXPECT_EQ(out[0], '#') << "output left alone";
}

}  // namespace
