// The G81 link against the simulated terminal: the bytes on the wire, chaining,
// the repetition and retry rules and the error codes.
#include "g81_fixture.h"
#include "descriptor_of.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

using termsim::ParseFault;

namespace {
const Bytes kResynch{0x12, 0xC0, 0x00, 0xD2};
const Bytes kReset{0x12, 0x00, 0x04, 0x20, 0x11, 0x00, 0x00, 0x27};

class G81SmallAnswerBlocks : public G81Test {
protected:
    G81SmallAnswerBlocks() { maxInformation = 16; }
};
}  // namespace

TEST_F(G81Test, OpeningResynchronisesAndResetsTheTerminal) {
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ(1, driver.isopen);
    EXPECT_GE(driver.hport, 0);
    std::vector<Bytes> wire = HostBlocks();
    ASSERT_EQ(2u, wire.size());
    EXPECT_EQ(kResynch, wire[0]);
    EXPECT_EQ(kReset, wire[1]);
    // The next I-block carries N(S) 1.
    EXPECT_EQ(0, driver.cki_card_ready());
    EXPECT_EQ(T1Block(0x12, 0x40, {0x20, 0x13, 0x00, 0x80, 0x00}), HostBlocks()[2]);
    // Every crd_open resets again, also on an open port.
    ForgetWire();
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ((std::vector<Bytes>{kResynch, kReset}), HostBlocks());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(G81Test, CtDataWithoutAPortSendsNothing) {
    unsigned char response[32];
    int length = 32;
    EXPECT_EQ(-1, Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x11, 0x00, 0x00}, length, response));
    EXPECT_EQ(32, length);
    EXPECT_TRUE(HostBlocks().empty());
    // close_card on a closed port: 0, nothing sent.
    EXPECT_EQ(0, driver.close_card());
    EXPECT_TRUE(HostBlocks().empty());
}

TEST_F(G81Test, EmptyCommandIsAnEmptyResponse) {
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    unsigned char response[8];
    int length = 8;
    EXPECT_EQ(0, Cg81TestAccess::CT_data(driver, 1, 2, {}, length, response));
    EXPECT_EQ(0, length);
    EXPECT_TRUE(HostBlocks().empty());
}

TEST_F(G81Test, FortyByteCommandGoesOutAsAChainAtThirtyTwo) {
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    ForgetWire();
    Bytes command{0x00, 0xD6, 0x00, 0x40, 35};
    for (int i = 0; i < 35; ++i) command.push_back(static_cast<uint8_t>(0x30 + i));
    unsigned char response[16];
    int length = sizeof response;
    ASSERT_EQ(0, Cg81TestAccess::CT_data(driver, 0, 2, command, length, response));
    EXPECT_EQ(2, length);
    EXPECT_EQ(0x90, response[0]);
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(2u, host.size());
    // After card status (N(S) 1) and request (N(S) 0): N(S) 1 with the more-data bit, then N(S) 0.
    EXPECT_EQ(T1Block(0x02, 0x60, Bytes(command.begin(), command.begin() + 32)), host[0]);
    EXPECT_EQ(T1Block(0x02, 0x00, Bytes(command.begin() + 32, command.end())), host[1]);
    // The terminal acknowledged the first part with an R-block asking for N(S) 0.
    EXPECT_EQ(T1Block(0x20, 0x80, {}), TerminalBlocks()[0]);
    EXPECT_EQ(0x30 + 34, CardNow().bytes[0x40 + 34]);
}

TEST_F(G81SmallAnswerBlocks, ChainedResponseIsCollectedWithAcknowledgements) {
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    termsim::Card card = CardNow();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(i * 7);
    sim->Slot().With([&](termsim::SlotState& s) { s.card = card; });
    ForgetWire();
    unsigned char data[40] = {};
    EXPECT_EQ(0x9000, driver.cki_read(data, 0x20, 32));
    for (int i = 0; i < 32; ++i) EXPECT_EQ(static_cast<uint8_t>((0x20 + i) * 7), data[i]) << i;
    // 34 response bytes in blocks of 16: two acknowledgements from the host.
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(3u, host.size());
    // The answer's parts carry N(S) 1 and 0: the host asks for 0, then for 1.
    EXPECT_EQ(T1Block(0x02, 0x80, {}), host[1]);
    EXPECT_EQ(T1Block(0x02, 0x90, {}), host[2]);
}

TEST_F(G81Test, IfsRequestIsAnsweredAndCutsLaterCommands) {
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    sim->Faults().Add(ParseFault("ifs=32"));
    ForgetWire();
    unsigned char response[4];
    EXPECT_EQ(0x9000, driver.cki_read(response, 0, 1));
    EXPECT_EQ(32, driver.ifsc);
    // A smaller size: the 21-byte UPDATE BINARY goes out as 16 and 5.
    sim->Faults().Add(ParseFault("ifs=16"));
    EXPECT_EQ(0x9000, driver.cki_read(response, 0, 1));
    EXPECT_EQ(16, driver.ifsc);
    ForgetWire();
    char text[512];
    std::memset(text, '0', sizeof text);
    EXPECT_EQ(0x9000, Cg81TestAccess::cki_wr16(driver, text, 0));
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(2u, host.size());
    EXPECT_EQ(16 + 4u, host[0].size());
    EXPECT_EQ(0x20, host[0][1] & 0x20);
    EXPECT_EQ(5 + 4u, host[1].size());
}

