#include "termsim/insurance_card.h"

#include <cstring>

namespace termsim {

InsuredPerson ExamplePerson() {
    InsuredPerson p;
    p.insurer = "TESTKASSE NORD";
    p.insurerNumber = "1234567";
    p.contractNumber = "12345";
    p.personNumber = "123456789012";
    p.status = "1000";
    p.statusSupplement = "1";
    p.firstName = "J\xC3\xBCrgen";
    p.surname = "M\xC3\xBCller";
    p.birthDate = "01011970";
    p.street = "Hauptstra\xC3\x9F" "e 1";
    p.postcode = "12345";
    p.town = "Musterstadt";
    p.validUntil = "1299";
    return p;
}

namespace {

// Decodes one character of UTF-8, or takes the byte as Latin-1 where the text
// is not valid UTF-8.
unsigned NextCodePoint(const std::string& text, size_t& i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned c = byte(i);
    if (c >= 0xC2 && c <= 0xDF && i + 1 < text.size() && (byte(i + 1) & 0xC0) == 0x80) {
        unsigned cp = ((c & 0x1F) << 6) | (byte(i + 1) & 0x3F);
        i += 2;
        return cp;
    }
    ++i;
    return c;
}

}  // namespace

std::string ToDin66003(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t at = i;
        unsigned cp = NextCodePoint(text, i);
        char c;
        switch (cp) {
            case 0xC4: c = '['; break;
            case 0xD6: c = '\\'; break;
            case 0xDC: c = ']'; break;
            case 0xE4: c = '{'; break;
            case 0xF6: c = '|'; break;
            case 0xFC: c = '}'; break;
            case 0xDF: c = '~'; break;
            default:
                if ((cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') ||
                    std::strchr(" '()+-./_&", static_cast<int>(cp)) != nullptr) {
                    c = static_cast<char>(cp);
                    break;
                }
                throw CardDataError("the character at position " + std::to_string(at + 1) + " of \"" +
                                    text + "\" cannot be stored on an insurance card");
        }
        out += c;
    }
    return out;
}

namespace {

void AddField(std::vector<uint8_t>& out, uint8_t tag, const char* name, const std::string& value,
              size_t minLength, size_t maxLength, bool optional) {
    if (value.empty() && optional) return;
    std::string din = ToDin66003(value);
    if (din.size() < minLength || din.size() > maxLength) {
        std::string range = minLength == maxLength ? std::to_string(minLength)
                                                   : std::to_string(minLength) + " to " + std::to_string(maxLength);
        throw CardDataError(std::string(name) + " must have " + range + " characters, \"" + value + "\" has " +
                            std::to_string(din.size()));
    }
    out.push_back(tag);
    out.push_back(static_cast<uint8_t>(din.size()));
    out.insert(out.end(), din.begin(), din.end());
}

}  // namespace

std::vector<uint8_t> InsuranceTemplate(const InsuredPerson& p) {
    std::vector<uint8_t> fields;
    AddField(fields, 0x80, "insurer", p.insurer, 2, 28, false);
    AddField(fields, 0x81, "insurer-number", p.insurerNumber, 7, 7, false);
    if (!p.olderCard) AddField(fields, 0x8F, "contract-number", p.contractNumber, 5, 5, true);
    AddField(fields, 0x82, "person-number", p.personNumber, 6, 12, false);
    AddField(fields, 0x83, "status", p.status, 1, 4, false);
    if (!p.olderCard) AddField(fields, 0x90, "status-supplement", p.statusSupplement, 1, 1, true);
    AddField(fields, 0x84, "title", p.title, 2, 15, true);
    AddField(fields, 0x85, "first-name", p.firstName, 1, 28, true);
    AddField(fields, 0x86, "name-prefix", p.namePrefix, 1, 15, true);
    AddField(fields, 0x87, "surname", p.surname, 2, 28, false);
    AddField(fields, 0x88, "birth-date", p.birthDate, 8, 8, false);
    AddField(fields, 0x89, "street", p.street, 2, 28, true);
    if (p.countryCode != "D") AddField(fields, 0x8A, "country", p.countryCode, 1, 3, true);
    AddField(fields, 0x8B, "postcode", p.postcode, 4, 7, false);
    AddField(fields, 0x8C, "town", p.town, 2, 22, false);
    AddField(fields, 0x8D, "valid-until", p.validUntil, 4, 4, false);

    // The check byte field (8E 01 cc) belongs to the content the length counts.
    size_t contentLength = fields.size() + 3;
    std::vector<uint8_t> out{0x60};
    if (contentLength < 0x80) {
        out.push_back(static_cast<uint8_t>(contentLength));
    } else {
        out.push_back(0x81);
        out.push_back(static_cast<uint8_t>(contentLength));
    }
    out.insert(out.end(), fields.begin(), fields.end());
    out.push_back(0x8E);
    out.push_back(0x01);
    // Chosen so that the XOR of every template byte, this one included, is 0.
    uint8_t check = 0;
    for (uint8_t b : out) check ^= b;
    if (p.wrongCheckByte) check ^= 0x5A;
    out.push_back(check);
    return out;
}

Card InsuranceCard(const InsuredPerson& person, uint8_t pkiKind) {
    if (pkiKind != kPkiKindMemory && pkiKind != kPkiKindBlocks && pkiKind != kPkiKindAddressed)
        throw CardDataError("an insurance card is of kind 04, 0B or 0C");
    std::vector<uint8_t> tmpl = InsuranceTemplate(person);
    const size_t templateAt = 0x1E;
    // The template must leave room for the filler's tag and length byte.
    if (templateAt + tmpl.size() + 2 > Card::kSize)
        throw CardDataError("the insured-person data take " + std::to_string(tmpl.size()) +
                            " bytes; at most " + std::to_string(Card::kSize - templateAt - 2) + " fit on the card");
    Card card;
    card.kind = CardKind::Insurance;
    card.pkiKind = pkiKind;
    // Issued cards cannot be written; the readers never try.
    card.writeProtected = true;
    card.bytes.fill(0x20);
    const uint8_t header[] = {0xA2, 0x13, 0x10, 0x91,
                              // manufacturer data: tag, length, chip maker, chip type, card maker, serial
                              0x82, 0x0B, 0x05, 0x35, 0x01, 0x00, 0x00, 0x27, 0x10, 0x42, 0x17, 0x03, 0x99,
                              0x61, 0x0B, 0x4F, 0x06, 0xD2, 0x76, 0x00, 0x00, 0x01, 0x01, 0x53, 0x01, 0x01};
    static_assert(sizeof header == templateAt);
    std::memcpy(card.bytes.data(), header, sizeof header);
    card.bytes[0] = pkiKind == kPkiKindMemory ? 0x82 : pkiKind == kPkiKindAddressed ? 0x92 : 0xA2;
    std::memcpy(card.bytes.data() + templateAt, tmpl.data(), tmpl.size());
    size_t filler = templateAt + tmpl.size();
    card.bytes[filler] = 0xC0;
    card.bytes[filler + 1] = static_cast<uint8_t>(Card::kSize - filler - 2);
    card.bytes[Card::kSize - 1] = 0x00;
    card.label = "health insurance card of " + person.firstName + (person.firstName.empty() ? "" : " ") + person.surname;
    return card;
}

}  // namespace termsim
