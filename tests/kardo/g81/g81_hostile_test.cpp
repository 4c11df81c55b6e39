// The G81 link against terminals that never stop talking: every exchange
// ends, with the retries-exhausted code, however the terminal carries on.
#include "g81_fixture.h"
#include "scripted_t1_terminal.h"

namespace {

using testsupport::ScriptedT1Terminal;

struct Hostile {
    const char* name;
    // The answer to a block from the host other than a resynchronisation.
    std::function<std::vector<Bytes>(const Bytes& hostBlock, uint8_t& ns)> answer;
};

}  // namespace

TEST(G81Hostile, ATerminalThatNeverEndsItsAnswerIsCutOff) {
    setenv("KARDO_TEST_TIME_SCALE", "0.05", 1);
    const Hostile cases[] = {
        {"empty chained I-blocks",
         [](const Bytes&, uint8_t& ns) {
             ns ^= 1;
             return std::vector<Bytes>{T1Block(0x21, static_cast<uint8_t>((ns << 6) | 0x20), {})};
         }},
        {"wait time extensions",
         [](const Bytes&, uint8_t&) { return std::vector<Bytes>{T1Block(0x21, 0xC3, {0x01})}; }},
        {"IFS requests", [](const Bytes&, uint8_t&) { return std::vector<Bytes>{T1Block(0x21, 0xC1, {0x20})}; }},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t ns = 1;
        // After a thousand blocks the script falls silent, so that a link
        // without bounds fails the count below instead of hanging the test.
        std::atomic<int> answered{0};
        ScriptedT1Terminal terminal([&](const Bytes& block) -> std::vector<Bytes> {
            if (++answered > 1000) return {};
            if (block[1] == 0xC0) {
                ns = 1;
                return {T1Block(0x21, 0xE0, {})};
            }
            return c.answer(block, ns);
        });
        Cg81 driver;
        driver.port = terminal.Path();
        ASSERT_EQ(0, driver.open_chip(driver.port));
        unsigned char response[300];
        int length = sizeof response;
        EXPECT_EQ(Cg81::G81_RETRIES_EXHAUSTED,
                  Cg81TestAccess::CT_data(driver, 1, 2, {0x20, 0x13, 0x00, 0x80, 0x00}, length, response));
        EXPECT_LT(terminal.HostBlocks(), 80);
        driver.hport = -1;  // the port goes with the terminal; nothing to deactivate
    }
}

TEST_F(G81Test, AnInformationFieldSizeOutsideItsRangeCountsAs32) {
    ASSERT_EQ(0, driver.crd_open());
    const Bytes command(40, 0x00);
    for (int ifsc : {0, -5, 255, 1000}) {
        SCOPED_TRACE(ifsc);
        driver.ifsc = ifsc;
        ForgetWire();
        unsigned char response[300];
        int length = sizeof response;
        Cg81TestAccess::CT_data(driver, 1, 2, command, length, response);
        const std::vector<Bytes> sent = HostBlocks();
        ASSERT_GE(sent.size(), 2u);
        EXPECT_EQ(32 + 4u, sent[0].size());
        EXPECT_EQ(0x20, sent[0][1] & 0x20);
    }
}
