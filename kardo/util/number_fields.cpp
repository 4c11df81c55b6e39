// Fixed-width number fields and the six-character number code.
#include <kardo/number_fields.h>

#include <cstdio>
#include <cstring>

int atoin(const char* s, int n) {
    if (!s || n < 1) return 0;
    int i = 0;
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    int sign = 1;
    // The sign is only looked at inside the field; past it the result is 0 anyway.
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') sign = -1;
        ++i;
    }
    // Unsigned arithmetic: an overlong field wraps like a 32-bit register
    // instead of overflowing.
    unsigned value = 0;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10u + static_cast<unsigned>(s[i] - '0');
    if (sign < 0) value = 0u - value;
    return static_cast<int>(value);
}

// One function under two export names.
extern "C" int atoln(const char* s, int n) __attribute__((alias("atoin")));

long nstatoln(const char* s, int n) {
    if (!s || n < 1) return 0;
    long v = atoin(s, n);
    // No digits where expected ("  ABP7"): the number is minus the last digit.
    if (v == 0) return -static_cast<long>(atoin(s + n - 1, 1));
    long zeros = 0;
    for (int i = 0; i < n; ++i) {
        if (s[i] == ' ') continue;
        if (s[i] != '0') break;
        ++zeros;
    }
    return v + zeros * 1000000L;
}

char* nstltoa(long v) {
    thread_local char buffer[32];
    if (v < 0) {
        // Negated as unsigned so that the most negative number has a value too.
        std::snprintf(buffer, sizeof buffer, "  ABP%lu", 0UL - static_cast<unsigned long>(v));
    } else if (v <= 1000000L) {
        std::snprintf(buffer, sizeof buffer, "     %ld", v);
    } else {
        static const char* const kFormats[] = {"    0%ld", "   00%ld", "  000%ld", " 0000%ld", "00000%ld"};
        long millions = (v - 1) / 1000000L;  // 1 for 1000001 to 2000000, ...
        if (millions > 5) millions = 5;
        std::snprintf(buffer, sizeof buffer, kFormats[millions - 1], v - millions * 1000000L);
    }
    std::size_t length = std::strlen(buffer);
    if (length > 6) std::memmove(buffer, buffer + length - 6, 7);
    return buffer;
}

int memccmp(const void* p, unsigned char c, int n) {
    if (!p) return 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(p);
    int count = 0;
    while (count < n && bytes[count] == c) ++count;
    return count;
}

char bin_to_ascii(char c) {
    const int v = static_cast<signed char>(c);
    const bool letterOrDigit = (v >= '0' && v <= '9') || (v >= 'a' && v <= 'z') || (v >= 'A' && v <= 'Z');
    int out = v;
    if (letterOrDigit)
        out = v;
    else if (v < 0x30 && v > 0x18)
        out = v + 0x29;
    else if (v <= 0x18)
        out = v + 0x41;
    else if (v >= 0x3A && v <= 0x40)
        out = v + 0x28;
    else if (v >= 0x5B && v <= 0x60)
        out = v + 7;
    else if (v > 0x7A)
        out = v - 0x39;
    return static_cast<char>(out);
}
