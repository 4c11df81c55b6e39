#pragma once
#include <string>
#include <vector>

namespace platform {

// The serial devices present on the machine, as a user would pick one:
// /dev/ttyS* that are real ports (the kernel names a UART type for them;
// most of the 32 the kernel creates have none), /dev/ttyUSB*, /dev/ttyACM*,
// and the stable names under /dev/serial/by-id/. Each group in natural order
// (ttyS2 before ttyS10). devDir and sysTtyDir are for tests.
std::vector<std::string> ListSerialDevices(const std::string& devDir = "/dev",
                                           const std::string& sysTtyDir = "/sys/class/tty");

}  // namespace platform
