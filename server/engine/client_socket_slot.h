#pragma once
// The receiver of the device's data: the most recently accepted client
// socket, on either port (g_hClientSocket in server_state.h).
//
// A connection that ends clears the slot (ClearIf) before it closes its
// socket. Sends happen under the slot's lock, so once ClearIf has returned no
// send to that socket is running or can start, and the descriptor number may
// be reused safely. The lock is held only for single non-blocking send calls:
// waiting for a slow client happens outside it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

class ClientSocketSlot {
public:
    enum class SendResult { Sent, NoReceiver, Failed, Stalled, Stopped };

    // Makes socket the receiver (every successful accept).
    void Set(int socket);
    // Empties the slot if it still names socket.
    void ClearIf(int socket);
    // The current receiver, -1 when none.
    int Get() const { return socket_.load(); }

    // Sends all size bytes to the receiver, completing partial sends. When
    // the receiver changes half-way, the rest goes to the new receiver; when
    // the slot becomes empty the rest is dropped (NoReceiver). A receiver that
    // takes no byte for stallMs ends the send (Stalled); stopFd becoming
    // readable ends it too (Stopped); a send error drops the rest (Failed,
    // the reason as the thread's last socket error).
    SendResult SendAll(const void* data, size_t size, int stopFd, int stallMs);

private:
    mutable std::mutex mutex_;
    std::atomic<int> socket_{-1};
    uint64_t changes_ = 0;  // under mutex_: tells a waiting sender the receiver changed
};