TEST_F(G81Test, IfsAnswerBytesOnTheWire) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("ifs=32"));
    ForgetWire();
    EXPECT_EQ(0, driver.cki_card_ready());
    std::vector<Bytes> host = HostBlocks();
    ASSERT_GE(host.size(), 2u);
    EXPECT_EQ((Bytes{0x12, 0xE1, 0x01, 0x20, 0xD2}), host[1]);
}

TEST_F(G81Test, IfsRequestOfZeroIsAnsweredButNotFollowed) {
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_EQ(0, driver.cki_card_ready());
    sim->Faults().Add(ParseFault("ifs=0"));
    ForgetWire();
    unsigned char data[16];
    EXPECT_EQ(0x9000, driver.cki_read(data, 0, 16));
    EXPECT_EQ(T1Block(0x02, 0xE1, {0x00}), HostBlocks().at(1));
    // Commands still go out whole: a size of 0 would leave no room for any byte.
    EXPECT_EQ(32, driver.ifsc);
    char text[512];
    std::memset(text, '0', sizeof text);
    EXPECT_EQ(0x9000, Cg81TestAccess::cki_wr16(driver, text, 0));
    // The largest size the length byte allows is taken as it is.
    sim->Faults().Add(ParseFault("ifs=255"));
    EXPECT_EQ(0x9000, driver.cki_read(data, 0, 16));
    EXPECT_EQ(255, driver.ifsc);
    EXPECT_EQ(0x9000, Cg81TestAccess::cki_wr16(driver, text, 16));
}

TEST_F(G81Test, WtxAndAbortRequestsAreAnsweredAndTheExchangeGoesOn) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("wtx=2"));
    ForgetWire();
    EXPECT_EQ(0, driver.cki_card_ready());
    EXPECT_EQ(T1Block(0x12, 0xE3, {0x02}), HostBlocks().at(1));
    sim->Faults().Add(ParseFault("abort"));
    ForgetWire();
    unsigned char data[16];
    EXPECT_EQ(0x9000, driver.cki_read(data, 0, 16));
    EXPECT_EQ((Bytes{0x02, 0xE2, 0x00, 0xE0}), HostBlocks().at(1));
    EXPECT_EQ(0xFF, data[0]);
}

TEST_F(G81Test, WrongLrcIsAnsweredByRBlockAndResynchronisation) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("bad-lrc"));
    ForgetWire();
    EXPECT_EQ(0, driver.cki_card_ready());
    std::vector<Bytes> host = HostBlocks();
    ASSERT_GE(host.size(), 3u);
    EXPECT_EQ((Bytes{0x12, 0x82, 0x00, 0x90}), host[1]);
    EXPECT_EQ(kResynch, host[2]);
    EXPECT_TRUE(boxes.empty());
    EXPECT_GE(driver.hport, 0);
}

TEST_F(G81Test, RepeatedSequenceNumberTwiceThenAccepted) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("repeat-ns*2"));
    ForgetWire();
    unsigned char response[32];
    int length = 32;
    ASSERT_EQ(0, Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x13, 0x00, 0x80, 0x00}, length, response));
    EXPECT_EQ(3, length);
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(3u, host.size());
    EXPECT_EQ(kResynch, host[1]);
    EXPECT_EQ(kResynch, host[2]);
}

TEST_F(G81Test, ThirdRepetitionIsReturnedAsTheAnswer) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("repeat-ns*3"));
    ForgetWire();
    unsigned char response[32];
    int length = 32;
    ASSERT_EQ(0, Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x13, 0x00, 0x80, 0x00}, length, response));
    EXPECT_EQ(3, length);
    EXPECT_EQ(0x90, response[1]);
    // Two resynchronisations, no third.
    std::vector<Bytes> host = HostBlocks();
    EXPECT_EQ(3u, host.size());
    std::vector<Bytes> term = TerminalBlocks();
    ASSERT_EQ(5u, term.size());
    EXPECT_EQ(0x40, term[4][1]);
}

TEST_F(G81Test, RBlockAskingForRepetitionLeadsToResynchronisation) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("r-block"));
    ForgetWire();
    EXPECT_EQ(0, driver.cki_card_ready());
    std::vector<Bytes> host = HostBlocks();
    ASSERT_GE(host.size(), 2u);
    EXPECT_EQ(kResynch, host[1]);
}

