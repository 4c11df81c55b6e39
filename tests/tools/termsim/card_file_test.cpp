#include "termsim/card_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "termsim/insurance_card.h"

using namespace termsim;

TEST(CardFile, DataLinesFillTheCardFromByteZero) {
    auto card = ParseCardText("# a test card\ntype = memory\ndata = 4C 49 01 02\ndata = 0304\nprotected = yes\n", "t");
    ASSERT_TRUE(card);
    EXPECT_EQ(CardKind::Memory, card->kind);
    EXPECT_TRUE(card->writeProtected);
    EXPECT_EQ(0x4C, card->bytes[0]);
    EXPECT_EQ(0x04, card->bytes[5]);
    EXPECT_EQ(0xFF, card->bytes[6]);
}

TEST(CardFile, ImageTextHoldsTheLowNibbleFirst) {
    auto card = ParseCardText("image = 1234\n", "t");
    ASSERT_TRUE(card);
    EXPECT_EQ(0x21, card->bytes[0]);
    EXPECT_EQ(0x43, card->bytes[1]);
}

TEST(CardFile, NoneMeansAnEmptySlot) {
    EXPECT_FALSE(ParseCardText("type = none\n", "t"));
    EXPECT_FALSE(CardFromArgument("none"));
}

TEST(CardFile, InsuranceFieldsOverrideTheExamplePerson) {
    auto card = ParseCardText("type = insurance\nsurname = Schulz\ncheck-byte = wrong\n", "t");
    ASSERT_TRUE(card);
    EXPECT_EQ(CardKind::Insurance, card->kind);
    InsuredPerson p = ExamplePerson();
    p.surname = "Schulz";
    p.wrongCheckByte = true;
    std::vector<uint8_t> expected = InsuranceTemplate(p);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), card->bytes.begin() + 30));
}

TEST(CardFile, ErrorsNameTheFileAndLine) {
    auto message = [](const std::string& text) {
        try {
            ParseCardText(text, "card.txt");
        } catch (const CardFileError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ("card.txt:2: unknown key \"colour\"", message("type = memory\ncolour = red\n"));
    EXPECT_EQ("card.txt:1: \"G\" is not a hexadecimal digit", message("data = 1G\n"));
    EXPECT_NE(std::string::npos, message("type = floppy\n").find("unknown card type"));
    EXPECT_NE(std::string::npos, message("data\n").find("card.txt:1: expected \"key = value\""));
    EXPECT_NE(std::string::npos, message("type = memory\nsurname = X\n").find("insurance card"));
    EXPECT_NE(std::string::npos, message("surname = X\n").find("surname must have 2 to 28"));
}

TEST(CardFile, RawImageFilesAndMissingFiles) {
    char path[] = "/tmp/termsim-card-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unsigned char bytes[256];
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<unsigned char>(i);
    ASSERT_EQ(256, write(fd, bytes, sizeof bytes));
    close(fd);
    auto card = LoadCardFile(path);
    unlink(path);
    ASSERT_TRUE(card);
    EXPECT_EQ(0x00, card->bytes[0]);
    EXPECT_EQ(0xFF, card->bytes[255]);
    EXPECT_THROW(LoadCardFile("/nonexistent/card"), CardFileError);
}

TEST(CardFile, BuiltInCards) {
    EXPECT_EQ(CardKind::Insurance, CardFromArgument("insurance")->kind);
    auto tce = CardFromArgument("tce");
    ASSERT_TRUE(tce);
    // The TCE header text starts "1032": card bytes 0x01, 0x23.
    EXPECT_EQ(0x01, tce->bytes[0]);
    EXPECT_EQ(0x23, tce->bytes[1]);
    EXPECT_EQ(0xFF, CardFromArgument("memory")->bytes[100]);
}
