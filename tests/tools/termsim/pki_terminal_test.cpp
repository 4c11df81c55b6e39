// The simulated PKI terminal over a real pseudo-terminal, driven frame by frame.
#include <gtest/gtest.h>

#include "pki_frame.h"
#include "raw_host.h"
#include "termsim/card.h"
#include "termsim/card_file.h"
#include "termsim/faults.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"

using namespace termsim;
using termsim_test::RawHost;
using testsupport::PkiFrame;
using testsupport::PkiInfo;
using testsupport::PkiReject;
using B = std::vector<uint8_t>;

namespace {

const B kResync{0x31, 0xEF, 0x00, 0xDE};

class PkiTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        TerminalOptions options;
        options.family = Family::Pki;
        options.timeScale = 0.1;
        options.pki.successStatus = successStatus;
        terminal = std::make_unique<Terminal>(options);
        terminal->Slot().Insert(BlankMemoryCard());
        terminal->Start();
        host = std::make_unique<RawHost>(terminal->Path());
        ASSERT_TRUE(host->ok());
        ASSERT_EQ(kResync, host->Exchange(kResync));
    }
    void TearDown() override {
        host.reset();
        terminal->Stop();
    }
    // One whole frame with a one-byte length; empty when nothing came.
    B Frame() {
        B header = host->ReadN(3);
        if (header.size() < 3) return header;
        B rest = host->ReadN(header[2] + 1u);
        header.insert(header.end(), rest.begin(), rest.end());
        return header;
    }
    // Sends a command as information frame ns (with N(R) = ns) and gives the answer frame.
    B Command(int ns, const B& command) {
        host->Send(PkiFrame(PkiInfo(ns, ns), command));
        return Frame();
    }
    // The answer the terminal gives to command ns, from the data.
    static B Answer(int ns, const B& data) { return PkiFrame(PkiInfo(ns, ns + 1), data); }

    uint8_t successStatus = 0x81;
    std::unique_ptr<Terminal> terminal;
    std::unique_ptr<RawHost> host;
};

class PkiTerminalVariant : public PkiTerminal {
protected:
    PkiTerminalVariant() { successStatus = 0x82; }
};

}  // namespace

TEST_F(PkiTerminal, CommandsAndTheirStatusBytes) {
    Card card = BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(i);
    terminal->Slot().Insert(card);
    B sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back(static_cast<uint8_t>(0x20 + i));
    B written{0x81};
    struct Case {
        B command;
        B answer;
    } cases[] = {
        {{0xF1, 0x04}, {0x81}},
        {{0x03}, {0x81}},
        {{0x01, 0x42}, {0x81, 0x42}},
        {{0x02, 0xF0}, {0x81, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD,
                        0xFE, 0xFF}},
        {{0x02, 0xF1}, {0x80}},  // past the card's end
        {[&] { B c{0x05, 0x20}; c.insert(c.end(), sixteen.begin(), sixteen.end()); return c; }(), {0x81}},
        {{0x05, 0x20, 0x01}, {0x80}},  // not 16 bytes
        {{0xF1, 0x07}, {0x80}},        // no such card kind
        {{0x77}, {0x80}},
    };
    int ns = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(Answer(ns, c.answer), Command(ns, c.command)) << testing::PrintToString(c.command);
        ns = (ns + 1) & 7;
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(0x20 + i, terminal->Slot().Contents()->bytes[0x20 + i]);
    terminal->Slot().Remove();
    EXPECT_EQ(Answer(ns, {0x80}), Command(ns, {0x03}));
}

