// The PKI link: the serial port and the frame protocol towards the terminal.
#include <algorithm>
#include <cstring>

#include "kardo/pki.h"
#include "terminals/link_time.h"
#include "terminals/terminal_port.h"

namespace {
// Each read waits this long for one byte; the fourth empty read of a call ends it.
constexpr int kReceiveTimeoutMs = 2000;
constexpr int kEmptyReadsPerCall = 4;
constexpr int kWriteTimeoutMs = 1000;
constexpr int kStopBits = 2;

constexpr unsigned char kResync = 0xEF;
constexpr unsigned char kRejectBits = 0x09;
constexpr int kTries = 3;

// A received frame: at most 255 bytes are ever expected; the rest is margin.
constexpr uint32_t kFrameCapacity = 280;

// The length of the whole answer frame, by the command's first byte; the
// answer is read by counting bytes, not by its length byte.
uint32_t AnswerFrameLength(unsigned char first) {
    switch (first) {
        case 0x01: case 0xF2: case 0xF5: return 6;
        case 0x02: return 21;
        case 0x03: case 0x04: case 0x05: case 0x06: case 0xF1: case 0xF3: case 0xF4: return 5;
        default: return 255;
    }
}

unsigned char Status(unsigned char status) { return status == 0x82 ? 0x81 : status; }
}  // namespace

Cpki::Cpki() : Callcard(), send_seq(0), recv_seq(0), address(0x31), last_frame(), last_frame_len(0) {
    hport = terminal_port::kClosed;
    isopen = 0;
}

Cpki::Cpki(const Cpki& other) = default;
Cpki& Cpki::operator=(const Cpki& other) = default;

Cpki::~Cpki() {
    isopen = 0;
    terminal_port::Close(hport);
}

int32_t Cpki::open_chip(std::string portname) {
    if (terminal_port::IsOpen(hport)) terminal_port::Close(hport);
    if (!terminal_port::Open(hport, portname)) return -1;
    if (!terminal_port::Configure(hport, kStopBits)) {
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        terminal_port::Close(hport);
        return -1;
    }
    bool cts = false;
    if (!terminal_port::Cts(hport, cts)) return -1;
    return cts ? 0 : -2;
}

void Cpki::s1_write(const unsigned char* bytes, uint32_t count) {
    if (terminal_port::Write(hport, bytes, count, kardo_link::ScaledMs(kWriteTimeoutMs))) return;
    disperr(static_cast<unsigned>(terminal_port::LastError()));
    terminal_port::Close(hport);
}

int32_t Cpki::s1_read(unsigned char* buffer, uint32_t* count) {
    const uint32_t wanted = *count;
    uint32_t got = 0;
    int empty = 0;
    while (got < wanted && empty < kEmptyReadsPerCall) {
        int n = terminal_port::Read(hport, buffer + got, 1, kardo_link::ScaledMs(kReceiveTimeoutMs));
        if (n < 0) {
            disperr(static_cast<unsigned>(terminal_port::LastError()));
            terminal_port::Close(hport);
            break;
        }
        if (n == 0)
            ++empty;
        else
            ++got;
    }
    *count = got;
    return 0;
}

unsigned char Cpki::chksum(const unsigned char* bytes, uint32_t count) {
    unsigned char x = 0;
    for (uint32_t i = 0; i < count; ++i) x ^= bytes[i];
    return x;
}

void Cpki::s2_put(unsigned char* frame, uint32_t count) {
    frame[count] = chksum(frame, count);
    s1_write(frame, count + 1);
}

int32_t Cpki::s2_get(unsigned char* frame, uint32_t* count) {
    s1_read(frame, count);
    if (*count < 4) return -1;
    if (chksum(frame, *count - 1) != frame[*count - 1]) return -1;
    --*count;
    return 0;
}

void Cpki::s2_resync() {
    send_seq = 0;
    recv_seq = 0;
    last_frame_len = 0;
    unsigned char frame[4] = {static_cast<unsigned char>(address), kResync, 0x00};
    s2_put(frame, 3);
}

