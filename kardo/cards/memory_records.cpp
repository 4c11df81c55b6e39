// The record operations of Ccard: read and write the pps and pat records,
// write the gst record and the service card. Each one opens the terminal,
// hands the record to the driver of the terminal type, checks a written
// record against what the driver read back and closes the terminal.
#include <cstring>
#include <string>

#include "cards/card_drivers.h"
#include "cards/record_texts.h"
#include "kardo/card.h"
#include "platform/message_box.h"

using kardo_card::kNoDriver;
using kardo_card::WithCardDriver;
using kardo_card::WithLbeDriver;
using kardo_card::WithPkiDriver;
using namespace kardo_records;

namespace {

constexpr int32_t kDone = 0;
constexpr int32_t kWrittenWrongly = -1;
constexpr int32_t kNotANumber = -1;

// What a driver's write works on. The driver reads the record back into the
// value characters it was handed, as many as the layout has G positions (at
// most three rows of six and a NUL), so they get a buffer of that size
// whatever the length of the value.
class WriteBuffer {
public:
    explicit WriteBuffer(const std::string& value) : text_(value) {
        if (text_.size() < kReadBack) text_.resize(kReadBack, '\0');
        text_.push_back('\0');
    }
    char* data() { return text_.data(); }
    std::string Text() const { return std::string(text_.c_str()); }

private:
    static constexpr size_t kReadBack = 19;
    std::string text_;
};

// The number texts reach the drivers as NUL-terminated characters.
struct NumberField {
    explicit NumberField(const std::string& text) { std::strncpy(chars, text.c_str(), sizeof chars - 1); }
    char chars[8] = {};
};

_kardodll_tagCHIP* ExtraLayout(char* pin) { return reinterpret_cast<_kardodll_tagCHIP*>(pin); }

// Opens the terminal, runs the operation and closes the terminal; a terminal
// that cannot be opened gives the open result and nothing is done.
template <class F>
int32_t Bracketed(Ccard& card, F&& operation) {
    int32_t rc = card.open_card();
    if (rc != 0) return rc;
    rc = operation();
    card.close_card();
    return rc;
}

// Writes the last `length` characters of the value text with the driver of
// the terminal type and compares what the driver read back with the value as
// the caller gave it. A driver's failure is handed on unchecked.
int32_t WriteChecked(Ccard& card, const std::string& valueText, int length, const std::string& numberText,
                     _kardodll_tagCHIP* layout, char* pin, char mode, const std::string& given) {
    const size_t kept = valueText.size() - static_cast<size_t>(length);
    WriteBuffer value(valueText.substr(kept));
    NumberField number(numberText);
    const int32_t rc = WithCardDriver(card, [&](auto& driver) {
        return driver.wcard(value.data(), number.chars, layout, ExtraLayout(pin), mode);
    });
    if (rc != kDone) return rc;
    const std::string readBack = Trimmed(valueText.substr(0, kept) + value.Text());
    if (readBack != given) {
        platform::MessageBox("Fehler beim Beschreiben der Karte: soll " + CText(given) + ", ist " + readBack, "kardo",
                             platform::MB_OK);
        return kWrittenWrongly;
    }
    return kDone;
}

bool IsPki(int32_t cardtype) { return cardtype == CARDTYPE_PKI || cardtype == CARDTYPE_PKI_KVK; }

}  // namespace

int32_t Ccard::pps_rcard(std::string& value) {
    const int length = Clamp(ppslen, 0, kPpsWidth);
    return Bracketed(*this, [&]() -> int32_t {
        if (cardtype == CARDTYPE_LBE) {
            value = LbeReadBack(value, length);
            return kDone;
        }
        const int32_t rc = WithCardDriver(*this, [&](auto& driver) { return driver.rcard(value, &chip.pps); });
        if (rc != kDone) value.clear();
        return rc;
    });
}

