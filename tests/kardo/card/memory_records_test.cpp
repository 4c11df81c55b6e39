// Ccard's record operations end to end against the simulated terminals:
// what lands on the card, the read-back check, failures handed through.
#include <atomic>

#include "card_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes CardBytes(const termsim::Card& card, size_t from, size_t count) {
    return Bytes(card.bytes.begin() + static_cast<long>(from), card.bytes.begin() + static_cast<long>(from + count));
}

_kardodll_CHIP PpsLayout(const char* rows) {
    _kardodll_CHIP chip = TwelveAndSixLayout();
    std::memset(chip.pps.entry[0].rows, ' ', 18);
    std::memcpy(chip.pps.entry[0].rows, rows, std::strlen(rows));
    return chip;
}

}  // namespace

using MemoryRecords = CardTest;

TEST_P(MemoryRecords, PpsWrittenAndReadBack) {
    ASSERT_EQ(0, card.pps_wcard(1234567, "123456789012"));
    termsim::Card now = CardNow();
    // The record's value field holds the digits as BCD from card byte 248 on,
    // the number's last six digits from 239, the stamp from 242, the mode at 254.
    EXPECT_EQ((Bytes{0x12, 0x34, 0x56, 0x78, 0x90, 0x12}), CardBytes(now, 248, 6));
    EXPECT_EQ((Bytes{0x23, 0x45, 0x67}), CardBytes(now, 239, 3));
    EXPECT_EQ((Bytes{0x10, 0x20, 0x31, 0x42, 0x53, 0x64}), CardBytes(now, 242, 6));
    EXPECT_EQ(0x02, now.bytes[254]);
    EXPECT_TRUE(boxes.empty());

    std::string value = "old";
    ASSERT_EQ(0, card.pps_rcard(value));
    EXPECT_EQ("123456789012", value);
    // Every operation leaves the terminal closed.
    EXPECT_TRUE(PortClosed());
}

TEST_P(MemoryRecords, ReadBackCheck) {
    const struct {
        int ppslen;
        const char* rows;
        const char* value;
        int result;
        const char* message;
    } cases[] = {
        {4, "GGGG", "1234", 0, nullptr},
        // The value is compared as given: a leading blank never matches.
        {4, "GGGG", " 1234", -1, "Fehler beim Beschreiben der Karte: soll  1234, ist 1234"},
        // Only the first twelve characters are written.
        {12, "GGGGGGGGGGGG", "1234567890123", -1, "Fehler beim Beschreiben der Karte: soll 1234567890123, ist 123456789012"},
        // The layout holds fewer digits than the record: the card reads back short.
        {4, "GGG", "1234", -1, "Fehler beim Beschreiben der Karte: soll 1234, ist 123"},
        // Lengths beyond the record are taken as the whole record.
        {40, "GGGGGGGGGGGG", "987654321098", 0, nullptr},
        // Eighteen Gs read back eighteen characters into the driver's buffer.
        {12, "GGGGGGGGGGGGGGGGGG", "123456789012", -1,
         "Fehler beim Beschreiben der Karte: soll 123456789012, ist 123456789012dddddd"},
    };
    for (const auto& c : cases) {
        boxes.clear();
        Init(c.ppslen, 6, 0, PpsLayout(c.rows));
        EXPECT_EQ(c.result, card.pps_wcard(1, c.value)) << c.value;
        if (c.message) {
            ASSERT_EQ(1u, boxes.size()) << c.value;
            EXPECT_EQ(c.message, boxes[0].second);
        } else {
            EXPECT_TRUE(boxes.empty()) << c.value;
        }
    }
}

TEST_P(MemoryRecords, NumberTextsOnTheCard) {
    const struct {
        long number;
        Bytes bytes;
    } cases[] = {
        {42, {0x00, 0x00, 0x42}},
        {1234567, {0x23, 0x45, 0x67}},
        // A minus sign is no hexadecimal digit: it lands as 0.
        {-5, {0x00, 0x00, 0x05}},
        {-999999, {0x09, 0x99, 0x99}},
    };
    Init(1, 6, 0, PpsLayout("G"));
    for (const auto& c : cases) {
        ASSERT_EQ(0, card.pps_wcard(c.number, "1")) << c.number;
        EXPECT_EQ(c.bytes, CardBytes(CardNow(), 239, 3)) << c.number;
    }
}

TEST_P(MemoryRecords, PatAndGstRecords) {
    ASSERT_EQ(0, card.pat_wcard(7, "654321", 3));
    EXPECT_EQ(0x03, CardNow().bytes[254]);
    std::string value;
    ASSERT_EQ(0, card.pat_rcard(value));
    EXPECT_EQ("654321", value);

    // The gst record takes the whole value, left-aligned number, mode 0, and
    // leaves the caller's string alone however long it is.
    std::string gst = "123456" + std::string(40, 'x');
    const std::string before = gst;
    ASSERT_EQ(0, card.gst_wcard(42, gst));
    EXPECT_EQ(before, gst);
    termsim::Card now = CardNow();
    EXPECT_EQ((Bytes{0x42, 0x00, 0x00}), CardBytes(now, 239, 3));
    EXPECT_EQ(0x00, now.bytes[254]);
    ASSERT_EQ(0, card.pat_rcard(value));
    EXPECT_EQ("123456", value);
}

