// The Cherry card operations and the LBE stub against the simulated terminal:
// records on the card, state and progress messages, refusals, the insurance
// card, aborts.
#include "cherry_fixture.h"

using termsim::ParseFault;

namespace {


bool IsCardCommand(const Bytes& block, uint8_t instruction) {
    return block.size() >= 6 && !(block[1] & 0x80) && block[3] == 0x00 && block[4] == instruction;
}

}  // namespace

class CherryWrite : public CherryTest {
protected:
    int32_t Write(const char* digits) {
        std::strcpy(value, digits);
        return driver.wcard(value, number, &layout, &extra, 1);
    }
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[16] = {};
    char number[8] = "000042";
};

TEST_F(CherryWrite, WriteThenReadARecord) {
    ASSERT_EQ(0, Write("123456"));
    EXPECT_STREQ("123456", value);
    // Layout row of entry 0 at image 32..39 = "61123456": card bytes 16..19.
    termsim::Card card = CardNow();
    EXPECT_EQ((Bytes{0x16, 0x21, 0x43, 0x65}), Bytes(card.bytes.begin() + 16, card.bytes.begin() + 20));
    EXPECT_EQ(16, sim->Slot().counters.writes);
    EXPECT_EQ((std::vector<long>{3, 4, 5}), States());
    EXPECT_EQ(kSixteenBlocks, Progress(1));
    EXPECT_EQ(kFourBlocks, Progress(0));
    EXPECT_EQ(1, driver.type_mode);

    driver.close_card();
    posted.clear();
    std::string read(200, 'x');
    ASSERT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ("123456", read);
    EXPECT_EQ((std::vector<long>{5}), States());
    EXPECT_EQ(kFourBlocks, Progress(0));
    EXPECT_EQ(0, driver.type_mode);
}

TEST_F(CherryWrite, InsuranceCardIsNeverWritten) {
    // Also right after a successful write, which left the probe pinned to type 1.
    ASSERT_EQ(0, Write("111111"));
    InsertInsuranceCard();
    const termsim::Card before = CardNow();
    posted.clear();
    ForgetWire();
    EXPECT_EQ(-100, Write("123456"));
    EXPECT_EQ((std::vector<long>{3, 1}), States());
    EXPECT_EQ(-100, driver.wpattr(7));
    EXPECT_EQ(-100, driver.wcard_service());
    for (const Bytes& b : HostBlocks()) EXPECT_FALSE(IsCardCommand(b, 0xD6));
    EXPECT_EQ(before.bytes, CardNow().bytes);
    EXPECT_STREQ("123456", value);
}

TEST_F(CherryWrite, NinthPieceFailing) {
    sim->Faults().Add(ParseFault("refuse-write@9"));
    EXPECT_EQ(-103, Write("123456"));
    EXPECT_EQ(std::vector<long>(kSixteenBlocks.begin(), kSixteenBlocks.begin() + 8), Progress(1));
    EXPECT_TRUE(Progress(0).empty());
}

TEST_F(CherryWrite, NoCtsAndNoPort) {
    sim->SetCts(false);
    std::string read;
    EXPECT_EQ(-107, driver.rcard(read, &layout));
    EXPECT_EQ(-107, Write("123456"));
    EXPECT_EQ(-107, driver.wpattr(1));
    EXPECT_EQ(-107, driver.wcard_service());
    sim->SetCts(true);
    driver.close_card();
    driver.port = "/nonexistent/tty";
    EXPECT_EQ(-105, driver.rcard(read, &layout));
    EXPECT_EQ(-105, driver.wcard_service());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(0, sim->Slot().counters.reads);
}

TEST_F(CherryWrite, StopWhileWaitingForACardSendsNoCardCommand) {
    sim->Slot().Remove();
    int waits = 0;
    onMessage = [&](const Posted& p) {
        if (p.message != WM_CARDSTATE || p.wparam != 2 || p.lparam != 2) return;
        // From the first wait on, only card-present tests may go out.
        if (++waits == 1) ForgetWire();
        if (waits >= 3) kardo_post_card_abort(thread);
    };
    std::string read;
    EXPECT_EQ(-102, driver.rcard(read, &layout));
    EXPECT_EQ((std::vector<long>{2, 2, 2}), States());
    waits = 0;
    EXPECT_EQ(-102, Write("123456"));
    EXPECT_EQ((std::vector<long>{2, 2, 2, 2, 2, 2}), States());
    for (const Bytes& b : HostBlocks()) {
        EXPECT_FALSE(IsCardCommand(b, 0xA4));
        EXPECT_FALSE(IsCardCommand(b, 0xB0));
        EXPECT_FALSE(IsCardCommand(b, 0xD6));
    }
    // A card that comes while waiting ends the wait.
    waits = 0;
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2 && ++waits == 2)
            sim->Slot().Insert(termsim::BlankMemoryCard());
    };
    EXPECT_EQ(0, driver.rcard(read, &layout));
}

