// The encrypted string format of CTEA: known answers built from the published
// TEA result for the all-zero key, the layout of the format, round trips, and
// inputs whose length word promises more than they hold.
#include <kardo/kardo.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kZeroKey[4] = {0, 0, 0, 0};

std::vector<unsigned char> decode(const std::string& text) {
    std::vector<unsigned char> out(3 * text.size() / 4 + 1);
    CTEA::base64Decode(text.data(), out.data(), text.size());
    return out;
}

std::string encode(const std::vector<unsigned char>& bytes) {
    std::string out(4 * (bytes.size() / 3) + bytes.size() % 3 + 1, '\0');
    CTEA::base64Encode(bytes.data(), out.data(), bytes.size());
    out.pop_back();
    return out;
}

uint32_t length_word(const std::vector<unsigned char>& bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

std::string random_text(std::mt19937& random, std::size_t length) {
    std::uniform_int_distribution<int> byte(1, 255);  // no zero bytes
    std::string text(length, '\0');
    for (auto& c : text) c = static_cast<char>(byte(random));
    return text;
}

// Eight zero bytes form one block of the zero pair, whose cipher under the
// zero key is the reference result 41EA3A0A 94BAA940. Laid out little-endian
// after the length word 8 and followed by three zero bytes:
// 08 00 00 00 0A 3A EA 41 40 A9 BA 94 00 00 00, "CAAAAAo66kFAqbqUAAAA".
TEST(TeaEncryptString, KnownAnswerForAZeroBlockUnderTheZeroKey) {
    EXPECT_EQ(CTEA::TeaEncryptString(std::string(8, '\0'), kZeroKey), "CAAAAAo66kFAqbqUAAAA");
    // The zero bytes vanish again on decryption.
    EXPECT_EQ(CTEA::TeaDecryptString("CAAAAAo66kFAqbqUAAAA", kZeroKey), "");
}

TEST(TeaEncryptString, EmptyTextIsSevenZeroBytes) {
    const uint32_t key[4] = {1, 2, 3, 4};
    EXPECT_EQ(CTEA::TeaEncryptString("", key), "AAAAAAAAA");
    EXPECT_EQ(CTEA::TeaDecryptString("AAAAAAAAA", key), "");
    EXPECT_EQ(CTEA::TeaDecryptString("", key), "");
}

TEST(TeaEncryptString, LayoutOfTheFormat) {
    const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    for (std::size_t length = 1; length <= 40; ++length) {
        const std::size_t blocks = (length + 7) / 8;
        const std::size_t bytes = 4 + 8 * blocks + 3;
        const std::string encrypted = CTEA::TeaEncryptString(std::string(length, 'x'), key);
        ASSERT_EQ(encrypted.size(), 4 * (bytes / 3) + bytes % 3) << length;
        const std::vector<unsigned char> decoded = decode(encrypted);
        EXPECT_EQ(length_word(decoded), 8 * blocks) << length;
    }
    EXPECT_EQ(CTEA::TeaEncryptString("a", key).size(), 20u);
    EXPECT_EQ(CTEA::TeaEncryptString("abcdefgh", key).size(), 20u);
    EXPECT_EQ(CTEA::TeaEncryptString("abcdefghi", key).size(), 30u);
    EXPECT_EQ(CTEA::TeaEncryptString("abcdefghijklmnop", key).size(), 30u);
}

TEST(TeaStringRoundTrip, RandomTextsAndKeys) {
    std::mt19937 random(2008);
    for (std::size_t length = 0; length < 300; ++length) {
        const uint32_t key[4] = {static_cast<uint32_t>(random()), static_cast<uint32_t>(random()),
                                 static_cast<uint32_t>(random()), static_cast<uint32_t>(random())};
        const std::string text = random_text(random, length);
        ASSERT_EQ(CTEA::TeaDecryptString(CTEA::TeaEncryptString(text, key), key), text) << length;
    }
}

// Far beyond the 65535 characters a 16-bit position counter could reach.
TEST(TeaStringRoundTrip, LongTexts) {
    std::mt19937 random(65536);
    const uint32_t key[4] = {0xCAFEBABE, 0x8BADF00D, 0xFEEDFACE, 0xDEADC0DE};
    for (std::size_t length : {65535u, 65536u, 70001u, 250000u}) {
        const std::string text = random_text(random, length);
        const std::string encrypted = CTEA::TeaEncryptString(text, key);
        ASSERT_GT(encrypted.size(), 65535u);
        ASSERT_EQ(CTEA::TeaDecryptString(encrypted, key), text) << length;
    }
}

TEST(TeaDecryptString, AZeroByteDropsTheRestOfItsBlock) {
    const uint32_t key[4] = {9, 8, 7, 6};
    const std::string text("abc\0defghij", 11);
    EXPECT_EQ(CTEA::TeaDecryptString(CTEA::TeaEncryptString(text, key), key), "abchij");
}

TEST(TeaDecryptString, AnotherKeyGivesAtMostTheAnnouncedLength) {
    std::mt19937 random(7);
    const uint32_t key[4] = {1, 2, 3, 4};
    const uint32_t other[4] = {1, 2, 3, 5};
    const std::string text = random_text(random, 37);
    const std::string garbage = CTEA::TeaDecryptString(CTEA::TeaEncryptString(text, key), other);
    EXPECT_LE(garbage.size(), 40u);
    EXPECT_NE(garbage, text);
}

TEST(TeaDecryptString, SkipsLineBreaksInTheEncryptedText) {
    std::mt19937 random(76);
    const uint32_t key[4] = {11, 22, 33, 44};
    const std::string text = random_text(random, 200);
    const std::string encrypted = CTEA::TeaEncryptString(text, key);
    std::string wrapped;
    for (std::size_t i = 0; i < encrypted.size(); i += 76) wrapped += encrypted.substr(i, 76) + "\r\n";
    EXPECT_EQ(CTEA::TeaDecryptString(wrapped, key), text);
}

// A cut-off text: the length word announces three blocks, but only the first
// one is there whole. Deciphering stops at the end of the decoded bytes.
TEST(TeaDecryptString, StopsWhereTheDecodedBytesEnd) {
    const uint32_t key[4] = {5, 6, 7, 8};
    const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWX";
    const std::string encrypted = CTEA::TeaEncryptString(text, key);
    // 16 characters decode to 12 bytes: the length word and one block.
    EXPECT_EQ(CTEA::TeaDecryptString(encrypted.substr(0, 16), key), "ABCDEFGH");
    // 20 characters decode to 15 bytes: the second block is not complete.
    EXPECT_EQ(CTEA::TeaDecryptString(encrypted.substr(0, 20), key), "ABCDEFGH");
    // Shorter than a length word.
    EXPECT_EQ(CTEA::TeaDecryptString(encrypted.substr(0, 4), key), "");
    EXPECT_EQ(CTEA::TeaDecryptString("A", key), "");
}

TEST(TeaDecryptString, LengthWordAnnouncingMoreThanThereIs) {
    const uint32_t key[4] = {5, 6, 7, 8};
    std::vector<unsigned char> bytes = decode(CTEA::TeaEncryptString("ABCDEFGH", key));
    bytes.resize(4 + 8 + 3);
    for (uint32_t announced : {16u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF8u}) {
        bytes[0] = static_cast<unsigned char>(announced);
        bytes[1] = static_cast<unsigned char>(announced >> 8);
        bytes[2] = static_cast<unsigned char>(announced >> 16);
        bytes[3] = static_cast<unsigned char>(announced >> 24);
        EXPECT_EQ(CTEA::TeaDecryptString(encode(bytes), key), "ABCDEFGH") << announced;
    }
}

TEST(TeaDecryptString, LengthWordOfZeroGivesNothing) {
    const uint32_t key[4] = {5, 6, 7, 8};
    std::vector<unsigned char> bytes = decode(CTEA::TeaEncryptString("ABCDEFGH", key));
    bytes.resize(4 + 8 + 3);
    bytes[0] = 0;
    EXPECT_EQ(CTEA::TeaDecryptString(encode(bytes), key), "");
}

}  // namespace
