#include "server/engine/client_socket_slot.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "server/engine/socket_error.h"

void ClientSocketSlot::Set(int socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    socket_ = socket;
    ++changes_;
}

void ClientSocketSlot::ClearIf(int socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (socket_ == socket) {
        socket_ = -1;
        ++changes_;
    }
}

ClientSocketSlot::SendResult ClientSocketSlot::SendAll(const void* data, size_t size, int stopFd, int stallMs) {
    using Clock = std::chrono::steady_clock;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(stallMs);
    while (done < size) {
        int target;
        uint64_t seen;
        ssize_t n;
        int error = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            target = socket_;
            seen = changes_;
            if (target < 0) return SendResult::NoReceiver;
            n = send(target, bytes + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0) error = errno;
        }
        if (n > 0) {
            done += static_cast<size_t>(n);
            deadline = Clock::now() + std::chrono::milliseconds(stallMs);
            continue;
        }
        if (n < 0 && error == EINTR) continue;
        if (n < 0 && error != EAGAIN && error != EWOULDBLOCK) {
            WSASetLastError(WinsockErrorFromErrno(error));
            return SendResult::Failed;
        }
        // The client's receive window is full: wait for room without the
        // lock. The socket may be closed meanwhile; then the slot has changed
        // and the wait below is merely cut short by the slice.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            WSASetLastError(WinsockErrorFromErrno(ETIMEDOUT));
            return SendResult::Stalled;
        }
        pollfd p[2] = {{target, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        const int slice = left < 20 ? static_cast<int>(left) : 20;
        const int r = poll(p, stopFd >= 0 ? 2 : 1, slice);
        if (r > 0 && stopFd >= 0 && (p[1].revents & POLLIN)) return SendResult::Stopped;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (changes_ != seen) deadline = Clock::now() + std::chrono::milliseconds(stallMs);
        }
    }
    return SendResult::Sent;
}
