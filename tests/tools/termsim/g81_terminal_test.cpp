// The simulated G81 terminal over a real pseudo-terminal, driven byte for byte.
#include <gtest/gtest.h>

#include "raw_host.h"
#include "termsim/card.h"
#include "termsim/terminal.h"

using namespace termsim;
using termsim_test::Block;
using termsim_test::RawHost;
using B = std::vector<uint8_t>;

namespace {

class G81Terminal : public ::testing::Test {
protected:
    void SetUp() override {
        TerminalOptions options;
        options.timeScale = 0.1;
        options.t1.maxInformation = maxInformation;
        terminal = std::make_unique<Terminal>(options);
        terminal->Slot().Insert(BlankMemoryCard());
        terminal->Start();
        host = std::make_unique<RawHost>(terminal->Path());
        ASSERT_TRUE(host->ok());
    }
    void TearDown() override {
        host.reset();
        terminal->Stop();
    }
    // Resynchronises, then sends one unchained command under N(S) = 0.
    B Command(uint8_t nad, const B& apdu) {
        EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
        return host->Exchange(Block(nad, 0x00, apdu));
    }
    void Activate() {
        Command(0x12, {0x20, 0x12, 0x01, 0x00, 0x00});
    }

    int maxInformation = 254;
    std::unique_ptr<Terminal> terminal;
    std::unique_ptr<RawHost> host;
};

class G81TerminalSmallBlocks : public G81Terminal {
protected:
    G81TerminalSmallBlocks() { maxInformation = 16; }
};

}  // namespace

TEST_F(G81Terminal, AnswersResynchAndTheBasicCommands) {
    EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
    // Reset under N(S) 0, card status under N(S) 1: the terminal's answers alternate as well.
    EXPECT_EQ(Block(0x21, 0x00, {0x90, 0x00}), host->Exchange({0x12, 0x00, 0x04, 0x20, 0x11, 0x00, 0x00, 0x27}));
    EXPECT_EQ(Block(0x21, 0x40, {0x01, 0x90, 0x00}), host->Exchange(Block(0x12, 0x40, {0x20, 0x13, 0x00, 0x80, 0x00})));
    EXPECT_EQ(Block(0x21, 0x00, {0x90, 0x00}), host->Exchange(Block(0x12, 0x00, {0x20, 0x12, 0x01, 0x00, 0x00})));
    EXPECT_EQ(Block(0x21, 0x40, {0x05, 0x90, 0x00}), host->Exchange(Block(0x12, 0x40, {0x20, 0x13, 0x00, 0x80, 0x00})));
    EXPECT_EQ(Block(0x21, 0x00, {0x62, 0x01}), host->Exchange(Block(0x12, 0x00, {0x20, 0x12, 0x01, 0x00, 0x00})));
}