TEST_P(MemoryRecords, NumberRecordsTakeOnlyWholeNumbers) {
    std::atomic<int> blocks{0};
    sim->GetTrace().SetObserver([&](termsim::Direction d, const Bytes&) {
        if (d == termsim::Direction::HostToTerminal) ++blocks;
    });
    // A PKI terminal writes TCE records as text (below).
    const bool pki = GetParam().family == termsim::Family::Pki;
    for (int patmode : {1, 2}) {
        if (patmode == 2 && pki) continue;
        Init(12, 6, patmode);
        for (const char* bad : {"12x", "", "4294967296", "1.5"}) {
            EXPECT_EQ(-1, card.pat_wcard(1, bad, 0)) << bad;
            EXPECT_EQ(0, blocks) << "the terminal was opened for " << bad;
        }
        ASSERT_EQ(0, card.pat_wcard(1, " 4711 ", 0));
        // L I, the number most significant byte first, stamp bytes 2 to 5.
        EXPECT_EQ((Bytes{0x4C, 0x49, 0x00, 0x00, 0x12, 0x67, 0x31, 0x42, 0x53, 0x64}), CardBytes(CardNow(), 0, 10));
        sim->Slot().Insert(termsim::BlankMemoryCard());
        blocks = 0;
    }
}

TEST_P(MemoryRecords, TceRecordsOnPkiTerminals) {
    if (GetParam().family != termsim::Family::Pki) GTEST_SKIP() << "only PKI terminals write TCE records as text";
    _kardodll_CHIP chip;
    std::memset(&chip, ' ', sizeof chip);
    std::memcpy(chip.pat.entry[4].rows, "GGGG", 4);
    Init(12, 4, 2, chip);
    sim->Slot().Insert(termsim::BlankTceCard());
    ASSERT_EQ(0, card.pat_wcard(1, "1203", 0));
    std::string value;
    ASSERT_EQ(0, card.pat_rcard(value));
    // The TCE card holds A where 0 was written, read back as image text.
    EXPECT_EQ("12a3", value);
}

TEST_P(MemoryRecords, DriverFailuresPassThroughUnchanged) {
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson()));
    const termsim::Card before = CardNow();
    EXPECT_EQ(-100, card.pps_wcard(1, "1234"));
    EXPECT_EQ(-100, card.pat_wcard(1, "1234", 0));
    EXPECT_EQ(-100, card.gst_wcard(1, "1234"));
    EXPECT_EQ(-100, card.sc4_wcard());
    EXPECT_EQ(before.bytes, CardNow().bytes);
    EXPECT_TRUE(boxes.empty());

    // The last block of a read is refused (the terminals probe the card first
    // with reads of their own, as many as a good read showed).
    sim->Slot().Insert(termsim::BlankMemoryCard());
    std::string value;
    const int before_reads = sim->Slot().counters.reads;
    ASSERT_EQ(0, card.pps_rcard(value));
    const int reads = sim->Slot().counters.reads - before_reads;
    sim->Faults().Add(termsim::ParseFault("refuse-read=6400@" + std::to_string(reads)));
    value = "keep";
    EXPECT_EQ(-104, card.pps_rcard(value));
    EXPECT_EQ("", value);
}

TEST_P(MemoryRecords, AbortWhileWaitingForACard) {
    sim->Slot().Remove();
    onMessage = [](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2) kardo_post_card_abort(kardo_current_thread_id());
    };
    std::string value = "keep";
    EXPECT_EQ(-102, card.pps_rcard(value));
    EXPECT_EQ("", value);
    EXPECT_EQ(-102, card.pps_wcard(1, "1234"));
    EXPECT_TRUE(Waited());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(PortClosed());
}

TEST_P(MemoryRecords, AbortDuringAWriteLeavesThePiecesWritten) {
    onMessage = [](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 1 && p.lparam == 25) kardo_post_card_abort(kardo_current_thread_id());
    };
    EXPECT_EQ(-102, card.pps_wcard(1234567, "123456789012"));
    EXPECT_EQ(4, sim->Slot().counters.writes);
    // The first blocks hold the record's layout rows; the value field at the end was never reached.
    EXPECT_EQ(0x16, CardNow().bytes[16]);
    EXPECT_EQ(0xFF, CardNow().bytes[248]);
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Families, MemoryRecords, ::testing::ValuesIn(SimulatedFamilies()), FamilyCaseName);
