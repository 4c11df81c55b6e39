#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace platform {
namespace {

// Empties the counter; true when it held a signal.
bool Drain(int fd) {
    uint64_t value;
    ssize_t n;
    while ((n = read(fd, &value, sizeof value)) < 0 && errno == EINTR) {
    }
    return n == sizeof value;
}

bool Readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

}  // namespace

Event::Event(Mode mode) : mode_(mode), fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("eventfd failed");
}

Event::~Event() { close(fd_); }

void Event::Set() {
    const uint64_t one = 1;
    // A full counter is impossible here (it would need 2^64-1 Set calls);
    // EAGAIN would only mean "already signalled", which is what we want.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Event::Reset() { Drain(fd_); }

bool Event::TryConsume() const { return mode_ == Mode::AutoReset ? Drain(fd_) : Readable(fd_, 0); }

bool Event::Wait(int timeoutMs) const {
    if (mode_ == Mode::ManualReset) return Readable(fd_, timeoutMs);
    for (;;) {
        if (!Readable(fd_, timeoutMs)) return false;
        // Another waiter may have taken the signal between poll and read.
        if (Drain(fd_)) return true;
        if (timeoutMs == 0) return false;
    }
}

}  // namespace platform
