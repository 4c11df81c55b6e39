// The G81's terminal commands (card terminal basic commands, class 20) and the
// memory card commands READ BINARY and UPDATE BINARY, with the operations
// built on them.
#include <cstring>

#include "kardo/g81.h"
#include "terminals/t1_block.h"
#include "terminals/terminal_port.h"

namespace {
constexpr int kTerminal = t1::kTerminalAddress;
constexpr int kCard = t1::kCardAddress;
constexpr int kHost = t1::kHostAddress;
constexpr int32_t kNoStatus = 0xFFFF;

// The raw insurance card memory of the last read_cta_kvk, one for the library.
unsigned char g_kvk_buffer[280];
}  // namespace

int32_t Cg81::command(int destination, const unsigned char* bytes, int length, unsigned char* response,
                      int capacity, int* received) {
    int dad = destination;
    int sad = kHost;
    int response_length = capacity;
    int32_t rc = CT_data(&dad, &sad, length, bytes, &response_length, response);
    if (rc != 0) return rc;
    if (response_length < 2) return kNoStatus;
    if (received) *received = response_length;
    return response[response_length - 2] * 256 + response[response_length - 1];
}

int32_t Cg81::cki_reset(unsigned char* response) {
    s2_resync(t1::Nad(kTerminal, kHost));
    static const unsigned char reset[] = {0x20, 0x11, 0x00, 0x00};
    return command(kTerminal, reset, sizeof reset, response, 32);
}

int32_t Cg81::cki_tstcard(unsigned char* response) {
    static const unsigned char status[] = {0x20, 0x13, 0x00, 0x80, 0x00};
    return command(kTerminal, status, sizeof status, response, 32);
}

int32_t Cg81::cki_request(unsigned char* response) {
    static const unsigned char request[] = {0x20, 0x12, 0x01, 0x00, 0x00};
    return command(kTerminal, request, sizeof request, response, 32);
}

int32_t Cg81::cki_deact() {
    static const unsigned char release[] = {0x20, 0x15, 0x01, 0x00};
    unsigned char response[32] = {};
    return command(kTerminal, release, sizeof release, response, 32);
}

int32_t Cg81::cki_read(unsigned char* destination, int offset, int count) {
    const unsigned char read_binary[] = {0x00, 0xB0, static_cast<unsigned char>(offset / 256),
                                         static_cast<unsigned char>(offset % 256), static_cast<unsigned char>(count)};
    unsigned char response[1024] = {};
    int received = 0;
    const int32_t rc = command(kCard, read_binary, sizeof read_binary, response, sizeof response, &received);
    // Only a response with a status word gives data. They come first; a caller
    // asking for more than the response buffer holds gets no more than it.
    if (received > 0 && count > 0) {
        size_t copy = static_cast<size_t>(count) < sizeof response ? static_cast<size_t>(count) : sizeof response;
        std::memcpy(destination, response, copy);
    }
    return rc;
}

int32_t Cg81::cki_wr16_raw(const unsigned char* bytes, int offset) {
    unsigned char update_binary[21] = {0x00, 0xD6, static_cast<unsigned char>(offset / 256),
                                       static_cast<unsigned char>(offset % 256), 0x10};
    std::memcpy(update_binary + 5, bytes, 16);
    unsigned char response[8] = {};
    return command(kCard, update_binary, sizeof update_binary, response, sizeof response);
}

int32_t Cg81::cki_wr16(const char* text, int offset) {
    unsigned char data[16];
    for (int i = 0; i < 16; ++i) data[i] = static_cast<unsigned char>(_hex(text + 2 * offset + 2 * i));
    swap4(data, 16);
    return cki_wr16_raw(data, offset);
}

int Cg81::_hex(const char* two) { return hex(two); }

int32_t Cg81::crd_open() {
    if (!isopen || !terminal_port::IsOpen(hport)) {
        int32_t rc = open_chip(port);
        if (rc != 0) return rc;
    }
    unsigned char response[32] = {};
    cki_reset(response);
    isopen = 1;
    return 0;
}

int32_t Cg81::close_card() {
    if (!terminal_port::IsOpen(hport)) return 0;
    cki_deact();
    isopen = 0;
    terminal_port::Close(hport);
    return 0;
}

int32_t Cg81::cki_card_ready() {
    unsigned char response[32] = {};
    int32_t rc = cki_tstcard(response);
    if (rc != 0x9000) return rc;
    if (response[0] == 1 || response[0] == 3 || response[0] == 5) {
        unsigned char answer[32] = {};
        rc = cki_request(answer);
        if (rc == 0x9000 || rc == 0x9001 || rc == 0x6201) return 0;
        return rc;
    }
    return 0x9000;
}

unsigned char* Cg81::read_cta_kvk() {
    std::memset(g_kvk_buffer, 0, sizeof g_kvk_buffer);
    for (int offset = 0; offset < 256; offset += 16) {
        unsigned char data[16];
        if (cki_read(data, offset, 16) != 0x9000) return nullptr;
        std::memcpy(g_kvk_buffer + offset, data, 16);
    }
    return g_kvk_buffer;
}
