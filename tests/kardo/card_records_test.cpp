#include <kardo/kardo.h>

#include <gtest/gtest.h>

#include <cstring>

TEST(CardRecords, MessagesAndTerminalTypes) {
    EXPECT_EQ(0x0400 + 333, WM_CARDSTATE);
    EXPECT_EQ(0x0400 + 334, WM_CARDABORT);
    EXPECT_EQ(1, CARDTYPE_LBE);
    EXPECT_EQ(2, CARDTYPE_PKI);
    EXPECT_EQ(3, CARDTYPE_PKI_KVK);
    EXPECT_EQ(4, CARDTYPE_CHERRY);
    EXPECT_EQ(5, CARDTYPE_G81);
}

TEST(CardRecords, RecordsAreByteArraysWithoutPadding) {
    // The layout passed by the application is read field by field from a
    // plain byte image, as another program would write it.
    unsigned char bytes[432];
    for (int i = 0; i < 432; ++i) bytes[i] = static_cast<unsigned char>(i);
    _kardodll_CHIP chip;
    std::memcpy(&chip, bytes, sizeof chip);
    EXPECT_EQ(24 * 3 + 6, static_cast<unsigned char>(chip.pps.entry[3].rows[0]));
    EXPECT_EQ((192 + 24 * 7) % 256, static_cast<unsigned char>(chip.pat.entry[7].head[0]));
    EXPECT_EQ(384 % 256, static_cast<unsigned char>(chip.ppspin[0]));
    EXPECT_EQ(408 % 256, static_cast<unsigned char>(chip.patpin[0]));
    _kardodll_sc4tag sc4;
    std::memcpy(&sc4, bytes, sizeof sc4);
    EXPECT_EQ(198, static_cast<unsigned char>(sc4.num1[0]));
    EXPECT_EQ(205, static_cast<unsigned char>(sc4.chr));
}

TEST(CardRecords, KvkInfoCopiesItsStrings) {
    _kardodll_KVKINFO info;
    EXPECT_EQ(0, info.valid);
    info.valid = 1;
    info.surname = "M\xfcller";
    info.town = "K\xf6ln";
    _kardodll_KVKINFO copy(info);
    info.surname.clear();
    EXPECT_EQ(1, copy.valid);
    EXPECT_EQ("M\xfcller", copy.surname);
    EXPECT_EQ("K\xf6ln", copy.town);
}
