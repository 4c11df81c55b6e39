#pragma once
// The command set of a PKI terminal. Every answer starts with the terminal's
// status byte: 81 success (a terminal may be set to answer 82, the variant of
// success), 80 no card or a refusal; a refusal carries the status alone.
//
//   01 AA           read one byte at AA            81 byte
//   02 AA           read 16 bytes at AA            81 16 bytes        (kind 04)
//   02 BB           read 128-byte block BB (0, 1)  82 128 bytes       (kind 0B)
//   02 HH LL NN     read NN bytes at HHLL          82 NN bytes        (kind 0C)
//   03              card status                    81 card in the slot, 80 none
//   05 AA 16 bytes  write 16 bytes at AA           81; 80 protected card
//   F1 KK           select card kind KK            81; 80 no card or unknown kind
//
// The card kind tells the terminal how to talk to the card: 04 for memory and
// TCE cards and for insurance cards of the first kind, 0B and 0C for the
// other two kinds of insurance card. A card read under a kind that is not its
// own gives 80. Every other command gives 80.
#include <cstdint>

#include "termsim/card_slot.h"
#include "termsim/faults.h"
#include "termsim/link.h"

namespace termsim {

class PkiCommands : public CommandSet {
public:
    PkiCommands(CardSlot& slot, FaultScript& faults, Trace& trace, uint8_t successStatus);
    // The PKI frames carry no node addresses: both are ignored.
    Bytes Execute(int destination, int source, const Bytes& command) override;
    // A resynchronisation sets the terminal back to card kind 04.
    void Reset();

private:
    Bytes Read(const Bytes& command);
    Bytes Write(const Bytes& command);
    Bytes Select(const Bytes& command);
    // The status byte of a refused read or write fault, 80 by default.
    static uint8_t FaultStatus(int value);

    CardSlot& slot_;
    FaultScript& faults_;
    Trace& trace_;
    uint8_t success_;
    uint8_t kind_ = kPkiKindMemory;
};

}  // namespace termsim
