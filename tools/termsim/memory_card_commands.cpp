#include "termsim/memory_card_commands.h"

namespace termsim {

Bytes StatusBytes(unsigned sw) { return {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF)}; }

Bytes MemoryCardCommand(CardSlot& slot, FaultScript& faults, Trace& trace, const Bytes& c,
                        const RealDataTest& realData) {
    if (c.size() < 5) return StatusBytes(0x6700);
    if (c[0] != 0x00) return StatusBytes(0x6E00);
    size_t offset = c[2] * 256u + c[3];
    auto real = [&](const SlotState& s) { return !realData || realData(s); };
    if (c[1] == 0xB0) {
        slot.counters.reads++;
        int sw = 0;
        if (faults.Take(FaultKind::RefuseRead, &sw)) {
            trace.Note("fault refuse-read");
            return StatusBytes(static_cast<unsigned>(sw));
        }
        size_t count = c[4] ? c[4] : 256;
        return slot.With([&](SlotState& s) -> Bytes {
            if (!s.card || !s.activated) return StatusBytes(0x6400);
            if (offset >= Card::kSize) return StatusBytes(0x6B00);
            if (!real(s)) {
                Bytes blank(count, 0xFF);
                blank.push_back(0x90);
                blank.push_back(0x00);
                return blank;
            }
            size_t available = Card::kSize - offset;
            size_t n = count < available ? count : available;
            Bytes r(s.card->bytes.begin() + static_cast<long>(offset),
                    s.card->bytes.begin() + static_cast<long>(offset + n));
            Bytes sw2 = StatusBytes(n < count ? 0x6282 : 0x9000);
            r.insert(r.end(), sw2.begin(), sw2.end());
            return r;
        });
    }
    if (c[1] == 0xD6) {
        slot.counters.writes++;
        size_t length = c[4];
        if (c.size() != 5 + length) return StatusBytes(0x6700);
        int sw = 0;
        if (faults.Take(FaultKind::RefuseWrite, &sw)) {
            trace.Note("fault refuse-write");
            return StatusBytes(static_cast<unsigned>(sw));
        }
        return StatusBytes(slot.With([&](SlotState& s) -> unsigned {
            if (!s.card || !s.activated) return 0x6400;
            if (offset + length > Card::kSize) return 0x6B00;
            if (!real(s)) return kNoRealDataStatus;
            if (s.card->writeProtected) return 0x6982;
            for (size_t i = 0; i < length; ++i) s.card->bytes[offset + i] = c[5 + i];
            slot.counters.bytesWritten += static_cast<int>(length);
            return 0x9000;
        }));
    }
    return StatusBytes(0x6D00);
}

}  // namespace termsim
