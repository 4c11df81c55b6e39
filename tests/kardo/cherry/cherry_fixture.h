#pragma once
// A Ccherry driving the project's simulated Cherry terminal over a
// pseudo-terminal, with the blocks on the wire, the message boxes and the
// window messages recorded for the tests.
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

#include "t1_block.h"
#include "termsim/card.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"

using Bytes = std::vector<uint8_t>;
using testsupport::T1Block;

class CherryTest : public ::testing::Test {
protected:
    struct Posted {
        unsigned message;
        unsigned long wparam;
        long lparam;
    };

    static void SetUpTestSuite() {
        // Every driver wait at a fifth: a silent terminal costs 200 ms.
        setenv("KARDO_TEST_TIME_SCALE", "0.2", 1);
    }

    void SetUp() override {
        termsim::TerminalOptions options;
        options.family = termsim::Family::Cherry;
        options.t1.maxInformation = maxInformation;
        options.timeScale = 0.5;
        sim = std::make_unique<termsim::Terminal>(options);
        sim->GetTrace().SetObserver([this](termsim::Direction d, const Bytes& block) {
            std::function<void(const Bytes&)> hook;
            {
                std::lock_guard<std::mutex> lock(wireMutex);
                (d == termsim::Direction::HostToTerminal ? fromHost : fromTerminal).push_back(block);
                if (d == termsim::Direction::HostToTerminal) hook = onHostBlock;
            }
            if (hook) hook(block);
        });
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
        kardo_set_message_box_handler(
            [](void* self, const char* text, const char* caption, unsigned) {
                static_cast<CherryTest*>(self)->boxes.emplace_back(caption, text);
                return KARDO_IDOK;
            },
            this);
        window = kardo_register_window(
            [](void* self, HWND, unsigned message, WPARAM w, LPARAM l) {
                auto* test = static_cast<CherryTest*>(self);
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

    // Runs on the simulator's thread for every block from the host.
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
    // The commands (information fields of the host's I-blocks) in order.
    std::vector<Bytes> HostCommands() {
        std::vector<Bytes> out;
        for (const Bytes& b : HostBlocks())
            if (b.size() >= 4 && !(b[1] & 0x80)) out.emplace_back(b.begin() + 3, b.end() - 1);
        return out;
    }
    // How many commands with this instruction byte (B0 read, D6 update) the host sent.
    int CardCommands(uint8_t instruction) {
        int n = 0;
        for (const Bytes& c : HostCommands()) n += c.size() >= 2 && c[0] == 0x00 && c[1] == instruction;
        return n;
    }
    // The per-cent values of one kind of progress message (0 read, 1 write).
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

    int maxInformation = 254;
    std::unique_ptr<termsim::Terminal> sim;
    std::mutex wireMutex;
    std::vector<Bytes> fromHost, fromTerminal;
    std::function<void(const Bytes&)> onHostBlock;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<Posted> posted;
    std::function<void(const Posted&)> onMessage;
    HWND window = nullptr;
    uint32_t thread = 0;
    Ccherry driver;
};
