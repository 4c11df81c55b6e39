#pragma once
// A Cg81 driving the project's simulated G81 terminal, with the blocks on the
// wire, the message boxes and the window messages recorded for the tests.
#include "../simulated_terminal_test.h"
#include "t1_block.h"

// Reaches the link and command layers, which are private to the driver.
struct Cg81TestAccess {
    static int32_t CT_data(Cg81& d, int dad, int sad, const Bytes& command, int& length, unsigned char* response) {
        return d.CT_data(&dad, &sad, static_cast<int>(command.size()), command.data(), &length, response);
    }
    static int32_t cki_wr16(Cg81& d, const char* text, int offset) { return d.cki_wr16(text, offset); }
    static int _hex(Cg81& d, const char* two) { return d._hex(two); }
};

using testsupport::T1Block;

class G81Test : public SimulatedTerminalTest<Cg81> {
protected:
    // Every link wait at a fifth: a silent terminal costs two seconds, not
    // ten, and a busy machine still answers well within a header timeout.
    G81Test() : SimulatedTerminalTest("0.2") {}

    void Configure(termsim::TerminalOptions& options) override { options.t1.maxInformation = maxInformation; }
    // The host's I-blocks.
    bool CarriesCommand(const Bytes& block) const override { return !(block[1] & 0x80); }

    int maxInformation = 254;
};
