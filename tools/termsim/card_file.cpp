#include "termsim/card_file.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>

#include "termsim/insurance_card.h"

namespace termsim {

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The keys of the insured person's text fields, in the order of InsuredPerson.
const char* const kPersonTextKeys[] = {"insurer", "insurer-number", "contract-number", "person-number", "status",
                                       "status-supplement", "title", "first-name", "name-prefix", "surname",
                                       "birth-date", "street", "country", "postcode", "town", "valid-until"};

// The hexadecimal digits of a value, the separators left out; anything else
// is an error at `where`.
std::string HexDigits(const std::string& value, std::string_view separators, const std::string& where) {
    std::string digits;
    for (char c : value) {
        if (separators.find(c) != std::string_view::npos) continue;
        if (HexValue(c) < 0)
            throw CardFileError(where + ": \"" + std::string(1, c) + "\" is not a hexadecimal digit");
        digits += c;
    }
    return digits;
}

bool YesNo(const std::string& value, const std::string& where) {
    std::string v = Lower(value);
    if (v == "yes" || v == "true" || v == "1") return true;
    if (v == "no" || v == "false" || v == "0") return false;
    throw CardFileError(where + ": expected yes or no, found \"" + value + "\"");
}

}  // namespace

std::optional<Card> ParseCardText(const std::string& text, const std::string& origin) {
    std::string type;
    std::optional<bool> protect;
    int cherryType = 0;
    std::vector<uint8_t> data;
    std::string image;
    std::map<std::string, std::string> person;
    int dataLine = 0;
    std::optional<uint8_t> pkiKind;

    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string where = origin + ":" + std::to_string(number);
        size_t hash = line.find('#');
        // A '#' inside a person's field would be no valid card character anyway.
        if (hash != std::string::npos) line.resize(hash);
        line = Trim(line);
        if (line.empty()) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            throw CardFileError(where + ": expected \"key = value\", found \"" + line + "\"");
        std::string key = Lower(Trim(line.substr(0, eq)));
        std::string value = Trim(line.substr(eq + 1));
        if (key == "type") {
            type = Lower(value);
            if (type != "memory" && type != "tce" && type != "insurance" && type != "none")
                throw CardFileError(where + ": unknown card type \"" + value +
                                    "\" (memory, tce, insurance or none)");
        } else if (key == "protected") {
            protect = YesNo(value, where);
        } else if (key == "cherry-type") {
            if (value.size() != 1 || value[0] < '1' || value[0] > '8')
                throw CardFileError(where + ": cherry-type is a card type from 1 to 8, not \"" + value + "\"");
            cherryType = value[0] - '0';
        } else if (key == "data") {
            if (!dataLine) dataLine = number;
            std::string digits = HexDigits(value, " \t,", where);
            if (digits.size() % 2)
                throw CardFileError(where + ": an odd number of hexadecimal digits");
            for (size_t i = 0; i < digits.size(); i += 2)
                data.push_back(static_cast<uint8_t>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
            if (data.size() > Card::kSize)
                throw CardFileError(where + ": more than " + std::to_string(Card::kSize) + " data bytes");
        } else if (key == "pki-kind") {
            std::string v = Lower(value);
            if (v == "04" || v == "4") pkiKind = kPkiKindMemory;
            else if (v == "0b" || v == "b") pkiKind = kPkiKindBlocks;
            else if (v == "0c" || v == "c") pkiKind = kPkiKindAddressed;
            else throw CardFileError(where + ": pki-kind is 04, 0B or 0C");
        } else if (key == "image") {
            image += HexDigits(value, " \t", where);
            if (image.size() > 2 * Card::kSize)
                throw CardFileError(where + ": the image is longer than " + std::to_string(2 * Card::kSize) +
                                    " characters");
        } else {
            bool known = key == "older-card" || key == "check-byte";
            for (const char* k : kPersonTextKeys) known = known || key == k;
            if (!known) throw CardFileError(where + ": unknown key \"" + key + "\"");
            if (key == "older-card") YesNo(value, where);
            if (key == "check-byte" && Lower(value) != "wrong" && Lower(value) != "right")
                throw CardFileError(where + ": check-byte is \"right\" or \"wrong\"");
            person[key] = value;
        }
    }

    if (type.empty()) type = person.empty() && !pkiKind ? "memory" : "insurance";
    if (type == "none") return std::nullopt;
    if (type == "insurance") {
        if (!data.empty() || !image.empty())
            throw CardFileError(origin + ": an insurance card is built from the person's fields, not from data");
        InsuredPerson p = ExamplePerson();
        std::string* fields[] = {&p.insurer, &p.insurerNumber, &p.contractNumber, &p.personNumber,
                                 &p.status, &p.statusSupplement, &p.title, &p.firstName, &p.namePrefix,
                                 &p.surname, &p.birthDate, &p.street, &p.countryCode, &p.postcode,
                                 &p.town, &p.validUntil};
        static_assert(sizeof fields / sizeof fields[0] == std::size(kPersonTextKeys));
        for (size_t i = 0; i < std::size(kPersonTextKeys); ++i) {
            auto it = person.find(kPersonTextKeys[i]);
            if (it != person.end()) *fields[i] = it->second;
        }
        if (person.count("older-card")) p.olderCard = YesNo(person["older-card"], origin);
        if (person.count("check-byte")) p.wrongCheckByte = Lower(person["check-byte"]) == "wrong";
        try {
            Card card = InsuranceCard(p, pkiKind.value_or(kPkiKindBlocks));
            if (protect) card.writeProtected = *protect;
            card.cherryType = cherryType;
            card.label = origin;
            return card;
        } catch (const CardDataError& e) {
            throw CardFileError(origin + ": " + e.what());
        }
    }
    if (pkiKind)
        throw CardFileError(origin + ": pki-kind belongs to an insurance card; memory and TCE cards are of kind 04");
    if (!person.empty())
        throw CardFileError(origin + ": person fields belong to an insurance card, not to a " + type + " card");
    if (!data.empty() && !image.empty())
        throw CardFileError(origin + ": give the contents either as data or as image, not both");
    if (image.size() % 2)
        throw CardFileError(origin + ": the image has an odd number of characters");
    Card card = type == "tce" ? BlankTceCard() : BlankMemoryCard();
    for (size_t i = 0; i < data.size(); ++i) card.bytes[i] = data[i];
    for (size_t i = 0; i + 1 < image.size(); i += 2)
        card.bytes[i / 2] = static_cast<uint8_t>(HexValue(image[i]) | (HexValue(image[i + 1]) << 4));
    if (protect) card.writeProtected = *protect;
    card.cherryType = cherryType;
    card.label = origin;
    return card;
}

std::optional<Card> LoadCardFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw CardFileError("cannot read the card file " + path);
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // A raw image holds bytes that no card description (text) contains.
    bool binary = false;
    for (unsigned char c : content) binary = binary || (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
    if (content.size() == Card::kSize && (binary || content.find('=') == std::string::npos)) {
        Card card;
        for (size_t i = 0; i < Card::kSize; ++i) card.bytes[i] = static_cast<uint8_t>(content[i]);
        card.label = path;
        return card;
    }
    return ParseCardText(content, path);
}

std::optional<Card> CardFromArgument(const std::string& nameOrPath) {
    if (nameOrPath == "none") return std::nullopt;
    if (nameOrPath == "memory") return BlankMemoryCard();
    if (nameOrPath == "tce") return BlankTceCard();
    if (nameOrPath == "insurance") {
        Card card = InsuranceCard(ExamplePerson());
        card.label = "built-in health insurance card (J\xC3\xBCrgen M\xC3\xBCller)";
        return card;
    }
    return LoadCardFile(nameOrPath);
}

}  // namespace termsim
