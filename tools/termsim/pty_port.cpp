#include "termsim/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace termsim {

namespace {
std::runtime_error SystemFailure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}
}  // namespace

PtyPort::PtyPort() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    // Raw from the start: no echo of what the simulator writes before a
    // program has opened the port and applied its own settings.
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw SystemFailure("cannot create a pseudo-terminal");
    slavePath_ = name;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Programs other than root may open the slave.
    fchmod(slave_, 0666);
}

PtyPort::~PtyPort() {
    if (!linkPath_.empty()) unlink(linkPath_.c_str());
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

void PtyPort::CreateLink(const std::string& linkPath) {
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error("cannot create the link " + linkPath +
                                     ": a file of that name exists and is not a link");
        if (unlink(linkPath.c_str()) != 0) throw SystemFailure("cannot replace the link " + linkPath);
    }
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0)
        throw SystemFailure("cannot create the link " + linkPath);
    linkPath_ = linkPath;
}

bool PtyPort::Write(const uint8_t* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = write(master_, data + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            // The program is not reading; wait until there is room again.
            pollfd p{master_, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

void PtyPort::DiscardInput() { tcflush(master_, TCIFLUSH); }

}  // namespace termsim
