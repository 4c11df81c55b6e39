// The PKI link and card access against the simulated terminal (and, for
// answers no terminal should give, a scripted far end): the frames on the
// wire, rejects and retransmissions, status bytes, the card texts.
#include "pki_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include "pty_pair.h"

using termsim::ParseFault;

namespace {
const Bytes kResync{0x31, 0xEF, 0x00, 0xDE};
const Bytes kSap2{0x31, 0x00, 0x02, 0xF1, 0x04, 0xC6};
const Bytes kStat{0x31, 0x22, 0x01, 0x03, 0x11};

class PkiVariantTest : public PkiTest {
protected:
    PkiVariantTest() { successStatus = 0x82; }
};

// A card whose byte k is k.
termsim::Card CountingCard() {
    termsim::Card card = termsim::BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(i);
    return card;
}
}  // namespace

TEST_F(PkiTest, OpeningResynchronisesAndSelectsTheMemoryCardKind) {
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ(1, driver.isopen);
    EXPECT_EQ((std::vector<Bytes>{kResync, kSap2}), HostFrames());
    EXPECT_EQ(1, driver.recv_seq);
    EXPECT_EQ(1, driver.send_seq);
    ForgetWire();
    EXPECT_EQ(0x81, driver.stat());
    EXPECT_EQ(std::vector<Bytes>{kStat}, HostFrames());
    sim->Slot().Remove();
    EXPECT_EQ(0x80, driver.stat());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PkiTest, InitNeedsAFourByteResynchronisationAnswerWithARightCheckByte) {
    struct Case {
        Bytes answer;
        int32_t result;
    } cases[] = {
        {kResync, 0},
        {{0x31, 0xEF, 0x00, 0xDF}, -1},  // wrong check byte
        {{0x31, 0xE0, 0x00, 0xD1}, -1},  // another control byte
        {{0x31, 0xEF, 0x00}, -1},        // three bytes
    };
    for (const Case& c : cases) {
        testsupport::PtyPair far;
        driver.port = far.path();
        ASSERT_EQ(0, CpkiTestAccess::open_chip(driver));
        far.Send(c.answer);
        EXPECT_EQ(c.result, CpkiTestAccess::init(driver)) << testing::PrintToString(c.answer);
        Bytes sent = far.Receive(8, 50);
        Bytes expected = kResync;
        if (c.result != 0) expected.insert(expected.end(), kResync.begin(), kResync.end());
        EXPECT_EQ(expected, sent);
        driver.close_card();
    }
}

TEST_F(PkiTest, RejectsRetransmissionsAndRetries) {
    struct Case {
        const char* fault;
        int32_t result;
        int rejects;     // sent by the host
        int statFrames;  // the stat frame on the wire, first copy included
    } cases[] = {
        {"bad-lrc", 0x81, 1, 1},   {"bad-lrc*2", 0x81, 2, 1}, {"bad-lrc*3", -1, 2, 1},
        {"repeat-ns", 0x81, 1, 1}, {"truncate=4", 0x81, 1, 1}, {"silent", 0x81, 1, 2},
        {"r-block", 0x81, 0, 2},   {"r-block*2", 0x81, 0, 3},  {"r-block*3", -1, 0, 3},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(0, driver.crd_open());
        ForgetWire();
        sim->Faults().Add(ParseFault(c.fault));
        EXPECT_EQ(c.result, driver.stat()) << c.fault;
        sim->Faults().Clear();
        int stats = 0;
        for (const Bytes& f : HostFrames()) {
            if (f.size() == 4) {
                EXPECT_EQ((Bytes{0x31, 0x29, 0x00, 0x18}), f) << c.fault;
            }
            stats += f == kStat;
        }
        EXPECT_EQ(c.rejects, HostRejects()) << c.fault;
        EXPECT_EQ(c.statFrames, stats) << c.fault;
    }
}