int32_t Cpki::init() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        s2_resync();
        unsigned char frame[8] = {};
        uint32_t count = 4;
        if (s2_get(frame, &count) == 0 && frame[1] == kResync) return 0;
    }
    return -1;
}

void Cpki::s2_reject() {
    unsigned char frame[4] = {static_cast<unsigned char>(address), static_cast<unsigned char>(recv_seq * 32 + kRejectBits),
                              0x00};
    s2_put(frame, 3);
}

int32_t Cpki::s2_write(const unsigned char* data, uint32_t count) {
    // The frame must fit the retransmission buffer, check byte included.
    if (count > MAX_COMMAND) return -1;
    uint32_t n = 0;
    last_frame[n++] = static_cast<unsigned char>(address);
    last_frame[n++] = static_cast<unsigned char>(recv_seq * 32 + send_seq * 2);
    if (count <= 254) {
        last_frame[n++] = static_cast<unsigned char>(count);
    } else {
        last_frame[n++] = 0xFF;
        last_frame[n++] = static_cast<unsigned char>(count >> 8);
        last_frame[n++] = static_cast<unsigned char>(count);
    }
    if (count) std::memcpy(last_frame + n, data, count);
    n += count;
    last_frame_len = static_cast<int32_t>(n);
    s2_put(last_frame, n);
    send_seq = (send_seq + 1) & 7;
    return 0;
}

int32_t Cpki::s2_read(unsigned char* buffer, uint32_t* count) {
    const uint32_t expected = std::min(*count, kFrameCapacity);
    int failures_left = kTries;
    int retransmissions_left = kTries;
    for (;;) {
        if (retransmissions_left <= 0) return -1;
        unsigned char frame[kFrameCapacity] = {};
        uint32_t received = expected;
        if (s2_get(frame, &received) == 0) {
            // Header and data must make up exactly what arrived.
            uint32_t header = 3, length = frame[2];
            if (frame[2] == 0xFF) {
                header = 5;
                length = received >= 5 ? frame[3] * 256u + frame[4] : received;
            }
            const unsigned char control = frame[1];
            const int nr = control >> 5;
            if (header + length == received) {
                if ((control & 0x1F) == kRejectBits) {
                    if (((nr + 1) & 7) == send_seq && last_frame_len != 0) {
                        if (--retransmissions_left > 0) s2_put(last_frame, static_cast<uint32_t>(last_frame_len));
                        continue;
                    }
                } else if ((control & 0x11) == 0 && nr == send_seq && ((control >> 1) & 7) == recv_seq) {
                    recv_seq = (recv_seq + 1) & 7;
                    std::memcpy(buffer, frame + header, length);
                    *count = length;
                    return 0;
                }
            }
        }
        if (--failures_left == 0) return -1;
        s2_reject();
    }
}

int32_t Cpki::exchange(const unsigned char* command, uint32_t length, uint32_t answer_frame, unsigned char* answer,
                       uint32_t* count) {
    *count = answer_frame;
    if (s2_write(command, length) != 0) return -1;
    return s2_read(answer, count);
}

int32_t Cpki::io(const unsigned char* command, uint32_t length, unsigned char* answer, uint32_t* count) {
    return exchange(command, length, AnswerFrameLength(length ? command[0] : 0), answer, count);
}

int32_t Cpki::status_command(const unsigned char* command, uint32_t length) {
    unsigned char answer[kFrameCapacity] = {};
    uint32_t count = 0;
    // A frame without even the status byte answers nothing.
    if (io(command, length, answer, &count) != 0 || count < 1) return -1;
    return Status(answer[0]);
}

int32_t Cpki::sap2() {
    static const unsigned char select[] = {0xF1, 0x04};
    return status_command(select, sizeof select);
}

int32_t Cpki::stat() {
    static const unsigned char status[] = {0x03};
    return status_command(status, sizeof status);
}
