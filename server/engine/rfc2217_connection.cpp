#include "server/engine/rfc2217_connection.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/system_error.h"
#include "server/engine/device_channel.h"
#include "server/engine/socket_error.h"
#include "server/engine/telnet_parser.h"

namespace {

using platform::LineSettings;
using platform::Parity;
using LineChange = std::function<void(LineSettings&)>;

// COM-PORT commands as the client sends them; the server answers with the
// same code plus kServerCode.
enum ComPortCommand : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
constexpr uint8_t kServerCode = 100;

// SET-CONTROL values.
enum Control : uint8_t {
    kOutboundFlowQuery = 0,
    kNoFlow = 1,
    kXonXoffFlow = 2,
    kHardwareFlow = 3,
    kBreakQuery = 4,
    kBreakOn = 5,
    kBreakOff = 6,
    kDtrQuery = 7,
    kDtrOn = 8,
    kDtrOff = 9,
    kRtsQuery = 10,
    kRtsOn = 11,
    kRtsOff = 12,
    kInboundFlowQuery = 13,
    kInboundNoFlow = 14,
    kInboundXonXoffFlow = 15,
    kInboundHardwareFlow = 16,
    kDcdFlow = 17,
    kDtrFlow = 18,
    kDsrFlow = 19,
};

constexpr std::string_view kServerSignature = "tovan";
// How often the modem lines are looked at for changes to report.
constexpr int kModemPollMs = 100;

bool Supported(uint8_t option) {
    return option == telnet::kOptionBinary || option == telnet::kOptionSuppressGoAhead ||
           option == telnet::kOptionComPort;
}

class ComPortSession {
public:
    explicit ComPortSession(const ClientParams& params) : params_(params) {}

    // Carries out what the client sent, in order. False when a device write
    // failed (logged): the connection ends.
    bool Handle(const std::vector<telnet::Piece>& pieces) {
        for (const telnet::Piece& piece : pieces) {
            switch (piece.kind) {
                case telnet::Piece::Data:
                    if (!WriteToDevice(piece.bytes.data(), piece.bytes.size())) {
                        LogDeviceWriteError(*params_.context, platform::LastError());
                        return false;
                    }
                    break;
                case telnet::Piece::Negotiation: Negotiate(piece.verb, piece.option); break;
                case telnet::Piece::Subnegotiation:
                    if (piece.option == telnet::kOptionComPort) ComPort(piece.bytes);
                    break;
                case telnet::Piece::Command: break;  // NOP, AYT, BREAK ...: nothing to do
            }
        }
        return true;
    }

    // Once COM-PORT is agreed, tells the client of every change of the
    // modem lines its mask asks for, with the change bits (0x01 CTS,
    // 0x02 DSR, 0x04 ring ended, 0x08 carrier detect) beside the state.
    void NotifyModemChanges() {
        if (!ours_[telnet::kOptionComPort] && !theirs_[telnet::kOptionComPort]) return;
        const uint8_t now = ModemState();
        if (!modemKnown_) {
            modemKnown_ = true;
            lastModem_ = now;
            return;
        }
        const uint8_t changed = now ^ lastModem_;
        if (changed == 0) return;
        const uint8_t delta = ((changed & 0x10) ? 0x01 : 0) | ((changed & 0x20) ? 0x02 : 0) |
                        ((changed & 0x80) ? 0x08 : 0) | ((lastModem_ & 0x40) && !(now & 0x40) ? 0x04 : 0);
        lastModem_ = now;
        if (((changed | delta) & modemMask_) == 0) return;  // nothing the client asked for
        Answer(kNotifyModemState, {static_cast<uint8_t>((now | delta) & modemMask_)});
    }

private:
    // An answer that finds the client's queue full is lost, as device data is.
    void Send(const std::vector<uint8_t>& bytes) {
        if (params_.output) params_.output->Reply(bytes.data(), bytes.size());
    }

    // Answers only changes of state, so two sides can never loop; what is
    // not supported is refused every time it is asked for.
    void Negotiate(uint8_t verb, uint8_t option) {
        bool& mine = ours_[option];
        bool& theirs = theirs_[option];
        switch (verb) {
            case telnet::kWill:
                if (!Supported(option)) {
                    Send(telnet::Negotiation(telnet::kDont, option));
                } else if (!theirs) {
                    theirs = true;
                    Send(telnet::Negotiation(telnet::kDo, option));
                }
                break;
            case telnet::kWont:
                if (theirs) {
                    theirs = false;
                    Send(telnet::Negotiation(telnet::kDont, option));
                }
                break;
            case telnet::kDo:
                if (!Supported(option)) {
                    Send(telnet::Negotiation(telnet::kWont, option));
                } else if (!mine) {
                    mine = true;
                    Send(telnet::Negotiation(telnet::kWill, option));
                }
                break;
            case telnet::kDont:
                if (mine) {
                    mine = false;
                    Send(telnet::Negotiation(telnet::kWont, option));
                }
                break;
            default: break;
        }
    }

