// The G81 link: the serial port and the T=1 block protocol towards the terminal.
#include <cerrno>
#include <cstring>

#include "kardo/g81.h"
#include "terminals/link_time.h"
#include "terminals/t1_block.h"
#include "terminals/terminal_port.h"

namespace {
// The terminal's answer to one header byte, and to one read inside a block.
constexpr int kReceiveTimeoutMs = 2000;
constexpr int kSettleMs = 1000;
constexpr int kWriteTimeoutMs = 1000;

// The terminal's line: 8 data bits, even parity, 1 stop bit.
constexpr int kStopBits = 1;
}  // namespace

Cg81::Cg81() : Callcard(), send_seq(1), recv_seq(1), ifsc(32), s_requests_(0), wait_extension_start_ms_(-1) {
    hport = -1;
    isopen = 0;
}

Cg81::Cg81(const Cg81& other) = default;
Cg81& Cg81::operator=(const Cg81& other) = default;

Cg81::~Cg81() { close_card(); }

int32_t Cg81::open_chip(std::string portname) {
    if (terminal_port::IsOpen(hport)) terminal_port::Close(hport);
    if (!terminal_port::Open(hport, portname)) {
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        return -1;
    }
    if (!terminal_port::Configure(hport, kStopBits)) {
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        terminal_port::Close(hport);
        return -1;
    }
    kardo_link::SleepMs(kSettleMs);
    bool cts = false;
    if (!terminal_port::Cts(hport, cts)) return -1;
    return cts ? 0 : -2;
}

unsigned char Cg81::chksum(_kardodll_BLOCK_g81* block) { return t1::Lrc(*block); }

int32_t Cg81::s1_write(_kardodll_BLOCK_g81* block) {
    if (!terminal_port::Write(hport, reinterpret_cast<const unsigned char*>(block), t1::WireSize(*block),
                         kardo_link::ScaledMs(kWriteTimeoutMs))) {
        disperr(static_cast<unsigned>(terminal_port::LastError()));
        terminal_port::Close(hport);
        return -1;
    }
    return 0;
}

int32_t Cg81::s1_read(_kardodll_BLOCK_g81* block) {
    std::memset(block, 0, sizeof *block);
    unsigned char* header[3] = {&block->nad, &block->pcb, &block->len};
    for (unsigned char* byte : header) {
        int n = terminal_port::Read(hport, byte, 1, kardo_link::ScaledMs(kReceiveTimeoutMs));
        if (n < 0) {
            disperr(static_cast<unsigned>(terminal_port::LastError()));
            return -1;
        }
        if (n == 0) return -1;  // the terminal said nothing: a quiet timeout
    }
    // The information field and the LRC: len + 1 bytes, at most 256, which is
    // exactly what inf holds, whatever the length byte says.
    size_t wanted = block->len + 1u;
    size_t got = 0;
    while (got < wanted) {
        int n = terminal_port::Read(hport, block->inf + got, wanted - got, kardo_link::ScaledMs(kReceiveTimeoutMs));
        if (n <= 0) {
            // A block that stops half-way is an error worth showing; a timeout
            // leaves no system error of its own, so it is named as one.
            if (n == 0) terminal_port::SetLastError(ETIMEDOUT);
            disperr(static_cast<unsigned>(terminal_port::LastError()));
            return -1;
        }
        got += static_cast<size_t>(n);
    }
    return 0;
}

int32_t Cg81::s2_put(_kardodll_BLOCK_g81* block) {
    t1::Seal(*block);
    return s1_write(block);
}

int32_t Cg81::s2_get(_kardodll_BLOCK_g81* block) {
    if (s1_read(block) != 0) return -1;
    return t1::LrcOk(*block) ? 0 : G81_BAD_LRC;
}

int32_t Cg81::s2_resync(int nad) {
    send_seq = 1;
    recv_seq = 1;
    _kardodll_BLOCK_g81 block{};
    block.nad = static_cast<unsigned char>(nad);
    block.pcb = t1::kResynchRequest;
    block.len = 0;
    int32_t rc = s2_put(&block);
    if (rc != 0) {
        errno = rc;
        return G81_SEND_FAILED;
    }
    rc = s2_get(&block);
    if (rc != 0) return rc;
    return block.pcb == t1::kResynchResponse ? 0 : G81_RESYNC_FAILED;
}

