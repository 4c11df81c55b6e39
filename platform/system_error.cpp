#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace platform {
namespace {
thread_local int t_lastError = 0;
}

int LastError() { return t_lastError; }
void SetLastError(int code) { t_lastError = code; }
int SaveErrno() { return t_lastError = errno; }

std::string SystemErrorText(int code) {
    char buffer[256];
    // GNU strerror_r returns a pointer that may or may not be the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return std::string(text) + "\n";
}

std::string SystemErrorText() { return SystemErrorText(t_lastError); }

}  // namespace platform
