// The Cherry link against the simulated terminal: the bytes on the wire,
// chaining, S-blocks, the repetition and retry rules and the error codes.
#include "cherry_fixture.h"
#include "scripted_t1_terminal.h"

using termsim::ParseFault;

namespace {
const Bytes kResynchTerminal{0x12, 0xC0, 0x00, 0xD2};
const Bytes kResynchCard{0x02, 0xC0, 0x00, 0xC2};
const Bytes kCardStatus{0x20, 0x25, 0x02, 0x00, 0x00};

class CherrySmallAnswerBlocks : public CherryTest {
protected:
    CherrySmallAnswerBlocks() { maxInformation = 16; }
};

// One command to the terminal (destination 1) or the card (0) on slot 0.
int32_t Exchange(Ccherry& d, int destination, const Bytes& command, int& length, unsigned char* response) {
    int port = 0, source = 2;
    return d.CH_data(&port, &destination, &source, static_cast<int>(command.size()), command.data(), &length,
                     &response);
}
}  // namespace

TEST_F(CherryTest, OpeningResynchronisesCardThenTerminalAndProbes) {
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ(1, driver.isopen);
    std::vector<Bytes> wire = HostBlocks();
    ASSERT_GE(wire.size(), 5u);
    EXPECT_EQ(kResynchCard, wire[0]);
    EXPECT_EQ(kResynchTerminal, wire[1]);
    // The probe's first pass: both resynchronisations again, then the reset as I-block N(S) 0.
    EXPECT_EQ(kResynchCard, wire[2]);
    EXPECT_EQ(kResynchTerminal, wire[3]);
    EXPECT_EQ(T1Block(0x12, 0x00, {0x20, 0x12, 0x01, 0x01, 0x01, 0x01}), wire[4]);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CherryTest, BlocksOnTheWire) {
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    uint32_t status = 0;
    ASSERT_EQ(0, driver.CH_resync(0x12, 0));
    ASSERT_EQ(0, driver.CH_select(0, 3, status));
    EXPECT_EQ(0x9000u, status);
    ASSERT_EQ(0, driver.CH_resync(0x12, 0));
    unsigned char data[32];
    int length = sizeof data;
    ASSERT_EQ(0, driver.CH_readbin(0, data, length, 0x0110, 16, status));
    EXPECT_EQ(0, driver.CH_send_r0(0x12, 0));
    std::vector<Bytes> wire = HostBlocksOnceThere(6);
    ASSERT_EQ(6u, wire.size());
    EXPECT_EQ(kResynchTerminal, wire[0]);
    EXPECT_EQ((Bytes{0x12, 0x00, 0x05, 0x20, 0x25, 0x01, 0x03, 0x00, 0x10}), wire[1]);
    EXPECT_EQ(T1Block(0x02, 0x00, {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x01}), wire[3]);
    EXPECT_EQ(T1Block(0x02, 0x40, {0x00, 0xB0, 0x01, 0x10, 0x10}), wire[4]);
    // 0x110 lies past the card's end: the terminal's refusal, with a status word.
    EXPECT_EQ(2, length);
    EXPECT_EQ(0x6B00u, status);
    EXPECT_EQ((Bytes{0x12, 0x82, 0x00, 0x90}), wire[5]);
    _kardodll_BLOCK_cherry block{};
    block.nad = 0x12;
    block.pcb = 0xC0;
    EXPECT_EQ(0xD2, driver.CH_chksum(&block));
}

