// The G81 card operations that the card facade calls: read and write the
// records of a memory card, write a number record and the service card.
// Each one opens the terminal, waits for a card, refuses to write onto a
// health insurance card, moves the card in blocks of 16 bytes and reports
// its state and progress to the application's window.
#include <cstring>

#include "cards/image_text.h"
#include "kardo/g81.h"
#include "terminals/card_operation.h"
#include "terminals/terminal_port.h"
#include "terminals/link_time.h"

namespace {
using namespace card_operation;
constexpr int32_t kWriteRefused = -1;
}  // namespace

int32_t Cg81::post_and_pump(unsigned int wparam, long lparam) {
    if (hwnd) kardo_post_message(hwnd, WM_CARDSTATE, wparam, lparam);
    return PumpMessages() != 0 ? kAborted : kDone;
}

int32_t Cg81::open_for_operation() {
    int32_t rc = crd_open();
    if (rc == 0) return kDone;
    return rc == -2 ? kNoCts : kCannotOpen;
}

// Waits until the terminal reports a requested card, asking again after each
// interval. The application's stop request ends the wait, and so does a link
// failure that closed the port: no terminal would answer any more.
int32_t Cg81::wait_for_card(int interval_ms) {
    while (cki_card_ready() != 0) {
        if (!terminal_port::IsOpen(hport)) return kCannotOpen;
        if (post_and_pump(kState, 2) != kDone) return kAborted;
        kardo_link::SleepMs(interval_ms);
    }
    return kDone;
}

int32_t Cg81::refuse_insurance_card() {
    if (post_and_pump(kState, 3) != kDone) return kAborted;
    unsigned char* card = read_cta_kvk();
    if (card && IsInsuranceCard(card + 17)) {
        post_and_pump(kState, 1);
        return kInsuranceCard;
    }
    return kDone;
}

// Reads `count` blocks of 16 bytes from card address `first` on into the image,
// each byte with its halves exchanged, as two lower-case hex digits.
int32_t Cg81::read_blocks(int first, int count) {
    for (int i = 0; i < count; ++i) {
        const int address = first + 16 * i;
        unsigned char data[16];
        if (cki_read(data, address, 16) != 0x9000) return kReadFailed;
        for (int k = 0; k < 16; ++k) {
            image[2 * (address + k)] = kardo_image::HexLower(data[k]);
            image[2 * (address + k) + 1] = kardo_image::HexLower(data[k] >> 4u);
        }
        if (post_and_pump(kReadProgress, (i + 1) * 1600 / (count * 16)) != kDone) return kAborted;
    }
    return kDone;
}

int32_t Cg81::write_blocks() {
    for (int i = 0; i < 16; ++i) {
        if (cki_wr16(image, 16 * i) != 0x9000) return kWriteRefused;
        if (post_and_pump(kWriteProgress, (i + 1) * 1600 / 256) != kDone) return kAborted;
    }
    return kDone;
}

int32_t Cg81::read_image(int blocks) {
    int32_t rc;
    if ((rc = open_for_operation()) != kDone) return rc;
    if ((rc = wait_for_card(100)) != kDone) return rc;
    if ((rc = post_and_pump(kState, 0)) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    return read_blocks(0, blocks);
}

int32_t Cg81::prepare_write() {
    int32_t rc;
    if ((rc = open_for_operation()) != kDone) return rc;
    if ((rc = wait_for_card(100)) != kDone) return rc;
    return refuse_insurance_card();
}

int32_t Cg81::rcard(std::string& value, _kardodll_tagCHIP* layout) {
    int32_t rc = read_image(4);
    if (rc != kDone) return rc;
    value = RecordValue(*this, value, layout, false);
    return kDone;
}

int32_t Cg81::rcardTCE(std::string& value, _kardodll_tagCHIP* layout) {
    int32_t rc = read_image(16);
    if (rc != kDone) return rc;
    value = RecordValue(*this, value, layout, true);
    return kDone;
}

int32_t Cg81::wcard(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode) {
    int32_t rc;
    if ((rc = prepare_write()) != kDone) return rc;
    pin2card(value, number, layout, extra, static_cast<unsigned char>(mode));
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    if ((rc = write_blocks()) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    if ((rc = read_blocks(0, 4)) != kDone) return rc;
    // The caller compares the value with what it asked to write, so it must
    // come from the card as read back.
    card2pin(value, layout);
    return kDone;
}

int32_t Cg81::wpatte(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode) {
    int32_t rc;
    if ((rc = prepare_write()) != kDone) return rc;
    pin2TCEcard(value, number, layout, extra, static_cast<unsigned char>(mode));
    if ((rc = write_blocks()) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    if ((rc = read_blocks(0, 16)) != kDone) return rc;
    cardTCE2pin(value, layout);
    return kDone;
}

int32_t Cg81::wpattr(int number) {
    int32_t rc;
    if ((rc = prepare_write()) != kDone) return rc;
    // The record covers bytes 0 to 9 and 46; the card's own bytes 10 to 45
    // and 47 are written back as they were read.
    unsigned char record[48];
    for (int block = 0; block < 3; ++block)
        if (cki_read(record + 16 * block, 16 * block, 16) != 0x9000) return kReadFailed;
    LayNumberRecord(record, number, stamp);
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    for (int block = 0; block < 3; ++block) {
        if (cki_wr16_raw(record + 16 * block, 16 * block) != 0x9000) return kWriteRefused;
        if ((rc = post_and_pump(kWriteProgress, (block + 1) * 1600 / 48)) != kDone) return rc;
    }
    return kDone;
}

int32_t Cg81::wcard_service() {
    int32_t rc;
    if (crd_open() != 0) return kWriteRefused;
    if ((rc = wait_for_card(500)) != kDone) return rc == kCannotOpen ? kWriteRefused : rc;
    if ((rc = refuse_insurance_card()) != kDone) return rc;
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    sc42card();
    return write_blocks();
}
