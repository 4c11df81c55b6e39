#pragma once
// Cards described in files, and the built-in cards of the command line.
//
// A card file is either exactly 256 bytes (a raw memory card image) or text of
// "key = value" lines ('#' starts a comment):
//
//   type = memory | tce | insurance | none
//   protected = yes | no          (write protection; insurance cards: yes)
//   cherry-type = 1 ... 8         (the card type under which a Cherry terminal
//                                  reads its real data; default 1, insurance 3)
//   data = 4C 49 00 ...           (card bytes in hex from byte 0 on; several
//                                  data lines continue each other; the rest of
//                                  the card keeps its blank contents)
//   image = 1032FFFF...           (the card as the drivers' hex image text: two
//                                  characters per byte, low nibble first)
//
// An insurance card takes the person's fields instead of data:
//   insurer, insurer-number, contract-number, person-number, status,
//   status-supplement, title, first-name, name-prefix, surname, birth-date,
//   street, country, postcode, town, valid-until,
//   older-card = yes (no contract number and no supplement),
//   check-byte = wrong (a damaged template),
//   pki-kind = 04 | 0B | 0C (how a PKI terminal reads it; default 0B).
// Fields left out keep the values of the built-in example person.
#include <optional>
#include <stdexcept>
#include <string>

#include "termsim/card.h"

namespace termsim {

struct CardFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a card file; an empty result means "no card". Throws CardFileError
// with the file name and line number of the first problem.
std::optional<Card> LoadCardFile(const std::string& path);

// Parses the text of a card file; `origin` names it in error messages.
std::optional<Card> ParseCardText(const std::string& text, const std::string& origin);

// A built-in card by name (memory, tce, insurance, none) or else a card file.
std::optional<Card> CardFromArgument(const std::string& nameOrPath);

}  // namespace termsim
