// A card terminal on a serial port that tovan serves, driven over TCP with a
// tovan:// port name: the simulator on a pseudo-terminal, tovan --headless in
// front of it, the driver on 127.0.0.1.
#include <gtest/gtest.h>
#include <kardo/kardo.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel_line.h"
#include "layout_builder.h"
#include "loopback_port.h"
#include "termsim/card.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"
#include "tovan_process.h"

#include <termios.h>

namespace {

class RemoteTerminalTest : public ::testing::Test {
public:
    static void SetUpTestSuite() { setenv("KARDO_TEST_TIME_SCALE", "0.2", 1); }

    void SetUp() override {
        termsim::TerminalOptions options;
        options.family = family;
        options.timeScale = 0.5;
        sim = std::make_unique<termsim::Terminal>(options);
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
        data = testsupport::FreePort();
        ctrl = testsupport::FreePort();
        tovan = std::make_unique<testsupport::TovanProcess>(
            TOVAN_BINARY, std::vector<std::string>{"--headless", "--device", sim->Path(), "--data-port",
                                                   std::to_string(data), "--ctrl-port", std::to_string(ctrl)});
        ASSERT_TRUE(tovan->OutputHas("Server gestartet")) << tovan->Errors();
        // The listeners run a moment after the start line. Each probe is
        // the receiver of device data from its accept until it is gone, so
        // the driver connects only once tovan has seen both leave.
        ASSERT_TRUE(testsupport::WaitForListener(data) && testsupport::WaitForListener(ctrl));
        ASSERT_TRUE(tovan->OutputHas("disconnected", 2, 5000));
        kardo_set_message_box_handler(
            [](void* self, const char* text, const char* caption, unsigned) {
                static_cast<RemoteTerminalTest*>(self)->boxes.push_back(std::string(caption) + ": " + text);
                return KARDO_IDOK;
            },
            this);
        window = kardo_register_window(
            [](void* self, HWND, unsigned message, WPARAM w, LPARAM) {
                auto* test = static_cast<RemoteTerminalTest*>(self);
                if (message == WM_CARDSTATE && w == 0 && test->onReadProgress) test->onReadProgress();
            },
            this);
        driver.port = Url();
        driver.hwnd = window;
    }

    void TearDown() override {
        driver.close_card();
        tovan.reset();
        sim->Stop();
        kardo_unregister_window(window);
        kardo_set_message_box_handler(nullptr, nullptr);
        kardo_dispatch_messages();
    }

    std::string Url() const {
        return "tovan://127.0.0.1:" + std::to_string(data) + ":" + std::to_string(ctrl);
    }

    termsim::Family family = termsim::Family::G81;
    std::unique_ptr<termsim::Terminal> sim;
    std::unique_ptr<testsupport::TovanProcess> tovan;
    uint16_t data = 0, ctrl = 0;
    std::vector<std::string> boxes;
    std::function<void()> onReadProgress;
    HWND window = nullptr;
    Cg81 driver;
};

}  // namespace

// The insurance card read and a record written and read back through tovan
// by a driver of one family; the line it asked for must reach the device.
template <class Driver, class ReadInsuranceCard>
void ReadCardAndRecord(RemoteTerminalTest& t, Driver& driver, int stopBits, ReadInsuranceCard readInsuranceCard) {
    t.sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson()));
    driver.port = t.Url();
    driver.hwnd = t.window;
    ASSERT_EQ(0, driver.crd_open()) << (t.boxes.empty() ? "" : t.boxes[0]);
    // 9600 baud, even parity with checking and the family's stop bits came
    // through tovan's control port (tovan starts the line 8N1).
    testsupport::KernelLine line;
    ASSERT_TRUE(testsupport::ReadKernelLine(t.sim->Port().MasterFd(), line));
    EXPECT_EQ(9600u, line.ospeed);
    EXPECT_TRUE(line.iflag & INPCK);
    EXPECT_FALSE(line.cflag & PARODD);
    EXPECT_EQ(stopBits == 2, (line.cflag & CSTOPB) != 0);

    const unsigned char* card = readInsuranceCard(driver);
    ASSERT_NE(nullptr, card);
    const termsim::Card inserted = *t.sim->Slot().Contents();
    EXPECT_EQ(0, std::memcmp(inserted.bytes.data(), card, 256));

    t.sim->Slot().Insert(termsim::BlankMemoryCard());
    _kardodll_tagCHIP layout = BlankLayout(), extra = BlankLayout();
    SetRows(layout, 0, "GGGGGG");
    std::memset(extra.entry[0].head, 0, 6);
    char value[] = "271828", number[] = "000042";
    ASSERT_EQ(0, driver.wcard(value, number, &layout, &extra, 1));
    std::string read;
    ASSERT_EQ(0, driver.rcard(read, &layout));
    EXPECT_EQ("271828", read);
    EXPECT_TRUE(t.boxes.empty()) << t.boxes[0];
}

