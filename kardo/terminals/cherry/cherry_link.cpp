// The Cherry link: the port slots and the T=1 block protocol towards the terminal.
#include <cerrno>
#include <cstring>

#include "kardo/cherry.h"
#include "terminals/link_time.h"
#include "terminals/t1_block.h"
#include "terminals/terminal_port.h"

namespace {
// A freshly opened port waits this long for a header byte, until the first
// receive of the object's life puts read_timeout_units on it.
constexpr int kOpenedReadTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 1000;
constexpr int kStopBits = 2;
// A terminal that answers every block with S(ABORT) gets this many answers.
constexpr int kMaxAborts = 8;
}  // namespace

Ccherry::Ccherry()
    : Callcard(),
      mem_type(0),
      type_mode(0),
      send_seq(1),
      recv_seq(1),
      ifsc(32),
      read_timeout_units(10),
      timeouts_applied(0),
      abort_pending_(false),
      s_requests_(0),
      wait_extension_start_ms_(-1) {
    hport = terminal_port::kClosed;
    isopen = 0;
    for (int slot = 0; slot < PORT_SLOTS; ++slot) {
        port_handle[slot] = terminal_port::kClosed;
        read_timeout_ms_[slot] = kOpenedReadTimeoutMs;
    }
}

Ccherry::Ccherry(const Ccherry& other) = default;
Ccherry& Ccherry::operator=(const Ccherry& other) = default;

Ccherry::~Ccherry() {
    close_card();
    for (int& handle : port_handle)
        if (terminal_port::IsOpen(handle)) terminal_port::Close(handle);
}

bool Ccherry::SlotOk(int port) const { return port >= 0 && port < PORT_SLOTS; }

void Ccherry::LinkPump() {
    if (PumpMessages() != 0) abort_pending_ = true;
}

int32_t Ccherry::CH_init(int port, const char* device) {
    if (!SlotOk(port)) return -1;
    int& handle = port_handle[port];
    if (terminal_port::IsOpen(handle)) terminal_port::Close(handle);
    if (!terminal_port::Open(handle, device ? device : "")) return -1;
    if (!terminal_port::Configure(handle, kStopBits)) {
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        terminal_port::Close(handle);
        return -1;
    }
    read_timeout_ms_[port] = kOpenedReadTimeoutMs;
    bool cts = false;
    if (!terminal_port::Cts(handle, cts)) return -1;
    return cts ? 0 : -2;
}

void Ccherry::CH_close(int port) {
    if (!SlotOk(port)) return;
    if (terminal_port::IsOpen(port_handle[port])) terminal_port::Close(port_handle[port]);
    port_handle[port] = terminal_port::kClosed;
    isopen = 0;
    mem_type = 0;
    type_mode = 0;
}

unsigned char Ccherry::CH_chksum(_kardodll_BLOCK_cherry* block) { return t1::Lrc(*block); }

int32_t Ccherry::CH_s1_write(int port, _kardodll_BLOCK_cherry* block) {
    if (!SlotOk(port)) return -1;
    int32_t rc = 0;
    if (!terminal_port::Write(port_handle[port], reinterpret_cast<const unsigned char*>(block), t1::WireSize(*block),
                              kardo_link::ScaledMs(kWriteTimeoutMs))) {
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        terminal_port::Close(port_handle[port]);
        rc = -1;
    }
    LinkPump();
    return rc;
}

