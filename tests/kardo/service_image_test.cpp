#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "layout_builder.h"

namespace {
_kardodll_sc4tag Record() {
    _kardodll_sc4tag sc4;
    std::memset(&sc4, ' ', sizeof sc4);
    std::memcpy(sc4.flags, "JNJNNJ", 6);
    sc4.flag7 = 'J';
    sc4.flag8 = 'N';
    std::memcpy(sc4.text6, "ABC123", 6);
    std::memcpy(sc4.text2a, "45", 2);
    std::memcpy(sc4.text2b, "67", 2);
    std::memcpy(sc4.groups + 0, "GG#*1a", 6);
    std::memcpy(sc4.groups + 12, "b c   ", 6);
    std::memcpy(sc4.groups + 3 * 18, "123456", 6);
    std::memcpy(sc4.groups + 9 * 18 + 12, "eE", 2);
    std::memcpy(sc4.num1, "12", 2);
    std::memcpy(sc4.num2, "25", 2);
    std::memcpy(sc4.num3, " 7", 2);
    sc4.sel = '0';
    sc4.chr = 'Q';
    return sc4;
}

std::string Rows(char digit) { return std::string("0") + digit + "DDDDDD"; }
}  // namespace

TEST(Sc42card, WholeImage) {
    Callcard card;
    card.sc4 = Record();
    card.sc42card();

    std::string expected = "61DDFE1A" + Rows('1') + "11BDDDDD";
    for (char g : {'2', '3'}) expected += Rows(g) + Rows(g) + Rows(g);
    expected += "FF" + std::string(22, '0');
    expected += "F0F00F" "F" "C" "ABC123" "45" "4" "7" "67" + std::string(12, 'D');
    // Check byte: 0x61 ^ F0 ^ F0 ^ 0F ^ FC ^ AB ^ C1 ^ 23 ^ 45, worked out by hand.
    expected += "9E" + std::string(30, 'D');
    expected += "63123456" + Rows('3') + Rows('3');
    for (char g : {'4', '5', '6', '7', '8'}) expected += Rows(g) + Rows(g) + Rows(g);
    expected += Rows('9') + Rows('9') + "29EEDDDD";
    expected += std::string(88, 'D');
    expected += "02010QF0" + std::string(88, 'D');
    ASSERT_EQ(512u, expected.size());
    EXPECT_EQ(expected, ImageAt(card, 0, 511));
}

TEST(Sc42card, SwitchesAndNumbers) {
    Callcard card;
    card.sc4 = Record();
    card.sc42card();
    EXPECT_EQ('4', card.image[112]);  // num2 25
    EXPECT_EQ('1', card.image[419]);  // sel the digit 0

    std::memcpy(card.sc4.num1, "15", 2);
    std::memcpy(card.sc4.num2, "80", 2);
    std::memcpy(card.sc4.num3, "00", 2);
    card.sc4.sel = 'x';
    card.sc4.flag8 = 'J';
    card.sc42card();
    EXPECT_EQ('F', card.image[103]);
    EXPECT_EQ('F', card.image[112]);
    EXPECT_EQ('0', card.image[113]);
    EXPECT_EQ('2', card.image[419]);
    EXPECT_EQ('F', card.image[423]);

    std::memcpy(card.sc4.num2, "05", 2);
    card.sc42card();
    EXPECT_EQ('0', card.image[112]);
}

TEST(Sc42card, NumbersOutOfRangeStayInTheirPosition) {
    Callcard card;
    card.sc4 = Record();
    std::memcpy(card.sc4.num1, "99", 2);  // 0x63: only its low digit fits
    std::memcpy(card.sc4.num2, "00", 2);  // 0 / 5 - 1 = -1
    std::memcpy(card.sc4.num3, "-1", 2);
    card.sc42card();
    EXPECT_EQ("3ABC12345F", ImageAt(card, 103, 112));
    EXPECT_EQ("F67DDD", ImageAt(card, 113, 118));
}
