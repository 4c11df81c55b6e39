// Ccard: construction, the choice of terminal and layout, opening and closing
// the terminal of the chosen type.
#include <cstring>

#include "cards/card_drivers.h"
#include "kardo/card.h"

using kardo_card::WithDriver;

Ccard::Ccard() : cardtype(0), patmode(0), chip{}, ppslen(0), patlen(0), stamp{}, sc4{}, kvk{} {}

// The drivers go in the reverse order of their declaration, each closing its
// own port if it is still open.
Ccard::~Ccard() = default;

void Ccard::initCardType(int type, std::string portName, int ppsLength, int patLength,
                         const unsigned char* stampBytes, _kardodll_CHIP layout, _kardodll_sc4tag service,
                         HWND window, int mode) {
    patmode = mode;
    cardtype = type;
    ppslen = ppsLength;
    patlen = patLength;
    chip = layout;
    // The extra layouts are kept in the shape of one layout entry: no head,
    // the caller's three rows.
    std::memset(chip.ppspin, 0, 6);
    std::memcpy(chip.ppspin + 6, layout.ppspin, 18);
    std::memset(chip.patpin, 0, 6);
    std::memcpy(chip.patpin + 6, layout.patpin, 18);
    if (stampBytes)
        std::memcpy(stamp, stampBytes, sizeof stamp);
    else
        std::memset(stamp, 0, sizeof stamp);
    sc4 = service;
    WithDriver(*this, [&](Callcard& driver) {
        driver.sc4 = sc4;
        std::memcpy(driver.stamp, stamp, sizeof stamp);
        driver.port = portName;
        driver.hwnd = window;
        driver.cardtype = cardtype;
        return 0;
    });
}

int32_t Ccard::open_card() {
    return WithDriver(*this, [](auto& driver) { return driver.crd_open(); });
}

int32_t Ccard::close_card() {
    return WithDriver(*this, [](auto& driver) { return driver.close_card(); });
}
