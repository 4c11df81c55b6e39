// The simulated PKI terminal over a real pseudo-terminal, driven frame by frame.
#include <gtest/gtest.h>

#include "pki_frame.h"
#include "raw_host.h"
#include "termsim/card.h"
#include "termsim/faults.h"
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

    std::unique_ptr<Terminal> terminal;
    std::unique_ptr<RawHost> host;
};

}  // namespace

TEST_F(PkiTerminal, CommandsAndTheirStatusBytes) {
    Card card = BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(i);
    terminal->Slot().Insert(card);
    B sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back(static_cast<uint8_t>(0x20 + i));
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
    // A command that got no answer: the host's reject is answered by a reject
    // asking for the command.
    terminal->Faults().Add(ParseFault("silent"));
    host->Send(PkiFrame(PkiInfo(1, 1), {0x03}));
    EXPECT_TRUE(host->Quiet(100));
    host->Send(PkiFrame(PkiReject(1), {}));
    EXPECT_EQ(PkiFrame(PkiReject(1), {}), Frame());
    EXPECT_EQ(Answer(1, {0x81}), Command(1, {0x03}));
}
