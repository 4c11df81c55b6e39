#pragma once
// A pseudo-terminal pair for tests: the master end plays the far side of a
// serial cable, the slave path is what the code under test opens.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class PtyPair {
public:
    PtyPair() {
        char name[256];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
        path_ = name;
        // The far end must never block a test: non-blocking, waits go through poll.
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        // Raw on the master side too, so bytes cross unchanged.
        termios t;
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave_ >= 0) close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& path() const { return path_; }
    int master() const { return master_; }
    // A descriptor of the slave kept by the test, for tcgetattr read-back.
    int slave() const { return slave_; }
    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    void Send(const std::vector<unsigned char>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                throw std::runtime_error("pty write failed");
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 1000);
            }
        }
    }
    void Send(const std::string& text) const { Send(std::vector<unsigned char>(text.begin(), text.end())); }

    // Collects bytes from the master until count have come or timeoutMs passes
    // without a new byte.
    std::vector<unsigned char> Receive(size_t count, int timeoutMs = 5000) const {
        std::vector<unsigned char> out;
        unsigned char buf[4096];
        while (out.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) break;
            ssize_t n = read(master_, buf, std::min(sizeof buf, count - out.size()));
            if (n > 0) {
                out.insert(out.end(), buf, buf + n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            }
        }
        return out;
    }

    // True when the master has a byte waiting within timeoutMs.
    bool Readable(int timeoutMs) const {
        pollfd p{master_, POLLIN, 0};
        return poll(&p, 1, timeoutMs) > 0;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace testsupport