TEST_F(RemoteTerminalTest, G81InsuranceCardAndARecordCrossTovan) {
    ReadCardAndRecord(*this, driver, 1, [](Cg81& d) { return d.cki_card_ready() == 0 ? d.read_cta_kvk() : nullptr; });
}

class RemoteCherryTest : public RemoteTerminalTest {
protected:
    RemoteCherryTest() { family = termsim::Family::Cherry; }
};

TEST_F(RemoteCherryTest, CherryInsuranceCardAndARecordCrossTovan) {
    Ccherry cherry;
    ReadCardAndRecord(*this, cherry, 2, [](Ccherry& d) { return d.read_cherry_kvk(); });
}

class RemotePkiTest : public RemoteTerminalTest {
protected:
    RemotePkiTest() { family = termsim::Family::Pki; }
};

TEST_F(RemotePkiTest, PkiInsuranceCardAndARecordCrossTovan) {
    Cpki pki;
    pki.cardtype = CARDTYPE_PKI_KVK;
    ReadCardAndRecord(*this, pki, 2, [](Cpki& d) { return d.rd_orga_kvk(); });
}

TEST_F(RemoteTerminalTest, TovanEndingMidOperationGivesTheDriversFailure) {
    _kardodll_tagCHIP layout = BlankLayout();
    SetRows(layout, 0, "GGGGGG");
    onReadProgress = [&] {
        onReadProgress = nullptr;
        tovan->Kill(SIGKILL);
    };
    std::string read;
    EXPECT_EQ(-104, driver.rcard(read, &layout));
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(std::string::npos, boxes[0].find("GetLastError: Connection reset by peer")) << boxes[0];
}

TEST_F(RemoteTerminalTest, OpenFailuresSayWhy) {
    const uint16_t nobody = testsupport::FreePort();
    const struct {
        std::string port;
        std::string box;
    } cases[] = {
        {"tovan://127.0.0.1:" + std::to_string(nobody), "Connection refused"},
        {"tovan://127.0.0.1:" + std::to_string(data) + ":" + std::to_string(nobody), "Connection refused"},
        {"tovan://127.0.0.1", "not a tovan address"},
        {"tovan://127.0.0.1:0:4002", "not a tovan address"},
        {"tovan://127.0.0.1:4001:x", "not a tovan address"},
        {"tovan://no-such-host.invalid:4001", "cannot find host no-such-host.invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        boxes.clear();
        Cg81 remote;
        remote.port = c.port;
        EXPECT_EQ(-1, remote.crd_open());
        ASSERT_EQ(1u, boxes.size());
        EXPECT_NE(std::string::npos, boxes[0].find(c.box)) << boxes[0];
    }
}

TEST_F(RemoteTerminalTest, WithoutAControlPortTheLineStaysAsTovanSetIt) {
    driver.port = "tovan://127.0.0.1:" + std::to_string(data);
    ASSERT_EQ(0, driver.crd_open());
    EXPECT_EQ(0, driver.cki_card_ready());
    testsupport::KernelLine line;
    ASSERT_TRUE(testsupport::ReadKernelLine(sim->Port().MasterFd(), line));
    EXPECT_FALSE(line.iflag & INPCK);
}