TEST_F(CherryWrite, AbortSeenInsideAnExchangeStopsTheOperationAfterIt) {
    // Posted while the terminal works on the first READ BINARY: the link's
    // own message pump sees it before the answer is read.
    SetHostHook([&](const Bytes& block) {
        if (IsCardCommand(block, 0xB0) && block[5] == 0x00 && block[6] == 0x00) kardo_post_card_abort(thread);
    });
    std::string read;
    EXPECT_EQ(-102, driver.rcard(read, &layout));
    SetHostHook(nullptr);
    EXPECT_EQ((std::vector<long>{25}), Progress(0));
    // The exchange ran to its end: the answer was read, the link is in step.
    EXPECT_EQ(0, driver.CH_stat(0));
    // The abort went with the operation that saw it.
    posted.clear();
    EXPECT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ(kFourBlocks, Progress(0));
    // An abort during the opening probe stops the operation before its first piece.
    SetHostHook([&](const Bytes& block) {
        if (IsCardCommand(block, 0xB0) && block[6] == 0x11) kardo_post_card_abort(thread);
    });
    posted.clear();
    EXPECT_EQ(-102, driver.rcard(read, &layout));
    EXPECT_TRUE(Progress(0).empty());

    // read_cherry_kvk has no abort point of its own: it finishes and drops it.
    int reads = 0;
    SetHostHook([&](const Bytes& block) {
        if (IsCardCommand(block, 0xB0) && ++reads == 2) kardo_post_card_abort(thread);
    });
    EXPECT_NE(nullptr, driver.read_cherry_kvk());
    SetHostHook(nullptr);
    EXPECT_EQ(0, Write("654321"));
}

TEST_F(CherryWrite, WithoutAWindowNothingIsPosted) {
    driver.hwnd = nullptr;
    ASSERT_EQ(0, Write("123456"));
    EXPECT_TRUE(posted.empty());
}

TEST_F(CherryTest, NumberRecordLiesOverTheCardsOwnBytes) {
    InsertCard([](int i) { return static_cast<uint8_t>(0x80 + i); });
    ASSERT_EQ(0, driver.wpattr(0x01020304));
    termsim::Card now = CardNow();
    const Bytes record{0x4C, 0x49, 0x01, 0x02, 0x03, 0x04, 0xB2, 0xB3, 0xB4, 0xB5};
    EXPECT_EQ(record, Bytes(now.bytes.begin(), now.bytes.begin() + 10));
    uint8_t check = 0;
    for (int i = 0; i <= 44; ++i) check ^= now.bytes[i];
    EXPECT_EQ(check, now.bytes[46]);
    for (int i = 10; i < 256; ++i)
        if (i != 46) {
            EXPECT_EQ(static_cast<uint8_t>(0x80 + i), now.bytes[i]) << i;
        }
    EXPECT_EQ((std::vector<long>{33, 66, 100}), Progress(1));
    EXPECT_EQ((std::vector<long>{3, 4}), States());
}

TEST_F(CherryTest, ServiceCardIsWrittenWithReadProgress) {
    std::memset(&driver.sc4, ' ', sizeof driver.sc4);
    std::memcpy(driver.sc4.num1, "01", 2);
    std::memcpy(driver.sc4.num2, "25", 2);
    std::memcpy(driver.sc4.num3, "02", 2);
    driver.sc4.sel = '0';
    ASSERT_EQ(0, driver.wcard_service());
    EXPECT_EQ(kSixteenBlocks, Progress(0));
    EXPECT_TRUE(Progress(1).empty());
    // Image position 112 holds 25 / 5 - 1 = 4: card byte 56, low nibble.
    EXPECT_EQ(0x4, CardNow().bytes[56] & 0x0F);
}

TEST_F(CherryTest, InsuranceCardMemoryWithTheLastStatusBehindIt) {
    InsertInsuranceCard();
    const termsim::Card card = CardNow();
    ASSERT_EQ(0, driver.crd_open());
    driver.type_mode = 1;  // as a write leaves it
    unsigned char* data = driver.read_cherry_kvk();
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(0, std::memcmp(card.bytes.data(), data, 256));
    EXPECT_EQ(0x90, data[256]);
    EXPECT_EQ(0x00, data[257]);
    for (int i = 258; i < 280; ++i) EXPECT_EQ(0, data[i]) << i;
    // The ninth piece refused (after the probe's four reads): null.
    sim->Faults().Add(ParseFault("refuse-read@13"));
    EXPECT_EQ(nullptr, driver.read_cherry_kvk());
    // A terminal that does not answer the probe: null.
    sim->Faults().Add(ParseFault("silent*"));
    EXPECT_EQ(nullptr, driver.read_cherry_kvk());
}

TEST(Lbe, EveryOperationSucceedsAndChangesNothing) {
    Clbe lbe;
    std::string value = "unchanged";
    char chars[] = "123";
    _kardodll_tagCHIP layout;
    std::memset(&layout, 'G', sizeof layout);
    EXPECT_EQ(0, lbe.crd_open());
    EXPECT_EQ(0, lbe.rcard(value, &layout));
    EXPECT_EQ(0, lbe.rcard(value));
    EXPECT_EQ("unchanged", value);
    EXPECT_EQ(0, lbe.wcard(chars));
    EXPECT_STREQ("123", chars);
    EXPECT_EQ(0, lbe.wpattr(5));
    EXPECT_EQ(0, lbe.wcard_service());
    EXPECT_EQ(0, lbe.close_card());
    EXPECT_EQ(0, lbe.isopen);
}

TEST_F(CherryWrite, WaitForACardEndsWhenALinkFailureClosedThePort) {
    sim->Slot().Remove();
    int waits = 0;
    onMessage = [&](const Posted& p) {
        if (p.message != WM_CARDSTATE || p.wparam != 2 || p.lparam != 2) return;
        // The terminal dies while the driver waits; should the wait go on, give up after a few passes.
        if (++waits == 1) sim->Faults().Add(ParseFault("silent*"));
        if (waits >= 5) kardo_post_card_abort(thread);
    };
    std::string read;
    EXPECT_EQ(-105, driver.rcard(read, &layout));
    EXPECT_EQ(1, waits);
    EXPECT_EQ(1u, boxes.size());
}
