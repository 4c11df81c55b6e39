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
// A telnet client (the COM-PORT port) gets device data with each 0xFF
// doubled, and the connection's own answers through the same queue, so they
// never split a device byte pair or each other.
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

    explicit ClientOutput(int socket, bool telnet = false) : socket_(socket), telnet_(telnet) {}
    ClientOutput(const ClientOutput&) = delete;
    ClientOutput& operator=(const ClientOutput&) = delete;

    int socket() const { return socket_; }

    // Sends size bytes after those already queued, as far as the socket takes
    // them now, and queues the rest. Returns the number of bytes dropped: what
    // found no room in the queue, or everything once the client has gone or
    // its socket failed.
    // For a telnet client each 0xFF of data goes out as 0xFF 0xFF.
    size_t Deliver(const uint8_t* data, size_t size);
    // Sends bytes the connection itself answers, as they are, behind what is
    // queued. A telnet client gets them whole or not at all.
    size_t Reply(const uint8_t* data, size_t size);
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
    // Empties the queue of a live telnet client (a purge): a piece the
    // socket has taken in part is sent to its end first, so the client never
    // sees half an escape or half an answer. Returns the bytes dropped.
    size_t Purge();

private:
    // Sends without waiting; returns the bytes the socket took.
    size_t SendLocked(const uint8_t* data, size_t size);
    size_t QueuedLocked() const { return queue_.size() - head_; }
    size_t DropQueueLocked();
    // Queues what the socket did not take of one piece; returns the bytes
    // dropped.
    size_t QueueLocked(const uint8_t* data, size_t size, bool partlySent);
    size_t DeliverLocked(const uint8_t* data, size_t size);

    mutable std::mutex mutex_;
    std::condition_variable sent_;  // bytes left the queue, or it was emptied
    uint64_t sentTotal_ = 0;
    const int socket_;
    const bool telnet_;
    bool closed_ = false;
    bool failed_ = false;
    std::vector<uint8_t> queue_;
    size_t head_ = 0;  // bytes of queue_ already sent
    // Telnet only: where each queued piece ends, counted in bytes ever
    // queued, and whether the socket had taken its first part at once.
    struct PieceEnd {
        uint64_t start;
        uint64_t end;
        bool partlySent;
    };
    std::vector<PieceEnd> pieces_;
    uint64_t queuedTotal_ = 0;
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
