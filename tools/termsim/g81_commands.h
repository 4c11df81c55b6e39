#pragma once
// The command set of a G81 terminal: the basic card terminal commands (class
// 20) addressed to the terminal, and READ BINARY / UPDATE BINARY addressed to
// the two-wire memory card in its slot.
//
//   20 11 00 00     reset the terminal            90 00 (the card is powered down)
//   20 13 00 80 00  card status                   S 90 00, S = 00 no card,
//                                                 01 card not powered, 05 card powered
//   20 12 01 00 00  request the card in slot 1    90 00; 62 01 already powered; 62 00 no card
//   20 15 01 00     release the card in slot 1    90 00
// and the memory card commands of memory_card_commands.h.
#include "termsim/card_slot.h"
#include "termsim/faults.h"
#include "termsim/link.h"

namespace termsim {

class G81Commands : public CommandSet {
public:
    G81Commands(CardSlot& slot, FaultScript& faults, Trace& trace);
    Bytes Execute(int destination, int source, const Bytes& command) override;

private:
    Bytes TerminalCommand(const Bytes& command);
    Bytes CardCommand(const Bytes& command);

    CardSlot& slot_;
    FaultScript& faults_;
    Trace& trace_;
};

}  // namespace termsim
