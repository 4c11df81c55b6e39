// Layout and service-card files of kardo-card.
#include "settings_file.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace kardo_card_tool {

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Calls f(key, value, where) for each "key = value" line of the text.
void ForEachLine(const std::string& text, const std::string& origin,
                 const std::function<void(const std::string&, const std::string&, const std::string&)>& f) {
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = origin + ":" + std::to_string(number);
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        if (Trim(line).empty()) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) throw SettingsError(where + ": expected \"key = value\"");
        try {
            f(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), where);
        } catch (const SettingsError& e) {
            throw SettingsError(where + ": " + e.what());
        }
    }
}

// Copies a text of at most `width` characters into a field filled with blanks.
void PutText(char* field, size_t width, const std::string& key, const std::string& value) {
    if (value.size() > width)
        throw SettingsError(key + " takes at most " + std::to_string(width) + " characters, \"" + value + "\" has " +
                            std::to_string(value.size()));
    std::memset(field, ' ', width);
    std::memcpy(field, value.data(), value.size());
}

// Fixed-width fields of the service card take exactly their width.
void PutExact(char* field, size_t width, const std::string& key, const std::string& value) {
    if (value.size() != width)
        throw SettingsError(key + " takes exactly " + std::to_string(width) + " characters, not \"" + value + "\"");
    std::memcpy(field, value.data(), width);
}

// "row1" to "row3" -> 0 to 2; -1 for anything else.
int RowIndex(const std::string& name) {
    if (name.size() == 4 && name.compare(0, 3, "row") == 0 && name[3] >= '1' && name[3] <= '3') return name[3] - '1';
    return -1;
}

// Splits "a.b.c" at its dots.
std::vector<std::string> Parts(const std::string& key) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(key);
    while (std::getline(in, part, '.')) parts.push_back(part);
    return parts;
}

bool LayoutKey(RecordSettings& s, const std::string& key, const std::string& value) {
    const std::vector<std::string> p = Parts(key);
    if (p.empty()) return false;
    if ((p[0] == "pps" || p[0] == "pat") && p.size() == 3 && p[1].size() == 1 && p[1][0] >= '0' && p[1][0] <= '7') {
        _kardodll_tagCHIP::Entry& entry = (p[0] == "pps" ? s.chip.pps : s.chip.pat).entry[p[1][0] - '0'];
        if (p[2] == "head") {
            PutText(entry.head, 6, key, value);
            return true;
        }
        const int row = RowIndex(p[2]);
        if (row < 0) return false;
        PutText(entry.rows + 6 * row, 6, key, value);
        return true;
    }
    if ((p[0] == "ppspin" || p[0] == "patpin") && p.size() == 2) {
        const int row = RowIndex(p[1]);
        if (row < 0) return false;
        PutText((p[0] == "ppspin" ? s.chip.ppspin : s.chip.patpin) + 6 * row, 6, key, value);
        return true;
    }
    return false;
}

}  // namespace

int ParseSetting(const std::string& key, const std::string& value, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end || errno == ERANGE || n < low || n > high)
        throw SettingsError(key + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                            ", not \"" + value + "\"");
    return static_cast<int>(n);
}

void ParseStamp(const std::string& value, unsigned char stamp[6]) {
    if (value.size() != 12 || value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw SettingsError("stamp takes 12 hexadecimal digits (six bytes), not \"" + value + "\"");
    for (int i = 0; i < 6; ++i) stamp[i] = static_cast<unsigned char>(std::stoi(value.substr(2 * i, 2), nullptr, 16));
}

RecordSettings DefaultSettings() {
    RecordSettings s;
    std::memset(&s.chip, ' ', sizeof s.chip);
    std::memcpy(s.chip.pps.entry[0].rows, "GGGGGGGGGGGG", 12);
    std::memcpy(s.chip.pat.entry[0].rows, "GGGGGG", 6);
    return s;
}

void ParseLayoutText(const std::string& text, const std::string& origin, RecordSettings& s) {
    // A layout file describes the whole layout: it starts from blank entries.
    std::memset(&s.chip, ' ', sizeof s.chip);
    ForEachLine(text, origin, [&](const std::string& key, const std::string& value, const std::string&) {
        if (key == "ppslen") s.ppslen = ParseSetting(key, value, 0, 12);
        else if (key == "patlen") s.patlen = ParseSetting(key, value, 0, 6);
        else if (key == "patmode") s.patmode = ParseSetting(key, value, 0, 2);
        else if (key == "mode") s.mode = ParseSetting(key, value, 0, 255);
        else if (key == "stamp") ParseStamp(value, s.stamp);
        else if (!LayoutKey(s, key, value)) {
            throw SettingsError("unknown key \"" + key + "\"");
        }
    });
}

_kardodll_sc4tag ParseServiceText(const std::string& text, const std::string& origin) {
    _kardodll_sc4tag r;
    std::memset(&r, ' ', sizeof r);
    std::memcpy(r.flags, "NNNNNN", 6);
    r.flag7 = r.flag8 = 'N';
    std::memcpy(r.text6, "000000", 6);
    std::memcpy(r.text2a, "00", 2);
    std::memcpy(r.text2b, "00", 2);
    std::memcpy(r.num1, "00", 2);
    std::memcpy(r.num2, "05", 2);
    std::memcpy(r.num3, "00", 2);
    r.sel = '0';
    r.chr = '0';
    auto number = [](char* field, const std::string& key, const std::string& value, int low, int high, int step) {
        const int n = ParseSetting(key, value, low, high);
        if (n % step) throw SettingsError(key + " takes a multiple of " + std::to_string(step));
        field[0] = static_cast<char>('0' + n / 10);
        field[1] = static_cast<char>('0' + n % 10);
    };
    ForEachLine(text, origin, [&](const std::string& key, const std::string& value, const std::string&) {
        const std::vector<std::string> p = Parts(key);
        if (key == "flags") {
            PutExact(r.flags, 6, key, value);
        } else if (key == "flag7" || key == "flag8") {
            PutExact(key == "flag7" ? &r.flag7 : &r.flag8, 1, key, value);
        } else if (key == "text6") {
            PutExact(r.text6, 6, key, value);
        } else if (key == "text2a" || key == "text2b") {
            PutExact(key == "text2a" ? r.text2a : r.text2b, 2, key, value);
        } else if (key == "num1" || key == "num3") {
            number(key == "num1" ? r.num1 : r.num3, key, value, 0, 15, 1);
        } else if (key == "num2") {
            number(r.num2, key, value, 5, 80, 5);
        } else if (key == "sel" || key == "chr") {
            PutExact(key == "sel" ? &r.sel : &r.chr, 1, key, value);
        } else if (p.size() == 3 && p[0] == "group" && p[1].size() == 1 && std::isdigit(static_cast<unsigned char>(p[1][0])) &&
                   RowIndex(p[2]) >= 0) {
            PutText(r.groups + 18 * (p[1][0] - '0') + 6 * RowIndex(p[2]), 6, key, value);
        } else {
            throw SettingsError("unknown key \"" + key + "\"");
        }
    });
    return r;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SettingsError("cannot read " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace kardo_card_tool
