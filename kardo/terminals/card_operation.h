#pragma once
// What the card operations of every driver share: their result codes, the
// kinds of WM_CARDSTATE message, and how a health insurance card is told
// from a memory card (the application template in its directory).
#include <cstdint>
#include <cstring>
#include <string>

#include <kardo/callcard.h>

namespace card_operation {

constexpr int32_t kDone = 0;
constexpr int32_t kInsuranceCard = -100;   // a write was refused: health insurance card
constexpr int32_t kReselectFailed = -101;
constexpr int32_t kAborted = -102;         // WM_CARDABORT arrived
constexpr int32_t kWriteFailed = -103;
constexpr int32_t kReadFailed = -104;
constexpr int32_t kCannotOpen = -105;      // the terminal cannot be opened, or its port died
constexpr int32_t kProbeFailed = -106;
constexpr int32_t kNoCts = -107;           // the terminal does not assert CTS

// WM_CARDSTATE's wParam: progress of a read or a write in per cent, or a state.
constexpr unsigned kReadProgress = 0;
constexpr unsigned kWriteProgress = 1;
constexpr unsigned kState = 2;

// True when the 12 bytes from `directory` (card bytes 17 to 28) hold the
// insurance card's application template; the sixth byte varies between card
// generations and is not compared.
inline bool IsInsuranceCard(const unsigned char* directory) {
    static const unsigned char signature[12] = {0x61, 0x0B, 0x4F, 0x06, 0xD2, 0x00,
                                                0x00, 0x00, 0x01, 0x01, 0x53, 0x01};
    for (int i = 0; i < 12; ++i)
        if (i != 5 && directory[i] != signature[i]) return false;
    return true;
}

// A record value read out of the card image: the caller's value is the
// fallback a layout without G positions hands back, at most 127 characters.
inline std::string RecordValue(Callcard& card, const std::string& value, const _kardodll_tagCHIP* layout, bool tce) {
    char work[128] = {};
    std::strncpy(work, value.c_str(), sizeof work - 1);
    return tce ? card.cardTCE2pin(work, layout) : card.card2pin(work, layout);
}

// Lays the number record over the card's first 48 bytes as read: "LI", the
// number (most significant byte first), stamp bytes 2 to 5, and at byte 46
// the XOR of bytes 0 to 44. Bytes 10 to 45 and 47 stay the card's own.
inline void LayNumberRecord(unsigned char record[48], int number, const unsigned char stamp[6]) {
    const uint32_t n = static_cast<uint32_t>(number);
    record[0] = 0x4C;
    record[1] = 0x49;
    record[2] = static_cast<unsigned char>(n >> 24);
    record[3] = static_cast<unsigned char>(n >> 16);
    record[4] = static_cast<unsigned char>(n >> 8);
    record[5] = static_cast<unsigned char>(n);
    std::memcpy(record + 6, stamp + 2, 4);
    unsigned char check = 0;
    for (int i = 0; i <= 44; ++i) check ^= record[i];
    record[46] = check;
}

}  // namespace card_operation
