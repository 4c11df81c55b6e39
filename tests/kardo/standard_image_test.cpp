#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "layout_builder.h"

TEST(Card2pin, BlankEndsTheRowAndTheFirstEntryWithAGWins) {
    Callcard card;
    for (int i = 0; i < 512; ++i) card.image[i] = "0123456789ABCDEF"[i % 16];
    card.image[58] = 'X';
    card.image[60] = 'Y';  // after the blank: must not be read
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 1, "G G");
    SetRows(layout, 2, "GGGGGG");
    char work[19] = {};
    EXPECT_EQ("X", card.card2pin(work, &layout));
    EXPECT_STREQ("X", work);
}

TEST(Card2pin, ReadsTheGPositionsOfEveryRow) {
    Callcard card;
    for (int i = 0; i < 512; ++i) card.image[i] = static_cast<char>('!' + i % 90);
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 3, "xGxxxxGGGGGG   xxG");
    // Entry 3 rows start at 32 + 24 * 3 = 104, characters 2 on in each row.
    std::string expected;
    expected += card.image[104 + 2 + 1];
    for (int c = 0; c < 6; ++c) expected += card.image[112 + 2 + c];
    char work[19];
    EXPECT_EQ(expected, card.card2pin(work, &layout));  // row 2 ended at its first blank
}

TEST(Card2pin, WithoutAnyGTheBufferIsReturnedUnchanged) {
    Callcard card;
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 4, "GGGGGG");  // entries 4 to 7 are not searched
    char work[19] = "previous";
    EXPECT_EQ("previous", card.card2pin(work, &layout));
    EXPECT_STREQ("previous", work);
}

TEST(Pin2card, PartExample) {
    Callcard card;
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 0, "GGGGGG");
    _kardodll_tagCHIP extra = BlankLayout();
    card.pin2card("123456", "000000", &layout, &extra, 0);
    EXPECT_EQ("61123456", ImageAt(card, 32, 39));
    EXPECT_EQ("000000214365", ImageAt(card, 496, 507));
}

TEST(Pin2card, WholeImage) {
    Callcard card;
    const unsigned char stamp[6] = {0x12, 0xAB, 0x00, 0xFF, 0x3C, 0x07};
    std::memcpy(card.stamp, stamp, 6);
    _kardodll_tagCHIP layout = BlankLayout();
    SetHead(layout, 0, "HEAD");
    SetRows(layout, 0, "#*GgAb" "c9x" "      ");
    SetHead(layout, 5, "Z Q");
    SetRows(layout, 5, "fFeE*#" "G     " "G");
    _kardodll_tagCHIP extra = BlankLayout();
    SetRows(extra, 0, "1GG");
    card.pin2card("4711", "123456", &layout, &extra, 0x3A);

    std::string expected;
    // Entries 0-3: header rows at 0, 8, 16, 24, group digits 1, 2, 4, 8.
    expected += "41HEADDD" "02DDDDDD" "04DDDDDD" "08DDDDDD";
    // Entry 0 rows at 32; entries 1-3 rows blank.
    expected += "61FE47AB" "31C9DDDD" "01DDDDDD";
    expected += "02DDDDDD02DDDDDD02DDDDDD";
    expected += "04DDDDDD04DDDDDD04DDDDDD";
    expected += "08DDDDDD08DDDDDD08DDDDDD";
    ASSERT_EQ(128u, expected.size());
    expected += "FF" + std::string(18, '0') + std::string(140, 'D');
    ASSERT_EQ(288u, expected.size());
    // Entries 4-7: header rows at 288.., rows at 320..
    expected += "01DDDDDD" "12ZDDDDD" "04DDDDDD" "08DDDDDD";
    expected += "01DDDDDD01DDDDDD01DDDDDD";
    expected += "62FFEEEF" "124DDDDD" "127DDDDD";
    expected += "04DDDDDD04DDDDDD04DDDDDD";
    expected += "08DDDDDD08DDDDDD08DDDDDD";
    ASSERT_EQ(416u, expected.size());
    expected += std::string(32, 'D');
    // Extra layout at 448, group digit 1.
    expected += "3114" "7DDD" "01DDDDDD" "01DDDDDD";
    expected += std::string(6, 'D');
    expected += "214365";                   // number, pair-swapped
    expected += "21BA00FFC370";             // stamp bytes "%02X", digits exchanged
    expected += "000000000074";             // entry 0 has 2 Gs: "000000000047" pair-swapped
    expected += "a3";                       // mode 0x3A as "%02x", digits exchanged
    expected += "00";
    ASSERT_EQ(512u, expected.size());
    EXPECT_EQ(expected, ImageAt(card, 0, 511));
}

