#include "termsim/card_slot.h"

namespace termsim {

void CardSlot::Insert(Card card) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.card = std::move(card);
    state_.activated = false;
}

void CardSlot::Remove() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.card.reset();
    state_.activated = false;
}

bool CardSlot::HasCard() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.card.has_value();
}

std::optional<Card> CardSlot::Contents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.card;
}

}  // namespace termsim
