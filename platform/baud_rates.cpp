#include "platform/baud_rates.h"

#include <iterator>

namespace platform {

namespace {
constexpr uint32_t kBaudRates[] = {110,  300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
}

uint32_t BaudRateForIndex(unsigned index) { return index < std::size(kBaudRates) ? kBaudRates[index] : 0; }

int IndexForBaudRate(uint32_t rate) {
    for (unsigned i = 0; i < std::size(kBaudRates); ++i)
        if (kBaudRates[i] == rate) return static_cast<int>(i);
    return -1;
}

}  // namespace platform
