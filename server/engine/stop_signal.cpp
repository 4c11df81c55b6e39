#include "server/engine/stop_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

StopSignal::StopSignal() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("eventfd failed");
}

StopSignal::~StopSignal() { close(fd_); }

void StopSignal::Set() {
    const uint64_t one = 1;
    // Nobody ever reads the counter, so it stays readable from now on.
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool StopSignal::IsSet() const { return Wait(0); }

bool StopSignal::Wait(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}
