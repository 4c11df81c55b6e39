// The Cherry terminal's commands (class 20: card type, reset, deactivate) and
// the memory card commands (select file, READ BINARY, UPDATE BINARY), with the
// card-type probe, the connection and the 16-byte pieces of the card image.
#include <algorithm>
#include <cstring>

#include "cards/image_text.h"
#include "kardo/cherry.h"
#include "terminals/link_time.h"
#include "terminals/t1_block.h"
#include "terminals/terminal_port.h"

namespace {
constexpr uint32_t kNoStatus = 0xFFFF;
constexpr uint32_t kOk = 0x9000;
constexpr int kShortResponse = 32;
// Card types in the order the probe tries them; type 1 is the one written under.
constexpr int kProbeTypes[] = {2, 1, 4, 3, 5, 6, 8};
constexpr int kWriteType = 1;
// The probe reads the card's directory at this address.
constexpr int kProbeAddress = 17;
constexpr int kPiece = 16;
// The last address of a 16-byte piece that stays inside the 256-byte image.
constexpr int kLastPiece = 240;
}  // namespace

int32_t Ccherry::command(int port, int destination, const unsigned char* bytes, int length, unsigned char* response,
                         int capacity, uint32_t& status, int* received) {
    int dad = destination;
    int sad = t1::kHostAddress;
    int response_length = capacity;
    status = kNoStatus;
    int32_t rc = CH_data(&port, &dad, &sad, length, bytes, &response_length, &response);
    if (rc != 0) return rc;
    if (received) *received = response_length;
    if (response_length >= 2) status = response[response_length - 2] * 256u + response[response_length - 1];
    return 0;
}

int32_t Ccherry::CH_gettype(int port, int& type, uint32_t& status) {
    static const unsigned char gettype[] = {0x20, 0x25, 0x02, 0x00, 0x00};
    unsigned char response[kShortResponse] = {};
    int received = 0;
    int32_t rc = command(port, t1::kTerminalAddress, gettype, sizeof gettype, response, sizeof response, status,
                         &received);
    if (rc == 0 && received >= 1) type = response[0];
    return rc;
}

int32_t Ccherry::CH_select(int port, int type, uint32_t& status) {
    const unsigned char select[] = {0x20, 0x25, 0x01, static_cast<unsigned char>(type), 0x00};
    unsigned char response[kShortResponse] = {};
    return command(port, t1::kTerminalAddress, select, sizeof select, response, sizeof response, status);
}

int32_t Ccherry::CH_reset(int port, unsigned char* response, uint32_t& status) {
    static const unsigned char reset[] = {0x20, 0x12, 0x01, 0x01, 0x01, 0x01};
    return command(port, t1::kTerminalAddress, reset, sizeof reset, response, kShortResponse, status);
}

int32_t Ccherry::CH_deactivate(int port, uint32_t& status) {
    static const unsigned char deactivate[] = {0x20, 0x15, 0x01, 0x00, 0x01, 0x01};
    unsigned char response[kShortResponse] = {};
    return command(port, t1::kTerminalAddress, deactivate, sizeof deactivate, response, sizeof response, status);
}

int32_t Ccherry::CH_select_file(int port, uint32_t& status) {
    static const unsigned char select_file[] = {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x01};
    unsigned char response[kShortResponse] = {};
    return command(port, t1::kCardAddress, select_file, sizeof select_file, response, sizeof response, status);
}

int32_t Ccherry::CH_readbin(int port, unsigned char* buffer, int& length, int address, int count, uint32_t& status) {
    CH_select_file(0, status);
    const unsigned char read_binary[] = {0x00, 0xB0, static_cast<unsigned char>(address / 256),
                                         static_cast<unsigned char>(address % 256), static_cast<unsigned char>(count)};
    return command(port, t1::kCardAddress, read_binary, sizeof read_binary, buffer, length, status, &length);
}

int32_t Ccherry::CH_writebin(int port, unsigned char* data, int& length, int address, int count, uint32_t& status) {
    CH_select_file(0, status);
    const int n = count & 0xFF;
    unsigned char update_binary[5 + 255] = {0x00, 0xD6, static_cast<unsigned char>(address / 256),
                                            static_cast<unsigned char>(address % 256), static_cast<unsigned char>(n)};
    std::memcpy(update_binary + 5, data, static_cast<size_t>(n));
    return command(port, t1::kCardAddress, update_binary, 5 + n, data, length, status, &length);
}

