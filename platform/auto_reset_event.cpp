#include "platform/auto_reset_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace platform {

AutoResetEvent::AutoResetEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("eventfd failed");
}

AutoResetEvent::~AutoResetEvent() { close(fd_); }

void AutoResetEvent::Set() {
    const uint64_t one = 1;
    // A full counter is impossible here (it would need 2^64-1 Set calls);
    // EAGAIN would only mean "already signalled", which is what we want.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool AutoResetEvent::TryConsume() {
    uint64_t value;
    ssize_t n;
    while ((n = read(fd_, &value, sizeof value)) < 0 && errno == EINTR) {
    }
    return n == sizeof value;
}

void AutoResetEvent::Reset() { TryConsume(); }

bool AutoResetEvent::Wait(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        // Another waiter may have taken the signal between poll and read.
        if (TryConsume()) return true;
        if (timeoutMs == 0) return false;
    }
}

}  // namespace platform
