#pragma once
// A driver talking to the project's simulated terminal over a pseudo-terminal,
// with what goes over the wire, the message boxes and the window messages
// recorded for the tests. A family's fixture names the driver, sets up its
// terminal and says which of the host's blocks or frames carry a command.
#include <gtest/gtest.h>
#include <kardo/kardo.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "termsim/card.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"

using Bytes = std::vector<uint8_t>;

// The operations tests' record layout (six G positions in entry 0), an extra
// layout without rows, and the progress values of 16 and of 4 pieces.
inline _kardodll_tagCHIP SixDigitLayout() {
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    std::memcpy(layout.entry[0].rows, "GGGGGG", 6);
    return layout;
}

inline _kardodll_tagCHIP BlankExtra() {
    _kardodll_tagCHIP extra;
    std::memset(&extra, ' ', sizeof extra);
    std::memset(extra.entry[0].head, 0, 6);
    return extra;
}

inline const std::vector<long> kSixteenBlocks{6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93, 100};
inline const std::vector<long> kFourBlocks{25, 50, 75, 100};

template <class Driver>
class SimulatedTerminalTest : public ::testing::Test {
protected:
    struct Posted {
        unsigned message;
        unsigned long wparam;
        long lparam;
        // A WM_CARDSTATE of this kind and value.
        bool Is(unsigned long w, long l) const { return message == WM_CARDSTATE && wparam == w && lparam == l; }
    };

    // timeScale: the factor for every wait of the driver (KARDO_TEST_TIME_SCALE).
    explicit SimulatedTerminalTest(const char* timeScale) : timeScale_(timeScale) {}

    // The family and its settings; the simulator's own waits are at half already.
    virtual void Configure(termsim::TerminalOptions& options) = 0;
    // Whether a block or frame from the host carries a command behind its
    // three header bytes (and before its one check byte).
    virtual bool CarriesCommand(const Bytes& unit) const = 0;

    void SetUp() override {
        setenv("KARDO_TEST_TIME_SCALE", timeScale_, 1);
        termsim::TerminalOptions options;
        options.timeScale = 0.5;
        Configure(options);
        sim = std::make_unique<termsim::Terminal>(options);
        sim->GetTrace().SetObserver([this](termsim::Direction d, const Bytes& unit) {
            std::function<void(const Bytes&)> hook;
            {
                std::lock_guard<std::mutex> lock(wireMutex);
                const bool fromTheHost = d == termsim::Direction::HostToTerminal;
                (fromTheHost ? fromHost : fromTerminal).push_back(unit);
                if (fromTheHost) hook = onHostBlock;
            }
            if (hook) hook(unit);
        });
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
        kardo_set_message_box_handler(
            [](void* self, const char* text, const char* caption, unsigned) {
                static_cast<SimulatedTerminalTest*>(self)->boxes.emplace_back(caption, text);
                return KARDO_IDOK;
            },
            this);
        window = kardo_register_window(
            [](void* self, HWND, unsigned message, WPARAM w, LPARAM l) {
                auto* test = static_cast<SimulatedTerminalTest*>(self);
                test->posted.push_back({message, static_cast<unsigned long>(w), static_cast<long>(l)});
                if (test->onMessage) test->onMessage(test->posted.back());
            },
            this);
        thread = kardo_current_thread_id();
        driver.port = sim->Path();
        driver.hwnd = window;
        const unsigned char stamp[6] = {0xA0, 0xA1, 0xB2, 0xB3, 0xB4, 0xB5};
        std::memcpy(driver.stamp, stamp, 6);
    }

    void TearDown() override {
        SetHostHook(nullptr);
        sim->Faults().Clear();
        driver.close_card();
        sim->Stop();
        kardo_unregister_window(window);
        kardo_set_message_box_handler(nullptr, nullptr);
        kardo_dispatch_messages();
    }

    // Runs on the simulator's thread for every block or frame from the host.
    void SetHostHook(std::function<void(const Bytes&)> hook) {
        std::lock_guard<std::mutex> lock(wireMutex);
        onHostBlock = std::move(hook);
    }
    // The simulator records a block once it has read it: waits up to two
    // seconds for `count` blocks from the host.
    std::vector<Bytes> HostBlocksOnceThere(size_t count) {
        for (int i = 0; i < 200 && HostBlocks().size() < count; ++i) usleep(10000);
        return HostBlocks();
    }
    std::vector<Bytes> HostBlocks() {
        std::lock_guard<std::mutex> lock(wireMutex);
        return fromHost;
    }
    std::vector<Bytes> TerminalBlocks() {
        std::lock_guard<std::mutex> lock(wireMutex);
        return fromTerminal;
    }
    void ForgetWire() {
        std::lock_guard<std::mutex> lock(wireMutex);
        fromHost.clear();
        fromTerminal.clear();
    }
    // The commands the host sent, in order.
    std::vector<Bytes> HostCommands() {
        std::vector<Bytes> out;
        for (const Bytes& b : HostBlocks())
            if (b.size() >= 4 && CarriesCommand(b)) out.emplace_back(b.begin() + 3, b.end() - 1);
        return out;
    }
    // The lParam values of one kind of WM_CARDSTATE (0 read, 1 write, 2 state).
    std::vector<long> Progress(unsigned long kind) {
        std::vector<long> out;
        for (const Posted& p : posted)
            if (p.message == WM_CARDSTATE && p.wparam == kind) out.push_back(p.lparam);
        return out;
    }
    std::vector<long> States() { return Progress(2); }

    void InsertInsuranceCard() { sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson())); }
    termsim::Card CardNow() { return *sim->Slot().Contents(); }
    // A memory card whose byte i is f(i).
    void InsertCard(uint8_t (*f)(int)) {
        termsim::Card card = termsim::BlankMemoryCard();
        for (int i = 0; i < 256; ++i) card.bytes[i] = f(i);
        sim->Slot().Insert(card);
    }

    std::unique_ptr<termsim::Terminal> sim;
    std::mutex wireMutex;
    std::vector<Bytes> fromHost, fromTerminal;
    std::function<void(const Bytes&)> onHostBlock;
    // (caption, text) of every message box, in order.
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<Posted> posted;
    std::function<void(const Posted&)> onMessage;
    HWND window = nullptr;
    uint32_t thread = 0;
    Driver driver;

private:
    const char* timeScale_;
};
