#pragma once
// The texts that the record operations build from a caller's number and
// value before handing them to a driver, and the LBE records.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kardo_records {

constexpr int kPpsWidth = 12;  // the pps value text, "%12.12s"
constexpr int kPatWidth = 6;   // the pat value text, "%6.6s"
constexpr int kLbeSize = 12;

inline int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

// The caller's text up to its first NUL, as the C formats see it.
inline std::string CText(const std::string& value) { return std::string(value.c_str()); }

// The first `width` characters of the value right-aligned in `width`
// positions with leading blanks ("%12.12s", "%6.6s").
inline std::string ValueText(const std::string& value, int width) {
    std::string text = CText(value).substr(0, static_cast<size_t>(width));
    return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

// "%06d" of the number modulo 1000000 (the remainder keeps the sign):
// six characters, seven for a negative number of six digits.
inline std::string NumberText(long number) {
    char text[8];
    std::snprintf(text, sizeof text, "%06d", static_cast<int>(number % 1000000));
    return text;
}

// "%-6d" of the number modulo 1000000: left-aligned, blanks up to six.
inline std::string GstNumberText(long number) {
    char text[8];
    std::snprintf(text, sizeof text, "%-6d", static_cast<int>(number % 1000000));
    return text;
}

// The pps (kind '2') or pat (kind '3') record for the LBE stub: "==" and the
// kind, the first three characters of the number text, the last six of the
// value text; with fewer than six value characters on the card (`length`),
// the positions from 6 on that carry none are the digit 0.
inline std::string LbeRecord(char kind, const std::string& numberText, const std::string& valueText, int length) {
    std::string record = "==";
    record += kind;
    std::string number = numberText.substr(0, 3);
    record += std::string(3 - number.size(), ' ') + number;
    std::string tail = valueText.size() > 6 ? valueText.substr(valueText.size() - 6) : valueText;
    record += std::string(6 - tail.size(), ' ') + tail;
    length = Clamp(length, 0, kLbeSize);
    if (kLbeSize - length > 6) record.replace(6, static_cast<size_t>(6 - length), static_cast<size_t>(6 - length), '0');
    return record;
}

// The gst record for the LBE stub: the value's first six characters at 6 to
// 11 (blanks where it is shorter), the first 12 - patlen positions '='.
inline std::string LbeGstRecord(const std::string& value, int patlen) {
    std::string record(kLbeSize, ' ');
    std::string head = CText(value).substr(0, 6);
    record.replace(6, head.size(), head);
    const int filled = kLbeSize - Clamp(patlen, 0, kLbeSize);
    if (filled > 0) record.replace(0, static_cast<size_t>(filled), static_cast<size_t>(filled), '=');
    return record;
}

// What a read on an LBE terminal leaves of the caller's string: its first six
// characters, blanks up to six minus `length`, its last `length` characters
// (as far as the string goes).
inline std::string LbeReadBack(const std::string& value, int length) {
    const size_t n = static_cast<size_t>(length < 0 ? 0 : length);
    std::string out = value.substr(0, 6);
    if (n < 6) out += std::string(6 - n, ' ');
    out += value.size() > n ? value.substr(value.size() - n) : value;
    return out;
}

// White space removed from both ends.
inline std::string Trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// A whole decimal number in int range, blanks around it allowed; false for
// anything else (no digits, other characters, too large).
inline bool ParseWholeNumber(const std::string& text, int& number) {
    const std::string t = Trimmed(text);
    if (t.empty() || t.size() != std::strlen(t.c_str())) return false;
    size_t digits = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (digits == t.size()) return false;
    for (size_t i = digits; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    errno = 0;
    const long long value = std::strtoll(t.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    number = static_cast<int>(value);
    return true;
}

}  // namespace kardo_records
