// The texts the record operations hand to the drivers, and the LBE records.
#include <gtest/gtest.h>

#include "cards/record_texts.h"

using namespace kardo_records;

TEST(RecordTexts, NumberTextsFitSevenCharacters) {
    const struct {
        long number;
        const char* pps;
        const char* gst;
    } cases[] = {
        {42, "000042", "42    "},       {1234567, "234567", "234567"}, {-5, "-00005", "-5    "},
        {-999999, "-999999", "-999999"}, {-1999999, "-999999", "-999999"}, {0, "000000", "0     "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.pps, NumberText(c.number)) << c.number;
        EXPECT_EQ(c.gst, GstNumberText(c.number)) << c.number;
    }
}

TEST(RecordTexts, ValueTextsAreRightAlignedAndCut) {
    EXPECT_EQ("        1234", ValueText("1234", 12));
    EXPECT_EQ("123456789012", ValueText("1234567890123", 12));
    EXPECT_EQ("  12", ValueText(std::string("12\0xy", 5), 4));
    EXPECT_EQ("abcdef", ValueText("abcdefgh", 6));
}

TEST(RecordTexts, LbeRecords) {
    const struct {
        char kind;
        const char* number;
        const char* valueText;
        int length;
        const char* record;
    } cases[] = {
        {'2', "234567", "123456789012", 12, "==2234789012"},
        {'2', "000042", "        1234", 4, "==2000001234"},
        {'3', "000042", "  4711", 4, "==3000004711"},
        {'3', "000042", "654321", 6, "==3000654321"},
        {'3', "-00005", "654321", 0, "==3-00000000"},
        {'2', "000042", "123456789012", 99, "==2000789012"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.record, LbeRecord(c.kind, c.number, c.valueText, c.length)) << c.record;
    EXPECT_EQ("======ABCDEF", LbeGstRecord("ABCDEFGH", 6));
    // The filling covers value characters where patlen is below six.
    EXPECT_EQ("========    ", LbeGstRecord("AB", 4));
    EXPECT_EQ("======AB    ", LbeGstRecord("AB", 6));
    EXPECT_EQ("============", LbeGstRecord("ABCDEF", 0));
}

TEST(RecordTexts, LbeReadBackKeepsHeadAndTail) {
    EXPECT_EQ("ABCDEF  1234", LbeReadBack("ABCDEFGH1234", 4));
    EXPECT_EQ("ABCDEFCDEFGH1234", LbeReadBack("ABCDEFGH1234", 10));
    EXPECT_EQ("AB  AB", LbeReadBack("AB", 4));
    EXPECT_EQ("      ", LbeReadBack("", 0));
}

TEST(RecordTexts, OnlyWholeNumbersInIntRange) {
    const struct {
        const char* text;
        bool ok;
        int number;
    } cases[] = {
        {"4711", true, 4711},   {" -42 ", true, -42},         {"+7", true, 7},
        {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0}, {"99999999999999999999", false, 0}, {"12x", false, 0},
        {"", false, 0},         {"-", false, 0},             {"1.5", false, 0}, {"1 2", false, 0},
    };
    for (const auto& c : cases) {
        int n = 0;
        EXPECT_EQ(c.ok, ParseWholeNumber(c.text, n)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.number, n) << c.text;
        }
    }
}