TEST_F(CherryTest, FortyByteCommandGoesOutAsAChainAtThirtyTwo) {
    ASSERT_EQ(0, driver.crd_open());
    uint32_t status = 0;
    ASSERT_EQ(0, driver.CH_select(0, 1, status));
    ASSERT_EQ(0, driver.CH_resync(0x02, 0));
    ForgetWire();
    Bytes command{0x00, 0xD6, 0x00, 0x40, 35};
    for (int i = 0; i < 35; ++i) command.push_back(static_cast<uint8_t>(0x30 + i));
    unsigned char response[16];
    int length = sizeof response;
    ASSERT_EQ(0, Exchange(driver, 0, command, length, response));
    EXPECT_EQ((Bytes{0x90, 0x00}), Bytes(response, response + length));
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(2u, host.size());
    EXPECT_EQ(T1Block(0x02, 0x20, Bytes(command.begin(), command.begin() + 32)), host[0]);
    EXPECT_EQ(T1Block(0x02, 0x40, Bytes(command.begin() + 32, command.end())), host[1]);
    // The terminal acknowledged the first part with an R-block asking for N(S) 1.
    EXPECT_EQ(T1Block(0x20, 0x90, {}), TerminalBlocks()[0]);
    EXPECT_EQ(0x30 + 34, CardNow().bytes[0x40 + 34]);
}

TEST_F(CherrySmallAnswerBlocks, ChainedResponseIsCollectedWithAcknowledgements) {
    InsertCard([](int i) { return static_cast<uint8_t>(i * 7); });
    ASSERT_EQ(0, driver.crd_open());
    uint32_t status = 0;
    ASSERT_EQ(0, driver.CH_select(0, 1, status));
    ForgetWire();
    unsigned char data[40] = {};
    int length = sizeof data;
    ASSERT_EQ(0, driver.CH_readbin(0, data, length, 0x20, 32, status));
    EXPECT_EQ(0x9000u, status);
    ASSERT_EQ(34, length);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(static_cast<uint8_t>((0x20 + i) * 7), data[i]) << i;
    // Select file, then the read: its 34 response bytes in blocks of 16, two acknowledgements.
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(4u, host.size());
    EXPECT_EQ(T1Block(0x02, 0x80, {}), host[2]);
    EXPECT_EQ(T1Block(0x02, 0x90, {}), host[3]);
    // A capacity too small for the response: -1007, the bytes so far stay.
    std::memset(data, 0, sizeof data);
    length = 20;
    EXPECT_EQ(-1007, driver.CH_readbin(0, data, length, 0x20, 32, status));
    EXPECT_EQ(20, length);
    EXPECT_EQ(static_cast<uint8_t>(0x2F * 7), data[15]);
}

