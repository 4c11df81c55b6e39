#include "platform/serial_port.h"

// termios2 and the TCSETS2 ioctl come from the kernel headers; glibc's
// <termios.h> declares a different struct termios and must not be included
// in this file.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/system_error.h"

namespace platform {
namespace {

// Fails the operation: keeps errno as the thread's last error.
bool Fail() {
    SaveErrno();
    return false;
}

bool FailWith(int code) {
    errno = code;
    return Fail();
}

// The kernel's speed codes for the classic rates; any other rate goes
// through BOTHER with the number itself.
tcflag_t SpeedCode(uint32_t baud) {
    switch (baud) {
        case 50: return B50;
        case 75: return B75;
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 500000: return B500000;
        case 576000: return B576000;
        case 921600: return B921600;
        case 1000000: return B1000000;
        default: return BOTHER;
    }
}

// Unix98 pseudo-terminal slaves (/dev/pts/N) and the legacy BSD ones.
bool IsPseudoTerminalDevice(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return (m >= 136 && m <= 143) || m == 3 || m == 2 || (m == 5 && minor(st.st_rdev) == 2);
}

bool IsNoModemLinesError(int e) { return e == ENOTTY || e == EINVAL; }

bool CtsOffByEnvironment(const std::string& path) {
    const char* list = std::getenv("PLATFORM_PTY_CTS_OFF");
    if (list == nullptr || *list == '\0') return false;
    const std::string all(list);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        const std::string item = all.substr(start, end - start);
        if (item == "*" || (!item.empty() && item == path)) return true;
        start = end + 1;
    }
    return false;
}

// Waits until fd is readable (events = POLLIN) or writable (POLLOUT).
// Returns 1 when ready, 0 on time-out, -1 on failure.
int WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        // POLLHUP/POLLERR count as ready: the following read or write reports them.
        return r > 0 ? 1 : 0;
    }
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail();
    // The advisory lock also keeps out a second opener with root rights,
    // whom TIOCEXCL does not stop.
    bool locked = false;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        locked = true;
    } else if (errno == EWOULDBLOCK) {
        ::close(fd);
        return FailWith(EBUSY);
    }
    const bool terminal = isatty(fd) == 1;
    if (terminal && ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        if (locked) flock(fd, LOCK_UN);
        ::close(fd);
        return FailWith(e);
    }
    fd_ = fd;
    path_ = path;
    locked_ = locked;
    isTerminal_ = terminal;
    isPseudoTerminal_ = terminal && IsPseudoTerminalDevice(fd);
    appliedDataBits_ = 8;
    appliedParity_ = Parity::None;
    return true;
}

void SerialPort::Close() {
    if (fd_ < 0) return;
    // Exclusivity would otherwise outlive the close while another process
    // holds the other end of a pseudo-terminal.
    if (isTerminal_) ioctl(fd_, TIOCNXCL);
    if (locked_) flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    locked_ = false;
    isTerminal_ = false;
    isPseudoTerminal_ = false;
}

bool SerialPort::SetSettings(const LineSettings& s) {
    if (fd_ < 0) return FailWith(EBADF);
    if (s.baudRate == 0 || s.dataBits < 5 || s.dataBits > 8 || (s.stopBits != 1 && s.stopBits != 2) ||
        static_cast<unsigned>(s.parity) > static_cast<unsigned>(Parity::Space)) {
        return FailWith(EINVAL);
    }
    termios2 t;
    if (ioctl(fd_, TCGETS2, &t) != 0) return Fail();

    // Raw mode: bytes pass unchanged both ways.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | IMAXBEL | IUCLC);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    const tcflag_t speed = SpeedCode(s.baudRate);
    t.c_cflag |= speed;  // CIBAUD left 0: input speed follows output speed
    t.c_ispeed = s.baudRate;
    t.c_ospeed = s.baudRate;

    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[s.dataBits - 5];
    if (s.stopBits == 2) t.c_cflag |= CSTOPB;
    switch (s.parity) {
        case Parity::None: break;
        case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
        case Parity::Even: t.c_cflag |= PARENB; break;
        case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (s.parityCheck) {
        t.c_iflag |= INPCK;
    } else {
        t.c_iflag &= ~INPCK;
    }
    if (s.rtsCtsFlow) t.c_cflag |= CRTSCTS;

    if (ioctl(fd_, TCSETS2, &t) != 0) return Fail();
    appliedDataBits_ = s.dataBits;
    appliedParity_ = s.parity;
    return true;
}

bool SerialPort::GetSettings(LineSettings& s) const {
    if (fd_ < 0) return FailWith(EBADF);
    termios2 t;
    if (ioctl(fd_, TCGETS2, &t) != 0) return Fail();
    s.baudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
        case CS5: s.dataBits = 5; break;
        case CS6: s.dataBits = 6; break;
        case CS7: s.dataBits = 7; break;
        default: s.dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB)) {
        s.parity = Parity::None;
    } else if (t.c_cflag & CMSPAR) {
        s.parity = (t.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
    } else {
        s.parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    }
    if (isPseudoTerminal_) {
        s.dataBits = appliedDataBits_;
        s.parity = appliedParity_;
    }
    s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.rtsCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    return true;
}

