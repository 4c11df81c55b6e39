#ifndef KARDO_CHERRY_H
#define KARDO_CHERRY_H

/* Ccherry: the driver of Cherry chip-card terminals on a serial port. The
 * link is the T=1 block protocol (host address 2, terminal 1, card 0) on up
 * to eight port slots; on it travel the terminal's commands (card type,
 * reset, deactivate) and select file, READ BINARY and UPDATE BINARY for the
 * 256-byte memory card in its slot. The card operations use slot 0.
 *
 * Results are 0 for success and a negative code for failure; the terminal
 * and card commands deliver the status word SW1 SW2 of their response
 * through an out argument (0x9000 success, 0xFFFF when none came back). */
#include <cstdint>
#include <string>

#include <kardo/callcard.h>
#include <kardo/card_records.h>
#include <kardo/export.h>

#pragma pack(push, 1)
/* One T=1 block, the same layout on the wire and in memory: the LRC follows
 * the len information bytes, so inf has room for it behind the longest field. */
struct _kardodll_BLOCK_cherry {
    unsigned char nad;
    unsigned char pcb;
    unsigned char len;
    unsigned char inf[256];
};
#pragma pack(pop)
static_assert(sizeof(_kardodll_BLOCK_cherry) == 259, "a Cherry block is 259 bytes");

class KARDO_API Ccherry : public Callcard {
public:
    enum { PORT_SLOTS = 8 };

    /* Link result codes beside 0 (success), -1 (port or receive failure) and
     * -2 (no CTS). */
    enum : int {
        CH_BAD_PORT = -1000,
        CH_SEND_FAILED = -1001,
        CH_BAD_LRC = -1004,
        CH_RESYNC_FAILED = -1005,
        CH_RETRIES_EXHAUSTED = -1006,
        CH_RESPONSE_TOO_LONG = -1007,
    };

    Ccherry();
    /* Copies share the open port handles of the original. */
    Ccherry(const Ccherry& other);
    Ccherry& operator=(const Ccherry& other);
    /* Closes every open port slot. */
    virtual ~Ccherry();

    /* Driver state. */
    int32_t mem_type;            /* card type the terminal was last set to; 0 none */
    int32_t type_mode;           /* 1: the card-type probe is pinned to type 1 */
    int port_handle[PORT_SLOTS]; /* terminal port handles, -1 while closed */
    uint8_t send_seq;            /* N(S) of the last I-block sent */
    uint8_t recv_seq;            /* N(S) of the last I-block accepted */
    int32_t ifsc;                /* largest information field the host sends; outside 1 to 254: 32 */
    int32_t read_timeout_units;  /* receive timeout in units of 100 ms */
    int32_t timeouts_applied;    /* the receive timeout was put on a port */

    /* Link. A port is a slot 0 to 7; every operation refuses another slot
     * and touches nothing (-1; CH_data CH_BAD_PORT). */
    /* Opens the slot on the named device (9600 baud, 8 data bits, even
     * parity, 2 stop bits, CTS/RTS handshake): 0 ready, -1 port failure,
     * -2 the terminal does not assert CTS (the port stays open). */
    int32_t CH_init(int port, const char* device);
    /* Closes the slot and clears isopen, mem_type and type_mode. */
    void CH_close(int port);
    unsigned char CH_chksum(_kardodll_BLOCK_cherry* block);
    int32_t CH_s1_write(int port, _kardodll_BLOCK_cherry* block);
    int32_t CH_s1_read(int port, _kardodll_BLOCK_cherry* block);
    int32_t CH_s2_put(int port, _kardodll_BLOCK_cherry* block);
    int32_t CH_s2_get(int port, _kardodll_BLOCK_cherry* block);
    int32_t CH_s2_resync(int nad, int port);
    int32_t CH_send_r0(int nad, int port);
    /* Receives the answer to the block in `block` (the block just sent). One
     * exchange answers at most 64 S-block requests (8 of them ABORT), waits at
     * most 60 s after wait extensions in all and takes at most 64 chained
     * blocks in a row without a byte; past a bound: CH_RETRIES_EXHAUSTED. */
    int32_t CH_s2_read(int port, _kardodll_BLOCK_cherry* block);
    /* Sends one command and collects its response: *response_length is the
     * capacity of *response on entry and the count received on return. */
    int32_t CH_data(int* port, int* destination, int* source, int command_length, const unsigned char* command,
                    int* response_length, unsigned char** response);
    int32_t CH_resync(int nad, int port);

    /* Terminal and card commands; each returns the result of CH_data. */
    int32_t CH_gettype(int port, int& type, uint32_t& status);
    int32_t CH_select(int port, int type, uint32_t& status);
    /* The card's answer to reset and the status word, at most 32 bytes. */
    int32_t CH_reset(int port, unsigned char* response, uint32_t& status);
    int32_t CH_deactivate(int port, uint32_t& status);
    int32_t CH_select_file(int port, uint32_t& status);
    /* length: the capacity of buffer on entry, the count received on return. */
    int32_t CH_readbin(int port, unsigned char* buffer, int& length, int address, int count, uint32_t& status);
    /* The response lands in `data` (its first bytes), as large as `length` says. */
    int32_t CH_writebin(int port, unsigned char* data, int& length, int address, int count, uint32_t& status);

    /* Connection, probe and 16-byte pieces of the card image. */
    int32_t CH_check_card(int port, unsigned char* buffer, int size);
    int32_t crd_open();
    int32_t close_card();
    int32_t CH_stat(int port);
    /* 16 card bytes from `address` (0 to 240) as 32 hex digits at text
     * position 2 × address, halves exchanged; no terminator. 0 or the status
     * word (0xFFFF when none came, or for an address out of range). */
    int32_t CH_sctp_rd16(char* text, int address);
    int32_t CH_sctp_wr16(const char* text, int address);
    int Hex(const char* two);

    /* Card operations for the card facade. */
    int32_t rcard(std::string& value, _kardodll_tagCHIP* layout);
    int32_t wcard(char* value, char* number, _kardodll_tagCHIP* layout, _kardodll_tagCHIP* extra, char mode);
    int32_t wpattr(int number);
    int32_t wcard_service();
    /* The probe, then the card's 256 bytes into the library's one buffer of
     * 280 bytes (bytes 256 and 257: the last status word); null when the
     * probe or a piece fails. Overwritten by the next call. */
    unsigned char* read_cherry_kvk();

private:
    struct Operation;

    bool SlotOk(int port) const;
    /* Dispatches window messages for the link; an abort seen there is kept
     * for the running operation. */
    void LinkPump();
    /* Posts a state or progress message and pumps: -102 on an abort. */
    int32_t post_and_pump(unsigned int wparam, long lparam);
    int32_t command(int port, int destination, const unsigned char* bytes, int length, unsigned char* response,
                    int capacity, uint32_t& status, int* received = nullptr);
    int32_t open_and_wait(int ready_state);
    int32_t refuse_insurance_card();
    int32_t read_pieces(int count);
    int32_t write_pieces(const char* text, int count, unsigned int progress_kind);

    /* The time a receive on each slot waits for a header byte. */
    int read_timeout_ms_[PORT_SLOTS];
    /* WM_CARDABORT seen by the link's own message pumps. */
    bool abort_pending_;
    /* What the running exchange has taken from the terminal: S-block
     * requests answered, and when its first wait extension came (-1: none). */
    int32_t s_requests_;
    int64_t wait_extension_start_ms_;
};

#endif
