// The simulated Cherry terminal over a real pseudo-terminal, driven byte for byte.
#include <gtest/gtest.h>

#include "raw_host.h"
#include "termsim/card.h"
#include "termsim/card_file.h"
#include "termsim/terminal.h"

using namespace termsim;
using termsim_test::Block;
using termsim_test::RawHost;
using B = std::vector<uint8_t>;

namespace {

const B kSelectFile{0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x01};
const B kReset{0x20, 0x12, 0x01, 0x01, 0x01, 0x01};
const B kReadAt17{0x00, 0xB0, 0x00, 0x11, 0x10};

class CherryTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        TerminalOptions options;
        options.family = Family::Cherry;
        options.timeScale = 0.1;
        terminal = std::make_unique<Terminal>(options);
        terminal->Start();
        host = std::make_unique<RawHost>(terminal->Path());
        ASSERT_TRUE(host->ok());
    }
    void TearDown() override {
        host.reset();
        terminal->Stop();
    }
    // Resynchronises, then sends one unchained command under N(S) = 0 and
    // gives the information field of the answer.
    B Command(uint8_t nad, const B& apdu) {
        EXPECT_EQ((B{0x21, 0xE0, 0x00, 0xC1}), host->Exchange({0x12, 0xC0, 0x00, 0xD2}));
        B reply = host->Exchange(Block(nad, 0x00, apdu));
        if (reply.size() < 4) return {};
        return B(reply.begin() + 3, reply.end() - 1);
    }
    B SetType(int type) { return Command(0x12, {0x20, 0x25, 0x01, static_cast<uint8_t>(type), 0x00}); }

    std::unique_ptr<Terminal> terminal;
    std::unique_ptr<RawHost> host;
};

B WithStatus(B data, uint8_t sw1 = 0x90, uint8_t sw2 = 0x00) {
    data.push_back(sw1);
    data.push_back(sw2);
    return data;
}

}  // namespace

TEST_F(CherryTerminal, CardShowsItsDataOnlyUnderItsOwnType) {
    Card card = BlankMemoryCard();
    for (int i = 0; i < 256; ++i) card.bytes[i] = static_cast<uint8_t>(i);
    terminal->Slot().Insert(card);
    EXPECT_EQ(WithStatus({0, 1, 2, 3}), Command(0x12, kReset));
    B real(card.bytes.begin() + 17, card.bytes.begin() + 33);
    struct Case {
        int type;
        B read;
        B update;
    } cases[] = {
        {2, WithStatus(B(16, 0xFF)), {0x69, 0x81}},
        {1, WithStatus(real), {0x90, 0x00}},
        {8, WithStatus(B(16, 0xFF)), {0x69, 0x81}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ((B{0x90, 0x00}), SetType(c.type));
        EXPECT_EQ((B{static_cast<uint8_t>(c.type), 0x90, 0x00}), Command(0x12, {0x20, 0x25, 0x02, 0x00, 0x00}));
        EXPECT_EQ((B{0x90, 0x00}), Command(0x02, kSelectFile));
        EXPECT_EQ(c.read, Command(0x02, kReadAt17));
        EXPECT_EQ(c.update, Command(0x02, {0x00, 0xD6, 0x00, 0x11, 0x01, 0x11}));
    }
    EXPECT_EQ(1, terminal->Slot().counters.bytesWritten);
    EXPECT_EQ((B{0x6A, 0x82}), Command(0x02, {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00}));
    EXPECT_EQ((B{0x90, 0x00}), Command(0x12, {0x20, 0x15, 0x01, 0x00, 0x01, 0x01}));
    EXPECT_EQ((B{0x64, 0x00}), Command(0x02, kReadAt17));
}

TEST_F(CherryTerminal, ACardFileMayChooseTheType) {
    std::optional<Card> card = ParseCardText("type = memory\ncherry-type = 4\ndata = 12 34\n", "test");
    ASSERT_TRUE(card);
    terminal->Slot().Insert(*card);
    Command(0x12, kReset);
    SetType(1);
    EXPECT_EQ(WithStatus(B(2, 0xFF)), Command(0x02, {0x00, 0xB0, 0x00, 0x00, 0x02}));
    SetType(4);
    EXPECT_EQ(WithStatus({0x12, 0x34}), Command(0x02, {0x00, 0xB0, 0x00, 0x00, 0x02}));
    EXPECT_THROW(ParseCardText("cherry-type = 9\n", "test"), CardFileError);
}

TEST_F(CherryTerminal, WithoutACardOnlyTheTypeCommandsSucceed) {
    EXPECT_EQ((B{0x90, 0x00}), SetType(3));
    EXPECT_EQ((B{0x62, 0x00}), Command(0x12, kReset));
    EXPECT_EQ((B{0x64, 0x00}), Command(0x02, kSelectFile));
    EXPECT_EQ((B{0x64, 0x00}), Command(0x02, kReadAt17));
    EXPECT_EQ((B{0x64, 0x00}), Command(0x02, {0x00, 0xD6, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ((B{0x6A, 0x00}), SetType(9));
}
