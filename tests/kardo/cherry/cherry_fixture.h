#pragma once
// A Ccherry driving the project's simulated Cherry terminal, with the blocks on
// the wire, the message boxes and the window messages recorded for the tests.
#include "../simulated_terminal_test.h"
#include "t1_block.h"

using testsupport::T1Block;

class CherryTest : public SimulatedTerminalTest<Ccherry> {
protected:
    // Every driver wait at a fifth: a silent terminal costs 200 ms.
    CherryTest() : SimulatedTerminalTest("0.2") {}

    void Configure(termsim::TerminalOptions& options) override {
        options.family = termsim::Family::Cherry;
        options.t1.maxInformation = maxInformation;
    }
    // The host's I-blocks.
    bool CarriesCommand(const Bytes& block) const override { return !(block[1] & 0x80); }

    int maxInformation = 254;
};