TEST_F(G81Terminal, CardStatusFollowsInsertionAndRemovalWhileRunning) {
    terminal->Slot().Remove();
    EXPECT_EQ(Block(0x21, 0x00, {0x00, 0x90, 0x00}), Command(0x12, {0x20, 0x13, 0x00, 0x80, 0x00}));
    EXPECT_EQ(Block(0x21, 0x00, {0x62, 0x00}), Command(0x12, {0x20, 0x12, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Block(0x20, 0x00, {0x64, 0x00}), Command(0x02, {0x00, 0xB0, 0x00, 0x00, 0x10}));
    terminal->Slot().Insert(BlankMemoryCard());
    EXPECT_EQ(Block(0x21, 0x00, {0x01, 0x90, 0x00}), Command(0x12, {0x20, 0x13, 0x00, 0x80, 0x00}));
}

TEST_F(G81Terminal, ReadAndUpdateBinaryOnTheMemoryCard) {
    Activate();
    B update{0x00, 0xD6, 0x00, 0xF8, 0x08, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(Block(0x20, 0x00, {0x90, 0x00}), Command(0x02, update));
    EXPECT_EQ(Block(0x20, 0x00, {5, 6, 7, 8, 0x90, 0x00}), Command(0x02, {0x00, 0xB0, 0x00, 0xFC, 0x04}));
    // Past the end of the card: what there is, and a warning.
    EXPECT_EQ(Block(0x20, 0x00, {7, 8, 0x62, 0x82}), Command(0x02, {0x00, 0xB0, 0x00, 0xFE, 0x04}));
    EXPECT_EQ(Block(0x20, 0x00, {0x6B, 0x00}), Command(0x02, {0x00, 0xD6, 0x00, 0xFC, 0x08, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(Block(0x20, 0x00, {0x67, 0x00}), Command(0x02, {0x00, 0xD6, 0x00, 0x00, 0x08, 1, 2}));
    EXPECT_EQ(8, terminal->Slot().counters.bytesWritten);
    EXPECT_EQ(3, terminal->Slot().counters.writes);
}

TEST_F(G81Terminal, ProtectedCardRefusesUpdates) {
    Card card = BlankMemoryCard();
    card.writeProtected = true;
    terminal->Slot().Insert(card);
    Activate();
    EXPECT_EQ(Block(0x20, 0x00, {0x69, 0x82}), Command(0x02, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(0xFF, terminal->Slot().Contents()->bytes[0]);
}

TEST_F(G81Terminal, TakesAChainedCommandAndAcknowledgesEachPart) {
    Activate();
    B apdu{0x00, 0xD6, 0x00, 0x00, 35};
    for (int i = 0; i < 35; ++i) apdu.push_back(static_cast<uint8_t>(i + 1));
    // 40 bytes at 32 per block: I(1,more) with 32, the terminal asks for N(S) 0 next.
    B first(apdu.begin(), apdu.begin() + 32), second(apdu.begin() + 32, apdu.end());
    EXPECT_EQ(Block(0x20, 0x80, {}), host->Exchange(Block(0x02, 0x60, first)));
    EXPECT_EQ(Block(0x20, 0x40, {0x90, 0x00}), host->Exchange(Block(0x02, 0x00, second)));
    EXPECT_EQ(35, terminal->Slot().Contents()->bytes[34]);
}

TEST_F(G81TerminalSmallBlocks, SendsALongAnswerAsAChain) {
    Activate();
    Card card = *terminal->Slot().Contents();
    B reply = Command(0x02, {0x00, 0xB0, 0x00, 0x00, 0x20});
    B part1(card.bytes.begin(), card.bytes.begin() + 16);
    EXPECT_EQ(Block(0x20, 0x20, part1), reply);
    // The host asks for the next part with N(R) 1.
    B part2(card.bytes.begin() + 16, card.bytes.begin() + 32);
    reply = host->Exchange(Block(0x02, 0x90, {}));
    EXPECT_EQ(Block(0x20, 0x60, part2), reply);
    reply = host->Exchange(Block(0x02, 0x80, {}));
    EXPECT_EQ(Block(0x20, 0x00, {0x90, 0x00}), reply);
}

TEST_F(G81Terminal, WrongLrcFromTheHostIsAnsweredWithAnRBlock) {
    host->Exchange({0x12, 0xC0, 0x00, 0xD2});
    EXPECT_EQ(Block(0x21, 0x81, {}), host->Exchange({0x12, 0x00, 0x04, 0x20, 0x11, 0x00, 0x00, 0x28}));
}

TEST_F(G81Terminal, SpoiledAnswerIsSentAgainAfterTheHostsResynchronisation) {
    terminal->Faults().Add(ParseFault("bad-lrc"));
    B reply = Command(0x12, {0x20, 0x11, 0x00, 0x00});
    EXPECT_EQ((B{0x21, 0x00, 0x02, 0x90, 0x00, 0xB3 ^ 0xFF}), reply);
    // The host's R-block gets no answer; its resynchronisation gets E0 and the answer.
    host->Send({0x12, 0x82, 0x00, 0x90});
    EXPECT_TRUE(host->Quiet(100));
    EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
    EXPECT_EQ(Block(0x21, 0x00, {0x90, 0x00}), host->ReadBlock());
}

TEST_F(G81Terminal, RepeatedSequenceNumberUntilTheFaultIsUsedUp) {
    terminal->Faults().Add(ParseFault("repeat-ns*2"));
    // The first answer after a resynchronisation should carry N(S) 0; it carries 1.
    EXPECT_EQ(Block(0x21, 0x40, {0x90, 0x00}), Command(0x12, {0x20, 0x11, 0x00, 0x00}));
    EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
    EXPECT_EQ(Block(0x21, 0x40, {0x90, 0x00}), host->ReadBlock());
    EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
    EXPECT_EQ(Block(0x21, 0x00, {0x90, 0x00}), host->ReadBlock());
}

TEST_F(G81Terminal, RBlockFaultAsksForTheCommandAndAnswersAfterResynch) {
    terminal->Faults().Add(ParseFault("r-block"));
    EXPECT_EQ(Block(0x21, 0x82, {}), Command(0x12, {0x20, 0x11, 0x00, 0x00}));
    EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
    EXPECT_EQ(Block(0x21, 0x00, {0x90, 0x00}), host->ReadBlock());
}

TEST_F(G81Terminal, SRequestsGoOutBeforeTheAnswer) {
    terminal->Faults().Add(ParseFault("ifs=16"));
    terminal->Faults().Add(ParseFault("wtx=3"));
    terminal->Faults().Add(ParseFault("abort"));
    EXPECT_EQ(Block(0x21, 0xC1, {0x10}), Command(0x12, {0x20, 0x11, 0x00, 0x00}));
    EXPECT_EQ(Block(0x21, 0xC3, {0x03}), host->Exchange({0x12, 0xE1, 0x01, 0x10, 0xE2}));
    EXPECT_EQ(Block(0x21, 0xC2, {}), host->Exchange(Block(0x12, 0xE3, {0x03})));
    // After the abort: an empty acknowledgement, then the answer.
    EXPECT_EQ(Block(0x21, 0x90, {}), host->Exchange(Block(0x12, 0xE2, {})));
    EXPECT_EQ(Block(0x21, 0x00, {0x90, 0x00}), host->ReadBlock());
}

TEST_F(G81Terminal, SilentTerminalAndRefusedCardCommands) {
    terminal->Faults().Add(ParseFault("silent"));
    host->Send({0x12, 0xC0, 0x00, 0xD2});
    EXPECT_TRUE(host->Quiet(200));
    Activate();
    terminal->Faults().Add(ParseFault("refuse-read"));
    terminal->Faults().Add(ParseFault("refuse-write=6A84"));
    EXPECT_EQ(Block(0x20, 0x00, {0x62, 0x81}), Command(0x02, {0x00, 0xB0, 0x00, 0x00, 0x10}));
    EXPECT_EQ(Block(0x20, 0x00, {0x6A, 0x84}), Command(0x02, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(0xFF, terminal->Slot().Contents()->bytes[0]);
}

TEST_F(G81Terminal, MalformedAnswersForTheHostsRobustness) {
    terminal->Faults().Add(ParseFault("truncate=5"));
    host->Exchange({0x12, 0xC0, 0x00, 0xD2});
    host->Send(Block(0x12, 0x00, {0x20, 0x13, 0x00, 0x80, 0x00}));
    EXPECT_EQ((B{0x21, 0x00, 0x03, 0x01, 0x90}), host->ReadN(7, 300));
    // Once the host has resynchronised, the whole answer comes.
    EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
    EXPECT_EQ(Block(0x21, 0x00, {0x01, 0x90, 0x00}), host->ReadBlock());
    terminal->Faults().Add(ParseFault("garbage=4"));
    terminal->Faults().Add(ParseFault("oversize=3"));
    host->Exchange({0x12, 0xC0, 0x00, 0xD2});
    host->Send(Block(0x12, 0x00, {0x20, 0x11, 0x00, 0x00}));
    B noise = host->ReadN(4);
    EXPECT_EQ(4u, noise.size());
    EXPECT_EQ(Block(0x21, 0x00, {0x55, 0x55, 0x55, 0x90, 0x00}), host->ReadBlock());
}

TEST(TerminalTrace, EveryBlockInBothDirectionsAsHex) {
    TerminalOptions options;
    Terminal terminal(options);
    std::vector<std::string> lines;
    std::mutex m;
    terminal.GetTrace().SetSink([&](const std::string& l) {
        std::lock_guard<std::mutex> lock(m);
        lines.push_back(l);
    });
    terminal.Start();
    RawHost host(terminal.Path());
    host.Exchange({0x12, 0xC0, 0x00, 0xD2});
    terminal.Stop();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("host > term  12 C0 00 D2   (S(RESYNCH request))"));
    EXPECT_NE(std::string::npos, lines[1].find("term > host  21 E0 00 C1   (S(RESYNCH response))"));
}

TEST_F(G81Terminal, HostsIfsAbortAndWtxRequestsAreAnswered) {
    EXPECT_EQ(Block(0x21, 0xE1, {0x10}), host->Exchange(Block(0x12, 0xC1, {0x10})));
    EXPECT_EQ(Block(0x21, 0xE2, {}), host->Exchange(Block(0x12, 0xC2, {})));
    EXPECT_EQ(Block(0x21, 0xE3, {0x02}), host->Exchange(Block(0x12, 0xC3, {0x02})));
    // From now on the terminal's blocks carry at most 16 bytes.
    Activate();
    B reply = Command(0x02, {0x00, 0xB0, 0x00, 0x00, 0x20});
    ASSERT_EQ(20u, reply.size());
    EXPECT_EQ(0x20, reply[1] & 0x20);
}
