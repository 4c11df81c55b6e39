#include "termsim/g81_commands.h"

#include <string>

#include "termsim/memory_card_commands.h"

namespace termsim {

namespace {
constexpr int kTerminalAddress = 1;
constexpr int kCardAddress = 0;

Bytes Status(unsigned sw) { return StatusBytes(sw); }
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

Bytes G81Commands::CardCommand(const Bytes& c) { return MemoryCardCommand(slot_, faults_, trace_, c); }

}  // namespace termsim