TEST_F(PkiTerminal, InsuranceCardKindsAnswerOnlyUnderTheirOwnKind) {
    for (uint8_t kind : {kPkiKindMemory, kPkiKindBlocks, kPkiKindAddressed}) {
        Card card = InsuranceCard(ExamplePerson(), kind);
        terminal->Slot().Insert(card);
        ASSERT_EQ(kResync, host->Exchange(kResync));
        B under04 = Command(0, {0x02, 0x00});
        EXPECT_EQ(Answer(1, {0x81}), Command(1, {0xF1, 0x0B}));
        B under0B = Command(2, {0x02, 0x01});
        EXPECT_EQ(Answer(3, {0x81}), Command(3, {0xF1, 0x0C}));
        B under0C = Command(4, {0x02, 0x00, 0x80, 0x80});
        B first16(card.bytes.begin(), card.bytes.begin() + 16), second128(card.bytes.begin() + 128, card.bytes.end());
        first16.insert(first16.begin(), 0x81);
        second128.insert(second128.begin(), 0x82);
        EXPECT_EQ(Answer(0, kind == kPkiKindMemory ? first16 : B{0x80}), under04);
        EXPECT_EQ(Answer(2, kind == kPkiKindBlocks ? second128 : B{0x80}), under0B);
        EXPECT_EQ(Answer(4, kind == kPkiKindAddressed ? second128 : B{0x80}), under0C);
        // Issued cards refuse every write.
        B write{0x05, 0x00};
        write.resize(18);
        EXPECT_EQ(Answer(5, {0x80}), Command(5, write));
    }
    EXPECT_EQ(0xA2, InsuranceCard(ExamplePerson()).bytes[0]);
    EXPECT_EQ(0x92, ParseCardText("pki-kind = 0C\n", "t")->bytes[0]);
}

TEST_F(PkiTerminalVariant, SuccessIsAnsweredWithTheVariant) {
    EXPECT_EQ(Answer(0, {0x82}), Command(0, {0x03}));
    EXPECT_EQ(Answer(1, {0x82, 0xFF}), Command(1, {0x01, 0x00}));
}

TEST_F(PkiTerminal, RejectsAndRetransmissions) {
    // A frame with a wrong check byte is rejected, naming the frame expected.
    B bad = PkiFrame(PkiInfo(0, 0), {0x03});
    bad.back() ^= 1;
    host->Send(bad);
    EXPECT_EQ(PkiFrame(PkiReject(0), {}), Frame());
    // A spoiled answer; the host's reject brings the answer as first built.
    terminal->Faults().Add(ParseFault("bad-lrc"));
    B spoiled = Command(0, {0x01, 0x10});
    const B answer = Answer(0, {0x81, 0xFF});
    EXPECT_NE(answer, spoiled);
    host->Send(PkiFrame(PkiReject(0), {}));
    EXPECT_EQ(answer, Frame());
    host->Send(PkiFrame(PkiReject(0), {}));
    EXPECT_EQ(answer, Frame());
    // A stale N(S) the same way.
    terminal->Faults().Add(ParseFault("repeat-ns"));
    EXPECT_EQ(PkiFrame(PkiInfo(0, 2), {0x81}), Command(1, {0x03}));
    host->Send(PkiFrame(PkiReject(1), {}));
    EXPECT_EQ(Answer(1, {0x81}), Frame());
    // The terminal sends a command back; sent again, it is answered.
    terminal->Faults().Add(ParseFault("r-block"));
    EXPECT_EQ(PkiFrame(PkiReject(2), {}), Command(2, {0x03}));
    EXPECT_EQ(Answer(2, {0x81}), Command(2, {0x03}));
    // A command that got no answer: the host's reject is answered by a reject
    // asking for the command.
    terminal->Faults().Add(ParseFault("silent"));
    host->Send(PkiFrame(PkiInfo(3, 3), {0x03}));
    EXPECT_TRUE(host->Quiet(100));
    host->Send(PkiFrame(PkiReject(3), {}));
    EXPECT_EQ(PkiFrame(PkiReject(3), {}), Frame());
    EXPECT_EQ(Answer(3, {0x81}), Command(3, {0x03}));
}

TEST_F(PkiTerminal, FaultsOnReadsWritesAndTheLine) {
    terminal->Faults().Add(ParseFault("refuse-read=81"));
    EXPECT_EQ(Answer(0, {0x81}), Command(0, {0x02, 0x00}));
    terminal->Faults().Add(ParseFault("refuse-write"));
    B write{0x05, 0x00};
    write.resize(18);
    EXPECT_EQ(Answer(1, {0x80}), Command(1, write));
    EXPECT_EQ(0xFF, terminal->Slot().Contents()->bytes[0]);
    terminal->Faults().Add(ParseFault("truncate=3"));
    host->Send(PkiFrame(PkiInfo(2, 2), {0x03}));
    EXPECT_EQ((B{0x31, PkiInfo(2, 3), 0x01}), host->ReadN(5, 300));
}
