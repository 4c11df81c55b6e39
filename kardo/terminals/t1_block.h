#pragma once
// The T=1 block of ISO/IEC 7816-3 as both T=1 drivers keep it: a record with
// `nad`, `pcb`, `len` and `inf[256]`, laid out as on the wire, with the LRC
// stored right behind the `len` information bytes. The templates take either
// driver's block record; what the drivers do with the blocks (retries,
// timeouts, error codes) stays their own.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "terminals/link_time.h"

namespace t1 {

constexpr int kCardAddress = 0;
constexpr int kTerminalAddress = 1;
constexpr int kHostAddress = 2;

constexpr unsigned char kResynchRequest = 0xC0;
constexpr unsigned char kResynchResponse = 0xE0;
constexpr unsigned char kIfsRequest = 0xC1;
constexpr unsigned char kAbortRequest = 0xC2;
constexpr unsigned char kWtxRequest = 0xC3;
// The R-block a host sends after a block with a wrong LRC: N(R) 0, "other error".
constexpr unsigned char kRetransmitRequest = 0x82;

// Bounds on what one exchange takes from a terminal, whatever it sends:
// S-block requests use up no retry counter, and a chained answer may bring
// blocks without bytes, so without them a terminal could hold an exchange
// for ever. Past either bound the exchange ends as when the retries are used up.
constexpr int kMaxEmptyChainBlocks = 64;  // chained I-blocks in a row without a byte
constexpr int kMaxSRequests = 64;         // S-block requests answered in one exchange
constexpr int kMaxWaitExtensionMs = 60000;  // waiting after WTX requests, in all

// The information field size a host puts in one block: the field as the
// caller or the terminal set it when it lies in 1 to 254, else the default 32.
constexpr int UsableIfs(int ifsc) { return ifsc >= 1 && ifsc <= 254 ? ifsc : 32; }

// Destination in bits 6-4, source in bits 2-0: 0x12 host to terminal, 0x02 host to card.
constexpr unsigned char Nad(int destination, int source) {
    return static_cast<unsigned char>(((destination & 7) << 4) | (source & 7));
}

// A received block is classed by the two top bits of its pcb alone.
constexpr bool IsIBlock(unsigned char pcb) { return (pcb & 0x80) == 0; }
constexpr bool IsRBlock(unsigned char pcb) { return (pcb & 0xC0) == 0x80; }
constexpr bool IsSBlock(unsigned char pcb) { return (pcb & 0xC0) == 0xC0; }
// I-block: N(S) in bit 6, more data follows in bit 5.
constexpr unsigned char Ns(unsigned char pcb) { return (pcb >> 6) & 1; }
constexpr bool More(unsigned char pcb) { return (pcb & 0x20) != 0; }
// R-block: N(R), the sequence number the sender expects next, in bit 4.
constexpr unsigned char Nr(unsigned char pcb) { return (pcb >> 4) & 1; }
// S-block: the type code; requests 0 to 3, responses 0x20 to 0x23.
constexpr int SType(unsigned char pcb) { return pcb & 0x3F; }

constexpr unsigned char IPcb(int ns, bool more) {
    return static_cast<unsigned char>(((ns & 1) << 6) | (more ? 0x20 : 0));
}
constexpr unsigned char RPcb(int nr) { return static_cast<unsigned char>(0x80 | ((nr & 1) << 4)); }
constexpr unsigned char SResponse(int type) { return static_cast<unsigned char>(0xE0 | (type & 0x1F)); }

// The exclusive OR of every byte from nad to the last information byte.
template <class Block>
unsigned char Lrc(const Block& block) {
    unsigned char lrc = block.nad ^ block.pcb ^ block.len;
    for (int i = 0; i < block.len; ++i) lrc ^= block.inf[i];
    return lrc;
}

// Stores the LRC behind the information field; inf has room for it behind
// the longest field.
template <class Block>
void Seal(Block& block) {
    static_assert(sizeof block.inf == 256, "a T=1 block has 256 bytes of inf");
    block.inf[block.len] = Lrc(block);
}

template <class Block>
bool LrcOk(const Block& block) {
    return Lrc(block) == block.inf[block.len];
}

// nad, pcb, len, the information bytes and the LRC.
template <class Block>
size_t WireSize(const Block& block) {
    return block.len + 4u;
}

// Counts an S-block request of `type` (0 to 3) against the bounds of the
// running exchange; false once it lies past them.
inline bool AdmitSRequest(int type, int32_t& s_requests, int64_t& wait_extension_start_ms) {
    if (++s_requests > kMaxSRequests) return false;
    if (type != 3) return true;
    const int64_t now = kardo_link::NowMs();
    if (wait_extension_start_ms < 0) wait_extension_start_ms = now;
    return now - wait_extension_start_ms <= kardo_link::ScaledMs(kMaxWaitExtensionMs);
}

// Builds the host's answer to an S-block request of `type` (0 to 3) and does
// what the request asks of the link: RESYNCH starts both sequence numbers
// again, IFS sets the information field size, and IFS and WTX are answered
// with the request's own information field. An IFS of 0 would leave no room
// for a command byte: such a request is answered but not followed.
template <class Block, class Sequence>
void AnswerSRequest(const Block& request, int type, unsigned char nad, Block& answer, Sequence& send_seq,
                    Sequence& recv_seq, int32_t& ifsc) {
    answer = Block{};
    answer.nad = nad;
    answer.pcb = SResponse(type);
    if (type == 0) {
        send_seq = 1;
        recv_seq = 1;
    } else if (type == 1 || type == 3) {
        answer.len = request.len;
        std::memcpy(answer.inf, request.inf, request.len);
        if (type == 1 && request.len > 0 && request.inf[0] != 0) ifsc = request.inf[0];
    }
}

}  // namespace t1
