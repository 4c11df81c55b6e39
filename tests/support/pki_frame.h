#pragma once
// A PKI frame as it stands on the wire, built independently of the product's
// link code: address, control, the length (one byte up to 254 data bytes,
// else FF and two bytes), the data, and the XOR of all bytes before the check.
#include <cstdint>
#include <vector>

namespace testsupport {

inline std::vector<uint8_t> PkiFrame(uint8_t control, const std::vector<uint8_t>& data, uint8_t address = 0x31) {
    std::vector<uint8_t> f{address, control};
    if (data.size() <= 254) {
        f.push_back(static_cast<uint8_t>(data.size()));
    } else {
        f.push_back(0xFF);
        f.push_back(static_cast<uint8_t>(data.size() >> 8));
        f.push_back(static_cast<uint8_t>(data.size() & 0xFF));
    }
    f.insert(f.end(), data.begin(), data.end());
    uint8_t x = 0;
    for (uint8_t b : f) x ^= b;
    f.push_back(x);
    return f;
}

// The control byte of an information frame.
inline uint8_t PkiInfo(int ns, int nr) { return static_cast<uint8_t>((nr & 7) << 5 | (ns & 7) << 1); }
// The control byte of a reject asking for frame nr.
inline uint8_t PkiReject(int nr) { return static_cast<uint8_t>((nr & 7) << 5 | 0x09); }

}  // namespace testsupport
