#pragma once
// The client-to-server byte stream of a telnet connection, split into the
// data for the device and the telnet commands between them.
//
// IAC IAC is one data byte 0xFF. IAC WILL/WONT/DO/DONT <option> is a
// negotiation, IAC SB <option> ... IAC SE a subnegotiation (IAC IAC inside
// stands for 0xFF), IAC NOP..GA a command without argument. The stream is
// always taken as binary: no CR NUL or CR LF translation, so a client that
// never negotiates has its bytes written unchanged.
//
// Faulty sequences never reach the device and never stop the parser:
// - IAC followed by a byte that is no command: the lone 0xFF is dropped, the
//   byte after it is data (a raw client's unescaped 0xFF);
// - a negotiation cut short by another IAC: the verb is dropped and the IAC
//   starts the next sequence;
// - a subnegotiation cut short by another command (IAC WILL, IAC DO, ...),
//   one that grows beyond kMaxSubnegotiation bytes, or one with IAC and a
//   byte that is no command inside: it is dropped whole, together with what
//   follows it up to its IAC SE or the next command;
// - IAC SE outside a subnegotiation: dropped.
// A sequence left open at the end of one Feed continues with the next.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kGa = 249;
inline constexpr uint8_t kNop = 241;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kOptionBinary = 0;
inline constexpr uint8_t kOptionEcho = 1;
inline constexpr uint8_t kOptionSuppressGoAhead = 3;
inline constexpr uint8_t kOptionComPort = 44;

inline constexpr size_t kMaxSubnegotiation = 256;

struct Piece {
    enum Kind { Data, Negotiation, Subnegotiation, Command };
    Kind kind = Data;
    uint8_t verb = 0;            // Negotiation: WILL/WONT/DO/DONT; Command: its byte
    uint8_t option = 0;          // Negotiation and Subnegotiation
    std::vector<uint8_t> bytes;  // Data: the bytes; Subnegotiation: what follows the option
};

class Parser {
public:
    // Appends to pieces, in stream order, what size bytes complete; data
    // bytes that follow each other form one Data piece.
    void Feed(const uint8_t* data, size_t size, std::vector<Piece>& pieces);

private:
    enum class State { Data, Iac, Verb, SbOption, SbData, SbIac };
    void AddData(uint8_t byte, std::vector<Piece>& pieces);
    // A byte after IAC, outside a subnegotiation.
    void AfterIac(uint8_t byte, std::vector<Piece>& pieces);

    State state_ = State::Data;
    uint8_t verb_ = 0;
    uint8_t sbOption_ = 0;
    bool sbBad_ = false;
    std::vector<uint8_t> sb_;
};

// The bytes of a negotiation, and of a subnegotiation with 0xFF doubled.
std::vector<uint8_t> Negotiation(uint8_t verb, uint8_t option);
std::vector<uint8_t> Subnegotiation(uint8_t option, const std::vector<uint8_t>& body);

}  // namespace telnet
