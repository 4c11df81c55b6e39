#pragma once
// Pieces of the card image text shared by the standard, TCE and service-card
// conversions. Positions are image positions (0 to 511).
#include <cstddef>
#include <cstring>

namespace kardo_image {

constexpr std::size_t kImageSize = 512;
// A record value holds at most 12 characters (the size of its field on the card).
constexpr std::size_t kMaxValue = 12;

inline bool IsG(char c) { return c == 'G' || c == 'g'; }
inline bool IsP(char c) { return c == 'P' || c == 'p'; }

// The image character of a layout character on standard and service cards
// (G is handled by the caller).
inline char LayoutChar(char c) {
    switch (c) {
        case '#': case 'F': case 'f': return 'F';
        case '*': case 'E': case 'e': return 'E';
        case 'A': case 'a': return 'A';
        case 'B': case 'b': return 'B';
        case 'C': case 'c': return 'C';
        default: break;
    }
    if (c >= '0' && c <= '9') return c;
    return 'D';
}

// Number of characters of a row of at most `width` before the first blank.
inline std::size_t RowLength(const char* row, std::size_t width) {
    std::size_t n = 0;
    while (n < width && row[n] != ' ') ++n;
    return n;
}

// The characters of a record value that take part: up to the terminator, at
// most kMaxValue, none for a null value.
inline std::size_t ValueLength(const char* value) { return value ? strnlen(value, kMaxValue) : 0; }

// Takes record values one per G from the value's first character on. A G
// beyond the value's end is written as the filler D, so nothing is read
// outside the value and the gap stays visible on the card.
class ValueCursor {
public:
    ValueCursor(const char* value, std::size_t length) : value_(value), length_(length) {}
    char Next() { return next_ < length_ ? value_[next_++] : (++next_, 'D'); }

private:
    const char* value_;
    std::size_t length_;
    std::size_t next_ = 0;
};

// One 8-character row: the count of source characters, the group digit and
// six characters, filled up with D after the count. With a cursor each G
// takes the next value character; without one a G becomes D.
inline void PutLayoutRow(char* image, std::size_t pos, const char* row, char group, ValueCursor* cursor) {
    std::size_t n = RowLength(row, 6);
    image[pos] = static_cast<char>('0' + n);
    image[pos + 1] = group;
    for (std::size_t c = 0; c < 6; ++c) {
        char out = 'D';
        if (c < n) out = (cursor && IsG(row[c])) ? cursor->Next() : LayoutChar(row[c]);
        image[pos + 2 + c] = out;
    }
}

inline void Fill(char* image, std::size_t from, std::size_t to, char c) {
    std::memset(image + from, c, to - from + 1);
}

// Copies n characters with each pair exchanged (1, 0, 3, 2, ...); n is even.
inline void PutPairSwapped(char* image, std::size_t pos, const char* src, std::size_t n) {
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        image[pos + i] = src[i + 1];
        image[pos + i + 1] = src[i];
    }
}

inline char HexUpper(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }
inline char HexLower(unsigned v) { return "0123456789abcdef"[v & 0xF]; }

// Positions 478 to 509 of a standard or TCE record image: the six number
// characters pair-swapped (a NUL before the sixth ends them; the rest are 0),
// the six stamp bytes as "%02X" with the two digits exchanged, the first
// `length` value characters right-aligned in a 12-character field of zeros
// and pair-swapped, and the mode as "%02x" with the two digits exchanged.
inline void PutRecordTail(char* image, const char* number, const unsigned char* stamp, const char* value,
                          std::size_t valueLength, std::size_t length, unsigned char mode) {
    char field[12];
    std::memset(field, '0', 6);
    if (number) std::memcpy(field, number, strnlen(number, 6));
    PutPairSwapped(image, 478, field, 6);

    for (std::size_t i = 0; i < 6; ++i) {
        image[484 + 2 * i] = HexUpper(stamp[i]);
        image[484 + 2 * i + 1] = HexUpper(stamp[i] >> 4);
    }

    std::size_t k = length < valueLength ? length : valueLength;
    std::memset(field, '0', sizeof field);
    if (k) std::memcpy(field + sizeof field - k, value, k);
    PutPairSwapped(image, 496, field, sizeof field);

    image[508] = HexLower(mode);
    image[509] = HexLower(mode >> 4u);
}

}  // namespace kardo_image
