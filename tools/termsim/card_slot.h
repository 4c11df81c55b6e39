#pragma once
// The card slot of a simulated terminal. Cards go in and out while the
// terminal runs (from the command line, a test or a timer); the command set
// looks at the slot under its lock.
#include <atomic>
#include <mutex>
#include <optional>

#include "termsim/card.h"

namespace termsim {

struct SlotState {
    std::optional<Card> card;
    // The terminal has powered the card after a request.
    bool activated = false;
};

// What the card commands did, for tests and the status line.
struct CardCounters {
    std::atomic<int> reads{0};
    std::atomic<int> writes{0};       // UPDATE BINARY commands received, refused ones too
    std::atomic<int> bytesWritten{0};
};

class CardSlot {
public:
    void Insert(Card card);
    void Remove();
    bool HasCard() const;
    // A copy of the card as it is now (empty: no card).
    std::optional<Card> Contents() const;

    // Runs f(SlotState&) under the slot's lock.
    template <class F>
    auto With(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(state_);
    }

    CardCounters counters;

private:
    mutable std::mutex mutex_;
    SlotState state_;
};

}  // namespace termsim
