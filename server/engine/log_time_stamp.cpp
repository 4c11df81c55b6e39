#include "server/engine/log_time_stamp.h"

std::string LogTimeStamp(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return "Invalid DateTime";
    char text[128];
    const size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    if (n == 0) return "Invalid DateTime";
    return std::string(text, n);
}

std::string LogTimeStamp() { return LogTimeStamp(std::time(nullptr)); }
