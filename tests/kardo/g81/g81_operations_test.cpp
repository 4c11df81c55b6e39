// The G81 card operations against the simulated terminal: records on the
// card, state and progress messages, refusals, the insurance card, aborts.
#include "g81_fixture.h"

#include <thread>

using termsim::ParseFault;

TEST_F(G81Test, WriteThenReadARecord) {
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "123456";
    char number[] = "000042";
    ASSERT_EQ(0, driver.wcard(value, number, &layout, &extra, 1));
    EXPECT_STREQ("123456", value);
    // Layout row of entry 0 at image 32..39 = "61123456": card bytes 16..19.
    termsim::Card card = CardNow();
    EXPECT_EQ(0x16, card.bytes[16]);
    EXPECT_EQ(0x21, card.bytes[17]);
    EXPECT_EQ(0x43, card.bytes[18]);
    EXPECT_EQ(0x65, card.bytes[19]);
    EXPECT_EQ(16, sim->Slot().counters.writes);
    EXPECT_EQ((std::vector<long>{3, 4, 5}), States());
    EXPECT_EQ(kSixteenBlocks, Progress(1));
    EXPECT_EQ(kFourBlocks, Progress(0));

    driver.close_card();
    posted.clear();
    ForgetWire();
    std::string read = "xxxxxx";
    ASSERT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ("123456", read);
    EXPECT_EQ((std::vector<long>{0, 5}), States());
    EXPECT_EQ(kFourBlocks, Progress(0));
    std::vector<Bytes> reads;
    for (const Bytes& c : HostCommands())
        if (c.size() == 5 && c[1] == 0xB0) reads.push_back(c);
    EXPECT_EQ((std::vector<Bytes>{{0x00, 0xB0, 0x00, 0x00, 0x10},
                                  {0x00, 0xB0, 0x00, 0x10, 0x10},
                                  {0x00, 0xB0, 0x00, 0x20, 0x10},
                                  {0x00, 0xB0, 0x00, 0x30, 0x10}}),
              reads);
}

TEST_F(G81Test, ReadingPutsEachByteIntoTheImageHalvesExchanged) {
    termsim::Card card = termsim::BlankMemoryCard();
    card.bytes[0] = 0x21;
    card.bytes[1] = 0x43;
    sim->Slot().Insert(card);
    std::string value;
    _kardodll_tagCHIP layout = SixDigitLayout();
    ASSERT_EQ(0, driver.rcardTCE(value, &layout));
    EXPECT_EQ("1234", std::string(driver.image, 4));
    EXPECT_EQ("ff", std::string(driver.image + 510, 2));
    EXPECT_EQ(kSixteenBlocks, Progress(0));
}

TEST_F(G81Test, TceRecordRoundTrip) {
    sim->Slot().Insert(termsim::BlankTceCard());
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    std::memcpy(layout.entry[4].rows, "GGGG", 4);
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "1203";
    char number[] = "000001";
    ASSERT_EQ(0, driver.wpatte(value, number, &layout, &extra, 0));
    // The TCE card holds an A where 0 was written; it comes back as the
    // image holds it, in lower case.
    EXPECT_STREQ("12a3", value);
    EXPECT_EQ((std::vector<long>{3, 5}), States());
    EXPECT_EQ(kSixteenBlocks, Progress(1));
    EXPECT_EQ(kSixteenBlocks, Progress(0));
}

TEST_F(G81Test, NumberRecordKeepsTheCardsOtherBytes) {
    termsim::Card card = termsim::BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(0x80 + i);
    sim->Slot().Insert(card);
    ASSERT_EQ(0, driver.wpattr(0x01020304));
    termsim::Card now = CardNow();
    const uint8_t record[] = {0x4C, 0x49, 0x01, 0x02, 0x03, 0x04, 0xB2, 0xB3, 0xB4, 0xB5};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(record[i], now.bytes[i]) << i;
    for (int i = 10; i < 48; ++i) {
        if (i == 46) continue;
        EXPECT_EQ(static_cast<uint8_t>(0x80 + i), now.bytes[i]) << i;
    }
    uint8_t check = 0;
    for (int i = 0; i <= 44; ++i) check ^= now.bytes[i];
    EXPECT_EQ(check, now.bytes[46]);
    // Nothing beyond the three blocks changed.
    for (int i = 48; i < 256; ++i) EXPECT_EQ(static_cast<uint8_t>(0x80 + i), now.bytes[i]) << i;
    EXPECT_EQ((std::vector<long>{33, 66, 100}), Progress(1));
    EXPECT_TRUE(Progress(0).empty());
    EXPECT_EQ((std::vector<long>{3, 4}), States());
}

TEST_F(G81Test, ServiceCardIsWrittenWithoutReadingBack) {
    std::memset(&driver.sc4, ' ', sizeof driver.sc4);
    std::memcpy(driver.sc4.num1, "01", 2);
    std::memcpy(driver.sc4.num2, "25", 2);
    std::memcpy(driver.sc4.num3, "02", 2);
    driver.sc4.sel = '0';
    ASSERT_EQ(0, driver.wcard_service());
    EXPECT_EQ(16, sim->Slot().counters.writes);
    EXPECT_EQ(kSixteenBlocks, Progress(1));
    EXPECT_TRUE(Progress(0).empty());
    // Image position 112 holds 25 / 5 - 1 = 4: card byte 56, low nibble.
    EXPECT_EQ(0x4, CardNow().bytes[56] & 0x0F);
}

