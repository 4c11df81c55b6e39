#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace platform {
namespace {
thread_local int t_lastError = 0;
thread_local std::string t_lastText;
}

int LastError() { return t_lastError; }
void SetLastError(int code) {
    t_lastError = code;
    t_lastText.clear();
}
void SetLastError(int code, const std::string& text) {
    t_lastError = code;
    t_lastText = text;
}
int SaveErrno() {
    t_lastText.clear();
    return t_lastError = errno;
}

std::string SystemErrorText(int code) {
    if (code == t_lastError && !t_lastText.empty()) return t_lastText + "\n";
    char buffer[256];
    // GNU strerror_r returns a pointer that may or may not be the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return std::string(text) + "\n";
}

std::string SystemErrorText() { return SystemErrorText(t_lastError); }

}  // namespace platform
