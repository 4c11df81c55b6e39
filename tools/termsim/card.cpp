#include "termsim/card.h"

#include <string>

namespace termsim {

const char* CardKindName(CardKind kind) {
    switch (kind) {
        case CardKind::Memory: return "memory card";
        case CardKind::Tce: return "TCE card";
        case CardKind::Insurance: return "health insurance card";
    }
    return "card";
}

int CherryCardType(const Card& card) {
    if (card.cherryType) return card.cherryType;
    return card.kind == CardKind::Insurance ? 3 : 1;
}

Card BlankMemoryCard() {
    Card card;
    card.bytes.fill(0xFF);
    card.label = "blank memory card";
    return card;
}

Card BlankTceCard() {
    // The TCE layout as hexadecimal text, two characters per card byte with the
    // low nibble first: a fixed header, ten blocks "00F0" + 30 F, then F up to
    // the trailer "20".
    std::string image =
        "1032FFFFFFFFFFFFFFFFFFFFFFFFFFFF14243503730202020202020202020202020202020202020202FFFFFFFFFFFF";
    for (int block = 0; block < 10; ++block) image += "00F0" + std::string(30, 'F');
    image.append(478 - image.size(), 'F');
    image.append(32, '0');
    image += "20";
    auto value = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    Card card;
    card.kind = CardKind::Tce;
    for (size_t i = 0; i < Card::kSize; ++i)
        card.bytes[i] = static_cast<uint8_t>(value(image[2 * i]) | (value(image[2 * i + 1]) << 4));
    card.label = "blank TCE card";
    return card;
}

}  // namespace termsim