bool SerialPort::SetDtr(bool on) {
    if (fd_ < 0) return FailWith(EBADF);
    if (!isTerminal_) return FailWith(ENOTTY);
    if (isPseudoTerminal_) return true;
    int bits = TIOCM_DTR;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
    if (IsNoModemLinesError(errno)) return true;
    return Fail();
}

bool SerialPort::GetCts(bool& on) const {
    if (fd_ < 0) return FailWith(EBADF);
    if (!isTerminal_) return FailWith(ENOTTY);
    int bits = 0;
    if (!isPseudoTerminal_ && ioctl(fd_, TIOCMGET, &bits) == 0) {
        on = (bits & TIOCM_CTS) != 0;
        return true;
    }
    if (!isPseudoTerminal_ && !IsNoModemLinesError(errno)) return Fail();
    // No modem lines: a null-modem cable, CTS on unless a test says otherwise.
    on = !(ctsForcedOff_ || CtsOffByEnvironment(path_));
    return true;
}

ssize_t SerialPort::ReadAvailable(void* buffer, size_t size) {
    if (fd_ < 0) return FailWith(EBADF), -1;
    if (size == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n > 0) return n;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Fail(), -1;
        // Nothing read. A raw terminal says so with 0 as well as with EAGAIN,
        // and so does a hung-up one (its far end closed, or the device was
        // unplugged); only poll tells them apart.
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) {
            errno = EIO;
            return Fail(), -1;
        }
        return 0;
    }
}

ssize_t SerialPort::ReadFirstByte(void* buffer, size_t size, int timeoutMs) {
    if (fd_ < 0) return FailWith(EBADF), -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const ssize_t n = ReadAvailable(buffer, size);
        if (n != 0) return n;
        const int left = RemainingMs(deadline);
        if (left == 0) return 0;
        if (WaitFor(fd_, POLLIN, left) < 0) return Fail(), -1;
    }
}

ssize_t SerialPort::ReadUntil(void* buffer, size_t size, int totalTimeoutMs) {
    if (fd_ < 0) return FailWith(EBADF), -1;
    auto* bytes = static_cast<uint8_t*>(buffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(totalTimeoutMs);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ReadAvailable(bytes + got, size - got);
        if (n < 0) return -1;
        got += static_cast<size_t>(n);
        if (got == size) break;
        const int left = RemainingMs(deadline);
        if (left == 0) break;
        if (WaitFor(fd_, POLLIN, left) < 0) return Fail(), -1;
    }
    return static_cast<ssize_t>(got);
}

ssize_t SerialPort::Write(const void* buffer, size_t size, int stallTimeoutMs, size_t* writtenSoFar, int cancelFd) {
    if (writtenSoFar) *writtenSoFar = 0;
    if (fd_ < 0) return FailWith(EBADF), -1;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const auto stall = std::chrono::milliseconds(stallTimeoutMs < 0 ? 0 : stallTimeoutMs);
    auto deadline = std::chrono::steady_clock::now() + stall;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, bytes + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            if (writtenSoFar) *writtenSoFar = done;
            deadline = std::chrono::steady_clock::now() + stall;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Fail(), -1;
        // Output buffer full (or nothing accepted): wait for room, but not
        // for ever on a device that has stopped taking bytes.
        const int left = RemainingMs(deadline);
        if (left == 0) return FailWith(ETIMEDOUT), -1;
        pollfd p[2] = {{fd_, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
        const int r = poll(p, cancelFd >= 0 ? 2 : 1, left);
        if (r < 0 && errno != EINTR) return Fail(), -1;
        if (r > 0 && cancelFd >= 0 && (p[1].revents & POLLIN)) return FailWith(ECANCELED), -1;
    }
    return static_cast<ssize_t>(size);
}

bool SerialPort::FlushInput() {
    if (fd_ < 0) return FailWith(EBADF);
    if (!isTerminal_) {
        // Not a terminal: read away what is there now, and no more, so that
        // a source that keeps writing cannot hold the caller here.
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
        uint8_t scratch[256];
        while (waiting > 0) {
            const ssize_t n = ReadAvailable(scratch, std::min(sizeof scratch, static_cast<size_t>(waiting)));
            if (n < 0) return false;
            if (n == 0) break;
            waiting -= static_cast<int>(n);
        }
        return true;
    }
    if (ioctl(fd_, TCFLSH, TCIFLUSH) != 0) return Fail();
    return true;
}

}  // namespace platform
