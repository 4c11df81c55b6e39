// The insurance card's data template walked from any card memory: the input
// is the 256 bytes of the card in a simulated G81 terminal, read with
// Ccard::rdkvk. No read outside the card's bytes, `valid` 0 or 1, and no
// field longer than the card could hold.
#include <kardo/kardo.h>

#include <cstdlib>
#include <cstring>

#include "termsim/card.h"
#include "termsim/terminal.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("KARDO_TEST_TIME_SCALE", "0.001", 1);
    kardo_set_message_box_handler([](void*, const char*, const char*, unsigned) { return KARDO_IDOK; }, nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    termsim::TerminalOptions options;
    options.timeScale = 0.001;
    termsim::Terminal terminal(options);
    termsim::Card card = termsim::BlankMemoryCard();
    card.kind = termsim::CardKind::Insurance;
    std::memcpy(card.bytes.data(), data, size < card.bytes.size() ? size : card.bytes.size());
    terminal.Slot().Insert(card);
    terminal.Start();

    Ccard facade;
    _kardodll_CHIP chip;
    std::memset(&chip, ' ', sizeof chip);
    _kardodll_sc4tag sc4;
    std::memset(&sc4, '0', sizeof sc4);
    const unsigned char stamp[6] = {};
    facade.initCardType(CARDTYPE_G81, terminal.Path(), 6, 6, stamp, chip, sc4, nullptr, 0);
    const _kardodll_KVKINFO kvk = facade.rdkvk();
    if (kvk.valid != 0 && kvk.valid != 1) std::abort();
    for (const std::string* field : {&kvk.title, &kvk.firstname, &kvk.surname, &kvk.street, &kvk.postcode, &kvk.town})
        if (field->size() > 256) std::abort();
    facade.close_card();
    terminal.Stop();
    return 0;
}
