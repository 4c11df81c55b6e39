#pragma once
// A Ccard driving one of the project's simulated terminals over a
// pseudo-terminal, with the message boxes and the window messages recorded.
#include <gtest/gtest.h>
#include <kardo/kardo.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "termsim/card.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"

// A terminal family of the simulator and the terminal type that drives it.
struct FamilyCase {
    termsim::Family family;
    int cardtype;
    const char* name;
    // KARDO_TEST_TIME_SCALE for the family: as short as its link stays
    // sound on a busy machine.
    const char* timeScale;
};

// A block from the host that writes 16 bytes onto the card: UPDATE BINARY in
// a T=1 I-block (G81, Cherry), the write command 05 in a PKI information frame.
inline bool IsCardWrite(termsim::Family family, const std::vector<uint8_t>& b) {
    switch (family) {
        case termsim::Family::G81:
        case termsim::Family::Cherry: return b.size() > 5 && !(b[1] & 0x80) && b[3] == 0x00 && b[4] == 0xD6;
        case termsim::Family::Pki: return b.size() > 4 && !(b[1] & 0x11) && b[2] == 18 && b[3] == 0x05;
    }
    return false;
}

inline std::string FamilyCaseName(const ::testing::TestParamInfo<FamilyCase>& info) { return info.param.name; }

// Every family the simulator plays.
inline std::vector<FamilyCase> SimulatedFamilies() {
    return {{termsim::Family::G81, CARDTYPE_G81, "g81", "0.2"},
            {termsim::Family::Cherry, CARDTYPE_CHERRY, "cherry", "0.5"},
            {termsim::Family::Pki, CARDTYPE_PKI_KVK, "pki", "0.05"}};
}

// A layout whose pps record lies in two rows of six Gs and whose pat record
// in one row of six, in entry 0 of each.
inline _kardodll_CHIP TwelveAndSixLayout() {
    _kardodll_CHIP chip;
    std::memset(&chip, ' ', sizeof chip);
    std::memcpy(chip.pps.entry[0].head, "PPS", 3);
    std::memcpy(chip.pps.entry[0].rows, "GGGGGGGGGGGG", 12);
    std::memcpy(chip.pat.entry[0].head, "PAT", 3);
    std::memcpy(chip.pat.entry[0].rows, "GGGGGG", 6);
    return chip;
}

class CardTest : public ::testing::TestWithParam<FamilyCase> {
protected:
    struct Posted {
        unsigned message;
        unsigned long wparam;
        long lparam;
    };

    void SetUp() override {
        setenv("KARDO_TEST_TIME_SCALE", GetParam().timeScale, 1);
        termsim::TerminalOptions options;
        options.family = GetParam().family;
        options.timeScale = 0.5;
        sim = std::make_unique<termsim::Terminal>(options);
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
        kardo_set_message_box_handler(
            [](void* self, const char* text, const char* caption, unsigned) {
                static_cast<CardTest*>(self)->boxes.emplace_back(caption, text);
                return KARDO_IDOK;
            },
            this);
        window = kardo_register_window(
            [](void* self, HWND, unsigned message, WPARAM w, LPARAM l) {
                auto* test = static_cast<CardTest*>(self);
                test->posted.push_back({message, static_cast<unsigned long>(w), static_cast<long>(l)});
                if (test->onMessage) test->onMessage(test->posted.back());
            },
            this);
        Init(12, 6, 0);
    }

    void TearDown() override {
        card.close_card();
        if (sim) sim->Stop();
        kardo_unregister_window(window);
        kardo_set_message_box_handler(nullptr, nullptr);
        kardo_dispatch_messages();
    }

    void Init(int ppslen, int patlen, int patmode, _kardodll_CHIP chip = TwelveAndSixLayout()) {
        const unsigned char stamp[6] = {0x10, 0x20, 0x31, 0x42, 0x53, 0x64};
        _kardodll_sc4tag sc4;
        std::memset(&sc4, ' ', sizeof sc4);
        card.initCardType(GetParam().cardtype, sim->Path(), ppslen, patlen, stamp, chip, sc4, window, patmode);
    }

    // The selected driver holds no open port.
    bool PortClosed() {
        switch (card.cardtype) {
            case CARDTYPE_G81: return card.g81.hport == -1;
            case CARDTYPE_CHERRY: return card.cherry.port_handle[0] == -1;
            case CARDTYPE_PKI: case CARDTYPE_PKI_KVK: return card.pki.hport == -1;
            default: return false;
        }
    }
    termsim::Card CardNow() { return *sim->Slot().Contents(); }
    bool Waited() const {
        for (const Posted& p : posted)
            if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2) return true;
        return false;
    }

    std::unique_ptr<termsim::Terminal> sim;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::vector<Posted> posted;
    std::function<void(const Posted&)> onMessage;
    HWND window = nullptr;
    Ccard card;
};