int32_t Ccard::pat_rcard(std::string& value) {
    const int length = Clamp(patlen, 0, kPatWidth);
    return Bracketed(*this, [&]() -> int32_t {
        if (cardtype == CARDTYPE_LBE) {
            value = LbeReadBack(value, length);
            return kDone;
        }
        int32_t rc;
        if (patmode == 2 && IsPki(cardtype))
            rc = WithPkiDriver(*this, [&](auto& pki) { return pki.rcardTCE(value, &chip.pat); });
        else
            rc = WithCardDriver(*this, [&](auto& driver) { return driver.rcard(value, &chip.pat); });
        if (rc != kDone) value.clear();
        return rc;
    });
}

int32_t Ccard::pps_wcard(long number, std::string value) {
    const int length = Clamp(ppslen, 0, kPpsWidth);
    const std::string valueText = ValueText(value, kPpsWidth);
    const std::string numberText = NumberText(number);
    return Bracketed(*this, [&]() -> int32_t {
        if (cardtype == CARDTYPE_LBE) {
            std::string record = LbeRecord('2', numberText, valueText, length);
            return WithLbeDriver(*this, [&](auto& lbe) { return lbe.wcard(record.data()); });
        }
        return WriteChecked(*this, valueText, length, numberText, &chip.pps, chip.ppspin, 2, value);
    });
}

int32_t Ccard::pat_wcard(long number, std::string value, unsigned char mode) {
    const int length = Clamp(patlen, 0, kPatWidth);
    const std::string numberText = NumberText(number);
    const std::string valueText = ValueText(value, kPatWidth);
    const char driverMode = static_cast<char>(mode);

    // A number record (and a TCE record on terminals that write TCE records
    // as numbers) needs a number that fits; anything else is refused before
    // the terminal is touched.
    const bool tceAsText = patmode == 2 && IsPki(cardtype);
    int pat = 0;
    if ((patmode == 1 || (patmode == 2 && !tceAsText && cardtype != CARDTYPE_LBE)) && !ParseWholeNumber(value, pat))
        return kNotANumber;

    return Bracketed(*this, [&]() -> int32_t {
        if (patmode == 1 || patmode == 2) {
            if (cardtype == CARDTYPE_LBE) return kDone;
            if (tceAsText) {
                WriteBuffer text(valueText.substr(valueText.size() - static_cast<size_t>(length)));
                NumberField numberField(numberText);
                return WithPkiDriver(*this, [&](auto& pki) {
                    return pki.wpatte(text.data(), numberField.chars, &chip.pat, ExtraLayout(chip.patpin),
                                      driverMode);
                });
            }
            return WithCardDriver(*this, [&](auto& driver) { return driver.wpattr(pat); });
        }
        if (cardtype == CARDTYPE_LBE) {
            std::string record = LbeRecord('3', numberText, valueText, length);
            return WithLbeDriver(*this, [&](auto& lbe) { return lbe.wcard(record.data()); });
        }
        return WriteChecked(*this, valueText, length, numberText, &chip.pat, chip.patpin, driverMode, value);
    });
}

int32_t Ccard::gst_wcard(long number, std::string value) {
    const std::string numberText = GstNumberText(number);
    return Bracketed(*this, [&]() -> int32_t {
        if (cardtype == CARDTYPE_LBE) {
            std::string record = LbeGstRecord(value, patlen);
            return WithLbeDriver(*this, [&](auto& lbe) { return lbe.wcard(record.data()); });
        }
        // The driver works on a copy: the caller's string stays as it is.
        WriteBuffer text(CText(value));
        NumberField numberField(numberText);
        return WithCardDriver(*this, [&](auto& driver) {
            return driver.wcard(text.data(), numberField.chars, &chip.pat, ExtraLayout(chip.patpin), 0);
        });
    });
}

int32_t Ccard::sc4_wcard() {
    return Bracketed(*this, [&]() -> int32_t {
        if (cardtype == CARDTYPE_LBE) return kNoDriver;
        return WithCardDriver(*this, [](auto& driver) { return driver.wcard_service(); });
    });
}
