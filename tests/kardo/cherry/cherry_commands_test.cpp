// The Cherry terminal and card commands, the card-type probe and the 16-byte
// pieces of the card image, against the simulated terminal.
#include "cherry_fixture.h"

using termsim::ParseFault;

namespace {
// The card types of the probe's passes: the types of its select commands.
std::vector<int> SelectedTypes(const std::vector<Bytes>& commands) {
    std::vector<int> types;
    for (const Bytes& c : commands)
        if (c.size() == 5 && c[0] == 0x20 && c[1] == 0x25 && c[2] == 0x01) types.push_back(c[3]);
    return types;
}
}  // namespace

TEST_F(CherryTest, ProbeFindsTheTypeUnderWhichTheCardShowsData) {
    termsim::Card insurance = termsim::InsuranceCard(termsim::ExamplePerson());
    termsim::Card typeFive = termsim::BlankMemoryCard();
    typeFive.bytes[20] = 0x12;
    typeFive.cherryType = 5;
    struct Case {
        const char* name;
        termsim::Card card;
        int type_mode;
        std::vector<int> passes;
        int mem_type;
        Bytes read;  // the 16 bytes the last pass read
    } cases[] = {
        {"insurance card: the fourth pass", insurance, 0, {2, 1, 4, 3}, 3,
         Bytes(insurance.bytes.begin() + 17, insurance.bytes.begin() + 33)},
        {"real data under type 5", typeFive, 0, {2, 1, 4, 3, 5}, 5,
         {0xFF, 0xFF, 0xFF, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"pinned: one pass with type 1", insurance, 1, {1}, 1, Bytes(16, 0xFF)},
        {"blank card: no type fits", termsim::BlankMemoryCard(), 0, {2, 1, 4, 3, 5, 6, 8}, 8, Bytes(16, 0xFF)},
    };
    ASSERT_EQ(0, driver.crd_open());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim->Slot().Insert(c.card);
        driver.type_mode = c.type_mode;
        ForgetWire();
        unsigned char buffer[128] = {};
        EXPECT_EQ(0, driver.CH_check_card(0, buffer, sizeof buffer));
        EXPECT_EQ(c.passes, SelectedTypes(HostCommands()));
        EXPECT_EQ(c.mem_type, driver.mem_type);
        // The buffer holds the last read: the 16 bytes at card address 17 and the status.
        EXPECT_EQ(c.read, Bytes(buffer, buffer + 16));
        EXPECT_EQ(0x90, buffer[16]);
    }
    int type = 0;
    uint32_t status = 0;
    EXPECT_EQ(0, driver.CH_gettype(0, type, status));
    EXPECT_EQ(8, type);
    EXPECT_EQ(0x9000u, status);
    EXPECT_EQ(0, driver.CH_deactivate(0, status));
    EXPECT_EQ((Bytes{0x20, 0x15, 0x01, 0x00, 0x01, 0x01}), HostCommands().back());
}

TEST_F(CherryTest, ProbeFailsOnlyWhenTheLastExchangeFailed) {
    ASSERT_EQ(0, driver.crd_open());
    // Refused reads only move the probe on: every type refused, still 0.
    sim->Faults().Add(ParseFault("refuse-read*"));
    unsigned char buffer[128];
    EXPECT_EQ(0, driver.CH_check_card(0, buffer, sizeof buffer));
    EXPECT_EQ(8, driver.mem_type);
    sim->Faults().Clear();
    // A terminal that stops answering: -1.
    sim->Faults().Add(ParseFault("silent*"));
    EXPECT_EQ(-1, driver.CH_check_card(0, buffer, sizeof buffer));
}

TEST_F(CherryTest, PiecesOfTheImageHaveTheirHalvesExchanged) {
    InsertCard([](int i) { return static_cast<uint8_t>(i == 0 ? 0x12 : i == 1 ? 0xAB : i); });
    ASSERT_EQ(0, driver.crd_open());
    uint32_t status = 0;
    ASSERT_EQ(0, driver.CH_select(0, 1, status));
    char text[512];
    std::memset(text, '-', sizeof text);
    EXPECT_EQ(0, driver.CH_sctp_rd16(text, 0));
    EXPECT_EQ("21ba2030", std::string(text, 8));
    // Exactly 32 characters: no terminator behind them.
    EXPECT_EQ('-', text[32]);
    EXPECT_EQ(0, driver.CH_sctp_rd16(text, 240));
    EXPECT_EQ("0f1f", std::string(text + 480, 4));
    EXPECT_EQ(0xFFFF, driver.CH_sctp_rd16(text, 241));

    std::memcpy(text + 64, "21baFF00", 8);
    ForgetWire();
    EXPECT_EQ(0, driver.CH_sctp_wr16(text, 32));
    EXPECT_EQ(0x12, CardNow().bytes[32]);
    EXPECT_EQ(0xAB, CardNow().bytes[33]);
    EXPECT_EQ(0xFF, CardNow().bytes[34]);
    std::vector<Bytes> commands = HostCommands();
    ASSERT_EQ(3u, commands.size());
    EXPECT_EQ((Bytes{0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x01}), commands[0]);
    EXPECT_EQ((Bytes{0x00, 0xD6, 0x00, 0x20, 0x10, 0x12, 0xAB, 0xFF, 0x00}), Bytes(commands[2].begin(), commands[2].begin() + 9));
    EXPECT_EQ(0xFFFF, driver.CH_sctp_wr16(text, 241));

    // The card's refusals come back as its status words.
    sim->Faults().Add(ParseFault("refuse-read=6A82"));
    EXPECT_EQ(0x6A82, driver.CH_sctp_rd16(text, 0));
    sim->Faults().Add(ParseFault("refuse-write=6581"));
    EXPECT_EQ(0x6581, driver.CH_sctp_wr16(text, 0));
}

TEST_F(CherryTest, HexDigits) {
    struct Case {
        const char* two;
        int value;
    } cases[] = {{"G1", 0x01}, {"ff", 0xFF}, {"FF", 0xFF}, {"1f", 0x1F}, {"a0", 0xA0}};
    for (const Case& c : cases) EXPECT_EQ(c.value, driver.Hex(c.two)) << c.two;
}

TEST_F(CherryTest, CardPresentFollowsTheSlotAndCloseKeepsTheProbeResult) {
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ(0, driver.CH_stat(0));
    sim->Slot().Remove();
    EXPECT_EQ(-1, driver.CH_stat(0));
    EXPECT_EQ(0, driver.close_card());
    EXPECT_EQ(0, driver.isopen);
    EXPECT_EQ(-1, driver.port_handle[0]);
    EXPECT_EQ(8, driver.mem_type);
    // A closed slot: every exchange fails, the status word says none came.
    uint32_t status = 0;
    EXPECT_EQ(-1001, driver.CH_select(0, 1, status));
    EXPECT_EQ(0xFFFFu, status);
}