TEST(Pin2card, LengthFallsBackToTheExtraLayout) {
    Callcard card;
    _kardodll_tagCHIP layout = BlankLayout();
    _kardodll_tagCHIP extra = BlankLayout();
    SetRows(extra, 0, "GGG");
    card.pin2card("98765", "000000", &layout, &extra, 0);
    EXPECT_EQ("31987DDD", ImageAt(card, 448, 455));
    EXPECT_EQ("000000009078", ImageAt(card, 496, 507));  // "000000000987" pair-swapped
}

TEST(Pin2card, StaysInsideTheValue) {
    // A value of 12 characters without a terminator in a block of exactly
    // 12 bytes, and a layout with 18 Gs: the six missing characters are D.
    std::unique_ptr<char[]> value(new char[12]);
    std::memcpy(value.get(), "123456789012", 12);
    Callcard card;
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 0, std::string(18, 'G'));
    _kardodll_tagCHIP extra = BlankLayout();
    card.pin2card(value.get(), "000000", &layout, &extra, 0);
    char work[19];
    EXPECT_EQ("123456789012DDDDDD", card.card2pin(work, &layout));
    EXPECT_EQ("214365870921", ImageAt(card, 496, 507));

    // A short value: the missing characters are D, the value field keeps the
    // characters there are, right-aligned.
    SetRows(layout, 0, "GGGGG");
    card.pin2card("12", "00", &layout, &extra, 0);
    EXPECT_EQ("12DDD", card.card2pin(work, &layout));
    EXPECT_EQ("000000000021", ImageAt(card, 496, 507));
    EXPECT_EQ("000000", ImageAt(card, 478, 483));  // number ended early: zeros
}

TEST(Pin2card, NullLayoutsAreBlank) {
    Callcard card;
    card.pin2card("1", "000000", nullptr, nullptr, 0);
    EXPECT_EQ("01DDDDDD", ImageAt(card, 0, 7));
    EXPECT_EQ("01DDDDDD", ImageAt(card, 448, 455));
}

// Value round trip: every entry and every row carries G positions, so the
// value is found in the first of entries 0 to 3 that has any.
TEST(Pin2card, RoundTripThroughCard2pin) {
    std::mt19937 random(4711);
    const std::string others = "#*FfEeAaBbCc0123456789xX-";
    for (int trial = 0; trial < 2000; ++trial) {
        const std::size_t length = 3 + random() % 10;  // 3 to 12: at least one G per row
        std::string value;
        for (std::size_t i = 0; i < length; ++i) value += static_cast<char>('0' + random() % 10);
        const int firstWithG = static_cast<int>(random() % 4);

        _kardodll_tagCHIP layout = BlankLayout();
        for (int entry = firstWithG; entry < 8; ++entry) {
            // Split the Gs over the three rows, at least one each, at most six.
            std::size_t perRow[3] = {1, 1, 1};
            for (std::size_t left = length - 3; left > 0;) {
                std::size_t r = random() % 3;
                if (perRow[r] < 6) ++perRow[r], --left;
            }
            std::string rows;
            for (std::size_t count : perRow) {
                std::string row(6, ' ');
                std::size_t used = count + random() % (7 - count);  // row length before its blank
                for (std::size_t c = 0; c < used; ++c) row[c] = others[random() % others.size()];
                for (std::size_t placed = 0; placed < count;) {
                    std::size_t c = random() % used;
                    if (row[c] != 'G' && row[c] != 'g') {
                        row[c] = (random() & 1) ? 'G' : 'g';
                        ++placed;
                    }
                }
                rows += row;
            }
            SetRows(layout, entry, rows);
        }
        _kardodll_tagCHIP extra = BlankLayout();
        SetRows(extra, 0, "GGG");

        Callcard card;
        card.pin2card(value.c_str(), "000000", &layout, &extra, 0);
        char work[19];
        ASSERT_EQ(value, card.card2pin(work, &layout)) << "trial " << trial;
        // The value field: the whole value right-aligned, pair-swapped.
        std::string field = std::string(12 - length, '0') + value;
        for (std::size_t i = 0; i < 12; i += 2) std::swap(field[i], field[i + 1]);
        ASSERT_EQ(field, ImageAt(card, 496, 507));
    }
}
