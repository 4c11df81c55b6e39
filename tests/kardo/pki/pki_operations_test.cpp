// The PKI card operations against the simulated terminal: records on the
// card, the two terminal types, state and progress messages, refusals, the
// insurance card, the card wait and its ends.
#include "pki_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include "descriptor_of.h"

using termsim::ParseFault;

namespace {

_kardodll_tagCHIP SixDigitLayout() {
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    std::memcpy(layout.entry[0].rows, "GGGGGG", 6);
    return layout;
}

_kardodll_tagCHIP BlankExtra() {
    _kardodll_tagCHIP extra;
    std::memset(&extra, ' ', sizeof extra);
    std::memset(extra.entry[0].head, 0, 6);
    return extra;
}

const std::vector<long> kSixteenBlocks{6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93, 100};
const std::vector<long> kFourBlocks{25, 50, 75, 100};

}  // namespace

TEST_F(PkiTest, WriteThenReadARecordInBothTerminalTypes) {
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    struct Case {
        int32_t type;
        std::vector<long> states;
        int selects;  // F1 commands: sap2 of the opening; the insurance card test's three tries and sap2
    } cases[] = {{CARDTYPE_PKI, {4, 5}, 1}, {CARDTYPE_PKI_KVK, {3, 4, 5}, 1 + 3 * 2 + 1}};
    for (const Case& c : cases) {
        driver.cardtype = c.type;
        sim->Slot().Insert(termsim::BlankMemoryCard());
        posted.clear();
        ForgetWire();
        char value[] = "123456";
        char number[] = "000042";
        ASSERT_EQ(0, driver.wcard(value, number, &layout, &extra, 1));
        EXPECT_STREQ("123456", value);
        EXPECT_EQ(c.states, States());
        EXPECT_EQ(kSixteenBlocks, Progress(1));
        EXPECT_EQ(kFourBlocks, Progress(0));
        int selects = 0;
        for (const Bytes& cmd : HostCommands()) selects += cmd[0] == 0xF1;
        EXPECT_EQ(c.selects, selects);
        // Layout row of entry 0 at image 32..39 = "61123456": card bytes 16..19.
        termsim::Card card = CardNow();
        EXPECT_EQ((Bytes{0x16, 0x21, 0x43, 0x65}), Bytes(card.bytes.begin() + 16, card.bytes.begin() + 20));
    }
    driver.close_card();
    posted.clear();
    std::string read = "xxxxxx";
    ASSERT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ("123456", read);
    EXPECT_EQ((std::vector<long>{0, 5}), States());
    EXPECT_EQ(kFourBlocks, Progress(0));
}

TEST_F(PkiTest, TceRecordRoundTrip) {
    sim->Slot().Insert(termsim::BlankTceCard());
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    std::memcpy(layout.entry[4].rows, "GGGG", 4);
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "1203";
    char number[] = "000001";
    ASSERT_EQ(0, driver.wpatte(value, number, &layout, &extra, 0));
    EXPECT_STREQ("12a3", value);
    EXPECT_EQ(std::vector<long>{5}, States());
    EXPECT_EQ(kSixteenBlocks, Progress(0));
    std::string read;
    ASSERT_EQ(0, driver.rcardTCE(read, &layout));
    EXPECT_EQ("12a3", read);
}

TEST_F(PkiTest, NumberRecordOverTheCardsOwnBytes) {
    termsim::Card card = termsim::BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(0x80 + i);
    sim->Slot().Insert(card);
    ASSERT_EQ(0, driver.wpattr(0x01020304));
    termsim::Card now = CardNow();
    const Bytes record{0x4C, 0x49, 0x01, 0x02, 0x03, 0x04, 0xB2, 0xB3, 0xB4, 0xB5};
    EXPECT_EQ(record, Bytes(now.bytes.begin(), now.bytes.begin() + 10));
    uint8_t check = 0;
    for (int i = 0; i < 256; ++i) {
        if (i < 45) check ^= now.bytes[i];
        if (i >= 10 && i != 46) {
            EXPECT_EQ(static_cast<uint8_t>(0x80 + i), now.bytes[i]) << i;
        }
    }
    EXPECT_EQ(check, now.bytes[46]);
    EXPECT_EQ((std::vector<long>{0, 33, 66}), Progress(1));
    EXPECT_EQ((std::vector<long>{4}), States());
}

TEST_F(PkiTest, ServiceCardAndTheTerminalTypes) {
    std::memset(&driver.sc4, ' ', sizeof driver.sc4);
    std::memcpy(driver.sc4.num1, "01", 2);
    std::memcpy(driver.sc4.num2, "25", 2);
    std::memcpy(driver.sc4.num3, "02", 2);
    ASSERT_EQ(0, driver.wcard_service());
    EXPECT_EQ(std::vector<long>{4}, States());
    EXPECT_EQ(kSixteenBlocks, Progress(1));
    // Image position 112 holds 25 / 5 - 1 = 4: card byte 56, low nibble.
    EXPECT_EQ(0x4, CardNow().bytes[56] & 0x0F);
    posted.clear();
    driver.cardtype = CARDTYPE_PKI_KVK;
    ASSERT_EQ(0, driver.wcard_service());
    EXPECT_EQ((std::vector<long>{0, 3, 4}), States());
}