    void Answer(uint8_t command, std::vector<uint8_t> value) {
        value.insert(value.begin(), static_cast<uint8_t>(command + kServerCode));
        Send(telnet::Subnegotiation(telnet::kOptionComPort, value));
    }

    // Applies change (none: a query) through the control port's line change
    // and returns the line afterwards; a line that cannot be read is logged
    // and answered as all zero.
    LineSettings Line(const LineChange& change) {
        const DeviceHandle device = g_hDevice.load();
        if (device && !device->IsTerminal()) {
            // A printer has no line to set: what the client asks for is what
            // it gets, and the device is never closed over it.
            if (change) change(noTerminalLine_);
            noLine_ = false;
            return noTerminalLine_;
        }
        LineSettings line;
        std::string error;
        const bool read = ChangeDeviceLineQuietly(device, change, line, error);
        if (!error.empty()) params_.context->log.AddLogLine(error);
        if (!read) {
            line.baudRate = 0;
            line.dataBits = 0;
            line.stopBits = 0;
            line.parity = Parity::None;
            noLine_ = true;
        } else {
            noLine_ = false;
        }
        return line;
    }

    void ComPort(const std::vector<uint8_t>& body) {
        if (body.empty()) return;
        const uint8_t command = body[0];
        const std::vector<uint8_t> value(body.begin() + 1, body.end());
        const bool oneByte = value.size() == 1;
        const uint8_t v = oneByte ? value[0] : 0;
        switch (command) {
            case kSignature:
                if (value.empty()) Answer(kSignature, std::vector<uint8_t>(kServerSignature.begin(), kServerSignature.end()));
                break;
            case kSetBaudRate: {
                if (value.size() != 4) break;
                const uint32_t rate = (uint32_t{value[0]} << 24) | (uint32_t{value[1]} << 16) |
                                      (uint32_t{value[2]} << 8) | uint32_t{value[3]};
                const LineSettings line =
                    Line(rate == 0 ? LineChange() : LineChange([rate](LineSettings& l) { l.baudRate = rate; }));
                const uint32_t r = line.baudRate;
                Answer(kSetBaudRate, {static_cast<uint8_t>(r >> 24), static_cast<uint8_t>(r >> 16),
                                      static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r)});
                break;
            }
            case kSetDataSize: {
                if (!oneByte) break;
                const bool set = v >= 5 && v <= 8;
                const LineSettings line = Line(set ? LineChange([v](LineSettings& l) { l.dataBits = v; }) : LineChange());
                Answer(kSetDataSize, {line.dataBits});
                break;
            }
            case kSetParity: {
                if (!oneByte) break;
                // COM-PORT counts 1 none, 2 odd, 3 even, 4 mark, 5 space: the
                // line's codes plus one. Checking is on with any parity, as
                // the control port sets it.
                const bool set = v >= 1 && v <= 5;
                const LineSettings line = Line(set ? LineChange([v](LineSettings& l) {
                    l.parity = static_cast<Parity>(v - 1);
                    l.parityCheck = v != 1;
                })
                                                   : LineChange());
                Answer(kSetParity, {static_cast<uint8_t>(noLine_ ? 0 : static_cast<uint8_t>(line.parity) + 1)});
                break;
            }
            case kSetStopSize: {
                if (!oneByte) break;
                const bool set = v == 1 || v == 2;  // 3 is one and a half: not on this line
                const LineSettings line = Line(set ? LineChange([v](LineSettings& l) { l.stopBits = v; }) : LineChange());
                Answer(kSetStopSize, {line.stopBits});
                break;
            }
            case kSetControl:
                if (oneByte) Control(v);
                break;
            case kNotifyLineState:
                if (value.empty()) Answer(kNotifyLineState, {0});
                break;
            case kNotifyModemState:
                if (value.empty()) Answer(kNotifyModemState, {static_cast<uint8_t>(ModemState() & modemMask_)});
                break;
            case kSetLineStateMask:
                if (!oneByte) break;
                Answer(kSetLineStateMask, {v});
                break;
            case kSetModemStateMask:
                if (!oneByte) break;
                modemMask_ = v;
                Answer(kSetModemStateMask, {v});
                Answer(kNotifyModemState, {static_cast<uint8_t>(ModemState() & modemMask_)});
                break;
            case kPurgeData:
                if (!oneByte || v < 1 || v > 3) break;
                Purge(v);
                Answer(kPurgeData, {v});
                break;
            default: break;  // FLOWCONTROL-SUSPEND/RESUME and unknown codes
        }
    }

