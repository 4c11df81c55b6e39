// The LBE records and the number check of number records. (The texts for
// the other drivers are checked on the card.)
#include <gtest/gtest.h>

#include "cards/record_texts.h"

using namespace kardo_records;

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
        {" -42 ", true, -42}, {"-2147483648", true, -2147483647 - 1}, {"2147483648", false, 0},
        {"-", false, 0},      {"1 2", false, 0},
    };
    for (const auto& c : cases) {
        int n = 0;
        EXPECT_EQ(c.ok, ParseWholeNumber(c.text, n)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.number, n) << c.text;
        }
    }
}