TEST_F(G81Test, WritersRefuseTheInsuranceCard) {
    InsertInsuranceCard();
    const termsim::Card before = CardNow();
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "123456";
    char number[] = "000042";
    EXPECT_EQ(-100, driver.wcard(value, number, &layout, &extra, 1));
    EXPECT_EQ((std::vector<long>{3, 1}), States());
    EXPECT_EQ(-100, driver.wpatte(value, number, &layout, &extra, 1));
    EXPECT_EQ(-100, driver.wpattr(7));
    EXPECT_EQ(-100, driver.wcard_service());
    EXPECT_EQ(0, sim->Slot().counters.writes);
    EXPECT_EQ(before.bytes, CardNow().bytes);
    EXPECT_STREQ("123456", value);
}

TEST_F(G81Test, InsuranceSignatureIgnoresTheApplicationByteThatVaries) {
    termsim::Card card = termsim::InsuranceCard(termsim::ExamplePerson());
    card.bytes[22] = 0x80;  // older cards: D2 80 00 00 01 01
    card.writeProtected = false;
    sim->Slot().Insert(card);
    EXPECT_EQ(-100, driver.wpattr(7));
    EXPECT_EQ(0, sim->Slot().counters.writes);
}

TEST_F(G81Test, UnreadableCardIsWrittenAllTheSame) {
    // read_cta_kvk fails at its first read: the writer goes on.
    sim->Faults().Add(ParseFault("refuse-read"));
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "654321";
    char number[] = "000042";
    EXPECT_EQ(0, driver.wcard(value, number, &layout, &extra, 1));
    EXPECT_EQ(16, sim->Slot().counters.writes);
}

TEST_F(G81Test, RefusedReadsAndWrites) {
    _kardodll_tagCHIP layout = SixDigitLayout();
    std::string value;
    sim->Faults().Add(ParseFault("refuse-read@3"));
    EXPECT_EQ(-104, driver.rcard(value, &layout));
    EXPECT_EQ((std::vector<long>{25, 50}), Progress(0));

    _kardodll_tagCHIP extra = BlankExtra();
    char v[] = "123456";
    char number[] = "000042";
    posted.clear();
    sim->Faults().Add(ParseFault("refuse-write@2"));
    EXPECT_EQ(-1, driver.wcard(v, number, &layout, &extra, 1));
    EXPECT_EQ((std::vector<long>{6}), Progress(1));
    // wpattr's own second read comes after the 16 reads of the insurance card test.
    sim->Faults().Add(ParseFault("refuse-read@18"));
    EXPECT_EQ(-104, driver.wpattr(5));
    EXPECT_EQ(2, sim->Slot().counters.writes);
}

TEST_F(G81Test, StopRequestInTheMiddleOfWriting) {
    onMessage = [](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 1 && p.lparam == 31)
            kardo_post_card_abort(kardo_current_thread_id());
    };
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "123456";
    char number[] = "000042";
    EXPECT_EQ(-102, driver.wcard(value, number, &layout, &extra, 1));
    EXPECT_EQ(5, sim->Slot().counters.writes);
    EXPECT_EQ((std::vector<long>{6, 12, 18, 25, 31}), Progress(1));
    // Blocks 0 to 4 are on the card, the rest is as it was.
    termsim::Card card = CardNow();
    EXPECT_NE(0xFF, card.bytes[16]);
    for (int i = 80; i < 256; ++i) EXPECT_EQ(0xFF, card.bytes[i]) << i;
}

TEST_F(G81Test, WaitsForALateCardAndPostsWaitingStates) {
    sim->Slot().Remove();
    int waiting = 0;
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2 && ++waiting == 3)
            sim->Slot().Insert(termsim::BlankMemoryCard());
    };
    _kardodll_tagCHIP layout = SixDigitLayout();
    std::string value;
    EXPECT_EQ(0, driver.rcard(value, &layout));
    EXPECT_EQ(3, waiting);
    EXPECT_EQ((std::vector<long>{2, 2, 2, 0, 5}), States());
}

TEST_F(G81Test, StopRequestWhileWaitingForTheCard) {
    sim->Slot().Remove();
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2)
            kardo_post_card_abort(kardo_current_thread_id());
    };
    std::string value;
    _kardodll_tagCHIP layout = SixDigitLayout();
    EXPECT_EQ(-102, driver.rcard(value, &layout));
    EXPECT_EQ(-102, driver.wcard_service());
    EXPECT_EQ(0, sim->Slot().counters.reads);
}

TEST_F(G81Test, WithoutAWindowTheOperationsStillPumpAndStop) {
    driver.hwnd = nullptr;
    kardo_post_card_abort(kardo_current_thread_id());
    std::string value;
    _kardodll_tagCHIP layout = SixDigitLayout();
    EXPECT_EQ(-102, driver.rcard(value, &layout));
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(0, driver.rcard(value, &layout));
}
