#include "termsim/t1_link.h"

#include <string>

namespace termsim {

namespace {
// The node address byte of an answer: destination and source of `nad` exchanged.
uint8_t ReplyNad(uint8_t nad) { return static_cast<uint8_t>(((nad & 7) << 4) | ((nad >> 4) & 7)); }
}  // namespace

uint8_t T1Lrc(const uint8_t* data, size_t count) {
    uint8_t lrc = 0;
    for (size_t i = 0; i < count; ++i) lrc ^= data[i];
    return lrc;
}

std::string DescribeT1Block(const Bytes& block) {
    if (block.size() < 3) return "incomplete block";
    uint8_t pcb = block[1];
    std::string text;
    if (!(pcb & 0x80)) {
        text = "I(" + std::to_string((pcb >> 6) & 1) + (pcb & 0x20 ? ",more)" : ")");
    } else if ((pcb & 0xC0) == 0x80) {
        text = "R(" + std::to_string((pcb >> 4) & 1) + ")";
        if (pcb & 0x0F) text += " error " + std::to_string(pcb & 0x0F);
    } else {
        static const char* const names[] = {"RESYNCH", "IFS", "ABORT", "WTX"};
        unsigned type = pcb & 0x1F;
        text = std::string("S(") + (type < 4 ? names[type] : "unknown") +
               (pcb & 0x20 ? " response)" : " request)");
    }
    size_t len = block[2];
    if (block.size() != len + 4) text += ", cut off";
    else if (T1Lrc(block.data(), len + 3) != block[len + 3]) text += ", wrong LRC";
    return text;
}

T1TerminalLink::T1TerminalLink(CommandSet& commands, FaultScript& faults, Trace& trace, T1Settings settings)
    : commands_(commands),
      faults_(faults),
      trace_(trace),
      settings_(settings),
      maxInformation_(settings.maxInformation) {}

void T1TerminalLink::Serve(Wire& wire) {
    for (;;) {
        Bytes block;
        Received r = ReceiveBlock(wire, block, -1);
        if (r == Received::Stopped) return;
        if (r == Received::Broken) continue;
        if (faults_.Take(FaultKind::Silent)) {
            trace_.Note("fault silent: no answer to this block");
            continue;
        }
        if (!Handle(wire, block)) return;
    }
}

T1TerminalLink::Received T1TerminalLink::ReceiveBlock(Wire& wire, Bytes& block, int firstTimeoutMs) {
    uint8_t header[3];
    size_t got = 0;
    Wire::Result r = wire.Read(header, 3, firstTimeoutMs, settings_.interByteTimeoutMs, got);
    block.assign(header, header + got);
    if (r == Wire::Result::Stopped) return Received::Stopped;
    if (r != Wire::Result::Ok) {
        if (got) {
            trace_.Block(Direction::HostToTerminal, block, "incomplete block, dropped");
            return Received::Broken;
        }
        return r == Wire::Result::Timeout ? Received::Broken : Received::Stopped;
    }
    uint8_t rest[256];
    r = wire.Read(rest, header[2] + 1u, settings_.interByteTimeoutMs, settings_.interByteTimeoutMs, got);
    block.insert(block.end(), rest, rest + got);
    if (r == Wire::Result::Stopped) return Received::Stopped;
    if (r != Wire::Result::Ok) {
        trace_.Block(Direction::HostToTerminal, block, "incomplete block, dropped");
        return Received::Broken;
    }
    trace_.Block(Direction::HostToTerminal, block, DescribeT1Block(block));
    return Received::Block;
}

bool T1TerminalLink::Handle(Wire& wire, const Bytes& block) {
    size_t len = block[2];
    if (T1Lrc(block.data(), len + 3) != block[len + 3]) {
        // Ask for the block again: N(R) names the block expected, error bit 0 = EDC.
        return Send(wire, ReplyNad(block[0]),
                    static_cast<uint8_t>(0x81 | (expectedHostNs_ << 4)), {}, false);
    }
    uint8_t pcb = block[1];
    if (!(pcb & 0x80)) return HandleIBlock(wire, block);
    if ((pcb & 0xC0) == 0x80) return HandleRBlock(wire, block);
    return HandleSBlock(wire, block);
}

bool T1TerminalLink::HandleIBlock(Wire& wire, const Bytes& block) {
    uint8_t ns = (block[1] >> 6) & 1;
    uint8_t nad = block[0];
    if (ns != expectedHostNs_) {
        // The host sent its last block again: it missed our answer to it.
        if (lastIBlock_.empty()) return true;
        trace_.Note("repeated I-block from the host: sending the last block again");
        return ResendLastIBlock(wire);
    }
    // A new block from the host acknowledges whatever we sent before it.
    redeliver_ = false;
    heldBack_.reset();
    answer_.clear();
    answerSent_ = 0;
    incoming_.insert(incoming_.end(), block.begin() + 3, block.begin() + 3 + block[2]);
    uint8_t answerNad = ReplyNad(nad);
    if (block[1] & 0x20) {
        expectedHostNs_ ^= 1;
        return Send(wire, answerNad, static_cast<uint8_t>(0x80 | (expectedHostNs_ << 4)), {}, false);
    }
    Command command{(nad >> 4) & 7, nad & 7, std::move(incoming_)};
    incoming_.clear();
    if (faults_.Take(FaultKind::RBlock)) {
        trace_.Note("fault r-block: asking for the command again");
        heldBack_ = command;
        return Send(wire, answerNad, static_cast<uint8_t>(0x82 | (ns << 4)), {}, false);
    }
    expectedHostNs_ ^= 1;
    return Answer(wire, command);
}

bool T1TerminalLink::HandleRBlock(Wire& wire, const Bytes& block) {
    uint8_t nr = (block[1] >> 4) & 1;
    // The host saw a spoiled answer; it resynchronises next and gets the answer then.
    if (redeliver_) return true;
    // In the middle of a chained answer N(R) = our next N(S) asks for the next
    // part; anything else asks for the last block again.
    if (answerSent_ > 0 && answerSent_ < answer_.size() && nr == nextNs_) return SendNextChunk(wire);
    return ResendLastIBlock(wire);
}

bool T1TerminalLink::HandleSBlock(Wire& wire, const Bytes& block) {
    uint8_t pcb = block[1];
    uint8_t nad = ReplyNad(block[0]);
    Bytes inf(block.begin() + 3, block.begin() + 3 + block[2]);
    switch (pcb) {
        case 0xC0: {
            expectedHostNs_ = 0;
            nextNs_ = 0;
            incoming_.clear();
            bool redeliver = redeliver_;
            answerSent_ = 0;
            if (!Send(wire, nad, 0xE0, {}, false)) return false;
            if (heldBack_) {
                Command command = *heldBack_;
                heldBack_.reset();
                trace_.Note("answering the command sent back before the resynchronisation");
                return Answer(wire, command);
            }
            if (redeliver && !answer_.empty()) {
                trace_.Note("sending the spoiled answer again after the resynchronisation");
                return Deliver(wire);
            }
            answer_.clear();
            return true;
        }
        case 0xC1:
            if (!inf.empty() && inf[0] >= 1 && inf[0] <= 254) maxInformation_ = inf[0];
            return Send(wire, nad, 0xE1, inf, false);
        case 0xC2:
            incoming_.clear();
            answer_.clear();
            answerSent_ = 0;
            return Send(wire, nad, 0xE2, {}, false);
        case 0xC3:
            return Send(wire, nad, 0xE3, inf, false);
        default:
            // A response to a request we did not send: nothing to do.
            return true;
    }
}

bool T1TerminalLink::Answer(Wire& wire, const Command& command) {
    answer_ = commands_.Execute(command.destination, command.source, command.bytes);
    int extra = 0;
    if (faults_.Take(FaultKind::Oversize, &extra) && answer_.size() >= 2) {
        trace_.Note("fault oversize: " + std::to_string(extra) + " extra bytes in the answer");
        answer_.insert(answer_.end() - 2, static_cast<size_t>(extra), uint8_t{0x55});
    }
    answerNad_ = static_cast<uint8_t>(((command.source & 7) << 4) | (command.destination & 7));
    int value = 0;
    if (faults_.Take(FaultKind::IfsRequest, &value) &&
        !Request(wire, 0xC1, {static_cast<uint8_t>(value)}, "ifs"))
        return false;
    if (faults_.Take(FaultKind::WtxRequest, &value) &&
        !Request(wire, 0xC3, {static_cast<uint8_t>(value)}, "wtx"))
        return false;
    int aborts = 0;
    if (faults_.Take(FaultKind::AbortRequest, &aborts)) {
        // abort=N: a terminal that keeps aborting sends N requests in a row.
        for (int i = 0; i < (aborts > 1 ? aborts : 1); ++i)
            if (!Request(wire, 0xC2, {}, "abort")) return false;
        // The host drops the first block after an abort: an empty
        // acknowledgement, then the answer itself.
        if (!Send(wire, answerNad_, static_cast<uint8_t>(0x80 | (expectedHostNs_ << 4)), {}, false))
            return false;
    }
    return Deliver(wire);
}

bool T1TerminalLink::Deliver(Wire& wire) {
    answerSent_ = 0;
    redeliver_ = false;
    return SendNextChunk(wire);
}

bool T1TerminalLink::SendNextChunk(Wire& wire) {
    size_t remaining = answer_.size() - answerSent_;
    size_t take = remaining > static_cast<size_t>(maxInformation_) ? static_cast<size_t>(maxInformation_) : remaining;
    bool more = take < remaining;
    Bytes inf(answer_.begin() + static_cast<long>(answerSent_), answer_.begin() + static_cast<long>(answerSent_ + take));
    answerSent_ += take;
    uint8_t ns = nextNs_;
    if (faults_.Take(FaultKind::RepeatNs)) {
        trace_.Note("fault repeat-ns: the answer carries the previous N(S)");
        ns ^= 1;
        redeliver_ = true;
    } else {
        nextNs_ ^= 1;
    }
    uint8_t pcb = static_cast<uint8_t>((ns << 6) | (more ? 0x20 : 0));
    return Send(wire, answerNad_, pcb, inf, true);
}

bool T1TerminalLink::ResendLastIBlock(Wire& wire) {
    if (lastIBlock_.empty()) return true;
    return Send(wire, lastIBlock_[0], lastIBlock_[1], Bytes(lastIBlock_.begin() + 3, lastIBlock_.end() - 1), false);
}

bool T1TerminalLink::Request(Wire& wire, uint8_t pcb, const Bytes& information, const char* what) {
    trace_.Note(std::string("fault ") + what + ": the terminal sends a request");
    if (!Send(wire, 0x21, pcb, information, false)) return false;
    Bytes reply;
    for (;;) {
        Received r = ReceiveBlock(wire, reply, settings_.requestTimeoutMs);
        if (r == Received::Stopped) return false;
        if (r == Received::Broken) {
            trace_.Note("no response to the terminal's request");
            return true;
        }
        if (reply[1] == (pcb | 0x20)) return true;
        trace_.Note("expected the response to the terminal's request");
        // Whatever else came is handled as usual.
        if (!Handle(wire, reply)) return false;
    }
}

bool T1TerminalLink::Send(Wire& wire, uint8_t nad, uint8_t pcb, const Bytes& information, bool spoilable) {
    Bytes block{nad, pcb, static_cast<uint8_t>(information.size())};
    block.insert(block.end(), information.begin(), information.end());
    block.push_back(T1Lrc(block.data(), block.size()));
    if (!(pcb & 0x80)) lastIBlock_ = block;
    if (spoilable) {
        int value = 0;
        if (faults_.Take(FaultKind::Garbage, &value)) {
            Bytes noise;
            for (int i = 0; i < value; ++i) noise.push_back(static_cast<uint8_t>(0xA5 ^ (i * 0x3D)));
            trace_.Block(Direction::TerminalToHost, noise, "fault garbage: line noise");
            wire.Write(noise);
            redeliver_ = true;
        }
        if (faults_.Take(FaultKind::BadLrc)) {
            block.back() ^= 0xFF;
            redeliver_ = true;
            trace_.Note("fault bad-lrc");
        }
        if (faults_.Take(FaultKind::Truncate, &value) && static_cast<size_t>(value) < block.size()) {
            block.resize(static_cast<size_t>(value));
            redeliver_ = true;
            trace_.Note("fault truncate: the block stops after " + std::to_string(value) + " bytes");
        }
    }
    trace_.Block(Direction::TerminalToHost, block, DescribeT1Block(block));
    // A line that takes nothing (no program reading) is no reason to stop serving.
    if (!wire.Write(block)) trace_.Note("the line did not take the block");
    return true;
}

}  // namespace termsim