TEST_F(CherryTest, IfsRequestsAreAnsweredAndOnlyAUsableSizeIsTaken) {
    ASSERT_EQ(0, driver.crd_open());
    struct Case {
        int size;
        Bytes answer;
        int ifsc_after;
    } cases[] = {
        {0x20, {0x12, 0xE1, 0x01, 0x20, 0xD2}, 32},
        {16, {0x12, 0xE1, 0x01, 0x10, 0xE2}, 16},
        {0, {0x12, 0xE1, 0x01, 0x00, 0xF2}, 16},  // answered, not followed: no empty blocks
        {255, {0x12, 0xE1, 0x01, 0xFF, 0x0D}, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        sim->Faults().Add(ParseFault("ifs=" + std::to_string(c.size)));
        ForgetWire();
        unsigned char response[32];
        int length = sizeof response;
        ASSERT_EQ(0, Exchange(driver, 1, kCardStatus, length, response));
        EXPECT_EQ(c.answer, HostBlocks().at(1));
        EXPECT_EQ(c.ifsc_after, driver.ifsc);
        // The 21-byte UPDATE BINARY (after two select-files) goes out cut at the size in force.
        ForgetWire();
        char text[512];
        std::memset(text, '0', sizeof text);
        driver.CH_sctp_wr16(text, 0);
        std::vector<Bytes> host = HostBlocks();
        ASSERT_GE(host.size(), 3u);
        EXPECT_EQ(std::min(21, c.ifsc_after) + 4u, host[2].size());
    }
}

TEST_F(CherryTest, WtxAndAbortAreAnsweredAndAnAbortFloodEndsTheExchange) {
    ASSERT_EQ(0, driver.crd_open());
    unsigned char response[32];
    int length = sizeof response;
    sim->Faults().Add(ParseFault("wtx=2"));
    ForgetWire();
    ASSERT_EQ(0, Exchange(driver, 1, kCardStatus, length, response));
    EXPECT_EQ(T1Block(0x12, 0xE3, {0x02}), HostBlocks().at(1));
    // One abort: answered, the block after it dropped, the answer taken.
    sim->Faults().Add(ParseFault("abort"));
    ForgetWire();
    length = sizeof response;
    ASSERT_EQ(0, Exchange(driver, 1, kCardStatus, length, response));
    EXPECT_EQ((Bytes{0x12, 0xE2, 0x00, 0xF0}), HostBlocks().at(1));
    EXPECT_EQ(3, length);
    // A terminal that keeps aborting: eight answers, then the exchange ends.
    sim->Faults().Add(ParseFault("abort=8"));
    ForgetWire();
    length = sizeof response;
    EXPECT_EQ(-1006, Exchange(driver, 1, kCardStatus, length, response));
    int answers = 0;
    for (const Bytes& b : HostBlocksOnceThere(9)) answers += b[1] == 0xE2;
    EXPECT_EQ(8, answers);
}

TEST_F(CherryTest, RepeatedSequenceNumbersLeadToResynchronisationsAndTheThirdIsTaken) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("repeat-ns*3"));
    ForgetWire();
    unsigned char response[32];
    int length = sizeof response;
    ASSERT_EQ(0, Exchange(driver, 1, kCardStatus, length, response));
    EXPECT_EQ(3, length);
    // Two resynchronisations, no third: the third repetition is the answer,
    // carrying N(S) 1 after a resynchronisation.
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(3u, host.size());
    EXPECT_EQ(kResynchTerminal, host[1]);
    EXPECT_EQ(kResynchTerminal, host[2]);
    EXPECT_EQ(0x40, TerminalBlocks().back()[1]);
}

TEST_F(CherryTest, WrongLrcIsResynchronisedWithoutAnRBlock) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("bad-lrc"));
    ForgetWire();
    unsigned char response[32];
    int length = sizeof response;
    ASSERT_EQ(0, Exchange(driver, 1, kCardStatus, length, response));
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(2u, host.size());
    EXPECT_EQ(kResynchTerminal, host[1]);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CherryTest, SilentTerminalClosesTheSlotAndTheOperationCannotOpen) {
    sim->Faults().Add(ParseFault("silent*"));
    EXPECT_EQ(-1, driver.crd_open());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].first);
    EXPECT_NE(std::string::npos, boxes[0].second.find("timed out"));
    EXPECT_EQ(-1, driver.port_handle[0]);
    EXPECT_EQ(1u, HostBlocks().size());
    EXPECT_EQ(1, driver.timeouts_applied);
    std::string value = "x";
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    EXPECT_EQ(-105, driver.rcard(value, &layout));
    EXPECT_EQ(2u, boxes.size());
    EXPECT_EQ("x", value);
}

TEST_F(CherryTest, StalledInformationFieldIsAFailedReceive) {
    ASSERT_EQ(0, driver.crd_open());
    // The answer stops after nad, pcb, len and one byte.
    sim->Faults().Add(ParseFault("truncate=4"));
    ForgetWire();
    unsigned char response[32];
    int length = sizeof response;
    EXPECT_EQ(-1, Exchange(driver, 1, kCardStatus, length, response));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].second.find("timed out"));
    EXPECT_EQ(-1, driver.port_handle[0]);
    EXPECT_EQ(0, driver.isopen);
    // No retry went out on the closed port.
    EXPECT_EQ(1u, HostBlocks().size());
}

