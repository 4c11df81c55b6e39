#include "server/engine/telnet_parser.h"

namespace telnet {

void Parser::AddData(uint8_t byte, std::vector<Piece>& pieces) {
    if (pieces.empty() || pieces.back().kind != Piece::Data) pieces.push_back(Piece{});
    pieces.back().bytes.push_back(byte);
}

void Parser::AfterIac(uint8_t byte, std::vector<Piece>& pieces) {
    if (byte == kIac) {
        AddData(kIac, pieces);
        state_ = State::Data;
    } else if (byte >= kWill) {
        verb_ = byte;
        state_ = State::Verb;
    } else if (byte == kSb) {
        sb_.clear();
        sbBad_ = false;
        state_ = State::SbOption;
    } else if (byte >= kNop) {
        Piece piece;
        piece.kind = Piece::Command;
        piece.verb = byte;
        pieces.push_back(std::move(piece));
        state_ = State::Data;
    } else if (byte == kSe) {
        state_ = State::Data;  // no subnegotiation to end
    } else {
        AddData(byte, pieces);  // a stray 0xFF before an ordinary byte
        state_ = State::Data;
    }
}

void Parser::Feed(const uint8_t* data, size_t size, std::vector<Piece>& pieces) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    AddData(byte, pieces);
                }
                break;
            case State::Iac:
                AfterIac(byte, pieces);
                break;
            case State::Verb:
                if (byte == kIac) {
                    state_ = State::Iac;  // cut short: the next sequence begins
                } else {
                    Piece piece;
                    piece.kind = Piece::Negotiation;
                    piece.verb = verb_;
                    piece.option = byte;
                    pieces.push_back(std::move(piece));
                    state_ = State::Data;
                }
                break;
            case State::SbOption:
                if (byte == kIac) {
                    sbBad_ = true;
                    state_ = State::SbIac;
                } else {
                    sbOption_ = byte;
                    state_ = State::SbData;
                }
                break;
            case State::SbData:
                if (byte == kIac) {
                    state_ = State::SbIac;
                } else if (sb_.size() < kMaxSubnegotiation) {
                    sb_.push_back(byte);
                } else {
                    sbBad_ = true;
                }
                break;
            case State::SbIac:
                if (byte == kIac) {
                    if (sb_.size() < kMaxSubnegotiation) {
                        sb_.push_back(kIac);
                    } else {
                        sbBad_ = true;
                    }
                    state_ = State::SbData;
                } else if (byte == kSe) {
                    if (!sbBad_) {
                        Piece piece;
                        piece.kind = Piece::Subnegotiation;
                        piece.option = sbOption_;
                        piece.bytes = std::move(sb_);
                        pieces.push_back(std::move(piece));
                    }
                    sb_.clear();
                    state_ = State::Data;
                } else if (byte >= kNop) {
                    // The subnegotiation was cut short by the next command.
                    sb_.clear();
                    AfterIac(byte, pieces);
                } else {
                    sbBad_ = true;
                    state_ = State::SbData;
                }
                break;
        }
    }
}

std::vector<uint8_t> Negotiation(uint8_t verb, uint8_t option) { return {kIac, verb, option}; }

std::vector<uint8_t> Subnegotiation(uint8_t option, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out{kIac, kSb, option};
    for (uint8_t b : body) {
        out.push_back(b);
        if (b == kIac) out.push_back(kIac);
    }
    out.push_back(kIac);
    out.push_back(kSe);
    return out;
}

}  // namespace telnet
