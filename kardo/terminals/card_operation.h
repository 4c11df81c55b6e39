#pragma once
// What the card operations of every driver share: their result codes, the
// kinds of WM_CARDSTATE message, and how a health insurance card is told
// from a memory card (the application template in its directory).
#include <cstdint>

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

}  // namespace card_operation
