#include "termsim/g81_commands.h"

#include <string>

namespace termsim {

namespace {
constexpr int kTerminalAddress = 1;
constexpr int kCardAddress = 0;

Bytes Status(unsigned sw) { return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF)}; }
}  // namespace

G81Commands::G81Commands(CardSlot& slot, FaultScript& faults, Trace& trace)
    : slot_(slot), faults_(faults), trace_(trace) {}

Bytes G81Commands::Execute(int destination, int, const Bytes& command) {
    if (destination == kTerminalAddress) return TerminalCommand(command);
    if (destination == kCardAddress) return CardCommand(command);
    trace_.Note("command for unknown node address " + std::to_string(destination));
    return Status(0x6A00);
}

Bytes G81Commands::TerminalCommand(const Bytes& c) {
    if (c.size() < 4) return Status(0x6700);
    if (c[0] != 0x20) return Status(0x6E00);
    switch (c[1]) {
        case 0x11:  // reset
            slot_.With([](SlotState& s) { s.activated = false; });
            return Status(0x9000);
        case 0x13: {  // card status
            uint8_t status = slot_.With([](SlotState& s) -> uint8_t {
                if (!s.card) return 0x00;
                return s.activated ? 0x05 : 0x01;
            });
            return {status, 0x90, 0x00};
        }
        case 0x12:  // request the card
            if (c[2] != 0x01) return Status(0x6A00);
            return Status(slot_.With([](SlotState& s) -> unsigned {
                if (!s.card) return 0x6200;
                if (s.activated) return 0x6201;
                s.activated = true;
                return 0x9000;
            }));
        case 0x15:  // release the card
            if (c[2] != 0x01) return Status(0x6A00);
            slot_.With([](SlotState& s) { s.activated = false; });
            return Status(0x9000);
        default:
            return Status(0x6D00);
    }
}

Bytes G81Commands::CardCommand(const Bytes& c) {
    if (c.size() < 5) return Status(0x6700);
    if (c[0] != 0x00) return Status(0x6E00);
    size_t offset = c[2] * 256u + c[3];
    if (c[1] == 0xB0) {
        slot_.counters.reads++;
        int sw = 0;
        if (faults_.Take(FaultKind::RefuseRead, &sw)) {
            trace_.Note("fault refuse-read");
            return Status(static_cast<unsigned>(sw));
        }
        size_t count = c[4] ? c[4] : 256;
        return slot_.With([&](SlotState& s) -> Bytes {
            if (!s.card || !s.activated) return Status(0x6400);
            if (offset >= Card::kSize) return Status(0x6B00);
            size_t available = Card::kSize - offset;
            size_t n = count < available ? count : available;
            Bytes r(s.card->bytes.begin() + static_cast<long>(offset),
                    s.card->bytes.begin() + static_cast<long>(offset + n));
            Bytes sw2 = Status(n < count ? 0x6282 : 0x9000);
            r.insert(r.end(), sw2.begin(), sw2.end());
            return r;
        });
    }
    if (c[1] == 0xD6) {
        slot_.counters.writes++;
        size_t length = c[4];
        if (c.size() != 5 + length) return Status(0x6700);
        int sw = 0;
        if (faults_.Take(FaultKind::RefuseWrite, &sw)) {
            trace_.Note("fault refuse-write");
            return Status(static_cast<unsigned>(sw));
        }
        return Status(slot_.With([&](SlotState& s) -> unsigned {
            if (!s.card || !s.activated) return 0x6400;
            if (offset + length > Card::kSize) return 0x6B00;
            if (s.card->writeProtected) return 0x6982;
            for (size_t i = 0; i < length; ++i) s.card->bytes[offset + i] = c[5 + i];
            slot_.counters.bytesWritten += static_cast<int>(length);
            return 0x9000;
        }));
    }
    return Status(0x6D00);
}

}  // namespace termsim
