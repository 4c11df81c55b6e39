#pragma once
// The receiver of the device's data and what each client still has to get.
//
// ClientOutput: one per accepted client. The device thread hands it the
// bytes it read while this client was the receiver; the socket takes what it
// can at once, the rest waits in the client's queue (up to kQueueLimit
// bytes) and is sent as the socket takes more, also after a newer client has
// become the receiver. Nothing here waits for a client: a slow client fills
// its own queue, and what does not fit is dropped and counted. A connection
// that ends closes its output before it closes its socket; from then on no
// send to that socket runs or starts, so the descriptor number may be reused.
//
// ClientSocketSlot: the receiver of the moment, the most recently accepted
// client on either port (g_hClientSocket in server_state.h); empty when that
// client has gone.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class ClientOutput {
public:
    static constexpr size_t kQueueLimit = 1024 * 1024;

    explicit ClientOutput(int socket) : socket_(socket) {}
    ClientOutput(const ClientOutput&) = delete;
    ClientOutput& operator=(const ClientOutput&) = delete;

    int socket() const { return socket_; }

    // Sends size bytes after those already queued, as far as the socket takes
    // them now, and queues the rest. Returns the number of bytes dropped: what
    // found no room in the queue, or everything once the client has gone or
    // its socket failed.
    size_t Deliver(const uint8_t* data, size_t size);
    // Sends queued bytes as far as the socket takes them now. Returns the
    // bytes dropped (the whole queue when the socket failed).
    size_t Flush();
    // True while queued bytes wait for the socket.
    bool Pending() const;
    // Waits while bytes are queued and the socket keeps taking them: a
    // client that has stopped sending (half-closed) still gets what was read
    // for it. Returns when the queue is empty, the socket failed, or no byte
    // left for stallMs.
    void WaitDrained(int stallMs);
    // The connection ends: nothing is sent any more. Returns the bytes that
    // were still queued.
    size_t Close();
    // Empties the queue (the device thread ends); returns what it held.
    size_t Discard();

private:
    // Sends without waiting; returns the bytes the socket took.
    size_t SendLocked(const uint8_t* data, size_t size);
    size_t QueuedLocked() const { return queue_.size() - head_; }
    size_t DropQueueLocked();

    mutable std::mutex mutex_;
    std::condition_variable sent_;  // bytes left the queue, or it was emptied
    uint64_t sentTotal_ = 0;
    const int socket_;
    bool closed_ = false;
    bool failed_ = false;
    std::vector<uint8_t> queue_;
    size_t head_ = 0;  // bytes of queue_ already sent
};

class ClientSocketSlot {
public:
    // Makes output the receiver (every successful accept).
    void Set(std::shared_ptr<ClientOutput> output);
    // Empties the slot if it still names socket.
    void ClearIf(int socket);
    // The receiver's socket, -1 when none.
    int Get() const;
    std::shared_ptr<ClientOutput> Receiver() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<ClientOutput> receiver_;
};
