#pragma once
// The terminal side of the T=1 block protocol (ISO/IEC 7816-3) as the G81 and
// Cherry terminals run it towards the host: I-blocks with chaining in both
// directions, R-blocks, the S-blocks RESYNCH, IFS, ABORT and WTX, sequence
// numbers and LRC, with scripted faults on top.
//
// Recovery: the host drivers never send a command again; after a
// resynchronisation they wait for the terminal. So an answer that a fault
// spoiled (or a command that a fault sent back) is answered again once the
// host has resynchronised, as a terminal with a pending answer would.
#include <cstdint>
#include <optional>

#include "termsim/faults.h"
#include "termsim/link.h"

namespace termsim {

struct T1Settings {
    // Largest information field the terminal puts into one block.
    int maxInformation = 254;
    // How long the rest of a block may take after its first byte.
    int interByteTimeoutMs = 1000;
    // How long the terminal waits for the host's answer to its S-request.
    int requestTimeoutMs = 3000;
};

class T1TerminalLink : public LinkProtocol {
public:
    T1TerminalLink(CommandSet& commands, FaultScript& faults, Trace& trace, T1Settings settings);
    void Serve(Wire& wire) override;

private:
    struct Command {
        int destination;
        int source;
        Bytes bytes;
    };
    enum class Received { Block, Stopped, Broken };

    Received ReceiveBlock(Wire& wire, Bytes& block, int firstTimeoutMs);
    bool Handle(Wire& wire, const Bytes& block);
    bool HandleIBlock(Wire& wire, const Bytes& block);
    bool HandleRBlock(Wire& wire, const Bytes& block);
    bool HandleSBlock(Wire& wire, const Bytes& block);
    bool Answer(Wire& wire, const Command& command);
    bool Deliver(Wire& wire);
    bool SendNextChunk(Wire& wire);
    // Sends the last I-block again, unspoiled; nothing when there was none.
    bool ResendLastIBlock(Wire& wire);
    bool Request(Wire& wire, uint8_t pcb, const Bytes& information, const char* what);
    bool Send(Wire& wire, uint8_t nad, uint8_t pcb, const Bytes& information, bool spoilable);

    CommandSet& commands_;
    FaultScript& faults_;
    Trace& trace_;
    T1Settings settings_;

    uint8_t expectedHostNs_ = 0;   // N(S) of the next new I-block from the host
    uint8_t nextNs_ = 0;           // N(S) of the terminal's next I-block
    int maxInformation_;
    Bytes incoming_;               // a chained command being collected
    uint8_t answerNad_ = 0x21;
    Bytes answer_;                 // the answer being delivered
    size_t answerSent_ = 0;        // bytes of it sent so far
    Bytes lastIBlock_;             // for a host that asks for it again
    bool redeliver_ = false;       // a fault spoiled the answer: send it after a resynchronisation
    std::optional<Command> heldBack_;  // a command sent back by an R-block fault
};

// Short decoding of a T=1 block for the trace: "I(0,M)", "R(1)", "S(RESYNCH request)".
std::string DescribeT1Block(const Bytes& block);
uint8_t T1Lrc(const uint8_t* data, size_t count);

}  // namespace termsim
