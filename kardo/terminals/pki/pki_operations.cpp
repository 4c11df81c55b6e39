// The PKI card operations that the card facade calls: read and write the
// records of a memory card, write a number record and the service card.
// Each one opens the terminal, waits for a card, refuses to write onto a
// health insurance card (in a terminal that reads them), moves the card in
// blocks of 16 bytes and reports its state and progress to the application's
// window.
#include <cstring>

#include "kardo/pki.h"
#include "terminals/card_operation.h"
#include "terminals/link_time.h"
#include "terminals/terminal_port.h"

namespace {
using namespace card_operation;
constexpr int32_t kServiceFailed = -1;

constexpr int32_t kSuccess = 0x81;
constexpr int kCardWaitMs = 100;
}  // namespace

int32_t Cpki::post_and_pump(unsigned int wparam, long lparam) {
    if (hwnd) kardo_post_message(hwnd, WM_CARDSTATE, wparam, lparam);
    return PumpMessages() != 0 ? kAborted : kDone;
}

int32_t Cpki::open_for_operation() {
    int32_t rc = crd_open();
    if (rc == 0) return kDone;
    return rc == -2 ? kNoCts : kCannotOpen;
}

// Asks for the card until the terminal reports one. Only the application's
// stop request ends the wait for a card that is not there; a port that a
// failure closed ends it at once.
int32_t Cpki::wait_for_card() {
    while (stat() != kSuccess) {
        if (!terminal_port::IsOpen(hport)) return kCannotOpen;
        if (post_and_pump(kState, 2) != kDone) return kAborted;
        kardo_link::SleepMs(kCardWaitMs);
    }
    return kDone;
}

// Only a terminal that reads insurance cards looks for one. Reading it leaves
// the terminal set to the kind it found; the select sets it back.
int32_t Cpki::insurance_card_test(int32_t reselect_failed) {
    if (cardtype != CARDTYPE_PKI_KVK) return kDone;
    if (post_and_pump(kState, 3) != kDone) return kAborted;
    unsigned char* card = rd_orga_kvk();
    if (card && IsInsuranceCard(card + 17)) {
        post_and_pump(kState, 1);
        return kInsuranceCard;
    }
    return sap2() == kSuccess ? kDone : reselect_failed;
}

int32_t Cpki::read_blocks(int count) {
    for (int i = 0; i < count; ++i) {
        if (rd16(image, 16 * i) != kSuccess) return kReadFailed;
        if (post_and_pump(kReadProgress, (i + 1) * 1600 / (count * 16)) != kDone) return kAborted;
    }
    return kDone;
}

int32_t Cpki::write_blocks(int32_t refused) {
    for (int i = 0; i < 16; ++i) {
        if (wr16(image, 16 * i) != kSuccess) return refused;
        if (post_and_pump(kWriteProgress, (i + 1) * 1600 / 256) != kDone) return kAborted;
    }
    return kDone;
}

int32_t Cpki::read_image(int blocks) {
    int32_t rc;
    if ((rc = open_for_operation()) != kDone) return rc;
    if ((rc = wait_for_card()) != kDone) return rc;
    if ((rc = post_and_pump(kState, 0)) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    return read_blocks(blocks);
}

int32_t Cpki::prepare_write() {
    int32_t rc;
    if ((rc = open_for_operation()) != kDone) return rc;
    if ((rc = wait_for_card()) != kDone) return rc;
    return insurance_card_test(kReselectFailed);
}

int32_t Cpki::rcard(std::string& value, _kardodll_tagCHIP* layout) {
    int32_t rc = read_image(4);
    if (rc != kDone) return rc;
    value = RecordValue(*this, value, layout, false);
    return kDone;
}

int32_t Cpki::rcardTCE(std::string& value, _kardodll_tagCHIP* layout) {
    int32_t rc = read_image(16);
    if (rc != kDone) return rc;
    value = RecordValue(*this, value, layout, true);
    return kDone;
}

int32_t Cpki::wcard(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode) {
    int32_t rc;
    if ((rc = prepare_write()) != kDone) return rc;
    pin2card(value, number, layout, extra, static_cast<unsigned char>(mode));
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    if ((rc = write_blocks(kWriteFailed)) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    if ((rc = read_blocks(4)) != kDone) return rc;
    // The caller compares the value with what it asked to write, so it must
    // come from the card as read back.
    card2pin(value, layout);
    return kDone;
}

int32_t Cpki::wpatte(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode) {
    int32_t rc;
    if ((rc = prepare_write()) != kDone) return rc;
    pin2TCEcard(value, number, layout, extra, static_cast<unsigned char>(mode));
    if ((rc = write_blocks(kWriteFailed)) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    if ((rc = read_blocks(16)) != kDone) return rc;
    cardTCE2pin(value, layout);
    return kDone;
}

int32_t Cpki::wpattr(int number) {
    int32_t rc;
    if ((rc = prepare_write()) != kDone) return rc;
    // The card's bytes 0 to 47 as text; the record covers bytes 0 to 9 and
    // 46, the card's own bytes 10 to 45 and 47 are written back as read.
    char text[1024] = {};
    for (int block = 0; block < 3; ++block)
        if (rd16direct(text, 16 * block) != kSuccess) return kReadFailed;
    unsigned char record[48];
    for (int i = 0; i < 48; ++i) record[i] = static_cast<unsigned char>(hex(text + 2 * i));
    LayNumberRecord(record, number, stamp);
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    for (int block = 0; block < 3; ++block) {
        if (wr16direct(record + 16 * block, 16 * block) != kSuccess) return kWriteFailed;
        // The count of blocks done before this one: 0, 33, 66.
        if ((rc = post_and_pump(kWriteProgress, block * 1600 / 48)) != kDone) return rc;
    }
    return kDone;
}

int32_t Cpki::wcard_service() {
    int32_t rc;
    if ((rc = open_for_operation()) != kDone) return rc;
    if ((rc = wait_for_card()) != kDone) return rc;
    if (cardtype == CARDTYPE_PKI_KVK) {
        if ((rc = post_and_pump(kState, 0)) != kDone) return rc;
        if ((rc = insurance_card_test(kServiceFailed)) != kDone) return rc;
    }
    sc42card();
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    return write_blocks(kServiceFailed);
}
