// Ccard before and beside any terminal: the choice of driver and what the
// facade keeps.
#include <gtest/gtest.h>
#include <kardo/kardo.h>

#include <cstring>
#include <string>

TEST(Facade, WithoutATerminalTypeEverythingFailsAndChangesNothing) {
    Ccard card;
    std::string value = "unchanged";
    EXPECT_EQ(-1, card.open_card());
    EXPECT_EQ(-1, card.close_card());
    EXPECT_EQ(-1, card.pps_rcard(value));
    EXPECT_EQ(-1, card.pat_rcard(value));
    EXPECT_EQ("unchanged", value);
    EXPECT_EQ(-1, card.pps_wcard(1, "1"));
    EXPECT_EQ(-1, card.pat_wcard(1, "1", 0));
    EXPECT_EQ(-1, card.gst_wcard(1, "1"));
    EXPECT_EQ(-1, card.sc4_wcard());
    EXPECT_EQ(0, card.rdkvk().valid);
    EXPECT_EQ(-1, card.card_ready());
}

TEST(Facade, InitCardTypeKeepsTheExtraLayoutsAsOneEntryAndFillsTheChosenDriver) {
    _kardodll_CHIP chip;
    std::memset(&chip, ' ', sizeof chip);
    std::memcpy(chip.ppspin, "GGGGGG", 6);
    std::memcpy(chip.patpin + 6, "GGG", 3);
    std::memcpy(chip.patpin + 18, "XXXXXX", 6);
    _kardodll_sc4tag sc4;
    std::memset(&sc4, 'J', sizeof sc4);
    const unsigned char stamp[6] = {1, 2, 3, 4, 5, 6};
    HWND window = reinterpret_cast<HWND>(0x1234);

    Ccard card;
    card.initCardType(3, "/dev/null", 4, 2, stamp, chip, sc4, window, 1);
    EXPECT_EQ(0, std::memcmp(chip.pps.entry, card.chip.pps.entry, sizeof chip.pps));
    EXPECT_EQ(std::string(6, '\0') + "GGGGGG" + std::string(12, ' '), std::string(card.chip.ppspin, 24));
    EXPECT_EQ(std::string(6, '\0') + "      GGG" + std::string(9, ' '), std::string(card.chip.patpin, 24));
    EXPECT_EQ(0, std::memcmp(card.stamp, stamp, 6));
    EXPECT_EQ(1, card.patmode);
    // Terminal type 3 belongs to the PKI driver: the G81 driver stays as it was.
    EXPECT_EQ("", card.g81.port);
    EXPECT_EQ(nullptr, card.g81.hwnd);

    card.initCardType(5, "/dev/ttyUSB7", 4, 2, nullptr, chip, sc4, window, 0);
    EXPECT_EQ("/dev/ttyUSB7", card.g81.port);
    EXPECT_EQ(window, card.g81.hwnd);
    EXPECT_EQ(5, card.g81.cardtype);
    EXPECT_EQ(0, std::memcmp(&card.g81.sc4, &sc4, sizeof sc4));
    // A missing stamp is six zero bytes.
    EXPECT_EQ(0, std::memcmp(card.g81.stamp, "\0\0\0\0\0\0", 6));

    Ccard copy = card;
    EXPECT_EQ("/dev/ttyUSB7", copy.g81.port);
    EXPECT_EQ(card.g81.hport, copy.g81.hport);
}

TEST(Facade, LbeTerminalsNeedNoPort) {
    Ccard card;
    card.initCardType(CARDTYPE_LBE, "", 4, 6, nullptr, _kardodll_CHIP{}, _kardodll_sc4tag{}, nullptr, 0);
    std::string value = "ABCDEFGH1234";
    EXPECT_EQ(0, card.pps_rcard(value));
    EXPECT_EQ("ABCDEF  1234", value);
    EXPECT_EQ(0, card.pps_wcard(1, "1234"));
    EXPECT_EQ(0, card.pat_wcard(1, "12", 0));
    EXPECT_EQ(0, card.gst_wcard(1, "12"));
    EXPECT_EQ(0, card.open_card());
    EXPECT_EQ(0, card.close_card());
    EXPECT_EQ(-1, card.sc4_wcard());
    EXPECT_EQ(0, card.rdkvk().valid);
}