int32_t Ccherry::CH_s1_read(int port, _kardodll_BLOCK_cherry* block) {
    if (!SlotOk(port)) return -1;
    if (!timeouts_applied) {
        if (!terminal_port::IsOpen(port_handle[port])) {
            terminal_port::SetLastError(EBADF);
            disperr(static_cast<unsigned>(terminal_port::LastError()));
            CH_close(port);
            return -1;
        }
        read_timeout_ms_[port] = read_timeout_units * 100;
        timeouts_applied = 1;
    }
    std::memset(block, 0, sizeof *block);
    // A read that fails or brings nothing in time ends the receive; a timeout
    // leaves no system error of its own, so it is named as one.
    auto fail = [&](int n) {
        if (n == 0) terminal_port::SetLastError(ETIMEDOUT);
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        CH_close(port);
        return -1;
    };
    unsigned char* header[3] = {&block->nad, &block->pcb, &block->len};
    for (unsigned char* byte : header) {
        int n = terminal_port::Read(port_handle[port], byte, 1, kardo_link::ScaledMs(read_timeout_ms_[port]));
        if (n <= 0) return fail(n);
    }
    const size_t wanted = block->len + 1u;
    size_t got = 0;
    while (got < wanted) {
        LinkPump();
        int n = terminal_port::Read(port_handle[port], block->inf + got, wanted - got,
                                    kardo_link::ScaledMs(read_timeout_units * 100));
        if (n <= 0) return fail(n);
        got += static_cast<size_t>(n);
    }
    return 0;
}

int32_t Ccherry::CH_s2_put(int port, _kardodll_BLOCK_cherry* block) {
    t1::Seal(*block);
    return CH_s1_write(port, block);
}

int32_t Ccherry::CH_s2_get(int port, _kardodll_BLOCK_cherry* block) {
    if (CH_s1_read(port, block) != 0) return -1;
    return t1::LrcOk(*block) ? 0 : CH_BAD_LRC;
}

int32_t Ccherry::CH_s2_resync(int nad, int port) {
    if (!SlotOk(port)) return -1;
    send_seq = 1;
    recv_seq = 1;
    _kardodll_BLOCK_cherry block{};
    block.nad = static_cast<unsigned char>(nad);
    block.pcb = t1::kResynchRequest;
    block.len = 0;
    if (CH_s2_put(port, &block) != 0) return CH_SEND_FAILED;
    int32_t rc = CH_s2_get(port, &block);
    if (rc != 0) return rc;
    return block.pcb == t1::kResynchResponse ? 0 : CH_RESYNC_FAILED;
}

int32_t Ccherry::CH_resync(int nad, int port) { return CH_s2_resync(nad, port); }

int32_t Ccherry::CH_send_r0(int nad, int port) {
    if (!SlotOk(port)) return -1;
    _kardodll_BLOCK_cherry block{};
    block.nad = static_cast<unsigned char>(nad);
    block.pcb = t1::kRetransmitRequest;
    block.len = 0;
    return CH_s2_put(port, &block) == 0 ? 0 : CH_SEND_FAILED;
}

