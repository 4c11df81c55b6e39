#pragma once
// The terminal side of the PKI frame protocol.
//
// Frame: address 31, control, length (0-254; FF announces two more length
// bytes, most significant first), data, check byte (XOR of all bytes before
// it). Control: EF resynchronisation (answered with the terminal's own EF
// frame); N(R) in bits 7-5, N(S) in bits 3-1, bits 4 and 0 clear: an
// information frame; N(R) in bits 7-5 and 01001 below: a reject, asking for
// the information frame N(R) again.
//
// The terminal answers every information frame in sequence with one
// information frame. A frame from the host with a wrong check byte, cut off
// or out of sequence gets a reject naming the frame expected; a reject from
// the host naming the terminal's last answer gets that answer again, byte for
// byte as it was first built (before any fault spoiled it on the line).
#include <cstdint>
#include <string>

#include "termsim/faults.h"
#include "termsim/link.h"
#include "termsim/pki_commands.h"

namespace termsim {

struct PkiSettings {
    // How long the rest of a frame may take after its first byte.
    int interByteTimeoutMs = 1000;
    // The status byte of a successful command: 81, or the variant 82.
    uint8_t successStatus = 0x81;
};

class PkiTerminalLink : public LinkProtocol {
public:
    PkiTerminalLink(PkiCommands& commands, FaultScript& faults, Trace& trace, PkiSettings settings);
    void Serve(Wire& wire) override;

private:
    enum class Received { Frame, Stopped, Broken };

    Received ReceiveFrame(Wire& wire, Bytes& frame);
    void Handle(Wire& wire, const Bytes& frame);
    void HandleInformation(Wire& wire, const Bytes& frame);
    void HandleReject(Wire& wire, uint8_t nr);
    // A reject asking the host for its information frame expectedHostNs_.
    void Reject(Wire& wire);
    // Puts a frame on the line; faults may spoil this copy.
    void Send(Wire& wire, Bytes frame, bool spoilable);

    PkiCommands& commands_;
    FaultScript& faults_;
    Trace& trace_;
    PkiSettings settings_;

    uint8_t expectedHostNs_ = 0;  // N(S) of the next information frame from the host
    uint8_t nextNs_ = 0;          // N(S) of the terminal's next answer
    Bytes lastAnswer_;            // the last answer as built, for a host that rejects it
};

// A frame from the address to the check byte; data of 255 bytes and more get
// the long length.
Bytes PkiFrame(uint8_t address, uint8_t control, const Bytes& data);
// Short decoding for the trace: "I(ns=0,nr=1)", "reject(nr=1)", "resynchronisation".
std::string DescribePkiFrame(const Bytes& frame);

}  // namespace termsim