TEST_F(PkiTest, FrameLengthsAndTheLongLength) {
    ASSERT_EQ(0, driver.crd_open());
    struct Case {
        size_t data;
        size_t onWire;  // 0: refused, nothing sent
        Bytes length;
    } cases[] = {{254, 258, {0xFE}}, {255, 261, {0xFF, 0x00, 0xFF}}, {264, 270, {0xFF, 0x01, 0x08}}, {265, 0, {}}};
    for (const Case& c : cases) {
        ForgetWire();
        Bytes command(c.data, 0x5A);
        command[0] = 0x05;
        Bytes answer;
        EXPECT_EQ(c.onWire ? 0 : -1, CpkiTestAccess::io(driver, command, answer)) << c.data;
        std::vector<Bytes> host = HostFrames();
        if (!c.onWire) {
            EXPECT_TRUE(host.empty());
            continue;
        }
        ASSERT_EQ(1u, host.size());
        EXPECT_EQ(c.onWire, host[0].size());
        EXPECT_EQ(c.length, Bytes(host[0].begin() + 2, host[0].begin() + 2 + static_cast<long>(c.length.size())));
        EXPECT_EQ(Bytes{0x80}, answer);  // the terminal takes no such write
    }
}

TEST_F(PkiTest, SequenceNumbersWrapAroundEight) {
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(0x81, driver.stat());
    std::vector<Bytes> host = HostFrames();
    ASSERT_EQ(10u, host.size());
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(PkiFrame(PkiInfo(k, k), {0x03}), host[k - 1]) << k;
    EXPECT_EQ(3, driver.send_seq);
}

TEST_F(PkiVariantTest, TheSuccessVariantIsReportedAsSuccess) {
    sim->Slot().Insert(CountingCard());
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ(0x81, driver.sap2());
    EXPECT_EQ(0x81, driver.stat());
    char text[512];
    EXPECT_EQ(0x81, CpkiTestAccess::rd16(driver, text, 0));
    EXPECT_EQ(0x81, driver.rd16direct(text, 0));
    // The single-byte reader hands on the last status as it came.
    EXPECT_EQ(0x82, CpkiTestAccess::rd(driver, text, 0));
}

TEST_F(PkiTest, ReadersPutTheTextAtTheAddressAndNothingBehindIt) {
    sim->Slot().Insert(CountingCard());
    ASSERT_EQ(0, driver.crd_open());
    using Reader = int32_t (*)(Cpki&, char*, int);
    struct Case {
        Reader read;
        int address;
        const char* text;
    } cases[] = {
        {CpkiTestAccess::rd16, 0x10, "01112131415161718191a1b1c1d1e1f1"},
        {[](Cpki& d, char* t, int a) { return d.rd16direct(t, a); }, 0x10, "101112131415161718191a1b1c1d1e1f"},
        {CpkiTestAccess::rd, 0x10, "01112131415161718191a1b1c1d1e1f1"},
        {CpkiTestAccess::rd16, 0xF0, "0f1f2f3f4f5f6f7f8f9fafbfcfdfefff"},
    };
    for (const Case& c : cases) {
        char text[520];
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(0x81, c.read(driver, text, c.address));
        EXPECT_EQ(c.text, std::string(text + 2 * c.address, 32));
        EXPECT_EQ('#', text[2 * c.address - 1]);
        EXPECT_EQ('#', text[2 * c.address + 32]);
    }
}

TEST_F(PkiTest, AddressesPast240AreRefusedWithoutAWord) {
    ASSERT_EQ(0, driver.crd_open());
    ForgetWire();
    char text[600];
    const unsigned char raw[16] = {};
    for (int address : {0xF1, -1})
        EXPECT_EQ((std::vector<int32_t>{-1, -1, -1, -1, -1}),
                  (std::vector<int32_t>{CpkiTestAccess::rd(driver, text, address),
                                        CpkiTestAccess::rd16(driver, text, address), driver.rd16direct(text, address),
                                        CpkiTestAccess::wr16(driver, text, address),
                                        CpkiTestAccess::wr16direct(driver, raw, address)}));
    EXPECT_TRUE(HostFrames().empty());
}