int32_t Ccherry::CH_s2_read(int port, _kardodll_BLOCK_cherry* block) {
    if (!SlotOk(port)) return -1;
    const int nad = block->nad;
    // Each S(ABORT) request opens a fresh wait with counters of its own, whose
    // first answer is dropped; a failure in any of them ends the receive.
    struct Counters {
        int receives_left = 3;
        int resyncs_left = 3;
    } levels[kMaxAborts + 1];
    int depth = 0;
    int aborts = 0;
    for (;;) {
        Counters& c = levels[depth];
        if (c.resyncs_left <= 0) return CH_RETRIES_EXHAUSTED;
        int32_t rc = CH_s2_get(port, block);
        bool answered = false;  // a block for the caller arrived
        if (rc != 0) {
            // While the connection is being set up there are no retries; a
            // receive that closed the port cannot be retried either.
            if (!isopen) return -1;
            if (rc == -1 && !terminal_port::IsOpen(port_handle[port])) return -1;
            if (--c.receives_left == 0) {
                if (c.resyncs_left != 1) CH_s2_resync(nad, port);
                return CH_RETRIES_EXHAUSTED;
            }
            if (CH_s2_resync(nad, port) != 0) --c.resyncs_left;
        } else {
            const unsigned char pcb = block->pcb;
            bool repetition = false;
            if (t1::IsIBlock(pcb)) {
                if (t1::Ns(pcb) != recv_seq) {
                    recv_seq = t1::Ns(pcb);
                    answered = true;
                } else {
                    repetition = true;
                }
            } else if (t1::IsRBlock(pcb)) {
                if (t1::Nr(pcb) != send_seq)
                    answered = true;
                else
                    repetition = true;
            } else {
                const int type = t1::SType(pcb);
                if (type > 3) {
                    answered = true;
                } else {
                    // S-block requests use up no retry counter: the exchange bounds them.
                    if (!t1::AdmitSRequest(type, s_requests_, wait_extension_start_ms_)) return CH_RETRIES_EXHAUSTED;
                    _kardodll_BLOCK_cherry answer;
                    t1::AnswerSRequest(*block, type, static_cast<unsigned char>(nad), answer, send_seq, recv_seq, ifsc);
                    if (CH_s2_put(port, &answer) != 0) return CH_SEND_FAILED;
                    if (type == 2) {
                        if (++aborts == kMaxAborts) return CH_RETRIES_EXHAUSTED;
                        levels[++depth] = Counters{};
                        continue;
                    }
                }
            }
            if (repetition) {
                if (--c.resyncs_left == 0)
                    answered = true;  // the repeated block is taken as the answer
                else
                    CH_s2_resync(nad, port);
            }
        }
        if (answered) {
            if (depth == 0) return 0;
            // The first answer after an abort is dropped; the wait before it goes on.
            --depth;
        }
        if (levels[depth].receives_left <= 0) return CH_RETRIES_EXHAUSTED;
    }
}

int32_t Ccherry::CH_data(int* port, int* destination, int* source, int command_length, const unsigned char* command,
                         int* response_length, unsigned char** response) {
    if (!port || !SlotOk(*port)) return CH_BAD_PORT;
    if (command_length < 1) {
        *response_length = 0;
        return 0;
    }
    const int slot = *port;
    const int capacity = *response_length;
    unsigned char* out = *response;
    const unsigned char nad = t1::Nad(*destination, *source);
    s_requests_ = 0;
    wait_extension_start_ms_ = -1;
    int empty_chain_blocks = 0;
    int received = 0;
    int sent = 0;
    _kardodll_BLOCK_cherry block;
    while (sent < command_length) {
        LinkPump();
        const int room = t1::UsableIfs(ifsc);
        const int remaining = command_length - sent;
        const bool more = remaining > room;
        const int size = more ? room : remaining;
        send_seq ^= 1;
        block.nad = nad;
        block.pcb = t1::IPcb(send_seq, more);
        block.len = static_cast<unsigned char>(size);
        std::memcpy(block.inf, command + sent, static_cast<size_t>(size));
        sent += size;
        if (CH_s2_put(slot, &block) != 0) return CH_SEND_FAILED;
        for (;;) {
            LinkPump();
            int32_t rc = CH_s2_read(slot, &block);
            if (rc != 0) return rc;
            const unsigned char pcb = block.pcb;
            if (!t1::IsSBlock(pcb)) {
                if (received + block.len > capacity) return CH_RESPONSE_TOO_LONG;
                std::memcpy(out + received, block.inf, block.len);
                received += block.len;
            }
            if (!t1::IsIBlock(pcb) || !t1::More(pcb)) break;
            empty_chain_blocks = block.len == 0 ? empty_chain_blocks + 1 : 0;
            if (empty_chain_blocks > t1::kMaxEmptyChainBlocks) return CH_RETRIES_EXHAUSTED;
            // Acknowledge the I-block and ask for the next one. The buffer then
            // holds the block just sent, as the receive expects.
            block.nad = nad;
            block.pcb = t1::RPcb((recv_seq + 1) & 1);
            block.len = 0;
            if (CH_s2_put(slot, &block) != 0) return CH_SEND_FAILED;
        }
    }
    *response_length = received;
    return 0;
}
