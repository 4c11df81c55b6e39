#pragma once
// The cards a simulated terminal can hold: 256-byte two-wire memory cards with
// the contents of a plain memory card, a TCE card or a health insurance card.
#include <array>
#include <cstdint>
#include <string>

namespace termsim {

enum class CardKind { Memory, Tce, Insurance };

struct Card {
    static constexpr size_t kSize = 256;

    CardKind kind = CardKind::Memory;
    std::array<uint8_t, kSize> bytes{};
    // A protected card answers every UPDATE BINARY with 69 82.
    bool writeProtected = false;
    // Shown in traces and messages: where the card came from.
    std::string label;
};

const char* CardKindName(CardKind kind);

// An erased memory card: every byte FF.
Card BlankMemoryCard();
// A TCE card as a writer leaves it before any record is written: the fixed
// header and ten empty layout blocks.
Card BlankTceCard();

}  // namespace termsim
