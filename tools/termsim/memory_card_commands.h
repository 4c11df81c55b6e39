#pragma once
// READ BINARY and UPDATE BINARY on the two-wire memory card in a slot, as the
// G81 and Cherry terminals pass them to the card:
//
//   00 B0 P1 P2 Le  READ BINARY     data 90 00; 62 82 fewer bytes than asked
//   00 D6 P1 P2 Lc  UPDATE BINARY   90 00; 69 82 protected card; 6B 00 past the end
//
// A card that is not there or not powered gives 64 00. A terminal may show
// the card under a view in which it holds no real data (the Cherry terminal
// under a card type that does not fit): a read then gives as many FF bytes as
// asked for, and an update is refused.
#include <functional>

#include "termsim/card_slot.h"
#include "termsim/faults.h"
#include "termsim/trace.h"

namespace termsim {

// True when the card in the slot shows its real data; called under the slot's lock.
using RealDataTest = std::function<bool(const SlotState&)>;

// Status word of a refused update under a view without real data.
constexpr unsigned kNoRealDataStatus = 0x6981;

// Answers a card command (READ BINARY, UPDATE BINARY); `realData` may be empty
// (always real). Other instructions give 6D 00.
Bytes MemoryCardCommand(CardSlot& slot, FaultScript& faults, Trace& trace, const Bytes& command,
                        const RealDataTest& realData = {});

Bytes StatusBytes(unsigned sw);

}  // namespace termsim
