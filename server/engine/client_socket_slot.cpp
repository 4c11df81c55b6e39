#include "server/engine/client_socket_slot.h"

#include <malloc.h>
#include <sys/socket.h>

#include <cerrno>
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
    // A long run with many slow clients must not keep their peak in memory.
    if (large) malloc_trim(0);
    return dropped;
}

size_t ClientOutput::Deliver(const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || failed_) return size;
    size_t sent = 0;
    if (QueuedLocked() == 0) sent = SendLocked(data, size);
    if (failed_) {
        sent_.notify_all();
        return DropQueueLocked() + size - sent;
    }
    const size_t rest = size - sent;
    if (rest == 0) return 0;
    if (head_ > 0 && head_ == queue_.size()) {
        queue_.clear();
        head_ = 0;
    }
    const size_t room = kQueueLimit - QueuedLocked();
    const size_t taken = rest < room ? rest : room;
    if (head_ > 0 && queue_.size() + taken > 2 * kQueueLimit) {
        // Move the unsent bytes to the front instead of growing further; at
        // most once per kQueueLimit bytes sent.
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    queue_.insert(queue_.end(), data + sent, data + sent + taken);
    return rest - taken;
}

size_t ClientOutput::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || QueuedLocked() == 0) return 0;
    const size_t sent = SendLocked(queue_.data() + head_, QueuedLocked());
    head_ += sent;
    sentTotal_ += sent;
    if (sent > 0 || failed_) sent_.notify_all();
    if (failed_) return DropQueueLocked();
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
