#include "termsim/cherry_commands.h"

#include <string>

#include "termsim/memory_card_commands.h"

namespace termsim {

namespace {
constexpr int kTerminalAddress = 1;
constexpr int kCardAddress = 0;
// The bytes of the card that answer a reset: the header of a two-wire card.
constexpr size_t kResetAnswerSize = 4;
}  // namespace

CherryCommands::CherryCommands(CardSlot& slot, FaultScript& faults, Trace& trace)
    : slot_(slot), faults_(faults), trace_(trace) {}

Bytes CherryCommands::Execute(int destination, int, const Bytes& command) {
    if (destination == kTerminalAddress) return TerminalCommand(command);
    if (destination == kCardAddress) return CardCommand(command);
    trace_.Note("command for unknown node address " + std::to_string(destination));
    return StatusBytes(0x6A00);
}

Bytes CherryCommands::TerminalCommand(const Bytes& c) {
    if (c.size() < 5) return StatusBytes(0x6700);
    if (c[0] != 0x20) return StatusBytes(0x6E00);
    switch (c[1]) {
        case 0x25:  // card type: 01 sets it, 02 asks for it
            if (c[2] == 0x02) return {static_cast<uint8_t>(selectedType_), 0x90, 0x00};
            if (c[2] != 0x01) return StatusBytes(0x6A00);
            if (c[3] < 1 || c[3] > 8) return StatusBytes(0x6A00);
            selectedType_ = c[3];
            trace_.Note("card type " + std::to_string(c[3]) + " set");
            return StatusBytes(0x9000);
        case 0x12:  // reset the card: its answer and the status
            if (c.size() != 6) return StatusBytes(0x6700);
            return slot_.With([](SlotState& s) -> Bytes {
                if (!s.card) return StatusBytes(0x6200);
                s.activated = true;
                Bytes answer(s.card->bytes.begin(), s.card->bytes.begin() + kResetAnswerSize);
                answer.push_back(0x90);
                answer.push_back(0x00);
                return answer;
            });
        case 0x15:  // deactivate
            slot_.With([](SlotState& s) { s.activated = false; });
            return StatusBytes(0x9000);
        default:
            return StatusBytes(0x6D00);
    }
}

Bytes CherryCommands::CardCommand(const Bytes& c) {
    if (c.size() >= 2 && c[0] == 0x00 && c[1] == 0xA4) {
        if (c.size() != 7 || c[4] != 2) return StatusBytes(0x6700);
        bool powered = slot_.With([](SlotState& s) { return s.card && s.activated; });
        if (!powered) return StatusBytes(0x6400);
        return StatusBytes(c[5] == 0x3F && c[6] == 0x01 ? 0x9000 : 0x6A82);
    }
    const int type = selectedType_;
    return MemoryCardCommand(slot_, faults_, trace_, c,
                             [type](const SlotState& s) { return s.card && CherryCardType(*s.card) == type; });
}

}  // namespace termsim
