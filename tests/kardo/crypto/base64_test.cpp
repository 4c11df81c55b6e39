// Base64 coder of CTEA: RFC 4648 test vectors, adjusted where the coder writes
// no padding and drops the bits of an incomplete last group.
#include <kardo/kardo.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string encode(const std::string& bytes) {
    std::string out(4 * (bytes.size() / 3) + bytes.size() % 3 + 1, '#');
    CTEA::base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), out.data(), bytes.size());
    EXPECT_EQ(out.back(), '\0') << "terminating zero";
    out.pop_back();
    return out;
}

// Decodes into a buffer of exactly the documented size, so that a write past
// it shows under the sanitizers; returns the bytes before the terminating zero
// and checks that the zero is there.
std::string decode(const std::string& text, std::size_t expected_size) {
    std::vector<unsigned char> out(3 * text.size() / 4 + 1, 0xEE);
    CTEA::base64Decode(text.data(), out.data(), text.size());
    EXPECT_LT(expected_size, out.size());
    if (expected_size >= out.size()) return {};
    EXPECT_EQ(out[expected_size], 0) << "zero byte behind the decoded bytes";
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expected_size));
}

TEST(Base64ToAscii, MapsSixBitValuesToTheAlphabetAndOthersToPadding) {
    EXPECT_EQ(CTEA::base64ToAscii(0), 'A');
    EXPECT_EQ(CTEA::base64ToAscii(25), 'Z');
    EXPECT_EQ(CTEA::base64ToAscii(26), 'a');
    EXPECT_EQ(CTEA::base64ToAscii(51), 'z');
    EXPECT_EQ(CTEA::base64ToAscii(52), '0');
    EXPECT_EQ(CTEA::base64ToAscii(61), '9');
    EXPECT_EQ(CTEA::base64ToAscii(62), '+');
    EXPECT_EQ(CTEA::base64ToAscii(63), '/');
    EXPECT_EQ(CTEA::base64ToAscii(64), '=');
    EXPECT_EQ(CTEA::base64ToAscii(-1), '=');
    EXPECT_EQ(CTEA::base64ToAscii(255), '=');
}

// RFC 4648, section 10, with the padding removed and the character that holds
// only leftover bits of an incomplete group dropped.
TEST(Base64Encode, Rfc4648VectorsWithoutPaddingOrLeftoverBits) {
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Z");         // RFC: "Zg=="
    EXPECT_EQ(encode("fo"), "Zm");       // RFC: "Zm8="
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vY");  // RFC: "Zm9vYg=="
    EXPECT_EQ(encode("fooba"), "Zm9vYm");  // RFC: "Zm9vYmE="
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
}

TEST(Base64Encode, ExamplesOfTheFormat) {
    EXPECT_EQ(encode("abc"), "YWJj");
    EXPECT_EQ(encode("ab"), "YW");
    EXPECT_EQ(encode("a"), "Y");
    // All 64 characters in order, from the bytes 00 10 83 10 51 87 ... BF.
    const unsigned char all[] = {0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8B, 0x30, 0xD3, 0x8F,
                                 0x41, 0x14, 0x93, 0x51, 0x55, 0x97, 0x61, 0x96, 0x9B, 0x71, 0xD7, 0x9F,
                                 0x82, 0x18, 0xA3, 0x92, 0x59, 0xA7, 0xA2, 0x9A, 0xAB, 0xB2, 0xDB, 0xAF,
                                 0xC3, 0x1C, 0xB3, 0xD3, 0x5D, 0xB7, 0xE3, 0x9E, 0xBB, 0xF3, 0xDF, 0xBF};
    EXPECT_EQ(encode(std::string(reinterpret_cast<const char*>(all), sizeof all)),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Base64Decode, Rfc4648VectorsWithPaddingDecodeWhole) {
    EXPECT_EQ(decode("", 0), "");
    EXPECT_EQ(decode("Zg==", 1), "f");
    EXPECT_EQ(decode("Zm8=", 2), "fo");
    EXPECT_EQ(decode("Zm9v", 3), "foo");
    EXPECT_EQ(decode("Zm9vYg==", 4), "foob");
    EXPECT_EQ(decode("Zm9vYmE=", 5), "fooba");
    EXPECT_EQ(decode("Zm9vYmFy", 6), "foobar");
}

TEST(Base64Decode, SkipsCharactersOutsideTheAlphabet) {
    EXPECT_EQ(decode("YW Jj==", 3), "abc");
    EXPECT_EQ(decode("Zm9v\r\nYmFy\n", 6), "foobar");
    EXPECT_EQ(decode("*Z-m.9!v", 3), "foo");
    EXPECT_EQ(decode("\x80\xFFZm9v\x7F", 3), "foo");
    EXPECT_EQ(decode("====", 0), "");
}

TEST(Base64Decode, IncompleteLastGroupGivesItsCompletePositionsOnly) {
    EXPECT_EQ(decode("Z", 0), "");
    EXPECT_EQ(decode("Zm9vY", 3), "foo");
    EXPECT_EQ(decode("Zm", 1), "f");
    EXPECT_EQ(decode("Zm9", 2), "fo");
}

TEST(Base64Decode, StopsAtTheGivenLength) {
    std::vector<unsigned char> out(8, 0xEE);
    CTEA::base64Decode("Zm9vYmFy", out.data(), 4);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), std::string("foo\0", 4));
}

// Random byte strings, including ones far beyond 65535 characters: multiples
// of three bytes come back whole; otherwise the last byte, whose bits the
// encoder only partly writes, is lost and everything before it comes back.
TEST(Base64RoundTrip, RandomBytesOfManyLengths) {
    std::mt19937 random(4648);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n < 200; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {65535, 65536, 65537, 100000, 200001});
    for (std::size_t length : lengths) {
        std::string bytes(length, '\0');
        for (auto& c : bytes) c = static_cast<char>(random());
        const std::string text = encode(bytes);
        ASSERT_EQ(text.size(), 4 * (length / 3) + length % 3);
        const std::size_t kept = length % 3 == 0 ? length : length - 1;
        ASSERT_EQ(decode(text, kept), bytes.substr(0, kept)) << "length " << length;
    }
}

}  // namespace
