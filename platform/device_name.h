#pragma once
#include <string>

namespace platform {

// Maps the design's device names onto Linux paths: COMn is /dev/ttyS(n-1),
// lptN is /dev/lp(N-1), prn is /dev/lp0 (the letters in any case); a name that
// starts with '/' is used as it is; any other name is looked up under /dev.
std::string DevicePath(const std::string& name);

}  // namespace platform
