#include "termsim/insurance_card.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

using namespace termsim;

namespace {

std::vector<uint8_t> FromHex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ' || text[i] == '\n') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

// glibc's own DIN 66003 table, independent of the simulator's conversion.
std::string DinToUtf8(const std::string& din) {
    iconv_t cd = iconv_open("UTF-8", "DIN_66003");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
    std::string in = din;
    std::string out(din.size() * 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

uint8_t XorAll(const std::vector<uint8_t>& bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) x ^= b;
    return x;
}

}  // namespace

TEST(InsuranceCard, ExamplePersonGivesThePublishedWorkedTemplate) {
    const std::vector<uint8_t> published = FromHex(
        "60 7D 80 0E 54 45 53 54 4B 41 53 53 45 20 4E 4F 52 44 81 07 31 32 33 34 35 36 37"
        " 8F 05 31 32 33 34 35 82 0C 31 32 33 34 35 36 37 38 39 30 31 32 83 04 31 30 30 30"
        " 90 01 31 85 06 4A 7D 72 67 65 6E 87 06 4D 7D 6C 6C 65 72 88 08 30 31 30 31 31 39"
        " 37 30 89 0D 48 61 75 70 74 73 74 72 61 7E 65 20 31 8B 05 31 32 33 34 35 8C 0B 4D"
        " 75 73 74 65 72 73 74 61 64 74 8D 04 31 32 39 39 8E 01 78");
    ASSERT_EQ(127u, published.size());
    EXPECT_EQ(published, InsuranceTemplate(ExamplePerson()));
}

TEST(InsuranceCard, CardCarriesHeaderDirectoryAndTemplateWhereReadersLook) {
    Card card = InsuranceCard(ExamplePerson());
    EXPECT_EQ(CardKind::Insurance, card.kind);
    EXPECT_TRUE(card.writeProtected);
    const uint8_t header[] = {0xA2, 0x13, 0x10, 0x91};
    EXPECT_TRUE(std::equal(header, header + 4, card.bytes.begin()));
    const uint8_t directory[] = {0x61, 0x0B, 0x4F, 0x06, 0xD2, 0x76, 0x00, 0x00, 0x01, 0x01, 0x53, 0x01};
    EXPECT_TRUE(std::equal(directory, directory + 12, card.bytes.begin() + 17));
    EXPECT_EQ(0x60, card.bytes[30]);
    EXPECT_EQ(0x7D, card.bytes[31]);
    EXPECT_EQ(0x80, card.bytes[32]);
    // Filler right behind the 127 template bytes.
    EXPECT_EQ(0xC0, card.bytes[30 + 127]);
}

TEST(InsuranceCard, LongTemplateUsesTheTwoByteLengthAndStillChecksToZero) {
    InsuredPerson p = ExamplePerson();
    p.title = "Prof. Dr. med.";
    p.namePrefix = "von und zu";
    p.street = "Sonnenblumenweg 123";
    p.town = "Kleinstadt am See";
    std::vector<uint8_t> t = InsuranceTemplate(p);
    ASSERT_GT(t.size(), 130u);
    EXPECT_EQ(0x60, t[0]);
    EXPECT_EQ(0x81, t[1]);
    EXPECT_EQ(t.size() - 3, t[2]);
    EXPECT_EQ(0, XorAll(t));
}

TEST(InsuranceCard, OlderCardAndDamagedCheckByteVariants) {
    InsuredPerson p = ExamplePerson();
    p.olderCard = true;
    p.status = "1";
    std::vector<uint8_t> t = InsuranceTemplate(p);
    for (size_t i = 2; i + 1 < t.size();) {
        EXPECT_NE(0x8F, t[i]);
        EXPECT_NE(0x90, t[i]);
        i += 2 + t[i + 1];
    }
    EXPECT_EQ(0, XorAll(t));
    p.wrongCheckByte = true;
    EXPECT_NE(0, XorAll(InsuranceTemplate(p)));
}

TEST(InsuranceCard, GermanLettersBecomeDin66003AsIconvReadsThem) {
    const std::string text = "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F Stra\xC3\x9F" "e 1";
    std::string din = ToDin66003(text);
    EXPECT_EQ("[\\]{|}~ Stra~e 1", din);
    EXPECT_EQ(text, DinToUtf8(din));
    // Latin-1 input works as well.
    EXPECT_EQ("M}ller", ToDin66003("M\xFCller"));
}

TEST(InsuranceCard, RefusesWhatTheCardCannotHold) {
    EXPECT_THROW(ToDin66003("caf\xC3\xA9"), CardDataError);
    EXPECT_THROW(ToDin66003("a@b"), CardDataError);
    InsuredPerson p = ExamplePerson();
    p.surname = "X";
    EXPECT_THROW(InsuranceTemplate(p), CardDataError);
    p = ExamplePerson();
    p.insurerNumber = "123";
    try {
        InsuranceTemplate(p);
        FAIL();
    } catch (const CardDataError& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("insurer-number"));
    }
}
