#pragma once
// The command set of a Cherry terminal: its own commands (class 20) addressed
// to the terminal, and the memory card commands addressed to the card.
//
//   20 25 02 00 00     which card type is set   tt 90 00
//   20 25 01 tt 00     set card type tt (1-8)   90 00, also without a card; 6A 00 other types
//   20 12 01 01 01 01  reset the card           its first 4 bytes 90 00 (the card is
//                                               powered); 62 00 no card
//   20 15 01 00 01 01  deactivate the card      90 00
//   00 A4 00 00 02 3F 01  select file 3F01      90 00; 6A 82 another file
//   00 B0 / 00 D6      READ / UPDATE BINARY     see memory_card_commands.h
// Card commands without a powered card give 64 00.
//
// A memory card shows its real data only under its own card type
// (CherryCardType); under any other type a read gives FF bytes with 90 00 and
// an update is refused (69 81). So a driver that probes the types finds the
// right one by the data at card address 17.
#include <atomic>

#include "termsim/card_slot.h"
#include "termsim/faults.h"
#include "termsim/link.h"

namespace termsim {

class CherryCommands : public CommandSet {
public:
    CherryCommands(CardSlot& slot, FaultScript& faults, Trace& trace);
    Bytes Execute(int destination, int source, const Bytes& command) override;

    // The card type the host set last (1 at power-up).
    int SelectedType() const { return selectedType_; }

private:
    Bytes TerminalCommand(const Bytes& command);
    Bytes CardCommand(const Bytes& command);

    CardSlot& slot_;
    FaultScript& faults_;
    Trace& trace_;
    std::atomic<int> selectedType_{1};
};

}  // namespace termsim
