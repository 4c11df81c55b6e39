// A card terminal on the serial port of another machine that a tovan server
// makes reachable: tovan://HOST:DATAPORT:CTRLPORT, or tovan://HOST:DATAPORT
// without line control.
//
// tovan writes what it receives on its data port to the device, takes line
// settings as frames on its control port, and sends the device's bytes to
// the client it accepted last, whichever port that was, and nothing else on
// either connection. So the line writes to the data connection and reads
// from both; both stay open for the life of the line. There are no modem
// lines on the network: CTS reads on, and the flow control is whatever the
// serving end has set.
#include "terminals/tovan_line.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/baud_rates.h"
#include "platform/system_error.h"

namespace terminal_port {

namespace {

constexpr char kScheme[] = "tovan://";
// The whole open, name resolution aside, takes at most this long.
constexpr int kOpenTimeoutMs = 5000;
// tovan's listeners take a connection within microseconds of its arrival;
// the pause lets both be taken before the driver speaks, so that the
// terminal's answers go to the connection accepted last from the start.
constexpr int kAcceptSettleMs = 5;
constexpr uint32_t kLineRate = 9600;

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// A TCP connection to host:port within the time left before the deadline.
int Connect(const sockaddr_in& host, uint16_t port, Clock::time_point deadline) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        platform::SaveErrno();
        return -1;
    }
    sockaddr_in address = host;
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            platform::SaveErrno();
            close(fd);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do ready = poll(&p, 1, MsUntil(deadline));
        while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready == 0) error = ETIMEDOUT;
        else if (ready < 0) error = errno;
        else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error != 0) {
            platform::SetLastError(error);
            close(fd);
            return -1;
        }
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

class TovanLine : public TerminalLine {
public:
    ~TovanLine() override { Close(); }

    bool Open(const std::string& name) {
        std::string host;
        uint16_t dataPort = 0;
        if (!Parse(name, host, dataPort, ctrlPort_)) {
            platform::SetLastError(EINVAL, name + ": not a tovan address; the form is tovan://HOST:DATAPORT:CTRLPORT "
                                                  "or tovan://HOST:DATAPORT");
            return false;
        }
        sockaddr_in address{};
        if (!Resolve(name, host, address)) return false;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kOpenTimeoutMs);
        if (ctrlPort_ != 0 && (ctrl_ = Connect(address, ctrlPort_, deadline)) < 0) return Fail();
        if ((data_ = Connect(address, dataPort, deadline)) < 0) return Fail();
        std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptSettleMs));
        return true;
    }

    bool Configure(int stopBits) override {
        if (ctrl_ < 0) return true;  // no line control: the line stays as the server has it
        const int rate = platform::IndexForBaudRate(kLineRate);
        if (rate < 0) {
            platform::SetLastError(EINVAL, std::to_string(kLineRate) +
                                               " baud cannot be set through tovan's control port");
            return false;
        }
        // Rate, even parity (checked), 8 data bits, stop bits: one frame each.
        const unsigned char frames[] = {'1', 1, static_cast<unsigned char>(rate), '2', 1, 2, '3', 1, 8,
                                        '4', 1, static_cast<unsigned char>(stopBits)};
        return SendAll(ctrl_, frames, sizeof frames, kOpenTimeoutMs);
    }

    int Read(unsigned char* buffer, size_t size, int timeoutMs) override {
        if (size == 0) return 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
        for (;;) {
            // Should tovan take the two connections only after the terminal
            // has begun to answer, the bytes sent before its second accept
            // went to the first connection and come before every byte of the
            // second: so the connection that delivered last is read first,
            // and only when it has nothing does the other one have its turn.
            // Before any byte came, the control connection (made first) leads.
            const int first = ctrl_ >= 0 && lastSource_ != data_ ? ctrl_ : data_;
            const int second = first == data_ ? ctrl_ : data_;
            pollfd p[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
            const nfds_t count = ctrl_ >= 0 ? 2 : 1;
            int ready = poll(p, count, MsUntil(deadline));
            if (ready < 0) {
                if (errno == EINTR) continue;
                platform::SaveErrno();
                return -1;
            }
            if (ready == 0) return 0;
            size_t got = 0;
            for (nfds_t i = 0; i < count && got == 0; ++i) {
                if (p[i].revents == 0) continue;
                ssize_t n = recv(p[i].fd, buffer, size, MSG_DONTWAIT);
                if (n > 0) {
                    got = static_cast<size_t>(n);
                    lastSource_ = p[i].fd;
                } else if (n == 0) {
                    // tovan went away (or dropped this client): a pulled cable.
                    platform::SetLastError(ECONNRESET);
                    return -1;
                } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    platform::SaveErrno();
                    return -1;
                }
            }
            if (got > 0) return static_cast<int>(got);
        }
    }

    bool Write(const unsigned char* data, size_t size, int timeoutMs) override {
        return SendAll(data_, data, size, timeoutMs);
    }

    bool Cts(bool& on) override {
        on = true;
        return true;
    }

    void Close() override {
        if (data_ >= 0) close(data_);
        if (ctrl_ >= 0) close(ctrl_);
        data_ = ctrl_ = -1;
    }

private:
    static bool Parse(const std::string& name, std::string& host, uint16_t& dataPort, uint16_t& ctrlPort) {
        std::string rest = name.substr(sizeof kScheme - 1);
        size_t first = rest.find(':');
        if (first == std::string::npos || first == 0) return false;
        host = rest.substr(0, first);
        std::string ports = rest.substr(first + 1);
        size_t second = ports.find(':');
        ctrlPort = 0;
        if (second == std::string::npos) return ParsePort(ports, dataPort);
        return ParsePort(ports.substr(0, second), dataPort) && ParsePort(ports.substr(second + 1), ctrlPort);
    }

    static bool Resolve(const std::string& name, const std::string& host, sockaddr_in& address) {
        addrinfo hints{};
        hints.ai_family = AF_INET;  // tovan listens on IPv4
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (rc != 0 || found == nullptr) {
            platform::SetLastError(EHOSTUNREACH, name + ": cannot find host " + host + " (" + gai_strerror(rc) + ")");
            return false;
        }
        std::memcpy(&address, found->ai_addr, sizeof address);
        freeaddrinfo(found);
        return true;
    }

    // Sends every byte; a connection that takes none for timeoutMs fails
    // with ETIMEDOUT, a dropped one with the system's reason.
    static bool SendAll(int fd, const unsigned char* data, size_t size, int timeoutMs) {
        size_t sent = 0;
        while (sent < size) {
            ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                platform::SaveErrno();
                return false;
            }
            pollfd p{fd, POLLOUT, 0};
            int ready = poll(&p, 1, timeoutMs > 0 ? timeoutMs : 0);
            if (ready == 0) {
                platform::SetLastError(ETIMEDOUT);
                return false;
            }
            if (ready < 0 && errno != EINTR) {
                platform::SaveErrno();
                return false;
            }
        }
        return true;
    }

    bool Fail() {
        const int error = platform::LastError();
        Close();
        platform::SetLastError(error);
        return false;
    }

    int data_ = -1;
    int ctrl_ = -1;
    int lastSource_ = -1;  // the connection the last bytes came from
    uint16_t ctrlPort_ = 0;
};

}  // namespace

bool IsTovanName(const std::string& name) { return name.compare(0, sizeof kScheme - 1, kScheme) == 0; }

std::unique_ptr<TerminalLine> OpenTovanLine(const std::string& name) {
    auto line = std::make_unique<TovanLine>();
    if (!line->Open(name)) return nullptr;
    return line;
}

}  // namespace terminal_port
