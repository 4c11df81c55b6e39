#pragma once
// A Cpki driving the project's simulated PKI terminal over a pseudo-terminal,
// with the frames on the wire, the message boxes and the window messages
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

#include "pki_frame.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"

using Bytes = std::vector<uint8_t>;
using testsupport::PkiFrame;
using testsupport::PkiInfo;

// Reaches the link and access layers, which are private to the driver.
struct CpkiTestAccess {
    static int32_t io(Cpki& d, const Bytes& command, Bytes& answer) {
        unsigned char buffer[300] = {};
        uint32_t count = 0;
        int32_t rc = d.io(command.data(), static_cast<uint32_t>(command.size()), buffer, &count);
        answer.assign(buffer, buffer + (rc == 0 ? count : 0));
        return rc;
    }
    static int32_t init(Cpki& d) { return d.init(); }
    static int32_t open_chip(Cpki& d) { return d.open_chip(d.port); }
    static int32_t rd(Cpki& d, char* text, int a) { return d.rd(text, a); }
    static int32_t rd16(Cpki& d, char* text, int a) { return d.rd16(text, a); }
    static int32_t wr16(Cpki& d, const char* text, int a) { return d.wr16(text, a); }
    static int32_t wr16direct(Cpki& d, const unsigned char* bytes, int a) { return d.wr16direct(bytes, a); }
};

class PkiTest : public ::testing::Test {
protected:
    struct Posted {
        unsigned message;
        unsigned long wparam;
        long lparam;
        bool Is(unsigned long w, long l) const { return message == WM_CARDSTATE && wparam == w && lparam == l; }
    };

    // Link waits at a twentieth: an answer shorter than expected costs four
    // empty reads of 100 ms, not of two seconds.
    static void SetUpTestSuite() { setenv("KARDO_TEST_TIME_SCALE", "0.05", 1); }

    void SetUp() override {
        termsim::TerminalOptions options;
        options.family = termsim::Family::Pki;
        options.timeScale = 0.5;
        options.pki.successStatus = successStatus;
        sim = std::make_unique<termsim::Terminal>(options);
        sim->GetTrace().SetObserver([this](termsim::Direction d, const Bytes& frame) {
            std::lock_guard<std::mutex> lock(wireMutex);
            if (d == termsim::Direction::HostToTerminal) fromHost.push_back(frame);
        });
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
        kardo_set_message_box_handler(
            [](void* self, const char*, const char* caption, unsigned) {
                static_cast<PkiTest*>(self)->boxes.emplace_back(caption);
                return KARDO_IDOK;
            },
            this);
        window = kardo_register_window(
            [](void* self, HWND, unsigned message, WPARAM w, LPARAM l) {
                auto* test = static_cast<PkiTest*>(self);
                test->posted.push_back({message, static_cast<unsigned long>(w), static_cast<long>(l)});
                if (test->onMessage) test->onMessage(test->posted.back());
            },
            this);
        driver.port = sim->Path();
        driver.hwnd = window;
        driver.cardtype = CARDTYPE_PKI;
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

    std::vector<Bytes> HostFrames() {
        std::lock_guard<std::mutex> lock(wireMutex);
        return fromHost;
    }
    void ForgetWire() {
        std::lock_guard<std::mutex> lock(wireMutex);
        fromHost.clear();
    }
    // The data of the host's information frames, in order.
    std::vector<Bytes> HostCommands() {
        std::vector<Bytes> out;
        for (const Bytes& f : HostFrames())
            if (f.size() >= 4 && (f[1] & 0x11) == 0) out.emplace_back(f.begin() + 3, f.end() - 1);
        return out;
    }
    int HostRejects() {
        int n = 0;
        for (const Bytes& f : HostFrames()) n += f.size() == 4 && (f[1] & 0x1F) == 0x09;
        return n;
    }
    // The lParam values of one kind of WM_CARDSTATE (0 read, 1 write, 2 state).
    std::vector<long> Progress(unsigned long kind) {
        std::vector<long> out;
        for (const Posted& p : posted)
            if (p.message == WM_CARDSTATE && p.wparam == kind) out.push_back(p.lparam);
        return out;
    }
    std::vector<long> States() { return Progress(2); }

    uint8_t successStatus = 0x81;
    std::unique_ptr<termsim::Terminal> sim;
    std::mutex wireMutex;
    std::vector<Bytes> fromHost;
    std::vector<std::string> boxes;
    std::vector<Posted> posted;
    std::function<void(const Posted&)> onMessage;
    HWND window = nullptr;
    Cpki driver;
};
