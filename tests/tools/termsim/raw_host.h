#pragma once
// A minimal host for the simulator's tests: opens the device as a raw serial
// line and exchanges T=1 blocks byte for byte, so the tests see exactly what
// the simulator puts on the wire.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "t1_block.h"

namespace termsim_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Block(uint8_t nad, uint8_t pcb, const Bytes& inf) { return testsupport::T1Block(nad, pcb, inf); }

class RawHost {
public:
    explicit RawHost(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~RawHost() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    void Send(const Bytes& bytes) { (void)!write(fd_, bytes.data(), bytes.size()); }

    // Reads exactly n bytes or gives what came within the timeout.
    Bytes ReadN(size_t n, int timeoutMs = 3000) {
        Bytes out;
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) break;
            uint8_t buf[512];
            ssize_t got = read(fd_, buf, n - out.size());
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    // One whole block by its length byte; empty when nothing came.
    Bytes ReadBlock(int timeoutMs = 3000) {
        Bytes header = ReadN(3, timeoutMs);
        if (header.size() < 3) return header;
        Bytes rest = ReadN(header[2] + 1u, timeoutMs);
        header.insert(header.end(), rest.begin(), rest.end());
        return header;
    }

    // True when nothing arrives within the time.
    bool Quiet(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, timeoutMs) == 0;
    }

    Bytes Exchange(const Bytes& block) {
        Send(block);
        return ReadBlock();
    }

private:
    int fd_ = -1;
};

}  // namespace termsim_test
