#ifndef KARDO_G81_H
#define KARDO_G81_H

/* Cg81: the driver of G81 chip-card terminals on a serial port. The link is
 * the T=1 block protocol (host address 2, terminal 1, card 0); on it travel
 * the terminal's basic commands and READ BINARY / UPDATE BINARY for the
 * 256-byte memory card in its slot. */
#include <cstdint>
#include <string>

#include <kardo/callcard.h>
#include <kardo/card_records.h>
#include <kardo/export.h>

#pragma pack(push, 1)
/* One T=1 block, the same layout on the wire and in memory: the LRC follows
 * the len information bytes, so inf has room for it behind the longest field. */
struct _kardodll_BLOCK_g81 {
    unsigned char nad;
    unsigned char pcb;
    unsigned char len;
    unsigned char inf[256];
};
#pragma pack(pop)
static_assert(sizeof(_kardodll_BLOCK_g81) == 259, "a G81 block is 259 bytes");

struct Cg81TestAccess;

class KARDO_API Cg81 : public Callcard {
public:
    /* Link result codes beside 0 (success), -1 (port) and -2 (no CTS). */
    enum : int {
        G81_SEND_FAILED = 4097,
        G81_BAD_LRC = 4100,
        G81_RESYNC_FAILED = 4101,
        G81_RETRIES_EXHAUSTED = 4102,
        G81_RESPONSE_TOO_LONG = 4103,
    };

    Cg81();
    Cg81(const Cg81& other);
    Cg81& operator=(const Cg81& other);
    virtual ~Cg81();

    /* Opens the port (9600 baud, 8 data bits, even parity, 1 stop bit, CTS
     * flow control) and tests CTS: 0 ready, -1 port failure, -2 no CTS. */
    int32_t open_chip(std::string portname);

    /* Terminal and card commands. */
    int32_t crd_open();
    int32_t close_card();
    int32_t cki_card_ready();
    unsigned char* read_cta_kvk();
    int32_t cki_read(unsigned char* destination, int offset, int count);

    /* Card operations for the card facade. */
    int32_t rcard(std::string& value, _kardodll_tagCHIP* layout);
    int32_t rcardTCE(std::string& value, _kardodll_tagCHIP* layout);
    int32_t wcard(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode);
    int32_t wpatte(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode);
    int32_t wpattr(int number);
    int32_t wcard_service();

    /* Link state. An ifsc outside 1 to 254, set by a caller or sent by the
     * terminal, counts as 32. One exchange answers at most 64 S-block
     * requests, waits at most 60 s after wait extensions in all, and takes at
     * most 64 chained blocks in a row without a byte; past a bound it ends
     * with G81_RETRIES_EXHAUSTED. */
    uint8_t send_seq;
    uint8_t recv_seq;
    int32_t ifsc;

private:
    friend struct Cg81TestAccess;

    /* What the running exchange has taken from the terminal: S-block
     * requests answered, and when its first wait extension came (-1: none). */
    int32_t s_requests_;
    int64_t wait_extension_start_ms_;

    /* Link layer. */
    unsigned char chksum(_kardodll_BLOCK_g81* block);
    int32_t s1_write(_kardodll_BLOCK_g81* block);
    int32_t s1_read(_kardodll_BLOCK_g81* block);
    int32_t s2_put(_kardodll_BLOCK_g81* block);
    int32_t s2_get(_kardodll_BLOCK_g81* block);
    int32_t s2_resync(int nad);
    int32_t send_r0(int nad);
    int32_t s2_read(_kardodll_BLOCK_g81* block);
    int32_t CT_data(int* destination, int* source, int command_length, const unsigned char* command,
                    int* response_length, unsigned char* response);

    /* Commands. */
    /* Sends one command and gives its result; `received`, when given, takes
     * the response length of a response that carries a status word. */
    int32_t command(int destination, const unsigned char* bytes, int length, unsigned char* response,
                    int capacity, int* received = nullptr);
    int32_t cki_reset(unsigned char* response);
    int32_t cki_tstcard(unsigned char* response);
    int32_t cki_request(unsigned char* response);
    int32_t cki_deact();
    int32_t cki_wr16(const char* text, int offset);
    int32_t cki_wr16_raw(const unsigned char* bytes, int offset);
    int _hex(const char* two);

    /* Steps shared by the card operations. */
    int32_t post_and_pump(unsigned int wparam, long lparam);
    int32_t wait_for_card(int interval_ms);
    int32_t refuse_insurance_card();
    int32_t read_blocks(int first, int count);
    int32_t write_blocks();
    int32_t open_for_operation();
    /* Open, wait for a card and read its first `blocks` blocks into the image. */
    int32_t read_image(int blocks);
    /* Open, wait for a card and refuse a health insurance card. */
    int32_t prepare_write();
};

#endif
