// Callcard: construction and the small helpers every driver uses.
#include <kardo/callcard.h>

#include <cstdio>
#include <cstring>

#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/system_error.h"

Callcard::Callcard() : sc4{}, stamp{}, cardtype(0), port(), hport(-1), hwnd(nullptr), isopen(0) {
    std::memset(image, '0', sizeof image);
}

Callcard::~Callcard() = default;

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}
}  // namespace

int Callcard::hex(const char* p) { return HexDigit(p[0]) * 16 + HexDigit(p[1]); }

int Callcard::_hex2i(const char* p) { return hex(p); }

void Callcard::swap4(unsigned char* p, unsigned count) {
    for (unsigned i = 0; i < count; ++i) p[i] = static_cast<unsigned char>((p[i] << 4) | (p[i] >> 4));
}

void Callcard::sprintxfhex(void* dst, const char* format, int value) {
    char text[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    int n = std::snprintf(text, sizeof text, format, value);
#pragma GCC diagnostic pop
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof text)) n = sizeof text - 1;
    std::memcpy(dst, text, static_cast<size_t>(n));
}

void Callcard::disperr(uint32_t code) {
    platform::MessageBox(platform::SystemErrorText(static_cast<int>(code)), "GetLastError",
                         platform::MB_ICONINFORMATION);
}

int Callcard::PumpMessages() {
    bool aborted = false;
    platform::Message message;
    while (platform::PeekMessage(message)) {
        if (message.message == WM_CARDABORT)
            aborted = true;
        else
            platform::DispatchMessage(message);
    }
    return aborted ? -1 : 0;
}