int32_t Ccherry::CH_check_card(int port, unsigned char* buffer, int size) {
    mem_type = 0;
    int32_t last = 0;
    for (int entry : kProbeTypes) {
        const int type = type_mode == 1 ? kWriteType : entry;
        mem_type = type;
        CH_s2_resync(0x02, port);
        CH_s2_resync(0x12, port);
        unsigned char answer[kShortResponse] = {};
        uint32_t status = kNoStatus;
        if (CH_reset(port, answer, status) == 0 && size > 0)
            std::memcpy(buffer, answer, static_cast<size_t>(std::min(size, kShortResponse)));
        last = CH_select(port, type, status);
        if (last != 0 || status != kOk) {
            if (type_mode == 1) break;
            continue;
        }
        int length = size;
        last = CH_readbin(port, buffer, length, kProbeAddress, kPiece, status);
        if (last != 0 || status != kOk) {
            if (type_mode == 1) break;
            continue;
        }
        if (type_mode == 1) break;
        // Sixteen equal bytes of one of these values: no real data under this type.
        int ff = 0, a2 = 0, x42 = 0;
        for (int i = 0; i < kPiece && i < length; ++i) {
            ff += buffer[i] == 0xFF;
            a2 += buffer[i] == 0xA2;
            x42 += buffer[i] == 0x42;
        }
        if (ff != kPiece && a2 != kPiece && x42 != kPiece) break;
    }
    return last != 0 ? -1 : 0;
}

int32_t Ccherry::crd_open() {
    // A send failure closes the slot without ending the connection: open it again.
    if (!isopen || !terminal_port::IsOpen(port_handle[0])) {
        int32_t rc = CH_init(0, port.c_str());
        if (rc != 0) return rc;
    }
    if (CH_s2_resync(0x02, 0) != 0) return -1;
    if (CH_s2_resync(0x12, 0) != 0) return -1;
    unsigned char buffer[128] = {};
    if (CH_check_card(0, buffer, sizeof buffer) != 0) return -1;
    isopen = 1;
    return 0;
}

int32_t Ccherry::close_card() {
    isopen = 0;
    if (terminal_port::IsOpen(port_handle[0])) terminal_port::Close(port_handle[0]);
    port_handle[0] = terminal_port::kClosed;
    return 0;
}

int32_t Ccherry::CH_stat(int port) {
    unsigned char response[kShortResponse] = {};
    uint32_t status = kNoStatus;
    if (CH_reset(port, response, status) != 0 || status != kOk) return -1;
    return 0;
}

int32_t Ccherry::CH_sctp_rd16(char* text, int address) {
    if (address < 0 || address > kLastPiece) return kNoStatus;
    uint32_t status = kNoStatus;
    CH_select_file(0, status);
    unsigned char data[256] = {};
    int length = sizeof data;
    if (CH_readbin(0, data, length, address, kPiece, status) != 0) return kNoStatus;
    if (status != kOk) return static_cast<int32_t>(status);
    // Sixteen data bytes must stand before the status word.
    if (length < kPiece + 2) return kNoStatus;
    swap4(data, kPiece);
    for (int i = 0; i < kPiece; ++i) {
        text[2 * (address + i)] = kardo_image::HexLower(data[i] >> 4u);
        text[2 * (address + i) + 1] = kardo_image::HexLower(data[i]);
    }
    return 0;
}

int32_t Ccherry::CH_sctp_wr16(const char* text, int address) {
    if (address < 0 || address > kLastPiece) return kNoStatus;
    uint32_t status = kNoStatus;
    CH_select_file(0, status);
    kardo_link::SleepMs(100);
    // The response lands in the data buffer: it is as large as announced.
    unsigned char data[256] = {};
    for (int i = 0; i < kPiece; ++i) data[i] = static_cast<unsigned char>(Hex(text + 2 * (address + i)));
    swap4(data, kPiece);
    int length = sizeof data;
    if (CH_writebin(0, data, length, address, kPiece, status) != 0) return kNoStatus;
    return status == kOk ? 0 : static_cast<int32_t>(status);
}

int Ccherry::Hex(const char* two) { return hex(two); }
