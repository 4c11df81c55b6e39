#ifndef KARDO_PKI_H
#define KARDO_PKI_H

/* Cpki: the driver of PKI chip-card terminals on a serial port. The link is a
 * frame protocol of its own (address, control, length, data, XOR check byte)
 * with three-bit sequence numbers, a reject frame that asks for a frame again
 * and a retransmission buffer; every answer starts with the terminal's status
 * byte (0x81 success, 0x82 its variant, 0x80 no card or a refusal). */
#include <cstdint>
#include <string>

#include <kardo/callcard.h>
#include <kardo/card_records.h>
#include <kardo/export.h>

struct CpkiTestAccess;

class KARDO_API Cpki : public Callcard {
public:
    enum : uint32_t {
        /* The last frame sent: a five-byte header, at most 264 data bytes
         * and the check byte. */
        LAST_FRAME_SIZE = 270,
        MAX_COMMAND = 264,
    };

    Cpki();
    Cpki(const Cpki& other);
    Cpki& operator=(const Cpki& other);
    /* Closes the port; sends nothing to the terminal. */
    virtual ~Cpki();

    /* The select command for card kind 0x04 (F1 04) and the card status (03):
     * -1 when the exchange failed, else the terminal's status, 0x82 given as
     * 0x81. */
    int32_t sap2();
    int32_t stat();

    /* Opens the port if it is not open, starts the link and selects card
     * kind 0x04: 0 ready, -1 port or link failure, -2 no CTS. */
    int32_t crd_open();
    /* Closes the port without a word to the terminal; always 0. */
    int32_t close_card();
    /* Reads 16 card bytes at `address` (0 to 240) unchanged into `text` as 32
     * lower-case hex characters at character 2 * address: -1 when the
     * exchange failed, else the status (0x82 given as 0x81). */
    int32_t rd16direct(char* text, int address);
    /* The 256 bytes of a health insurance card in a buffer that exists once
     * for the library (every call overwrites it), or null. */
    unsigned char* rd_orga_kvk();

    /* Card operations for the card facade. */
    int32_t rcard(std::string& value, _kardodll_tagCHIP* layout);
    int32_t rcardTCE(std::string& value, _kardodll_tagCHIP* layout);
    int32_t wcard(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode);
    int32_t wpatte(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode);
    int32_t wpattr(int number);
    int32_t wcard_service();

    /* Link state. */
    int32_t send_seq;        /* N(S) of the next information frame, 0 to 7 */
    int32_t recv_seq;        /* N(S) expected from the terminal, 0 to 7 */
    int32_t address;         /* its low byte opens every frame sent */
    unsigned char last_frame[LAST_FRAME_SIZE];  /* the last information frame sent */
    int32_t last_frame_len;  /* 0: nothing to send again */

private:
    friend struct CpkiTestAccess;

    /* Port and link. */
    int32_t open_chip(std::string portname);
    void s1_write(const unsigned char* bytes, uint32_t count);
    int32_t s1_read(unsigned char* buffer, uint32_t* count);
    unsigned char chksum(const unsigned char* bytes, uint32_t count);
    void s2_put(unsigned char* frame, uint32_t count);
    int32_t s2_get(unsigned char* frame, uint32_t* count);
    void s2_resync();
    int32_t init();
    void s2_reject();
    /* 0 sent; -1 refused, nothing sent: more than MAX_COMMAND data bytes. */
    int32_t s2_write(const unsigned char* data, uint32_t count);
    int32_t s2_read(unsigned char* buffer, uint32_t* count);
    int32_t io(const unsigned char* command, uint32_t length, unsigned char* answer, uint32_t* count);
    /* io with the answer frame length given instead of taken from the table. */
    int32_t exchange(const unsigned char* command, uint32_t length, uint32_t answer_frame, unsigned char* answer,
                     uint32_t* count);
    /* sap2 and stat: one status command. */
    int32_t status_command(const unsigned char* command, uint32_t length);

    /* Card access. */
    int32_t rd(char* text, int address);
    int32_t rd16(char* text, int address);
    int32_t wr16(const char* text, int address);
    int32_t wr16direct(const unsigned char* bytes, int address);
    int32_t rdvdt(unsigned char* buffer);
    int32_t read16(char* text, int address, bool exchange_halves);
    /* rd_orga_kvk once a card kind answered: the rest of the card. */
    unsigned char* read_kvk(int kind, const unsigned char* probe_answer);

    /* Steps shared by the card operations. */
    int32_t post_and_pump(unsigned int wparam, long lparam);
    int32_t open_for_operation();
    int32_t wait_for_card();
    int32_t insurance_card_test(int32_t reselect_failed);
    int32_t read_blocks(int count);
    int32_t write_blocks(int32_t refused);
    int32_t read_image(int blocks);
    int32_t prepare_write();
};

#endif
