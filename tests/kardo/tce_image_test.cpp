#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "layout_builder.h"

namespace {
const std::string kHeader =
    "1032FFFFFFFFFFFFFFFFFFFFFFFFFFFF14243503730202020202020202020202020202020202020202FFFFFFFFFFFF";
const std::string kBlock = "00F0" + std::string(30, 'F');
}  // namespace

TEST(Pin2TCEcard, ValueLandsWhereTheReaderFindsIt) {
    Callcard card;
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 4, "GGGG");
    card.pin2TCEcard("1203", "000000", &layout, nullptr, 0);
    EXPECT_EQ("0012A3FF", ImageAt(card, 128, 135));
    char work[17];
    EXPECT_EQ("12A3", card.cardTCE2pin(work, &layout));  // A where 0 was written
    EXPECT_EQ("000000002130", ImageAt(card, 496, 507));  // the value field keeps the 0
}

TEST(Pin2TCEcard, WholeImage) {
    Callcard card;
    const unsigned char stamp[6] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
    std::memcpy(card.stamp, stamp, 6);
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 0, "G0*#PpXG G");  // the blank ends the run
    SetRows(layout, 7, "1234567890ABCDEFGH");  // only 16 characters count: no G
    card.pin2TCEcard("907", "654321", &layout, nullptr, 0xC5);

    std::string expected = kHeader;
    for (int b = 0; b < 10; ++b) expected += kBlock;
    // Entry 0 in the block at 162, from 164 on.
    expected.replace(164, 10, "9ABCE7E7XA");  // the value's 0 becomes A too
    // Entry 7 in the block at 230, from 232 on.
    expected.replace(232, 16, "123456789A" "ABCDEF");
    expected += std::string(44, 'F');
    expected += "563412" "1032547698BA" "000000000009" "5c" "20";
    ASSERT_EQ(512u, expected.size());
    EXPECT_EQ(expected, ImageAt(card, 0, 511));
    char work[17];
    // The reader walks on over the blank, where the writer stopped: the G
    // after it reads the block's filler.
    EXPECT_EQ("9AF", card.cardTCE2pin(work, &layout));
}

TEST(Pin2TCEcard, StaysInsideTheValueAndTheBlocks) {
    std::unique_ptr<char[]> value(new char[12]);
    std::memcpy(value.get(), "123456789123", 12);
    Callcard card;
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 5, std::string(16, 'G'));
    SetRows(layout, 3, std::string(16, 'P'));
    card.pin2TCEcard(value.get(), "000000", &layout, nullptr, 0);
    EXPECT_EQ("123456789123DDDD", ImageAt(card, 300, 315));
    EXPECT_EQ("FF", ImageAt(card, 316, 317));
    std::string pairs;
    for (int i = 0; i < 16; ++i) pairs += "E7";
    EXPECT_EQ("00" + pairs, ImageAt(card, 264, 297));  // the layout starts at the third character
    EXPECT_EQ(kBlock, ImageAt(card, 332, 365));
}

TEST(CardTCE2pin, SearchesTheBlocksInCardOrder) {
    Callcard card;
    for (int i = 0; i < 512; ++i) card.image[i] = static_cast<char>('!' + i % 90);
    const int entries[6] = {4, 0, 2, 7, 3, 5};
    const std::size_t starts[6] = {130, 164, 198, 232, 266, 300};
    for (int first = 0; first < 6; ++first) {
        _kardodll_tagCHIP layout = BlankLayout();
        for (int b = first; b < 6; ++b) SetRows(layout, entries[b], "xPGg P  G");
        std::string expected;
        expected += card.image[starts[first] + 3];
        expected += card.image[starts[first] + 4];
        expected += card.image[starts[first] + 10];  // blanks advance too
        char work[17];
        EXPECT_EQ(expected, card.cardTCE2pin(work, &layout)) << first;
    }
    _kardodll_tagCHIP none = BlankLayout();
    SetRows(none, 1, "GGGG");  // entry 1 is not a TCE block
    char work[17] = "old";
    EXPECT_EQ("old", card.cardTCE2pin(work, &none));
}

TEST(Pin2TCEcard, RoundTripThroughCardTCE2pin) {
    std::mt19937 random(1203);
    const std::string others = "#*0123456789FDxPp";
    const int entries[6] = {4, 0, 2, 7, 3, 5};
    for (int trial = 0; trial < 2000; ++trial) {
        const std::size_t length = 1 + random() % 12;
        std::string value;
        for (std::size_t i = 0; i < length; ++i) value += static_cast<char>('0' + random() % 10);
        const int first = static_cast<int>(random() % 6);

        _kardodll_tagCHIP layout = BlankLayout();
        for (int b = first; b < 6; ++b) {
            std::string run(16, ' ');
            std::size_t used = length + random() % (17 - length);
            for (std::size_t i = 0; i < used; ++i) run[i] = others[random() % others.size()];
            for (std::size_t placed = 0; placed < length;) {
                std::size_t i = random() % used;
                if (run[i] != 'G' && run[i] != 'g') {
                    run[i] = (random() & 1) ? 'G' : 'g';
                    ++placed;
                }
            }
            SetRows(layout, entries[b], run);
        }

        Callcard card;
        card.pin2TCEcard(value.c_str(), "000000", &layout, nullptr, 0);
        std::string expected = value;
        for (char& c : expected)
            if (c == '0') c = 'A';
        char work[17];
        ASSERT_EQ(expected, card.cardTCE2pin(work, &layout)) << "trial " << trial;
    }
}