    void Control(uint8_t v) {
        const DeviceHandle device = g_hDevice.load();
        switch (v) {
            case kOutboundFlowQuery:
            case kNoFlow:
            case kXonXoffFlow:
            case kHardwareFlow:
            case kDcdFlow:
            case kDsrFlow: Answer(kSetControl, {FlowSetting() ? kHardwareFlow : kNoFlow}); break;
            case kInboundFlowQuery:
            case kInboundNoFlow:
            case kInboundXonXoffFlow:
            case kInboundHardwareFlow:
            case kDtrFlow:
                Answer(kSetControl, {FlowSetting() ? kInboundHardwareFlow : kInboundNoFlow});
                break;
            case kBreakQuery:
            case kBreakOn:
            case kBreakOff: Answer(kSetControl, {kBreakOff}); break;
            case kDtrQuery:
            case kDtrOn:
            case kDtrOff:
                if (v != kDtrQuery) SetModemLine(device, TIOCM_DTR, v == kDtrOn, dtr_);
                Answer(kSetControl, {ModemLine(device, TIOCM_DTR, dtr_) ? kDtrOn : kDtrOff});
                break;
            case kRtsQuery:
            case kRtsOn:
            case kRtsOff:
                if (v != kRtsQuery) SetModemLine(device, TIOCM_RTS, v == kRtsOn, rts_);
                Answer(kSetControl, {ModemLine(device, TIOCM_RTS, rts_) ? kRtsOn : kRtsOff});
                break;
            default: break;
        }
    }

    bool FlowSetting() {
        const DeviceHandle device = g_hDevice.load();
        if (!device || !device->IsTerminal()) return false;
        LineSettings line;
        std::string error;
        return ChangeDeviceLineQuietly(device, nullptr, line, error) && line.rtsCtsFlow;
    }

    // A device with modem lines is asked; one without (the ioctl fails) keeps
    // what this client asked for, as a null-modem cable would.
    static bool HasModemLines(const DeviceHandle& device, int& bits) {
        return device && device->fd() >= 0 && ioctl(device->fd(), TIOCMGET, &bits) == 0;
    }
    bool ModemLine(const DeviceHandle& device, int line, bool requested) {
        int bits = 0;
        return HasModemLines(device, bits) ? (bits & line) != 0 : requested;
    }
    void SetModemLine(const DeviceHandle& device, int line, bool on, bool& requested) {
        requested = on;
        int bits = 0;
        if (HasModemLines(device, bits)) ioctl(device->fd(), on ? TIOCMBIS : TIOCMBIC, &line);
    }

    // NOTIFY-MODEMSTATE bits: 0x80 carrier detect, 0x40 ring, 0x20 DSR, 0x10 CTS.
    uint8_t ModemState() {
        const DeviceHandle device = g_hDevice.load();
        int bits = 0;
        if (HasModemLines(device, bits)) {
            return static_cast<uint8_t>(((bits & TIOCM_CD) ? 0x80 : 0) | ((bits & TIOCM_RI) ? 0x40 : 0) |
                                        ((bits & TIOCM_DSR) ? 0x20 : 0) | ((bits & TIOCM_CTS) ? 0x10 : 0));
        }
        bool cts = false;
        return device && device->GetCts(cts) && cts ? 0x10 : 0;
    }

    void Purge(uint8_t direction) {
        const DeviceHandle device = g_hDevice.load();
        if (direction & 1) {
            // Unread device input belongs to the receiver of the moment: only
            // that client may throw it away.
            if (device && g_hClientSocket.Get() == params_.socket) device->FlushInput();
            if (params_.output) params_.output->Purge();
        }
        if ((direction & 2) && device && device->IsTerminal()) tcflush(device->fd(), TCOFLUSH);
    }

    const ClientParams& params_;
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
    bool dtr_ = true;  // the device thread raises DTR at open
    bool rts_ = true;
    bool noLine_ = false;
    LineSettings noTerminalLine_;  // 9600 8N1 until the client asks for more
    uint8_t modemMask_ = 0xFF;
    bool modemKnown_ = false;
    uint8_t lastModem_ = 0;
};

}  // namespace

int Rfc2217ClientThreadProc(ClientParams params) {
    const std::string peer = BeginConnection(params);
    ComPortSession session(params);
    telnet::Parser parser;
    std::vector<telnet::Piece> pieces;
    std::vector<uint8_t> buffer(kClientReceiveChunk);
    for (;;) {
        // Answers the socket could not take at once go out as it takes them,
        // also while this client is not the receiver.
        const bool pending = params.output && params.output->Pending();
        pollfd p{params.socket, static_cast<short>(POLLIN | (pending ? POLLOUT : 0)), 0};
        const int ready = poll(&p, 1, kModemPollMs);
        session.NotifyModemChanges();
        if (ready <= 0) continue;  // time-out or EINTR
        if ((p.revents & POLLOUT) && params.output) params.context->CountDropped(params.output->Flush());
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = recv(params.socket, buffer.data(), buffer.size(), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            params.context->log.AddLogLine(SocketErrorText(SaveSocketErrno()));
            break;
        }
        if (n == 0) break;
        pieces.clear();
        parser.Feed(buffer.data(), static_cast<size_t>(n), pieces);
        if (!session.Handle(pieces)) break;
    }
    EndConnection(params, peer);
    close(params.socket);
    return 0;
}
