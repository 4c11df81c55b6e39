#pragma once
// A serial device over termios, with the behaviour the Windows serial calls
// gave the original programs:
//  - an exclusive open ("not shared"): TIOCEXCL plus an advisory flock, so a
//    second opener gets EBUSY ("Device or resource busy") instead of
//    interleaved bytes; exclusivity is cleared again before the close;
//  - line settings applied through the TCSETS2 ioctl (termios2/BOTHER), which
//    takes any baud rate (14400, 56000, 128000, 256000 included) and which a
//    pseudo-terminal accepts silently where glibc's tcsetattr would fail;
//  - reads built on poll(): "whatever is there now", "return as soon as one
//    byte is there, empty after N ms", and "up to N bytes within T ms";
//  - modem status (CTS) and DTR where the device has modem lines. A
//    pseudo-terminal has none: it behaves like a null-modem cable, CTS reads
//    on and DTR requests succeed.
//
// Every failing operation leaves its errno as the calling thread's last error
// (platform/system_error.h) and returns false or -1.
//
// Device files that are not terminals (a printer port, a FIFO, a plain file)
// can be opened, read and written as well; line operations on them fail with
// ENOTTY, which is what a caller that configures them should report.
//
// One object may be used from several threads at once (one reading, others
// writing or changing the line), as long as Open/Close are not racing with
// those calls; the kernel serialises the I/O.
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The parity codes are the ones the original programs stored and sent over
// the wire: 0 none, 1 odd, 2 even, 3 mark, 4 space.
enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t dataBits = 8;        // 5 to 8
    Parity parity = Parity::None;
    uint8_t stopBits = 1;        // 1 or 2
    bool parityCheck = false;    // INPCK: bytes with parity errors read as 0
    bool rtsCtsFlow = false;     // CRTSCTS: CTS output flow and RTS handshake
};

class SerialPort {
public:
    // A write that gets no byte accepted by the device for this long fails
    // with ETIMEDOUT (see Write).
    static constexpr int kDefaultWriteStallMs = 10000;

    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device read/write, non-blocking, without making it the
    // controlling terminal, exclusively. Closes a device that was open before.
    // EBUSY when another program (or another SerialPort) holds it.
    bool Open(const std::string& path);
    // Clears exclusivity, unlocks and closes. Safe to call when not open.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    // The descriptor, for poll() beside other descriptors; -1 when closed.
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // True for a terminal device (serial port or pseudo-terminal).
    bool IsTerminal() const { return isTerminal_; }
    // True for a pseudo-terminal: no modem lines, and the kernel reports
    // 8 data bits without parity whatever was set (see GetSettings).
    bool IsPseudoTerminal() const { return isPseudoTerminal_; }

    // Puts the line into raw mode (no echo, no line editing, no character
    // translation, no XON/XOFF, receiver on, modem control lines ignored for
    // open/read) with the given settings. EINVAL for a rate of 0, data bits
    // outside 5-8, stop bits other than 1 or 2 or an unknown parity.
    bool SetSettings(const LineSettings& settings);
    // Reads the line back from the driver. A pseudo-terminal forces 8 data
    // bits and drops the parity-enable bit on every change while keeping the
    // parity type; for it the data bits and the parity are reported as last
    // set through this object, as the far end of a null-modem cable would see
    // them agreed. Everything else is the driver's own report.
    bool GetSettings(LineSettings& settings) const;

    // Raises (true) or drops DTR. Succeeds without effect on a device without
    // modem lines.
    bool SetDtr(bool on);
    // CTS of the modem status (TIOCMGET). A device without modem lines reports
    // CTS on unless a test forced it off (ForceCtsOff / environment, below).
    bool GetCts(bool& on) const;

    // Returns at once with the bytes waiting (0 when none), -1 on failure.
    ssize_t ReadAvailable(void* buffer, size_t size);
    // Waits up to timeoutMs for the first byte, then returns what is waiting
    // (at most size); 0 when nothing came in time, -1 on failure.
    ssize_t ReadFirstByte(void* buffer, size_t size, int timeoutMs);
    // Collects bytes until size have arrived or totalTimeoutMs has passed;
    // returns how many arrived (possibly fewer than size), -1 on failure.
    ssize_t ReadUntil(void* buffer, size_t size, int totalTimeoutMs);

    // Writes all size bytes, waiting while the device's output buffer is full.
    // Returns size on success and -1 on failure. A device that accepts no byte
    // for stallTimeoutMs in a row ends the write with ETIMEDOUT; bytes written
    // before are not taken back (writtenSoFar reports them when non-null).
    // When cancelFd (an event's descriptor) is readable, a write waiting for
    // room ends at once with ECANCELED.
    ssize_t Write(const void* buffer, size_t size, int stallTimeoutMs = kDefaultWriteStallMs,
                  size_t* writtenSoFar = nullptr, int cancelFd = -1);

    // Throws away bytes received but not yet read.
    bool FlushInput();

    // Test seam: a device without modem lines reports CTS off from now on
    // (false restores the null-modem default). Has no effect where the device
    // has real modem lines. The environment variable PLATFORM_PTY_CTS_OFF, a
    // colon-separated list of device paths or "*" for all, does the same for
    // ports opened anywhere in the process (for code that opens its own port).
    void ForceCtsOff(bool off) { ctsForcedOff_ = off; }

private:
    int fd_ = -1;
    std::string path_;
    bool isTerminal_ = false;
    bool isPseudoTerminal_ = false;
    bool locked_ = false;
    std::atomic<bool> ctsForcedOff_{false};
    // What SetSettings last applied, for the fields a pseudo-terminal drops.
    // Atomic: control commands on several threads may read and set the line.
    std::atomic<uint8_t> appliedDataBits_{8};
    std::atomic<Parity> appliedParity_{Parity::None};
};

}  // namespace platform
