#pragma once
// The line rates that tovan's control channel sets by index ("1" frames):
// 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600,
// 115200, 128000, 256000 for the indices 0 to 14.
#include <cstdint>

namespace platform {

// The rate of an index, 0 for an index outside the table.
uint32_t BaudRateForIndex(unsigned index);
// The index of a rate, -1 for a rate the table does not hold.
int IndexForBaudRate(uint32_t rate);

}  // namespace platform
