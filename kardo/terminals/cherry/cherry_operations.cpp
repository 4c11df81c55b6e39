// The Cherry card operations that the card facade calls: read and write the
// records of a memory card, write a number record and the service card, and
// read the raw memory of a health insurance card. Each one opens the
// terminal, waits for a card, refuses to write onto a health insurance card,
// moves the card in pieces of 16 bytes and reports its state and progress to
// the application's window.
#include <cstring>

#include "kardo/cherry.h"
#include "terminals/card_operation.h"
#include "terminals/link_time.h"
#include "terminals/terminal_port.h"

namespace {
using namespace card_operation;

constexpr int kPauseMs = 100;

// The raw insurance card memory of the last read_cherry_kvk, one for the library.
unsigned char g_kvk_buffer[280];
}  // namespace

// An abort that the link's own message pumps saw belongs to the operation
// running then: it stops that operation at its next abort point and goes
// with it, so it never stops a later one.
struct Ccherry::Operation {
    explicit Operation(Ccherry& driver) : driver_(driver) { driver_.abort_pending_ = false; }
    ~Operation() { driver_.abort_pending_ = false; }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    Ccherry& driver_;
};

int32_t Ccherry::post_and_pump(unsigned int wparam, long lparam) {
    if (hwnd) kardo_post_message(hwnd, WM_CARDSTATE, wparam, lparam);
    const bool stop = PumpMessages() != 0;
    return stop || abort_pending_ ? kAborted : kDone;
}

// The common start: open the connection, wait for a card, report the state.
int32_t Ccherry::open_and_wait(int ready_state) {
    int32_t rc = crd_open();
    if (rc != 0) return rc == -2 ? kNoCts : kCannotOpen;
    while (CH_stat(0) != 0) {
        // A link failure closed the port: no card can be found any more.
        if (!terminal_port::IsOpen(port_handle[0])) return kCannotOpen;
        if (post_and_pump(kState, 2) != kDone) return kAborted;
        kardo_link::SleepMs(kPauseMs);
    }
    return post_and_pump(kState, ready_state);
}

// The check before every write. Every card type is probed, whatever an
// earlier write pinned, so that an insurance card is always recognised; the
// write itself then goes under type 1.
int32_t Ccherry::refuse_insurance_card() {
    unsigned char buffer[128] = {};
    type_mode = 0;
    if (CH_check_card(0, buffer, sizeof buffer) != 0) return kProbeFailed;
    if (IsInsuranceCard(buffer)) {
        if (hwnd) kardo_post_message(hwnd, WM_CARDSTATE, kState, 1);
        PumpMessages();
        return kInsuranceCard;
    }
    type_mode = 1;
    CH_check_card(0, buffer, sizeof buffer);
    return kDone;
}

// Reads card addresses 0 to 16 × count − 1 into the image.
int32_t Ccherry::read_pieces(int count) {
    for (int i = 0; i < count; ++i) {
        if (CH_sctp_rd16(image, 16 * i) != 0) return kReadFailed;
        if (post_and_pump(kReadProgress, (i + 1) * 100 / count) != kDone) return kAborted;
    }
    return kDone;
}

// Writes card addresses 0 to 16 × count − 1 from the text.
int32_t Ccherry::write_pieces(const char* text, int count, unsigned int progress_kind) {
    for (int i = 0; i < count; ++i) {
        if (CH_sctp_wr16(text, 16 * i) != 0) return kWriteFailed;
        if (post_and_pump(progress_kind, 1600 * (i + 1) / (16 * count)) != kDone) return kAborted;
        kardo_link::SleepMs(kPauseMs);
    }
    return kDone;
}

int32_t Ccherry::rcard(std::string& value, _kardodll_tagCHIP* layout) {
    Operation operation(*this);
    type_mode = 0;
    int32_t rc;
    if ((rc = open_and_wait(5)) != kDone) return rc;
    if ((rc = read_pieces(4)) != kDone) return rc;
    value = RecordValue(*this, value, layout, false);
    return kDone;
}

int32_t Ccherry::wcard(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode) {
    Operation operation(*this);
    int32_t rc;
    if ((rc = open_and_wait(3)) != kDone) return rc;
    if ((rc = refuse_insurance_card()) != kDone) return rc;
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    pin2card(value, number, layout, extra, static_cast<unsigned char>(mode));
    if ((rc = write_pieces(image, 16, kWriteProgress)) != kDone) return rc;
    if ((rc = post_and_pump(kState, 5)) != kDone) return rc;
    if ((rc = read_pieces(4)) != kDone) return rc;
    // The caller compares the value with what it asked to write, so it must
    // come from the card as read back.
    card2pin(value, layout);
    return kDone;
}

int32_t Ccherry::wcard_service() {
    Operation operation(*this);
    int32_t rc;
    if ((rc = open_and_wait(3)) != kDone) return rc;
    if ((rc = refuse_insurance_card()) != kDone) return rc;
    sc42card();
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    return write_pieces(image, 16, kReadProgress);
}

int32_t Ccherry::wpattr(int number) {
    Operation operation(*this);
    int32_t rc;
    if ((rc = open_and_wait(3)) != kDone) return rc;
    if ((rc = refuse_insurance_card()) != kDone) return rc;
    char text[128] = {};
    for (int piece = 0; piece < 3; ++piece)
        if (CH_sctp_rd16(text, 16 * piece) != 0) return kReadFailed;
    // The record lies over the card's own bytes; the card's bytes 10 to 45
    // and 47 go back as they were read.
    unsigned char record[48];
    for (int i = 0; i < 48; ++i) record[i] = static_cast<unsigned char>(Hex(text + 2 * i));
    swap4(record, sizeof record);
    LayNumberRecord(record, number, stamp);
    swap4(record, sizeof record);
    for (int i = 0; i < 48; ++i) sprintxfhex(text + 2 * i, "%02x", record[i]);
    if ((rc = post_and_pump(kState, 4)) != kDone) return rc;
    return write_pieces(text, 3, kWriteProgress);
}

unsigned char* Ccherry::read_cherry_kvk() {
    Operation operation(*this);
    std::memset(g_kvk_buffer, 0, sizeof g_kvk_buffer);
    type_mode = 0;
    if (CH_check_card(0, g_kvk_buffer, sizeof g_kvk_buffer) != 0) return nullptr;
    for (int k = 0; k < 16; ++k) {
        int length = static_cast<int>(sizeof g_kvk_buffer) - 16 * k;
        uint32_t status = 0xFFFF;
        if (CH_readbin(0, g_kvk_buffer + 16 * k, length, 16 * k, 16, status) != 0 || status != 0x9000)
            return nullptr;
    }
    return g_kvk_buffer;
}
