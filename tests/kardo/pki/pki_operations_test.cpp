// The PKI card operations against the simulated terminal: records on the
// card, the two terminal types, messages, refusals, the insurance card, the
// card wait and its ends.
#include "pki_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include "descriptor_of.h"

using termsim::ParseFault;

namespace {
_kardodll_tagCHIP Layout(const char* row0, char head) {
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    std::memcpy(layout.entry[0].rows, row0, std::strlen(row0));
    std::memset(layout.entry[0].head, head, 6);
    return layout;
}
}  // namespace

class PkiOperations : public PkiTest {
protected:
    _kardodll_tagCHIP layout = Layout("GGGGGG", ' ');
    _kardodll_tagCHIP extra = Layout("", 0);
    char value[7] = "123456";
    char number[7] = "000042";
    std::string read;
    int32_t Wcard() { return driver.wcard(value, number, &layout, &extra, 1); }
    int32_t Wpatte() { return driver.wpatte(value, number, &layout, &extra, 1); }
};

TEST_F(PkiOperations, WriteThenReadARecordInBothTerminalTypes) {
    struct Case {
        int32_t type;
        std::vector<long> states;
        int selects;  // sap2 of the opening; the insurance card test's three tries and its sap2
    } cases[] = {{CARDTYPE_PKI, {4, 5}, 1}, {CARDTYPE_PKI_KVK, {3, 4, 5}, 1 + 3 * 2 + 1}};
    for (const Case& c : cases) {
        driver.cardtype = c.type;
        sim->Slot().Insert(termsim::BlankMemoryCard());
        posted.clear();
        ForgetWire();
        ASSERT_EQ(0, Wcard());
        EXPECT_STREQ("123456", value);
        EXPECT_EQ(c.states, States());
        EXPECT_EQ(kSixteenBlocks, Progress(1));
        EXPECT_EQ(kFourBlocks, Progress(0));
        int selects = 0;
        for (const Bytes& cmd : HostCommands()) selects += cmd[0] == 0xF1;
        EXPECT_EQ(c.selects, selects);
        // Layout row of entry 0 at image 32..39 = "61123456": card bytes 16..19, halves exchanged.
        const termsim::Card card = CardNow();
        EXPECT_EQ((Bytes{0x16, 0x21, 0x43, 0x65}), Bytes(card.bytes.begin() + 16, card.bytes.begin() + 20));
    }
    driver.close_card();
    posted.clear();
    ASSERT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ("123456", read);
    EXPECT_EQ((std::vector<long>{0, 5}), States());
}

TEST_F(PkiOperations, NumberRecordOverTheCardsOwnBytes) {
    termsim::Card card = termsim::BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(0x80 + i);
    sim->Slot().Insert(card);
    ASSERT_EQ(0, driver.wpattr(0x01020304));
    card.bytes = CardNow().bytes;
    EXPECT_EQ((Bytes{0x4C, 0x49, 1, 2, 3, 4, 0xB2, 0xB3, 0xB4, 0xB5}), Bytes(card.bytes.begin(), card.bytes.begin() + 10));
    uint8_t check = 0;
    for (int i = 0; i < 256; ++i) {
        if (i < 45) check ^= card.bytes[i];
        if (i >= 10 && i != 46 && card.bytes[i] != static_cast<uint8_t>(0x80 + i)) ADD_FAILURE() << i;
    }
    EXPECT_EQ(check, card.bytes[46]);
    EXPECT_EQ((std::vector<long>{0, 33, 66}), Progress(1));
}

TEST_F(PkiOperations, ServiceCardInBothTerminalTypes) {
    std::memset(&driver.sc4, ' ', sizeof driver.sc4);
    std::memcpy(driver.sc4.num2, "25", 2);
    ASSERT_EQ(0, driver.wcard_service());
    EXPECT_EQ(std::vector<long>{4}, States());
    EXPECT_EQ(kSixteenBlocks, Progress(1));
    EXPECT_EQ(0x4, CardNow().bytes[56] & 0x0F);  // image position 112: 25 / 5 - 1
    posted.clear();
    driver.cardtype = CARDTYPE_PKI_KVK;
    ASSERT_EQ(0, driver.wcard_service());
    EXPECT_EQ((std::vector<long>{0, 3, 4}), States());
}

TEST_F(PkiOperations, TheInsuranceCardIsNeverWritten) {
    driver.cardtype = CARDTYPE_PKI_KVK;
    for (uint8_t kind : {termsim::kPkiKindMemory, termsim::kPkiKindAddressed}) {
        termsim::Card card = termsim::InsuranceCard(termsim::ExamplePerson(), kind);
        card.writeProtected = false;  // only the driver keeps it unwritten
        sim->Slot().Insert(card);
        posted.clear();
        EXPECT_EQ(-100, Wcard());
        EXPECT_EQ((std::vector<long>{3, 1}), States());
        EXPECT_EQ(-100, Wpatte());
        EXPECT_EQ(-100, driver.wpattr(7));
        EXPECT_EQ(-100, driver.wcard_service());
        EXPECT_EQ(card.bytes, CardNow().bytes);
    }
    EXPECT_EQ(0, sim->Slot().counters.writes);
    // A terminal of type 2 does not look: the card itself refuses the write.
    driver.cardtype = CARDTYPE_PKI;
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson(), termsim::kPkiKindMemory));
    EXPECT_EQ(-103, Wcard());
}

TEST_F(PkiOperations, RefusedReadsAndWrites) {
    struct Case {
        const char* fault;
        std::function<int32_t()> operation;
        int32_t result;
    } cases[] = {
        {"refuse-read@3", [&] { return driver.rcard(read, &layout); }, -104},
        {"refuse-write=80@2", [&] { return Wcard(); }, -103},
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

TEST_F(PkiOperations, TheCardWaitGoesOnUntilACardComesOrTheApplicationStops) {
    sim->Slot().Remove();
    int waiting = 0;
    onMessage = [&](const Posted& p) {
        if (p.Is(2, 2) && ++waiting == 3) sim->Slot().Insert(termsim::BlankMemoryCard());
    };
    EXPECT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ((std::vector<long>{2, 2, 2, 0, 5}), States());
    sim->Slot().Remove();
    onMessage = [&](const Posted& p) {
        if (p.Is(2, 2)) kardo_post_card_abort(kardo_current_thread_id());
    };
    EXPECT_EQ(-102, driver.rcard(read, &layout));
    EXPECT_EQ(-102, driver.wcard_service());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PkiOperations, ACardWaitEndsWhenAFailureClosedThePort) {
    sim->Slot().Remove();
    int waits = 0;
    onMessage = [&](const Posted& p) {
        if (!p.Is(2, 2)) return;
        if (++waits == 1) {
            // The port's descriptor now leads to a file that cannot be written.
            testsupport::BreakWritesTo(sim->Path());
        }
        if (waits == 5) kardo_post_card_abort(kardo_current_thread_id());  // should the wait go on
    };
    EXPECT_EQ(-105, driver.rcard(read, &layout));
    EXPECT_EQ(1, waits);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ("GetLastError", boxes[0].first);
}
