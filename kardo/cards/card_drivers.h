#pragma once
// How Ccard reaches its drivers. Each helper calls a function object with the
// driver that `cardtype` selects and returns its result, or the result for
// "no driver" when the type selects none; the operations are written once
// against the driver contract that every family fulfils.
#include <cstdint>

#include "kardo/card.h"
#include "terminals/terminal_port.h"

namespace kardo_card {

constexpr int32_t kNoDriver = -1;

// Every terminal type 1 to 5, the LBE stub included (opening, closing,
// settings).
template <class F>
int32_t WithDriver(Ccard& card, F&& f) {
    switch (card.cardtype) {
        case CARDTYPE_LBE: return f(card.lbe);
        case CARDTYPE_PKI: case CARDTYPE_PKI_KVK: return f(card.pki);
        case CARDTYPE_CHERRY: return f(card.cherry);
        case CARDTYPE_G81: return f(card.g81);
        default: return kNoDriver;
    }
}

// The drivers that move card contents: PKI (2, 3), Cherry (4) and G81 (5).
template <class F>
int32_t WithCardDriver(Ccard& card, F&& f) {
    switch (card.cardtype) {
        case CARDTYPE_PKI: case CARDTYPE_PKI_KVK: return f(card.pki);
        case CARDTYPE_CHERRY: return f(card.cherry);
        case CARDTYPE_G81: return f(card.g81);
        default: return kNoDriver;
    }
}

// The PKI driver alone (types 2 and 3): its TCE record operations.
template <class F>
int32_t WithPkiDriver(Ccard& card, F&& f) {
    if (card.cardtype == CARDTYPE_PKI || card.cardtype == CARDTYPE_PKI_KVK) return f(card.pki);
    return kNoDriver;
}

// The LBE stub (type 1), which takes the LBE records.
template <class F>
int32_t WithLbeDriver(Ccard& card, F&& f) {
    if (card.cardtype == CARDTYPE_LBE) return f(card.lbe);
    return kNoDriver;
}

// The terminals that read insurance cards: 3 (PKI), 4 (Cherry), 5 (G81).
template <class F>
int32_t WithInsuranceCardDriver(Ccard& card, F&& f) {
    switch (card.cardtype) {
        case CARDTYPE_PKI_KVK: return f(card.pki);
        case CARDTYPE_CHERRY: return f(card.cherry);
        case CARDTYPE_G81: return f(card.g81);
        default: return kNoDriver;
    }
}

// Per family: the terminal accepts the insurance card kind (the PKI
// terminal must select it first), a card is ready (0), the raw card memory
// from byte 0 on (null when it cannot be read), the driver's port has been
// closed (by a failure, while an operation runs).
inline bool SelectInsuranceCard(Cg81&) { return true; }
inline bool PortClosed(Cg81& d) { return !terminal_port::IsOpen(d.hport); }
inline int32_t InsuranceCardReady(Cg81& d) { return d.cki_card_ready(); }
inline const unsigned char* ReadInsuranceCard(Cg81& d) { return d.read_cta_kvk(); }

// The PKI terminal reports success as status 0x81 (0x80: nothing changed).
constexpr int32_t kPkiDone = 0x81;
constexpr int32_t kPkiNoChange = 0x80;
inline bool SelectInsuranceCard(Cpki& d) {
    const int32_t status = d.sap2();
    return status == kPkiDone || status == kPkiNoChange;
}
inline bool PortClosed(Cpki& d) { return !terminal_port::IsOpen(d.hport); }
inline int32_t InsuranceCardReady(Cpki& d) { return d.stat() == kPkiDone ? 0 : 1; }
inline const unsigned char* ReadInsuranceCard(Cpki& d) { return d.rd_orga_kvk(); }

// The Cherry driver keeps its port in slot 0 of its own table.
inline bool SelectInsuranceCard(Ccherry&) { return true; }
inline bool PortClosed(Ccherry& d) { return !terminal_port::IsOpen(d.port_handle[0]); }
inline int32_t InsuranceCardReady(Ccherry& d) { return d.CH_stat(0); }
inline const unsigned char* ReadInsuranceCard(Ccherry& d) { return d.read_cherry_kvk(); }

}  // namespace kardo_card
