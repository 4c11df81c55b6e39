#include <kardo/number_fields.h>

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {
// A field in a heap block of exactly its size, so that a read past it is
// caught by the address sanitizer.
std::unique_ptr<char[]> Field(const std::string& text) {
    std::unique_ptr<char[]> field(new char[text.size()]);
    std::memcpy(field.get(), text.data(), text.size());
    return field;
}
}  // namespace

TEST(Atoin, ReadsOnlyItsWidth) {
    const char* s = "  -42xyz";
    EXPECT_EQ(-42, atoin(s, 8));
    EXPECT_EQ(-4, atoin(s, 4));
    EXPECT_EQ(0, atoin("   ", 3));
    EXPECT_EQ(0, atoin("xyz", 3));
    EXPECT_EQ(17, atoin("\t+17", 4));
    EXPECT_EQ(12, atoin("1234", 2));
    EXPECT_EQ(0, atoin("12", 0));
    EXPECT_EQ(0, atoin("12", -3));
    EXPECT_EQ(0, atoin(nullptr, 4));
}

TEST(Atoin, NeverReadsBeyondTheField) {
    // Blanks over the whole width: the sign that may follow lies outside.
    auto blanks = Field("   ");
    EXPECT_EQ(0, atoin(blanks.get(), 3));
    auto sign = Field("  -");
    EXPECT_EQ(0, atoin(sign.get(), 3));
    auto digits = Field("0042");
    EXPECT_EQ(42, atoin(digits.get(), 4));
}

TEST(Atoin, AtolnIsTheSameFunction) {
    EXPECT_EQ(&atoin, &atoln);
    EXPECT_EQ(-42, atoln("  -42xyz", 8));
}

TEST(Atoin, OverlongFieldsWrapInsteadOfOverflowing) {
    // 2^32 + 5 wraps to 5 in a 32-bit register.
    EXPECT_EQ(5, atoin("4294967301", 10));
    EXPECT_EQ(INT_MAX, atoin("2147483647", 10));
}

TEST(Nstltoa, WritesTheSixCharacterCode) {
    EXPECT_STREQ("   123", nstltoa(123));
    EXPECT_STREQ("  0123", nstltoa(1000000 + 123));
    EXPECT_STREQ("000000", nstltoa(1000000));
    EXPECT_STREQ("  ABP7", nstltoa(-7));
    EXPECT_STREQ("ABP123", nstltoa(-123));
    EXPECT_STREQ("     0", nstltoa(0));
    EXPECT_STREQ("  0045", nstltoa(2000000 + 45));
    EXPECT_STREQ(" 00045", nstltoa(3000000 + 45));
    EXPECT_STREQ("000045", nstltoa(4000000 + 45));
    EXPECT_STREQ("000045", nstltoa(5000000 + 45));
    EXPECT_STREQ("123456", nstltoa(5000000 + 123456));
    EXPECT_STREQ("000000", nstltoa(2000000));
    EXPECT_EQ(6u, std::strlen(nstltoa(LONG_MIN)));
    EXPECT_EQ(6u, std::strlen(nstltoa(LONG_MAX)));
}

TEST(Nstltoa, EachThreadHasItsOwnResult) {
    char* mine = nstltoa(123);
    std::string theirs;
    std::thread other([&] {
        theirs = nstltoa(-7);
        EXPECT_NE(mine, nstltoa(1));
    });
    other.join();
    EXPECT_STREQ("   123", mine);
    EXPECT_EQ("  ABP7", theirs);
}

TEST(Nstatoln, ReadsTheCode) {
    EXPECT_EQ(1000000 + 123, nstatoln("  0123", 6));
    EXPECT_EQ(123, nstatoln("   123", 6));
    EXPECT_EQ(-7, nstatoln("  ABP7", 6));
    EXPECT_EQ(0, nstatoln("000000", 6));
    EXPECT_EQ(-2, nstatoln(" ABP12", 6));
    EXPECT_EQ(-3, nstatoln("ABP123", 6));
    EXPECT_EQ(4000000 + 45, nstatoln("000045", 6));
    EXPECT_EQ(3000000 + 45, nstatoln(" 00045", 6));
    EXPECT_EQ(0, nstatoln("123", 0));
}

// Negative codes keep only their last digit when read back ("ABP123" is -3).
TEST(Nstatoln, RoundTripsWithNstltoa) {
    for (long v : {1L, 9L, 123L, 999999L, 1000000L + 1, 1000000L + 99999, 2000000L + 7, 3000000L + 42,
                   4000000L + 5, -1L, -9L}) {
        std::string code = nstltoa(v);
        EXPECT_EQ(v, nstatoln(code.c_str(), 6)) << code;
    }
}

TEST(Memccmp, CountsTheLeadingRun) {
    const unsigned char bytes[] = {0x20, 0x20, 0x41, 0x20};
    EXPECT_EQ(2, memccmp(bytes, 0x20, 4));
    EXPECT_EQ(1, memccmp(bytes, 0x20, 1));
    EXPECT_EQ(0, memccmp(bytes, 0x41, 4));
    EXPECT_EQ(0, memccmp(bytes, 0x20, 0));
    EXPECT_EQ(0, memccmp(bytes, 0x20, -1));
    EXPECT_EQ(0, memccmp(nullptr, 0x20, 4));
    const unsigned char ff[] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(3, memccmp(ff, 0xFF, 3));
}

TEST(BinToAscii, MapsEveryByteToALetterOrDigit) {
    EXPECT_EQ('A', bin_to_ascii(0x00));
    EXPECT_EQ('B', bin_to_ascii(0x19));
    EXPECT_EQ('b', bin_to_ascii(0x3A));
    EXPECT_EQ('b', bin_to_ascii(0x5B));
    EXPECT_EQ('B', bin_to_ascii(0x7B));
    EXPECT_EQ('7', bin_to_ascii('7'));
    EXPECT_EQ('z', bin_to_ascii('z'));
    EXPECT_EQ('Q', bin_to_ascii('Q'));
    for (int b = 0; b < 128; ++b) {
        char out = bin_to_ascii(static_cast<char>(b));
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(out))) << b;
    }
}