TEST_F(PkiTest, AShortButWellFormedAnswerFailsAtOnce) {
    ASSERT_EQ(0, driver.crd_open());
    char text[512];
    std::memset(text, '#', sizeof text);
    // The status of success, but no card bytes behind it.
    sim->Faults().Add(ParseFault("refuse-read=81"));
    EXPECT_EQ(-1, CpkiTestAccess::rd16(driver, text, 0));
    sim->Faults().Add(ParseFault("refuse-read=81"));
    EXPECT_EQ(-1, CpkiTestAccess::rd(driver, text, 0));
    EXPECT_EQ(std::string(512, '#'), std::string(text, 512));
    EXPECT_EQ(0, HostRejects());
    EXPECT_EQ(0x81, driver.stat());
}

TEST_F(PkiTest, MalformedFramesStayInsideTheBuffers) {
    // Answers to a command of unknown length (255 bytes are read), each with
    // a right check byte: a long length far beyond the buffer, a length
    // announcing more than came, line noise.
    auto sealed = [](Bytes f) {
        uint8_t x = 0;
        for (uint8_t b : f) x ^= b;
        f.push_back(x);
        return f;
    };
    Bytes longLength{0x31, 0x20, 0xFF, 0xFF, 0xFF};
    longLength.resize(254, 0x81);
    Bytes noise(255, 0xFF);
    const Bytes answers[] = {sealed(longLength), sealed({0x31, 0x20, 0x10, 0x81}), noise};
    for (const Bytes& answer : answers) {
        testsupport::PtyPair far;
        driver.port = far.path();
        ASSERT_EQ(0, CpkiTestAccess::open_chip(driver));
        far.Send(kResync);
        ASSERT_EQ(0, CpkiTestAccess::init(driver));
        far.Send(answer);
        Bytes data;
        EXPECT_EQ(-1, CpkiTestAccess::io(driver, {0x77}, data));
        Bytes sent = far.Receive(300, 50);
        // The resynchronisation, the command, two rejects.
        EXPECT_EQ(4u + 5u + 8u, sent.size());
        driver.close_card();
    }
}

TEST_F(PkiTest, InsuranceCardOfEachKindIsReadWhole) {
    struct Case {
        uint8_t kind;
        int opens;
        Bytes secondHalf;  // the command that reads it; empty: 16 blocks
    } cases[] = {{termsim::kPkiKindMemory, 1, {}},
                 {termsim::kPkiKindBlocks, 2, {0x02, 0x01}},
                 {termsim::kPkiKindAddressed, 3, {0x02, 0x00, 0x80, 0x80}}};
    for (const Case& c : cases) {
        const termsim::Card card = termsim::InsuranceCard(termsim::ExamplePerson(), c.kind);
        sim->Slot().Insert(card);
        ForgetWire();
        unsigned char* kvk = driver.rd_orga_kvk();
        ASSERT_NE(nullptr, kvk) << int(c.kind);
        EXPECT_EQ(Bytes(card.bytes.begin(), card.bytes.end()), Bytes(kvk, kvk + 256));
        int resyncs = 0, blocks = 0, halves = 0;
        for (const Bytes& f : HostFrames()) resyncs += f == kResync;
        for (const Bytes& cmd : HostCommands()) {
            blocks += cmd.size() == 2 && cmd[0] == 0x02;
            halves += cmd == c.secondHalf;
        }
        EXPECT_EQ(c.opens, resyncs);
        if (c.secondHalf.empty()) {
            EXPECT_EQ(17, blocks);  // the probe reads block 0 a first time
        } else {
            EXPECT_EQ(1, halves);
        }
    }
    // A memory card is no insurance card; the buffer is cleared for it too.
    sim->Slot().Insert(termsim::BlankMemoryCard());
    unsigned char* before = driver.rd_orga_kvk();
    EXPECT_EQ(nullptr, before);
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson(), termsim::kPkiKindBlocks));
    unsigned char* kvk = driver.rd_orga_kvk();
    ASSERT_NE(nullptr, kvk);
    sim->Slot().Remove();
    EXPECT_EQ(nullptr, driver.rd_orga_kvk());
    EXPECT_EQ(Bytes(256, 0), Bytes(kvk, kvk + 256));
}
