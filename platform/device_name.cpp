#include "platform/device_name.h"

#include <strings.h>

#include <cctype>

namespace platform {
namespace {

// "COM1" -> 1; 0 when the name is not prefix + a positive decimal number.
unsigned long NumberAfter(const std::string& name, const char* prefix) {
    const size_t n = std::char_traits<char>::length(prefix);
    if (name.size() <= n || strncasecmp(name.c_str(), prefix, n) != 0) return 0;
    unsigned long value = 0;
    for (size_t i = n; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || value > 100000) return 0;
        value = value * 10 + (name[i] - '0');
    }
    return value;
}

}  // namespace

std::string DevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    // Windows accepts "COM1:" as well as "COM1".
    std::string bare = name;
    if (!bare.empty() && bare.back() == ':') bare.pop_back();
    if (unsigned long n = NumberAfter(bare, "COM")) return "/dev/ttyS" + std::to_string(n - 1);
    if (unsigned long n = NumberAfter(bare, "LPT")) return "/dev/lp" + std::to_string(n - 1);
    if (strcasecmp(bare.c_str(), "PRN") == 0) return "/dev/lp0";
    return "/dev/" + bare;
}

}  // namespace platform
