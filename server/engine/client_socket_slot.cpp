#include "server/engine/client_socket_slot.h"

#include <malloc.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <chrono>

namespace {
// A queue that has held this much gives its memory back once it is empty.
constexpr size_t kKeepCapacity = 64 * 1024;
}  // namespace

size_t ClientOutput::SendLocked(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size && !failed_) {
        const ssize_t n = send(socket_, data + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            // The connection's own receive reports why; its bytes are lost.
            failed_ = true;
        }
    }
    return done;
}

size_t ClientOutput::DropQueueLocked() {
    const size_t dropped = QueuedLocked();
    const bool large = queue_.capacity() > kKeepCapacity;
    std::vector<uint8_t>().swap(queue_);
    head_ = 0;
    queuedTotal_ -= dropped;
    pieces_.clear();
    // A long run with many slow clients must not keep their peak in memory.
    if (large) malloc_trim(0);
    return dropped;
}

size_t ClientOutput::QueueLocked(const uint8_t* data, size_t size, bool partlySent) {
    if (head_ > 0 && head_ == queue_.size()) {
        queue_.clear();
        head_ = 0;
    }
    const size_t room = kQueueLimit - QueuedLocked();
    size_t taken = size < room ? size : room;
    // A telnet piece goes whole or not at all; one that went out in part
    // must be finished, or the client would read the next bytes as a command.
    if (telnet_) taken = (partlySent || size <= room) ? size : 0;
    if (taken == 0) return size;
    if (head_ > 0 && queue_.size() + taken > 2 * kQueueLimit) {
        // Move the unsent bytes to the front instead of growing further; at
        // most once per kQueueLimit bytes sent.
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    queue_.insert(queue_.end(), data, data + taken);
    if (telnet_) pieces_.push_back({queuedTotal_, queuedTotal_ + taken, partlySent});
    queuedTotal_ += taken;
    return size - taken;
}

size_t ClientOutput::DeliverLocked(const uint8_t* data, size_t size) {
    if (closed_ || failed_) return size;
    size_t sent = 0;
    if (QueuedLocked() == 0) sent = SendLocked(data, size);
    if (failed_) {
        sent_.notify_all();
        return DropQueueLocked() + size - sent;
    }
    if (sent == size) return 0;
    return QueueLocked(data + sent, size - sent, sent > 0);
}

size_t ClientOutput::Deliver(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!telnet_ || std::memchr(data, 0xFF, size) == nullptr) return DeliverLocked(data, size);
    std::vector<uint8_t> escaped;
    escaped.reserve(size + size / 8 + 1);
    for (size_t i = 0; i < size; ++i) {
        escaped.push_back(data[i]);
        if (data[i] == 0xFF) escaped.push_back(0xFF);
    }
    // Counted in device bytes: a telnet piece is dropped whole or not at all.
    return DeliverLocked(escaped.data(), escaped.size()) == 0 ? 0 : size;
}

size_t ClientOutput::Reply(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    return DeliverLocked(data, size);
}

size_t ClientOutput::Purge() {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t queued = QueuedLocked();
    if (!telnet_ || queued == 0) return DropQueueLocked();
    const uint64_t consumed = queuedTotal_ - queued;
    size_t keep = 0;
    for (const PieceEnd& piece : pieces_) {
        if (piece.end <= consumed) continue;
        if (consumed > piece.start || piece.partlySent) keep = static_cast<size_t>(piece.end - consumed);
        break;
    }
    if (keep == 0) return DropQueueLocked();
    const PieceEnd begun{consumed, consumed + keep, true};
    queue_.resize(head_ + keep);
    queuedTotal_ = consumed + keep;
    pieces_.assign(1, begun);
    sent_.notify_all();
    return queued - keep;
}

size_t ClientOutput::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || QueuedLocked() == 0) return 0;
    const size_t sent = SendLocked(queue_.data() + head_, QueuedLocked());
    head_ += sent;
    sentTotal_ += sent;
    if (sent > 0 || failed_) sent_.notify_all();
    if (failed_) return DropQueueLocked();
    if (telnet_) {
        const uint64_t consumed = queuedTotal_ - QueuedLocked();
        size_t done = 0;
        while (done < pieces_.size() && pieces_[done].end <= consumed) ++done;
        pieces_.erase(pieces_.begin(), pieces_.begin() + static_cast<std::ptrdiff_t>(done));
    }
    if (head_ == queue_.size()) {
        if (queue_.capacity() > kKeepCapacity) std::vector<uint8_t>().swap(queue_);
        queue_.clear();
        head_ = 0;
    }
    return 0;
}

bool ClientOutput::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !closed_ && !failed_ && QueuedLocked() > 0;
}

void ClientOutput::WaitDrained(int stallMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto stall = std::chrono::milliseconds(stallMs);
    while (!closed_ && !failed_ && QueuedLocked() > 0) {
        const uint64_t before = sentTotal_;
        if (!sent_.wait_for(lock, stall, [&] { return closed_ || failed_ || QueuedLocked() == 0 || sentTotal_ != before; })) {
            return;  // the client takes nothing
        }
    }
}

size_t ClientOutput::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    return DropQueueLocked();
}

size_t ClientOutput::Discard() {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t dropped = DropQueueLocked();
    sent_.notify_all();
    return dropped;
}

void ClientSocketSlot::Set(std::shared_ptr<ClientOutput> output) {
    std::lock_guard<std::mutex> lock(mutex_);
    receiver_ = std::move(output);
}

void ClientSocketSlot::ClearIf(int socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (receiver_ && receiver_->socket() == socket) receiver_.reset();
}

int ClientSocketSlot::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return receiver_ ? receiver_->socket() : -1;
}

std::shared_ptr<ClientOutput> ClientSocketSlot::Receiver() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return receiver_;
}
