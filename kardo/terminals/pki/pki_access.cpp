// The PKI card access: reading and writing the memory card through the
// terminal, opening and closing the link, and reading the insurance card in
// whichever of its three kinds the card is.
#include <cstring>

#include "cards/image_text.h"
#include "kardo/pki.h"
#include "terminals/terminal_port.h"

namespace {
constexpr uint32_t kAnswerCapacity = 280;
// 2 * address + 32 characters must stay inside the 512-character image.
constexpr int kLastBlockAddress = 240;

bool AddressOk(int address) { return address >= 0 && address <= kLastBlockAddress; }
unsigned char Status(unsigned char status) { return status == 0x82 ? 0x81 : status; }

// 16 card bytes as 32 lower-case hex characters at character 2 * address.
void PutText(char* text, int address, const unsigned char* bytes) {
    for (int i = 0; i < 16; ++i) {
        text[2 * address + 2 * i] = kardo_image::HexLower(bytes[i] >> 4u);
        text[2 * address + 2 * i + 1] = kardo_image::HexLower(bytes[i]);
    }
}

// The raw insurance card memory of the last rd_orga_kvk, one for the library.
unsigned char g_kvk_buffer[256];

// The three kinds of insurance card: how the terminal is told the kind, the
// probe that must answer, and what its answer starts with.
struct CardKind {
    unsigned char select[2];
    unsigned char probe[4];
    uint32_t probe_length;
    uint32_t answer_frame;
    unsigned char status;
    unsigned char head[4];
};
const CardKind kKinds[3] = {
    {{0xF1, 0x04}, {0x02, 0x00}, 2, 21, 0x81, {0x82, 0x13, 0x10, 0x91}},
    {{0xF1, 0x0B}, {0x02, 0x00}, 2, 133, 0x82, {0xA2, 0x13, 0x10, 0x91}},
    {{0xF1, 0x0C}, {0x02, 0x00, 0x00, 0x80}, 4, 133, 0x82, {0x92, 0x13, 0x10, 0x91}},
};
}  // namespace

int32_t Cpki::read16(char* text, int address, bool exchange_halves) {
    if (!AddressOk(address)) return -1;
    const unsigned char command[] = {0x02, static_cast<unsigned char>(address)};
    unsigned char answer[kAnswerCapacity] = {};
    uint32_t count = 0;
    if (io(command, sizeof command, answer, &count) != 0 || count < 17) return -1;
    if (exchange_halves) swap4(answer + 1, 16);
    PutText(text, address, answer + 1);
    return Status(answer[0]);
}

int32_t Cpki::rd16(char* text, int address) { return read16(text, address, true); }

int32_t Cpki::rd16direct(char* text, int address) { return read16(text, address, false); }

int32_t Cpki::rd(char* text, int address) {
    if (!AddressOk(address)) return -1;
    unsigned char bytes[16];
    int32_t status = -1;
    for (int i = 0; i < 16; ++i) {
        const unsigned char command[] = {0x01, static_cast<unsigned char>((address + i) & 0xFF)};
        unsigned char answer[kAnswerCapacity] = {};
        uint32_t count = 0;
        if (io(command, sizeof command, answer, &count) != 0 || count < 2) return -1;
        bytes[i] = answer[1];
        status = answer[0];
    }
    swap4(bytes, 16);
    PutText(text, address, bytes);
    return status;
}

int32_t Cpki::wr16direct(const unsigned char* bytes, int address) {
    if (!AddressOk(address)) return -1;
    unsigned char command[18] = {0x05, static_cast<unsigned char>(address)};
    std::memcpy(command + 2, bytes, 16);
    unsigned char answer[kAnswerCapacity] = {};
    uint32_t count = 0;
    if (io(command, sizeof command, answer, &count) != 0 || count < 1) return -1;
    return Status(answer[0]);
}

int32_t Cpki::wr16(const char* text, int address) {
    if (!AddressOk(address)) return -1;
    unsigned char bytes[16];
    for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(hex(text + 2 * address + 2 * i));
    swap4(bytes, 16);
    return wr16direct(bytes, address);
}

int32_t Cpki::rdvdt(unsigned char* buffer) {
    static const unsigned char command[] = {0x02, 0x11};
    unsigned char answer[kAnswerCapacity] = {};
    uint32_t count = 0;
    if (io(command, sizeof command, answer, &count) != 0 || count < 17) return -1;
    std::memcpy(buffer, answer + 1, 16);
    return answer[0];
}

int32_t Cpki::crd_open() {
    // A port that a failure closed is opened again as well.
    if (!isopen || !terminal_port::IsOpen(hport)) {
        int32_t rc = open_chip(port);
        if (rc != 0) return rc;
    }
    if (init() != 0) {
        isopen = 0;
        return -1;
    }
    const int32_t status = sap2();
    if (status != 0x81 && status != 0x80) {
        isopen = 0;
        return -1;
    }
    isopen = 1;
    return 0;
}

int32_t Cpki::close_card() {
    isopen = 0;
    terminal_port::Close(hport);
    return 0;
}

unsigned char* Cpki::rd_orga_kvk() {
    // A failed read must never hand on an earlier card's data.
    std::memset(g_kvk_buffer, 0, sizeof g_kvk_buffer);
    for (int kind = 0; kind < 3; ++kind) {
        const CardKind& k = kKinds[kind];
        close_card();
        if (crd_open() != 0) {
            close_card();
            return nullptr;
        }
        unsigned char answer[kAnswerCapacity] = {};
        uint32_t count = 0;
        if (io(k.select, sizeof k.select, answer, &count) != 0) continue;
        std::memset(answer, 0, sizeof answer);
        if (exchange(k.probe, k.probe_length, k.answer_frame, answer, &count) != 0) continue;
        if (count != k.answer_frame - 4 || answer[0] != k.status || std::memcmp(answer + 1, k.head, 4) != 0)
            continue;
        return read_kvk(kind, answer);
    }
    return nullptr;
}

unsigned char* Cpki::read_kvk(int kind, const unsigned char* probe_answer) {
    unsigned char answer[kAnswerCapacity];
    uint32_t count = 0;
    if (kind == 0) {
        // Sixteen blocks of 16 bytes; block 0 is read again after the probe.
        for (int block = 0; block < 16; ++block) {
            const unsigned char command[] = {0x02, static_cast<unsigned char>(block * 16)};
            std::memset(answer, 0, sizeof answer);
            if (exchange(command, sizeof command, 21, answer, &count) != 0 || count != 17 || answer[0] != 0x81)
                return nullptr;
            std::memcpy(g_kvk_buffer + block * 16, answer + 1, 16);
        }
        return g_kvk_buffer;
    }
    // Two halves of 128 bytes: the probe brought the first.
    std::memcpy(g_kvk_buffer, probe_answer + 1, 128);
    static const unsigned char second_block[] = {0x02, 0x01};
    static const unsigned char second_half[] = {0x02, 0x00, 0x80, 0x80};
    const unsigned char* command = kind == 1 ? second_block : second_half;
    const uint32_t length = kind == 1 ? sizeof second_block : sizeof second_half;
    std::memset(answer, 0, sizeof answer);
    if (exchange(command, length, 133, answer, &count) != 0 || count != 129 || answer[0] != 0x82) return nullptr;
    std::memcpy(g_kvk_buffer + 128, answer + 1, 128);
    return g_kvk_buffer;
}
