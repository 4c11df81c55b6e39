#pragma once
// The cards a simulated terminal can hold: 256-byte two-wire memory cards with
// the contents of a plain memory card, a TCE card or a health insurance card.
#include <array>
#include <cstdint>
#include <string>

namespace termsim {

enum class CardKind { Memory, Tce, Insurance };

// The card kinds a PKI terminal is told to talk to (its select command): 04
// reads 16 bytes at an address, 0B 128-byte blocks by number, 0C any count
// at a 16-bit address. Memory and TCE cards are of kind 04; insurance cards
// come in all three.
constexpr uint8_t kPkiKindMemory = 0x04;
constexpr uint8_t kPkiKindBlocks = 0x0B;
constexpr uint8_t kPkiKindAddressed = 0x0C;

struct Card {
    static constexpr size_t kSize = 256;

    CardKind kind = CardKind::Memory;
    std::array<uint8_t, kSize> bytes{};
    // A protected card answers every UPDATE BINARY with 69 82.
    bool writeProtected = false;
    // The kind a PKI terminal must select to read this card.
    uint8_t pkiKind = kPkiKindMemory;
    // Shown in traces and messages: where the card came from.
    std::string label;
    // The Cherry card type (1 to 8) under which the card shows its real data;
    // 0: the kind's own (CherryCardType).
    int cherryType = 0;
};

const char* CardKindName(CardKind kind);
// The card type under which a Cherry terminal reads the card's real data:
// the card's own setting, else 3 for a health insurance card and 1 (the type
// the drivers write under) for memory and TCE cards.
int CherryCardType(const Card& card);

// An erased memory card: every byte FF.
Card BlankMemoryCard();
// A TCE card as a writer leaves it before any record is written: the fixed
// header and ten empty layout blocks.
Card BlankTceCard();

}  // namespace termsim