TEST_F(G81Test, SilentTerminalGivesUpAfterFiveReceivesWithoutAMessage) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("silent*"));
    ForgetWire();
    unsigned char response[32];
    int length = 32;
    EXPECT_EQ(4102, Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x13, 0x00, 0x80, 0x00}, length, response));
    EXPECT_EQ(32, length);
    // The command and two resynchronisation requests; each went unanswered.
    std::vector<Bytes> host = HostBlocks();
    ASSERT_EQ(3u, host.size());
    EXPECT_EQ(kResynch, host[1]);
    EXPECT_EQ(kResynch, host[2]);
    EXPECT_TRUE(boxes.empty());
    EXPECT_GE(driver.hport, 0);
    EXPECT_EQ(1, driver.isopen);
}

TEST_F(G81Test, ResponseLargerThanTheBufferGives4103) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("oversize=40"));
    EXPECT_EQ(4103, driver.cki_card_ready());
    sim->Faults().Add(ParseFault("oversize=1"));
    unsigned char response[3];
    int length = 3;
    EXPECT_EQ(4103, Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x13, 0x00, 0x80, 0x00}, length, response));
    EXPECT_EQ(3, length);
}

TEST_F(G81Test, StalledInformationFieldIsShownAndRecovered) {
    ASSERT_EQ(0, driver.crd_open());
    sim->Faults().Add(ParseFault("truncate=5"));
    EXPECT_EQ(0, driver.cki_card_ready());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].first);
    EXPECT_FALSE(boxes[0].second.empty());
}

TEST_F(G81Test, LineNoiseNeverOverrunsTheBuffers) {
    ASSERT_EQ(0, driver.crd_open());
    // Noise whose "length byte" announces more than follows, then the answer.
    sim->Faults().Add(ParseFault("garbage=3"));
    sim->Faults().Add(ParseFault("garbage=200@2"));
    unsigned char data[16];
    int32_t first = driver.cki_card_ready();
    int32_t second = driver.cki_read(data, 0, 16);
    // Whatever the driver made of it, it answered with one of its codes.
    for (int32_t rc : {first, second})
        EXPECT_TRUE(rc == 0 || rc == 0x9000 || rc == 0x6400 || rc == 0xFFFF || (rc >= 4097 && rc <= 4103) ||
                    rc == -1 || rc == 0x6200)
            << rc;
}

TEST_F(G81Test, NoCtsAndNoPort) {
    sim->SetCts(false);
    EXPECT_EQ(-2, driver.crd_open());
    EXPECT_EQ(0, driver.isopen);
    std::string value;
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    EXPECT_EQ(-107, driver.rcard(value, &layout));
    EXPECT_EQ(-1, driver.wcard_service());
    sim->SetCts(true);
    EXPECT_TRUE(boxes.empty());

    Cg81 nowhere;
    nowhere.port = "/nonexistent/tty";
    EXPECT_EQ(-1, nowhere.open_chip(nowhere.port));
    EXPECT_EQ(-1, nowhere.hport);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].first);
    EXPECT_NE(std::string::npos, boxes[0].second.find("No such file"));
    EXPECT_EQ(-105, nowhere.rcard(value, &layout));
    EXPECT_EQ(-1, nowhere.wcard_service());
}

TEST_F(G81Test, SecondDriverOnTheSamePortIsRefused) {
    ASSERT_EQ(0, driver.crd_open());
    Cg81 other;
    other.port = sim->Path();
    EXPECT_EQ(-1, other.crd_open());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].second.find("busy"));
}

TEST_F(G81Test, SendFailureClosesThePortAndTheNextOpenRecovers) {
    ASSERT_EQ(0, driver.crd_open());
    // The port's descriptor now leads to a file that cannot be written.
    ASSERT_TRUE(testsupport::BreakWritesTo(sim->Path()));
    unsigned char response[32];
    int length = 32;
    errno = 0;
    EXPECT_EQ(4097, Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x13, 0x00, 0x80, 0x00}, length, response));
    EXPECT_EQ(1, errno);
    EXPECT_EQ(-1, driver.hport);
    EXPECT_EQ(1, driver.isopen);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].first);
    // Every later exchange fails at once, until the port is opened again.
    EXPECT_EQ(-1, driver.cki_card_ready());
    EXPECT_EQ(0, driver.crd_open());
    EXPECT_EQ(0, driver.cki_card_ready());
}

TEST_F(G81Test, ACardWaitEndsWhenALinkFailureClosedThePort) {
    ASSERT_EQ(0, driver.crd_open());
    ASSERT_TRUE(testsupport::BreakWritesTo(sim->Path()));
    // Should the wait go on, the application gives up after a few passes.
    int waits = 0;
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2 && ++waits == 5)
            kardo_post_card_abort(kardo_current_thread_id());
    };
    _kardodll_tagCHIP layout[8];
    std::memset(layout, ' ', sizeof layout);
    std::string value;
    EXPECT_EQ(-105, driver.rcard(value, layout));
    EXPECT_EQ(0, waits);
}
