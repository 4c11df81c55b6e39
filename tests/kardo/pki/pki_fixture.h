#pragma once
// A Cpki driving the project's simulated PKI terminal, with the frames on the
// wire, the message boxes and the window messages recorded for the tests.
#include "../simulated_terminal_test.h"
#include "pki_frame.h"

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

class PkiTest : public SimulatedTerminalTest<Cpki> {
protected:
    // Link waits at a twentieth: an answer shorter than expected costs four
    // empty reads of 100 ms, not of two seconds.
    PkiTest() : SimulatedTerminalTest("0.05") { driver.cardtype = CARDTYPE_PKI; }

    void Configure(termsim::TerminalOptions& options) override {
        options.family = termsim::Family::Pki;
        options.pki.successStatus = successStatus;
    }
    // The host's information frames.
    bool CarriesCommand(const Bytes& frame) const override { return (frame[1] & 0x11) == 0; }

    std::vector<Bytes> HostFrames() { return HostBlocks(); }
    int HostRejects() {
        int n = 0;
        for (const Bytes& f : HostFrames()) n += f.size() == 4 && (f[1] & 0x1F) == 0x09;
        return n;
    }

    uint8_t successStatus = 0x81;
};