TEST_F(CherryTest, SlotsOutsideZeroToSevenAreRefused) {
    unsigned char response[32];
    for (int port : {-1, 8}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(-1, driver.CH_init(port, sim->Path().c_str()));
        driver.CH_close(port);
        _kardodll_BLOCK_cherry block{};
        EXPECT_EQ(-1, driver.CH_s1_write(port, &block));
        EXPECT_EQ(-1, driver.CH_s1_read(port, &block));
        EXPECT_EQ(-1, driver.CH_s2_resync(0x12, port));
        EXPECT_EQ(-1, driver.CH_send_r0(0x12, port));
        EXPECT_EQ(-1, driver.CH_s2_read(port, &block));
        int p = port, dad = 1, sad = 2, length = sizeof response;
        unsigned char* out = response;
        EXPECT_EQ(-1000, driver.CH_data(&p, &dad, &sad, 5, kCardStatus.data(), &length, &out));
    }
    EXPECT_TRUE(HostBlocks().empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(0, driver.timeouts_applied);
    // An empty command sends nothing and answers nothing.
    ASSERT_EQ(0, driver.CH_init(3, sim->Path().c_str()));
    int length = 32;
    EXPECT_EQ(0, Exchange(driver, 1, {}, length, response));
    EXPECT_EQ(0, length);
    EXPECT_TRUE(HostBlocks().empty());
    driver.CH_close(3);
    EXPECT_EQ(-1, driver.port_handle[3]);
}

TEST_F(CherryTest, OpenFailuresAndNoCts) {
    EXPECT_EQ(-1, driver.CH_init(0, "/nonexistent/tty"));
    EXPECT_TRUE(boxes.empty());
    sim->SetCts(false);
    EXPECT_EQ(-2, driver.CH_init(0, sim->Path().c_str()));
    EXPECT_NE(-1, driver.port_handle[0]);
    sim->SetCts(true);
    // Opening the slot again closes the first handle.
    const int first = driver.port_handle[0];
    EXPECT_EQ(0, driver.CH_init(0, sim->Path().c_str()));
    EXPECT_NE(first, driver.port_handle[0]);
}

TEST_F(CherryTest, DestructorClosesEverySlot) {
    auto other = std::make_unique<Ccherry>();
    ASSERT_EQ(0, other->CH_init(5, sim->Path().c_str()));
    other.reset();
    // The port is free again for another driver.
    EXPECT_EQ(0, driver.CH_init(0, sim->Path().c_str()));
}

TEST(CherryHostile, ATerminalThatNeverEndsItsAnswerIsCutOff) {
    setenv("KARDO_TEST_TIME_SCALE", "0.05", 1);
    using Answer = std::function<Bytes(uint8_t& ns)>;
    const std::pair<const char*, Answer> cases[] = {
        {"empty chained I-blocks",
         [](uint8_t& ns) {
             ns ^= 1;
             return T1Block(0x21, static_cast<uint8_t>((ns << 6) | 0x20), {});
         }},
        {"wait time extensions", [](uint8_t&) { return T1Block(0x21, 0xC3, {0x01}); }},
        {"IFS requests", [](uint8_t&) { return T1Block(0x21, 0xC1, {0x20}); }},
    };
    for (const auto& [name, answer] : cases) {
        SCOPED_TRACE(name);
        uint8_t ns = 1;
        // After a thousand blocks the script falls silent: a link without
        // bounds fails the count below instead of hanging the test.
        std::atomic<int> answered{0};
        testsupport::ScriptedT1Terminal terminal([&](const Bytes&) -> std::vector<Bytes> {
            if (++answered > 1000) return {};
            return {answer(ns)};
        });
        Ccherry driver;
        ASSERT_EQ(0, driver.CH_init(0, terminal.Path().c_str()));
        unsigned char response[300];
        int length = sizeof response;
        EXPECT_EQ(-1006, Exchange(driver, 1, kCardStatus, length, response));
        EXPECT_LT(terminal.HostBlocks(), 80);
    }
    setenv("KARDO_TEST_TIME_SCALE", "0.2", 1);
}
