// The G81 terminal and card commands against the simulated terminal.
#include "g81_fixture.h"

using termsim::ParseFault;

TEST_F(G81Test, CardReadyRequestsAPresentCardOnce) {
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    EXPECT_EQ(0, driver.cki_card_ready());
    std::vector<Bytes> commands = HostCommands();
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ((Bytes{0x20, 0x13, 0x00, 0x80, 0x00}), commands[0]);
    EXPECT_EQ((Bytes{0x20, 0x12, 0x01, 0x00, 0x00}), commands[1]);
    // Already requested: the terminal answers 62 01, which counts as ready.
    EXPECT_EQ(0, driver.cki_card_ready());
}

TEST_F(G81Test, CardReadyWithoutACardAnswers9000WithoutARequest) {
    sim->Slot().Remove();
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    EXPECT_EQ(0x9000, driver.cki_card_ready());
    EXPECT_EQ(1u, HostCommands().size());
}

TEST_F(G81Test, ReadBinaryBytesAndStatus) {
    termsim::Card card = termsim::BlankMemoryCard();
    for (int i = 0; i < 16; ++i) card.bytes[0x20 + i] = static_cast<uint8_t>(0xA0 + i);
    sim->Slot().Insert(card);
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    ForgetWire();
    unsigned char data[16] = {};
    EXPECT_EQ(0x9000, driver.cki_read(data, 0x20, 16));
    EXPECT_EQ((Bytes{0x00, 0xB0, 0x00, 0x20, 0x10}), HostCommands().at(0));
    EXPECT_EQ(0x02, HostBlocks().at(0)[0]);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(0xA0 + i, data[i]);
    // A refused read gives the card's status.
    sim->Faults().Add(ParseFault("refuse-read=6A82"));
    EXPECT_EQ(0x6A82, driver.cki_read(data, 0, 16));
    // An exchange that fails leaves the destination as it was.
    sim->Faults().Add(ParseFault("silent*"));
    unsigned char untouched[16];
    std::memset(untouched, 0x5A, sizeof untouched);
    EXPECT_EQ(4102, driver.cki_read(untouched, 0, 16));
    EXPECT_EQ(0x5A, untouched[0]);
    sim->Faults().Clear();
}

TEST_F(G81Test, UpdateBinaryTakesTheHexImageWithHalvesExchanged) {
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    ForgetWire();
    char text[512];
    std::memset(text, 'f', sizeof text);
    std::memcpy(text, "0123456789abcdef0123456789ABCDEF", 32);
    EXPECT_EQ(0x9000, Cg81TestAccess::cki_wr16(driver, text, 0));
    Bytes expected{0x00, 0xD6, 0x00, 0x00, 0x10, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                   0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    EXPECT_EQ(expected, HostCommands().at(0));
    EXPECT_EQ(0x10, CardNow().bytes[0]);
    EXPECT_EQ(0xFE, CardNow().bytes[15]);
}

TEST_F(G81Test, HexDigitsAsTheImageRoutinesReadThem) {
    EXPECT_EQ(0x01, Cg81TestAccess::_hex(driver, "G1"));
    EXPECT_EQ(0xFF, Cg81TestAccess::_hex(driver, "fF"));
    EXPECT_EQ(0x31, Cg81TestAccess::_hex(driver, "31"));
}

TEST_F(G81Test, CloseReleasesTheCardAndClosesThePort) {
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    EXPECT_EQ(0, driver.close_card());
    EXPECT_EQ(-1, driver.hport);
    EXPECT_EQ(0, driver.isopen);
    EXPECT_EQ((std::vector<Bytes>{{0x20, 0x15, 0x01, 0x00}}), HostCommands());
    // The port is free again for another driver.
    Cg81 other;
    other.port = sim->Path();
    EXPECT_EQ(0, other.crd_open());
}

TEST_F(G81Test, InsuranceCardReadWholeAndStopAtTheFirstRefusedRead) {
    InsertInsuranceCard();
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    unsigned char* data = driver.read_cta_kvk();
    ASSERT_NE(nullptr, data);
    termsim::Card card = CardNow();
    EXPECT_EQ(0, std::memcmp(card.bytes.data(), data, 256));
    for (int i = 256; i < 280; ++i) EXPECT_EQ(0, data[i]);
    // The ninth read refused: null, the first 128 bytes and zeros behind them.
    sim->Faults().Add(ParseFault("refuse-read@9"));
    EXPECT_EQ(nullptr, driver.read_cta_kvk());
    EXPECT_EQ(0, std::memcmp(card.bytes.data(), data, 128));
    for (int i = 128; i < 280; ++i) EXPECT_EQ(0, data[i]) << i;
}

TEST_F(G81Test, CopiesShareTheOpenPort) {
    ASSERT_EQ(0, driver.crd_open());
    Cg81 copy(driver);
    EXPECT_EQ(driver.hport, copy.hport);
    EXPECT_EQ(0, copy.cki_card_ready());
    Cg81 assigned;
    assigned = driver;
    EXPECT_EQ(driver.hport, assigned.hport);
    // Only one of them may close it; the others must forget the handle.
    copy.hport = -1;
    assigned.hport = -1;
}

TEST_F(G81Test, AStaleCopyNeverReachesAPortOpenedLater) {
    ASSERT_EQ(0, driver.crd_open());
    Cg81 stale(driver);
    driver.close_card();
    Cg81 other;
    other.port = sim->Path();
    ASSERT_EQ(0, other.crd_open());
    ForgetWire();
    EXPECT_EQ(-1, stale.cki_card_ready());
    stale.close_card();
    EXPECT_TRUE(HostBlocks().empty());
    // The stale copy's close left the other driver's port alone.
    EXPECT_EQ(0, other.cki_card_ready());
}
