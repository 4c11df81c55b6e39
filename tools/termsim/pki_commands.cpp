#include "termsim/pki_commands.h"

#include <string>

#include "termsim/trace.h"

namespace termsim {

namespace {
constexpr uint8_t kRefused = 0x80;
// The 128-byte reads of kinds 0B and 0C always answer with the variant.
constexpr uint8_t kBlockSuccess = 0x82;
}  // namespace

PkiCommands::PkiCommands(CardSlot& slot, FaultScript& faults, Trace& trace, uint8_t successStatus)
    : slot_(slot), faults_(faults), trace_(trace), success_(successStatus) {}

void PkiCommands::Reset() { kind_ = kPkiKindMemory; }

uint8_t PkiCommands::FaultStatus(int value) {
    // The faults' defaults are status words of the T=1 families; a PKI
    // terminal answers with one byte.
    return value >= 0 && value <= 0xFF ? static_cast<uint8_t>(value) : kRefused;
}

Bytes PkiCommands::Execute(int, int, const Bytes& c) {
    if (c.empty()) return {kRefused};
    switch (c[0]) {
        case 0x01:
        case 0x02:
            return Read(c);
        case 0x03:
            return {slot_.HasCard() ? success_ : kRefused};
        case 0x05:
            return Write(c);
        case 0xF1:
            return Select(c);
        default:
            trace_.Note("unknown command " + HexBytes(c.data(), 1));
            return {kRefused};
    }
}

Bytes PkiCommands::Select(const Bytes& c) {
    if (c.size() != 2) return {kRefused};
    if (c[1] != kPkiKindMemory && c[1] != kPkiKindBlocks && c[1] != kPkiKindAddressed) return {kRefused};
    kind_ = c[1];
    return {slot_.HasCard() ? success_ : kRefused};
}

Bytes PkiCommands::Read(const Bytes& c) {
    slot_.counters.reads++;
    int value = 0;
    if (faults_.Take(FaultKind::RefuseRead, &value)) {
        trace_.Note("fault refuse-read");
        return {FaultStatus(value)};
    }
    // Where the bytes lie and what the answer's status is, by command and kind.
    size_t offset = 0, count = 0;
    uint8_t status = success_;
    if (c[0] == 0x01 && c.size() == 2 && kind_ == kPkiKindMemory) {
        offset = c[1];
        count = 1;
    } else if (c[0] == 0x02 && c.size() == 2 && kind_ == kPkiKindMemory) {
        offset = c[1];
        count = 16;
    } else if (c[0] == 0x02 && c.size() == 2 && kind_ == kPkiKindBlocks && c[1] < 2) {
        offset = c[1] * 128u;
        count = 128;
        status = kBlockSuccess;
    } else if (c[0] == 0x02 && c.size() == 4 && kind_ == kPkiKindAddressed && c[3] > 0) {
        offset = c[1] * 256u + c[2];
        count = c[3];
        status = kBlockSuccess;
    } else {
        return {kRefused};
    }
    return slot_.With([&](SlotState& s) -> Bytes {
        if (!s.card || s.card->pkiKind != kind_ || offset + count > Card::kSize) return {kRefused};
        Bytes answer{status};
        answer.insert(answer.end(), s.card->bytes.begin() + static_cast<long>(offset),
                      s.card->bytes.begin() + static_cast<long>(offset + count));
        return answer;
    });
}

Bytes PkiCommands::Write(const Bytes& c) {
    slot_.counters.writes++;
    if (c.size() != 18 || kind_ != kPkiKindMemory) return {kRefused};
    int value = 0;
    if (faults_.Take(FaultKind::RefuseWrite, &value)) {
        trace_.Note("fault refuse-write");
        return {FaultStatus(value)};
    }
    const size_t offset = c[1];
    return {slot_.With([&](SlotState& s) -> uint8_t {
        if (!s.card || s.card->pkiKind != kind_ || s.card->writeProtected || offset + 16 > Card::kSize)
            return kRefused;
        for (size_t i = 0; i < 16; ++i) s.card->bytes[offset + i] = c[2 + i];
        slot_.counters.bytesWritten += 16;
        return success_;
    })};
}

}  // namespace termsim