int32_t Cg81::send_r0(int nad) {
    _kardodll_BLOCK_g81 block{};
    block.nad = static_cast<unsigned char>(nad);
    block.pcb = t1::kRetransmitRequest;
    block.len = 0;
    int32_t rc = s2_put(&block);
    if (rc != 0) {
        errno = rc;
        return G81_SEND_FAILED;
    }
    return 0;
}

int32_t Cg81::s2_read(_kardodll_BLOCK_g81* block) {
    const int nad = block->nad;
    int receives_left = 3;
    int resyncs_left = 3;
    for (;;) {
        if (resyncs_left <= 0) return G81_RETRIES_EXHAUSTED;
        int32_t rc = s2_get(block);
        if (rc != 0) {
            if (--receives_left == 0) {
                if (--resyncs_left > 0) s2_resync(nad);
                return G81_RETRIES_EXHAUSTED;
            }
            if (rc == G81_BAD_LRC) send_r0(nad);
            if (s2_resync(nad) != 0) --resyncs_left;
            continue;
        }

        const unsigned char pcb = block->pcb;
        bool repetition = false;
        if (t1::IsIBlock(pcb)) {
            const unsigned char ns = t1::Ns(pcb);
            if (ns != recv_seq) {
                recv_seq = ns;
                return 0;
            }
            repetition = true;
        } else if (t1::IsRBlock(pcb)) {
            const unsigned char nr = t1::Nr(pcb);
            if (nr != send_seq) return 0;
            repetition = true;
        } else {
            const int type = t1::SType(pcb);
            if (type > 3) return 0;
            if (!t1::AdmitSRequest(type, s_requests_, wait_extension_start_ms_)) return G81_RETRIES_EXHAUSTED;
            _kardodll_BLOCK_g81 answer;
            t1::AnswerSRequest(*block, type, static_cast<unsigned char>(nad), answer, send_seq, recv_seq, ifsc);
            rc = s2_put(&answer);
            if (rc != 0) {
                errno = rc;
                return G81_SEND_FAILED;
            }
            if (type == 2) {
                // After an abort the next block is dropped.
                rc = s2_get(&answer);
                if (rc != 0) return rc;
            }
            continue;
        }

        if (repetition) {
            if (--resyncs_left == 0) return 0;
            s2_resync(nad);
        }
    }
}

int32_t Cg81::CT_data(int* destination, int* source, int command_length, const unsigned char* command,
                      int* response_length, unsigned char* response) {
    if (!terminal_port::IsOpen(hport)) return -1;
    if (command_length < 1) {
        *response_length = 0;
        return 0;
    }
    const int capacity = *response_length;
    const unsigned char nad = t1::Nad(*destination, *source);
    s_requests_ = 0;
    wait_extension_start_ms_ = -1;
    int empty_chain_blocks = 0;
    int received = 0;
    int sent = 0;
    _kardodll_BLOCK_g81 block;
    while (sent < command_length) {
        const int remaining = command_length - sent;
        const int ifs = t1::UsableIfs(ifsc);
        const bool more = remaining > ifs;
        const int size = more ? ifs : remaining;
        block.nad = nad;
        send_seq ^= 1;
        block.pcb = t1::IPcb(send_seq, more);
        block.len = static_cast<unsigned char>(size);
        std::memcpy(block.inf, command + sent, static_cast<size_t>(size));
        sent += size;
        if (s2_put(&block) != 0) {
            errno = 1;
            return G81_SEND_FAILED;
        }
        for (;;) {
            int32_t rc = s2_read(&block);
            if (rc != 0) return rc;
            const unsigned char pcb = block.pcb;
            if (!t1::IsSBlock(pcb)) {
                if (received + block.len > capacity) return G81_RESPONSE_TOO_LONG;
                std::memcpy(response + received, block.inf, block.len);
                received += block.len;
            }
            if (!t1::IsIBlock(pcb)) break;   // an R-block or an S-block
            if (!t1::More(pcb)) break;       // the last I-block of the answer
            empty_chain_blocks = block.len == 0 ? empty_chain_blocks + 1 : 0;
            if (empty_chain_blocks > t1::kMaxEmptyChainBlocks) return G81_RETRIES_EXHAUSTED;
            // Acknowledge the I-block and ask for the next one. The buffer then
            // holds the block just sent again, as the receive expects.
            block.nad = nad;
            block.pcb = t1::RPcb(recv_seq + 1);
            block.len = 0;
            rc = s2_put(&block);
            if (rc != 0) {
                errno = rc;
                return G81_SEND_FAILED;
            }
        }
    }
    *response_length = received;
    return 0;
}
