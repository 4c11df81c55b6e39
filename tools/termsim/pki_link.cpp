#include "termsim/pki_link.h"

#include <string>

namespace termsim {

namespace {
constexpr uint8_t kAddress = 0x31;
constexpr uint8_t kResync = 0xEF;
constexpr uint8_t kRejectBits = 0x09;

uint8_t Check(const Bytes& bytes, size_t count) {
    uint8_t x = 0;
    for (size_t i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

bool IsReject(uint8_t control) { return control != kResync && (control & 0x1F) == kRejectBits; }
bool IsInformation(uint8_t control) { return (control & 0x11) == 0; }
}  // namespace

Bytes PkiFrame(uint8_t address, uint8_t control, const Bytes& data) {
    Bytes frame{address, control};
    if (data.size() < 0xFF) {
        frame.push_back(static_cast<uint8_t>(data.size()));
    } else {
        frame.push_back(0xFF);
        frame.push_back(static_cast<uint8_t>(data.size() >> 8));
        frame.push_back(static_cast<uint8_t>(data.size()));
    }
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(Check(frame, frame.size()));
    return frame;
}

std::string DescribePkiFrame(const Bytes& frame) {
    if (frame.size() < 3) return "incomplete frame";
    const uint8_t control = frame[1];
    std::string text;
    if (control == kResync)
        text = "resynchronisation";
    else if (IsReject(control))
        text = "reject(nr=" + std::to_string(control >> 5) + ")";
    else if (IsInformation(control))
        text = "I(ns=" + std::to_string((control >> 1) & 7) + ",nr=" + std::to_string(control >> 5) + ")";
    else
        text = "unknown control";
    size_t header = frame[2] == 0xFF ? 5 : 3;
    size_t length = frame[2] == 0xFF && frame.size() >= 5 ? frame[3] * 256u + frame[4] : frame[2];
    if (frame.size() != header + length + 1)
        text += ", cut off";
    else if (Check(frame, frame.size() - 1) != frame.back())
        text += ", wrong check byte";
    return text;
}

PkiTerminalLink::PkiTerminalLink(PkiCommands& commands, FaultScript& faults, Trace& trace, PkiSettings settings)
    : commands_(commands), faults_(faults), trace_(trace), settings_(settings) {}

void PkiTerminalLink::Serve(Wire& wire) {
    for (;;) {
        Bytes frame;
        Received r = ReceiveFrame(wire, frame);
        if (r == Received::Stopped) return;
        if (frame.empty()) continue;
        if (faults_.Take(FaultKind::Silent)) {
            trace_.Note("fault silent: no answer to this frame");
            continue;
        }
        if (r == Received::Broken) {
            Reject(wire);
            continue;
        }
        Handle(wire, frame);
    }
}

PkiTerminalLink::Received PkiTerminalLink::ReceiveFrame(Wire& wire, Bytes& frame) {
    const int next = settings_.interByteTimeoutMs;
    auto readMore = [&](size_t count, int firstTimeoutMs) {
        Bytes part(count);
        size_t got = 0;
        Wire::Result r = wire.Read(part.data(), count, firstTimeoutMs, next, got);
        frame.insert(frame.end(), part.begin(), part.begin() + static_cast<long>(got));
        return r;
    };
    Wire::Result r = readMore(3, -1);
    if (r == Wire::Result::Ok && frame[2] == 0xFF) r = readMore(2, next);
    if (r == Wire::Result::Ok) {
        size_t length = frame[2] == 0xFF ? frame[3] * 256u + frame[4] : frame[2];
        r = readMore(length + 1, next);
    }
    if (r == Wire::Result::Stopped) return Received::Stopped;
    if (r != Wire::Result::Ok) {
        if (frame.empty()) return r == Wire::Result::Timeout ? Received::Broken : Received::Stopped;
        trace_.Block(Direction::HostToTerminal, frame, "incomplete frame");
        return Received::Broken;
    }
    trace_.Block(Direction::HostToTerminal, frame, DescribePkiFrame(frame));
    return Received::Frame;
}

void PkiTerminalLink::Handle(Wire& wire, const Bytes& frame) {
    if (Check(frame, frame.size() - 1) != frame.back()) return Reject(wire);
    const uint8_t control = frame[1];
    if (control == kResync) {
        expectedHostNs_ = 0;
        nextNs_ = 0;
        lastAnswer_.clear();
        commands_.Reset();
        return Send(wire, PkiFrame(kAddress, kResync, {}), false);
    }
    if (IsReject(control)) return HandleReject(wire, static_cast<uint8_t>(control >> 5));
    if (IsInformation(control)) return HandleInformation(wire, frame);
    trace_.Note("unknown control byte: asking for the frame again");
    Reject(wire);
}

void PkiTerminalLink::HandleInformation(Wire& wire, const Bytes& frame) {
    const uint8_t ns = (frame[1] >> 1) & 7;
    if (ns != expectedHostNs_) {
        // The frame before the expected one again: the host missed its answer.
        if (((ns + 1) & 7) == expectedHostNs_ && !lastAnswer_.empty()) {
            trace_.Note("the host's last frame again: sending the last answer again");
            return Send(wire, lastAnswer_, true);
        }
        return Reject(wire);
    }
    if (faults_.Take(FaultKind::RBlock)) {
        trace_.Note("fault r-block: a reject asks for the command again");
        return Reject(wire);
    }
    const size_t header = frame[2] == 0xFF ? 5 : 3;
    Bytes command(frame.begin() + static_cast<long>(header), frame.end() - 1);
    Bytes answer = commands_.Execute(0, 0, command);
    int extra = 0;
    if (faults_.Take(FaultKind::Oversize, &extra)) {
        trace_.Note("fault oversize: " + std::to_string(extra) + " extra bytes in the answer");
        answer.insert(answer.end(), static_cast<size_t>(extra), uint8_t{0x55});
    }
    expectedHostNs_ = (expectedHostNs_ + 1) & 7;
    const uint8_t ns_answer = nextNs_;
    nextNs_ = (nextNs_ + 1) & 7;
    lastAnswer_ = PkiFrame(kAddress, static_cast<uint8_t>((expectedHostNs_ << 5) | (ns_answer << 1)), answer);
    Bytes onWire = lastAnswer_;
    if (faults_.Take(FaultKind::RepeatNs)) {
        trace_.Note("fault repeat-ns: the answer carries the previous N(S)");
        onWire = PkiFrame(kAddress, static_cast<uint8_t>((expectedHostNs_ << 5) | (((ns_answer + 7) & 7) << 1)),
                          answer);
    }
    Send(wire, onWire, true);
}

void PkiTerminalLink::HandleReject(Wire& wire, uint8_t nr) {
    if (!lastAnswer_.empty() && nr == ((lastAnswer_[1] >> 1) & 7)) {
        trace_.Note("the host rejects the last answer: sending it again");
        return Send(wire, lastAnswer_, true);
    }
    // The host waits for an answer to a frame the terminal never took: ask for it.
    Reject(wire);
}

void PkiTerminalLink::Reject(Wire& wire) {
    Send(wire, PkiFrame(kAddress, static_cast<uint8_t>((expectedHostNs_ << 5) | kRejectBits), {}), false);
}

void PkiTerminalLink::Send(Wire& wire, Bytes frame, bool spoilable) {
    if (spoilable) {
        int value = 0;
        if (faults_.Take(FaultKind::Garbage, &value)) {
            Bytes noise;
            for (int i = 0; i < value; ++i) noise.push_back(static_cast<uint8_t>(0xA5 ^ (i * 0x3D)));
            trace_.Block(Direction::TerminalToHost, noise, "fault garbage: line noise");
            wire.Write(noise);
        }
        if (faults_.Take(FaultKind::BadLrc)) {
            frame.back() ^= 0xFF;
            trace_.Note("fault bad-lrc: a wrong check byte");
        }
        if (faults_.Take(FaultKind::Truncate, &value) && static_cast<size_t>(value) < frame.size()) {
            frame.resize(static_cast<size_t>(value));
            trace_.Note("fault truncate: the frame stops after " + std::to_string(value) + " bytes");
        }
    }
    trace_.Block(Direction::TerminalToHost, frame, DescribePkiFrame(frame));
    if (!wire.Write(frame)) trace_.Note("the line did not take the frame");
}

}  // namespace termsim
