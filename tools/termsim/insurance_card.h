#pragma once
// Health insurance cards: the insured-person data template (a BER-TLV
// structure of 7-bit DIN 66003 text) and the memory map around it.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "termsim/card.h"

namespace termsim {

// Texts are UTF-8 (Latin-1 bytes are accepted as well); they are converted to
// DIN 66003 on the card. An empty optional field is left off the card.
struct InsuredPerson {
    std::string insurer;            // 80, 2-28
    std::string insurerNumber;      // 81, 7
    std::string contractNumber;     // 8F, 5 (not on older cards)
    std::string personNumber;       // 82, 6-12
    std::string status;             // 83, 4 (1 on older cards)
    std::string statusSupplement;   // 90, 1 (not on older cards)
    std::string title;              // 84, optional
    std::string firstName;          // 85, optional
    std::string namePrefix;         // 86, optional
    std::string surname;            // 87
    std::string birthDate;          // 88, DDMMYYYY
    std::string street;             // 89, optional
    std::string countryCode;        // 8A, optional, left off for D
    std::string postcode;           // 8B
    std::string town;               // 8C
    std::string validUntil;         // 8D, MMYY
    bool olderCard = false;         // leaves off 8F and 90
    bool wrongCheckByte = false;    // a damaged card, for tests of readers
};

struct CardDataError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The fictitious person of the published worked example ("TESTKASSE NORD",
// Jürgen Müller, Hauptstraße 1, 12345 Musterstadt).
InsuredPerson ExamplePerson();

// Text in DIN 66003: ÄÖÜäöüß become [\]{|}~; throws CardDataError for a
// character the card cannot hold.
std::string ToDin66003(const std::string& text);

// The template from its 60 tag through the check byte; throws CardDataError
// when a field is missing, too long or too short.
std::vector<uint8_t> InsuranceTemplate(const InsuredPerson& person);

// A whole card: header, manufacturer data, directory, template, filler.
// `pkiKind` is the card kind a PKI terminal reads it under; the first header
// byte tells the three apart (04: 82, 0B: A2, 0C: 92).
Card InsuranceCard(const InsuredPerson& person, uint8_t pkiKind = kPkiKindBlocks);

}  // namespace termsim