TEST_F(PkiTest, TheInsuranceCardIsNeverWritten) {
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "123456";
    char number[] = "000042";
    driver.cardtype = CARDTYPE_PKI_KVK;
    for (uint8_t kind : {termsim::kPkiKindMemory, termsim::kPkiKindAddressed}) {
        termsim::Card card = termsim::InsuranceCard(termsim::ExamplePerson(), kind);
        card.writeProtected = false;  // so that only the driver keeps it unwritten
        sim->Slot().Insert(card);
        posted.clear();
        EXPECT_EQ(-100, driver.wcard(value, number, &layout, &extra, 1));
        EXPECT_EQ((std::vector<long>{3, 1}), States());
        EXPECT_EQ(-100, driver.wpatte(value, number, &layout, &extra, 1));
        EXPECT_EQ(-100, driver.wpattr(7));
        EXPECT_EQ(-100, driver.wcard_service());
        EXPECT_EQ(0, sim->Slot().counters.writes);
        EXPECT_EQ(card.bytes, CardNow().bytes);
    }
    EXPECT_STREQ("123456", value);
    // A terminal of type 2 does not look: the card itself refuses the write.
    driver.cardtype = CARDTYPE_PKI;
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson(), termsim::kPkiKindMemory));
    EXPECT_EQ(-103, driver.wcard(value, number, &layout, &extra, 1));
}

TEST_F(PkiTest, RefusedReadsAndWrites) {
    _kardodll_tagCHIP layout = SixDigitLayout();
    _kardodll_tagCHIP extra = BlankExtra();
    char value[] = "123456";
    char number[] = "000042";
    std::string read;
    struct Case {
        const char* fault;
        std::function<int32_t()> operation;
        int32_t result;
    } cases[] = {
        {"refuse-read@3", [&] { return driver.rcard(read, &layout); }, -104},
        {"refuse-write@2", [&] { return driver.wcard(value, number, &layout, &extra, 1); }, -103},
        {"refuse-write", [&] { return driver.wcard_service(); }, -1},
        {"refuse-read@2", [&] { return driver.wpattr(5); }, -104},
        {"refuse-write@3", [&] { return driver.wpattr(5); }, -103},
    };
    for (const Case& c : cases) {
        sim->Faults().Add(ParseFault(c.fault));
        EXPECT_EQ(c.result, c.operation()) << c.fault;
        sim->Faults().Clear();
    }
}

TEST_F(PkiTest, TheCardWaitGoesOnUntilACardComesOrTheApplicationStops) {
    sim->Slot().Remove();
    int waiting = 0;
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2 && ++waiting == 3)
            sim->Slot().Insert(termsim::BlankMemoryCard());
    };
    _kardodll_tagCHIP layout = SixDigitLayout();
    std::string value;
    EXPECT_EQ(0, driver.rcard(value, &layout));
    EXPECT_EQ((std::vector<long>{2, 2, 2, 0, 5}), States());

    sim->Slot().Remove();
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2)
            kardo_post_card_abort(kardo_current_thread_id());
    };
    EXPECT_EQ(-102, driver.rcard(value, &layout));
    EXPECT_EQ(-102, driver.wcard_service());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PkiTest, ACardWaitEndsWhenAFailureClosedThePort) {
    sim->Slot().Remove();
    int waits = 0;
    onMessage = [&](const Posted& p) {
        if (p.message != WM_CARDSTATE || p.wparam != 2 || p.lparam != 2) return;
        // The port's descriptor now leads to a file that cannot be written.
        if (++waits == 1) {
            const int fd = testsupport::DescriptorOf(sim->Path());
            int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC);
            dup2(readOnly, fd);
            close(readOnly);
        }
        // Should the wait go on, the application gives up after a few passes.
        if (waits == 5) kardo_post_card_abort(kardo_current_thread_id());
    };
    std::string value;
    _kardodll_tagCHIP layout = SixDigitLayout();
    EXPECT_EQ(-105, driver.rcard(value, &layout));
    EXPECT_EQ(1, waits);
    EXPECT_FALSE(boxes.empty());
    EXPECT_EQ("GetLastError", boxes[0].first);
}

TEST_F(PkiTest, OpeningFailures) {
    std::string value;
    _kardodll_tagCHIP layout = SixDigitLayout();
    sim->Faults().Add(ParseFault("silent*"));
    EXPECT_EQ(-105, driver.rcard(value, &layout));
    EXPECT_EQ(0, driver.isopen);
    sim->Faults().Clear();
    sim->SetCts(false);
    EXPECT_EQ(-107, driver.wcard_service());
    sim->SetCts(true);
    driver.port = "/nonexistent/tty";
    EXPECT_EQ(-105, driver.wpattr(1));
    EXPECT_TRUE(boxes.empty());
}
