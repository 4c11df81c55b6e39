#include "server/engine/net_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "server/engine/socket_error.h"

std::string PeerTextFor(const sockaddr_in& address) {
    char dotted[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
    char text[INET_ADDRSTRLEN + 16];
    std::snprintf(text, sizeof text, "%s:%ld", dotted, static_cast<long>(ntohs(address.sin_port)));
    return text;
}

bool IsTransientAcceptError(int error) {
    switch (error) {
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
        case ECONNABORTED:
        case EPROTO:
        case EAGAIN:
            return true;
        default:
            return false;
    }
}

CNetSocket::CNetSocket() = default;

CNetSocket::~CNetSocket() { CloseSockets(); }

void CNetSocket::SetError(const char* operation) {
    lastErrno_ = errno;
    SaveSocketErrno();
    lastError_ = std::string(operation) + " - " + SocketErrorText(WSAGetLastError());
}

int CNetSocket::CloseSockets() {
    int result = 0;
    if (socket_ != -1) {
        result = close(socket_);
        socket_ = -1;
    }
    if (listenSocket_ != -1) {
        result = close(listenSocket_);
        listenSocket_ = -1;
    }
    return result;
}

void CNetSocket::SetSocket(int socket) { socket_ = socket; }

int CNetSocket::ReleaseSocket() {
    const int s = socket_;
    socket_ = -1;
    return s;
}

int CNetSocket::Listen(uint16_t port, const std::string& bindAddress) {
    port_ = port;
    if (listenSocket_ != -1) return 0;
    listenSocket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenSocket_ == -1) {
        SetError("socket");
        return -1;
    }
    // Lets a restarted server bind while old connections of the port linger
    // in TIME_WAIT, as it could on the original platform. A port that another
    // socket listens on still fails with "Address already in use".
    const int on = 1;
    setsockopt(listenSocket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (!bindAddress.empty() && inet_pton(AF_INET, bindAddress.c_str(), &address.sin_addr) != 1) {
        errno = EINVAL;
        SetError("bind");
        close(listenSocket_);
        listenSocket_ = -1;
        return -1;
    }
    if (bind(listenSocket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        SetError("bind");
        close(listenSocket_);
        listenSocket_ = -1;
        return -1;
    }
    if (listen(listenSocket_, SOMAXCONN) != 0) {
        SetError("listen");
        close(listenSocket_);
        listenSocket_ = -1;
        return -1;
    }
    return 0;
}

int CNetSocket::Accept() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int s;
    do {
        s = accept4(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    } while (s == -1 && errno == EINTR);
    if (s == -1) {
        SetError("accept");
        if (!IsTransientAcceptError(lastErrno_)) CloseSockets();
        return -1;
    }
    // Small messages must leave at once, not wait for the peer's acknowledgement.
    const int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A peer that vanished without a word (cable pulled, machine gone) ends
    // its connection after about two minutes of silence instead of never.
    const int idleSeconds = 60, intervalSeconds = 15, probes = 4;
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    socket_ = s;
    peer_ = PeerTextFor(peer);
    return s;
}

int CNetSocket::Connect(uint16_t port, const char* address) {
    port_ = port;
    remoteAddress_ = address;
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ == -1) {
        SetError("socket");
        return -1;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = inet_addr(address);
    target.sin_port = htons(port);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        SetError("connect");
        return -1;
    }
    return 0;
}

int CNetSocket::ReceiveExact(void* buffer, int count) {
    if (count <= 0) return 0;
    auto* bytes = static_cast<char*>(buffer);
    int received = 0;
    while (received < count) {
        const ssize_t n = recv(socket_, bytes + received, static_cast<size_t>(count - received), 0);
        if (n > 0) {
            received += static_cast<int>(n);
        } else if (n == 0) {
            return 0;
        } else if (errno != EINTR) {
            SetError("recv");
            return -1;
        }
    }
    return count;
}
