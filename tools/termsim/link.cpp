#include "termsim/link.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace termsim {

Wire::Wire(PtyPort& port, int stopFd, double timeScale)
    : port_(port), stopFd_(stopFd), timeScale_(timeScale > 0 ? timeScale : 1.0) {}

int Wire::Scaled(int milliseconds) const {
    if (milliseconds <= 0) return milliseconds;
    int scaled = static_cast<int>(milliseconds * timeScale_);
    return scaled < 1 ? 1 : scaled;
}

Wire::Result Wire::Read(uint8_t* buffer, size_t count, int firstTimeoutMs, int nextTimeoutMs, size_t& got) {
    got = 0;
    while (got < count) {
        int timeout = Scaled(got == 0 ? firstTimeoutMs : nextTimeoutMs);
        pollfd fds[2] = {{port_.MasterFd(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
        int r = poll(fds, 2, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Result::Failed;
        }
        if (fds[1].revents & POLLIN) return Result::Stopped;
        if (r == 0) return Result::Timeout;
        ssize_t n = read(port_.MasterFd(), buffer + got, count - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else if (n < 0 && errno == EIO) {
            // No program holds the slave open at the moment; wait for one.
            if (poll(fds + 1, 1, 20) > 0) return Result::Stopped;
        } else {
            return Result::Failed;
        }
    }
    return Result::Ok;
}

bool Wire::Write(const Bytes& bytes) { return port_.Write(bytes.data(), bytes.size()); }

bool Wire::Pause(int milliseconds) {
    pollfd p{stopFd_, POLLIN, 0};
    return poll(&p, 1, Scaled(milliseconds)) == 0;
}

}  // namespace termsim
