// Reading the health insurance card: wait for the card, read its memory with
// the driver of the terminal type and take the insured-person data template
// (BER-TLV, 7-bit DIN 66003 text) apart.
#include <cstring>
#include <string>

#include "cards/card_drivers.h"
#include "kardo/card.h"
#include "terminals/link_time.h"

using kardo_card::WithInsuranceCardDriver;

namespace {

constexpr size_t kCardSize = 256;
constexpr size_t kTemplateLength = 31;  // card byte with the template's length
constexpr unsigned char kLongForm = 0x80;
constexpr unsigned char kOneLengthByte = 0x81;
constexpr int kWaitMs = 100;

constexpr int32_t kDone = 0;
constexpr int32_t kNoData = -1;

// The field of the result that a template tag fills; null for skipped tags.
std::string* FieldOf(_kardodll_KVKINFO& kvk, unsigned char tag) {
    switch (tag) {
        case 0x84: return &kvk.title;
        case 0x85: return &kvk.firstname;
        case 0x87: return &kvk.surname;
        case 0x89: return &kvk.street;
        case 0x8A: case 0x8B: return &kvk.postcode;
        case 0x8C: return &kvk.town;
        default: return nullptr;
    }
}

bool Converted(unsigned char tag) { return tag != 0x8A && tag != 0x8B; }

// Fills the result from the card's 256 bytes. The walk covers the template's
// length and stops at a field whose header or value would run past the card,
// keeping the fields before it. False for a length form these cards do not
// use (0x82 and up: two or more length bytes).
bool ReadTemplate(Ccard& card, const unsigned char* memory, _kardodll_KVKINFO& kvk) {
    size_t length = memory[kTemplateLength];
    size_t start = kTemplateLength + 1;
    if (length & kLongForm) {
        if (length > kOneLengthByte) return false;
        length = memory[kTemplateLength + 1];
        start = kTemplateLength + 2;
    }
    for (size_t offset = 0; offset < length;) {
        size_t at = start + offset;
        if (at + 2 > kCardSize) break;
        const unsigned char tag = memory[at];
        size_t size = memory[at + 1];
        size_t header = 2;
        if (size & kLongForm) {
            if (at + 3 > kCardSize) break;
            size = memory[at + 2];
            header = 3;
        }
        if (at + header + size > kCardSize) break;
        if (std::string* field = FieldOf(kvk, tag)) {
            // The value ends at its first NUL, as a C text would.
            unsigned char value[kCardSize + 1] = {};
            std::memcpy(value, memory + at + header, size);
            if (Converted(tag)) card.convger(value, static_cast<int>(size));
            *field = reinterpret_cast<const char*>(value);
        }
        offset += header + size;
    }
    return true;
}

}  // namespace

void Ccard::convger(unsigned char* text, int count) {
    for (int i = 0; i < count; ++i) {
        switch (text[i]) {
            case 0x5B: text[i] = 0x8E; break;  // [  Ä
            case 0x5C: text[i] = 0x99; break;  // \  Ö
            case 0x5D: text[i] = 0x9A; break;  // ]  Ü
            case 0x7B: text[i] = 0x84; break;  // {  ä
            case 0x7C: text[i] = 0x94; break;  // |  ö
            case 0x7D: text[i] = 0x81; break;  // }  ü
            case 0x7E: text[i] = 0xE1; break;  // ~  ß
            default: break;
        }
    }
}

int32_t Ccard::card_ready() {
    return WithInsuranceCardDriver(*this, [](auto& driver) { return kardo_card::InsuranceCardReady(driver); });
}

_kardodll_KVKINFO Ccard::rdkvk() {
    kvk = _kardodll_KVKINFO{};
    if (cardtype != CARDTYPE_PKI_KVK && cardtype != CARDTYPE_CHERRY && cardtype != CARDTYPE_G81) return kvk;
    close_card();
    if (open_card() != 0) return kvk;
    WithInsuranceCardDriver(*this, [&](auto& driver) -> int32_t {
        if (!kardo_card::SelectInsuranceCard(driver)) return kNoData;
        while (kardo_card::InsuranceCardReady(driver) != 0) {
            // A failure that closed the port ends the wait: no card can come
            // through it any more.
            if (kardo_card::PortClosed(driver)) return kNoData;
            if (driver.hwnd) kardo_post_message(driver.hwnd, WM_CARDSTATE, 2, 2);
            if (Callcard::PumpMessages() != 0) return kNoData;
            kardo_link::SleepMs(kWaitMs);
        }
        const unsigned char* memory = kardo_card::ReadInsuranceCard(driver);
        if (!memory) return kNoData;
        if (!ReadTemplate(*this, memory, kvk)) return kNoData;
        kvk.valid = 1;
        return kDone;
    });
    close_card();
    return kvk;
}
