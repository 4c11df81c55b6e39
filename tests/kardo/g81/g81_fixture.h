#pragma once
// A Cg81 driving the project's simulated G81 terminal over a pseudo-terminal,
// with the blocks on the wire, the message boxes and the window messages
// recorded for the tests.
#include <gtest/gtest.h>
#include <kardo/kardo.h>

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

// Reaches the link and command layers, which are private to the driver.
struct Cg81TestAccess {
    static int32_t CT_data(Cg81& d, int dad, int sad, const Bytes& command, int& length, unsigned char* response) {
        return d.CT_data(&dad, &sad, static_cast<int>(command.size()), command.data(), &length, response);
    }
    static int32_t s2_read_after(Cg81& d, uint8_t nad) {
        _kardodll_BLOCK_g81 block{};
        block.nad = nad;
        return d.s2_read(&block);
    }
    static int32_t cki_wr16(Cg81& d, const char* text, int offset) { return d.cki_wr16(text, offset); }
    static int _hex(Cg81& d, const char* two) { return d._hex(two); }
};

using testsupport::T1Block;

class G81Test : public ::testing::Test {
protected:
    struct Posted {
        unsigned message;
        unsigned long wparam;
        long lparam;
        bool operator==(const Posted& o) const {
            return message == o.message && wparam == o.wparam && lparam == o.lparam;
        }
    };

    static void SetUpTestSuite() {
        // Every link wait at a fifth: a silent terminal costs two seconds, not
        // ten, and a busy machine still answers well within a header timeout.
        setenv("KARDO_TEST_TIME_SCALE", "0.2", 1);
    }

    void SetUp() override {
        termsim::TerminalOptions options;
        options.t1.maxInformation = maxInformation;
        options.timeScale = 0.5;
        sim = std::make_unique<termsim::Terminal>(options);
        sim->GetTrace().SetObserver([this](termsim::Direction d, const Bytes& block) {
            std::lock_guard<std::mutex> lock(wireMutex);
            (d == termsim::Direction::HostToTerminal ? fromHost : fromTerminal).push_back(block);
        });
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
        kardo_set_message_box_handler(
            [](void* self, const char* text, const char* caption, unsigned) {
                static_cast<G81Test*>(self)->boxes.emplace_back(caption, text);
                return KARDO_IDOK;
            },
            this);
        window = kardo_register_window(
            [](void* self, HWND, unsigned message, WPARAM w, LPARAM l) {
                static_cast<G81Test*>(self)->OnMessage(message, w, l);
            },
            this);
        driver.port = sim->Path();
        driver.hwnd = window;
        const unsigned char stamp[6] = {0xA0, 0xA1, 0xB2, 0xB3, 0xB4, 0xB5};
        std::memcpy(driver.stamp, stamp, 6);
    }

    void TearDown() override {
        sim->Faults().Clear();
        driver.close_card();
        sim->Stop();
        kardo_unregister_window(window);
        kardo_set_message_box_handler(nullptr, nullptr);
        kardo_dispatch_messages();
    }

    virtual void OnMessage(unsigned message, WPARAM w, LPARAM l) {
        posted.push_back({message, static_cast<unsigned long>(w), static_cast<long>(l)});
        if (onMessage) onMessage(posted.back());
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

    int maxInformation = 254;
    std::unique_ptr<termsim::Terminal> sim;
    std::mutex wireMutex;
    std::vector<Bytes> fromHost, fromTerminal;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<Posted> posted;
    std::function<void(const Posted&)> onMessage;
    HWND window = nullptr;
    Cg81 driver;
};
