#pragma once
// A T=1 block as it stands on the wire, built independently of the product's
// link code: nad, pcb, len, the information field, and the LRC (the XOR of all
// bytes before it).
#include <cstdint>
#include <vector>

namespace testsupport {

inline std::vector<uint8_t> T1Block(uint8_t nad, uint8_t pcb, const std::vector<uint8_t>& inf) {
    std::vector<uint8_t> b;
    b.reserve(inf.size() + 4);
    b.push_back(nad);
    b.push_back(pcb);
    b.push_back(static_cast<uint8_t>(inf.size()));
    b.insert(b.end(), inf.begin(), inf.end());
    uint8_t lrc = 0;
    for (uint8_t x : b) lrc ^= x;
    b.push_back(lrc);
    return b;
}

}  // namespace testsupport
