#pragma once
// Pieces the engine tests share: a view that records what the engine shows,
// a message-box recorder, TCP clients on 127.0.0.1 and waiting helpers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "loopback_port.h"
#include "platform/message_box.h"
#include "server/engine/server_view.h"

namespace enginetest {

// Polls cond every 2 ms for up to timeoutMs; true once it holds.
inline bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

using testsupport::FreePort;

class RecordingView : public ServerView {
public:
    std::string device, dataPort, ctrlPort, bind;
    int maxClients = kDefaultMaxClients;

    std::string DeviceText() override { return Locked(device); }
    std::string DataPortText() override { return Locked(dataPort); }
    std::string CtrlPortText() override { return Locked(ctrlPort); }
    std::string BindText() override { return Locked(bind); }
    int MaxClients() override { return maxClients; }
    void SetButtonText(const std::string& t) override { Set(button_, t); }
    void SetStatusText(const std::string& t) override { Set(status_, t); }
    void SetChannelStatus(Channel c, const std::string& t) override { Set(c == Channel::Data ? data_ : ctrl_, t); }
    void Minimise() override {
        std::lock_guard<std::mutex> l(m_);
        ++minimised_;
    }

    std::string Button() { return Locked(button_); }
    std::string Status() { return Locked(status_); }
    std::string DataStatus() { return Locked(data_); }
    std::string CtrlStatus() { return Locked(ctrl_); }
    int Minimised() {
        std::lock_guard<std::mutex> l(m_);
        return minimised_;
    }

private:
    std::string Locked(const std::string& s) {
        std::lock_guard<std::mutex> l(m_);
        return s;
    }
    void Set(std::string& s, const std::string& t) {
        std::lock_guard<std::mutex> l(m_);
        s = t;
    }
    std::mutex m_;
    std::string button_, status_, data_ = " ", ctrl_ = " ";
    int minimised_ = 0;
};

// Records message boxes instead of showing them, for the life of the object.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = platform::SetMessageBoxHandler([this](const std::string& text, const std::string&, unsigned flags) {
            std::lock_guard<std::mutex> l(m_);
            texts_.push_back(text);
            flags_.push_back(flags);
            return platform::IDOK;
        });
    }
    ~MessageRecorder() { platform::SetMessageBoxHandler(previous_); }
    std::vector<std::string> Texts() {
        std::lock_guard<std::mutex> l(m_);
        return texts_;
    }
    std::vector<unsigned> Flags() {
        std::lock_guard<std::mutex> l(m_);
        return flags_;
    }

private:
    platform::MessageBoxHandler previous_;
    std::mutex m_;
    std::vector<std::string> texts_;
    std::vector<unsigned> flags_;
};

// A blocking TCP client on 127.0.0.1.
class Client {
public:
    // receiveBuffer > 0 sets the socket's receive buffer before connecting,
    // so a client that does not read fills its window after a few KiB.
    explicit Client(uint16_t port, int receiveBuffer = 0, const char* address = "127.0.0.1") {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address, &a.sin_addr);
        a.sin_port = htons(port);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd_);
            throw std::runtime_error("connect failed");
        }
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }
    // "127.0.0.1:<local port>": the peer text the server sees for us.
    std::string PeerText() const {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        char dotted[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &a.sin_addr, dotted, sizeof dotted);
        return std::string(dotted) + ":" + std::to_string(ntohs(a.sin_port));
    }
    void Send(const std::vector<unsigned char>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) throw std::runtime_error("send failed");
            done += static_cast<size_t>(n);
        }
    }
    void Send(const std::string& s) const { Send(std::vector<unsigned char>(s.begin(), s.end())); }
    // Up to count bytes; stops early when nothing comes for timeoutMs.
    std::vector<unsigned char> Receive(size_t count, int timeoutMs = 5000) const {
        std::vector<unsigned char> out;
        unsigned char buf[65536];
        while (out.size() < count) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) break;
            ssize_t n = recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    std::string ReceiveText(size_t count, int timeoutMs = 5000) const {
        auto v = Receive(count, timeoutMs);
        return std::string(v.begin(), v.end());
    }
    // True when the server closed the connection within timeoutMs.
    bool ClosedByServer(int timeoutMs = 5000) const {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        char c;
        return recv(fd_, &c, 1, MSG_PEEK) <= 0;
    }

private:
    int fd_ = -1;
};

// The sum of N over the log lines "<time stamp> - dropped N bytes of device data".
inline uint64_t DroppedInLog(const std::vector<std::string>& lines) {
    static const std::string head = " - dropped ", tail = " bytes of device data";
    uint64_t sum = 0;
    for (const std::string& line : lines) {
        const size_t at = line.find(head);
        if (at == std::string::npos || line.size() < tail.size() ||
            line.compare(line.size() - tail.size(), tail.size(), tail) != 0) {
            continue;
        }
        sum += std::stoull(line.substr(at + head.size()));
    }
    return sum;
}

}  // namespace enginetest
