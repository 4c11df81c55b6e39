#include "platform/serial_port.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kernel_line.h"
#include "platform/system_error.h"
#include "pty_pair.h"

using platform::LineSettings;
using platform::Parity;
using platform::SerialPort;
using testsupport::KernelLine;
using testsupport::PtyPair;

namespace {

KernelLine LineOf(const PtyPair& pty) {
    KernelLine line;
    EXPECT_TRUE(testsupport::ReadKernelLine(pty.slave(), line));
    return line;
}

LineSettings Settings(uint32_t baud, uint8_t bits, Parity parity, uint8_t stop, bool check = false) {
    LineSettings s;
    s.baudRate = baud;
    s.dataBits = bits;
    s.parity = parity;
    s.stopBits = stop;
    s.parityCheck = check;
    return s;
}

}  // namespace

TEST(SerialPortOpen, MissingDeviceLeavesItsErrorAsLastError) {
    SerialPort port;
    platform::SetLastError(0);
    EXPECT_FALSE(port.Open("/dev/no-such-serial-device"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(ENOENT, platform::LastError());
    EXPECT_EQ(std::string(strerror(ENOENT)) + "\n", platform::SystemErrorText());
}

TEST(SerialPortOpen, SecondOpenerGetsBusyUntilTheFirstCloses) {
    PtyPair pty;
    SerialPort first, second;
    ASSERT_TRUE(first.Open(pty.path()));
    EXPECT_TRUE(first.IsTerminal());
    EXPECT_TRUE(first.IsPseudoTerminal());
    EXPECT_FALSE(second.Open(pty.path()));
    EXPECT_EQ(EBUSY, platform::LastError());
    EXPECT_EQ("Device or resource busy\n", platform::SystemErrorText());
    first.Close();
    EXPECT_TRUE(second.Open(pty.path()));
}

TEST(SerialPortOpen, ExclusivityIsClearedBeforeTheClose) {
    PtyPair pty;
    int exclusive = 0;
    {
        SerialPort port;
        ASSERT_TRUE(port.Open(pty.path()));
        ASSERT_EQ(0, ioctl(pty.slave(), TIOCGEXCL, &exclusive));
        EXPECT_EQ(1, exclusive);
    }
    // The master end is still held here, as a simulator would hold it.
    ASSERT_EQ(0, ioctl(pty.slave(), TIOCGEXCL, &exclusive));
    EXPECT_EQ(0, exclusive);
}

TEST(SerialPortSettings, EveryTableRateReachesTheKernelIncludingTheCustomOnes) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    for (uint32_t rate : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 56000u,
                          57600u, 115200u, 128000u, 256000u}) {
        ASSERT_TRUE(port.SetSettings(Settings(rate, 8, Parity::None, 1))) << rate;
        const KernelLine line = LineOf(pty);
        EXPECT_EQ(rate, line.ospeed) << rate;
        EXPECT_EQ(rate, line.ispeed) << rate;
        LineSettings back;
        ASSERT_TRUE(port.GetSettings(back));
        EXPECT_EQ(rate, back.baudRate);
    }
}

TEST(SerialPortSettings, ClassicRatesUseTheClassicSpeedCodes) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(115200, 8, Parity::None, 1)));
    termios t;
    ASSERT_EQ(0, tcgetattr(pty.slave(), &t));
    EXPECT_EQ(B115200, cfgetospeed(&t));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    ASSERT_EQ(0, tcgetattr(pty.slave(), &t));
    EXPECT_EQ(B9600, cfgetospeed(&t));
}

TEST(SerialPortSettings, ParityTypeStopBitsAndCheckAsThePtyKeepsThem) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    struct Case {
        Parity parity;
        bool odd, stick;
    } cases[] = {{Parity::Odd, true, false},
                 {Parity::Even, false, false},
                 {Parity::Mark, true, true},
                 {Parity::Space, false, true},
                 {Parity::None, false, false}};
    for (const Case& c : cases) {
        ASSERT_TRUE(port.SetSettings(Settings(19200, 7, c.parity, 2, c.parity != Parity::None)));
        termios t;
        ASSERT_EQ(0, tcgetattr(pty.slave(), &t));
        EXPECT_EQ(c.odd, (t.c_cflag & PARODD) != 0) << int(c.parity);
        EXPECT_EQ(c.stick, (t.c_cflag & CMSPAR) != 0) << int(c.parity);
        EXPECT_TRUE(t.c_cflag & CSTOPB);
        EXPECT_EQ(c.parity != Parity::None, (t.c_iflag & INPCK) != 0);
        EXPECT_FALSE(t.c_iflag & PARMRK);
        LineSettings back;
        ASSERT_TRUE(port.GetSettings(back));
        EXPECT_EQ(c.parity, back.parity);
        EXPECT_EQ(7, back.dataBits);  // as set: the pty itself always says 8
        EXPECT_EQ(2, back.stopBits);
    }
    ASSERT_TRUE(port.SetSettings(Settings(19200, 8, Parity::None, 1)));
    termios t;
    ASSERT_EQ(0, tcgetattr(pty.slave(), &t));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
}

TEST(SerialPortSettings, HandshakeOnRequestOnly) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    LineSettings s = Settings(9600, 8, Parity::None, 1);
    s.rtsCtsFlow = true;
    ASSERT_TRUE(port.SetSettings(s));
    EXPECT_TRUE(LineOf(pty).cflag & CRTSCTS);
    s.rtsCtsFlow = false;
    ASSERT_TRUE(port.SetSettings(s));
    EXPECT_FALSE(LineOf(pty).cflag & CRTSCTS);
}

TEST(SerialPortSettings, RejectsImpossibleSettingsWithoutTouchingTheLine) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(4800, 8, Parity::None, 1)));
    EXPECT_FALSE(port.SetSettings(Settings(0, 8, Parity::None, 1)));
    EXPECT_EQ(EINVAL, platform::LastError());
    EXPECT_FALSE(port.SetSettings(Settings(9600, 9, Parity::None, 1)));
    EXPECT_FALSE(port.SetSettings(Settings(9600, 4, Parity::None, 1)));
    EXPECT_FALSE(port.SetSettings(Settings(9600, 8, Parity::None, 3)));
    EXPECT_FALSE(port.SetSettings(Settings(9600, 8, static_cast<Parity>(5), 1)));
    EXPECT_EQ(4800u, LineOf(pty).ospeed);
}

TEST(SerialPortSettings, ClosedPortFailsWithBadDescriptor) {
    SerialPort port;
    LineSettings s;
    EXPECT_FALSE(port.SetSettings(s));
    EXPECT_EQ(EBADF, platform::LastError());
    EXPECT_FALSE(port.GetSettings(s));
    unsigned char b;
    EXPECT_EQ(-1, port.ReadAvailable(&b, 1));
    EXPECT_EQ(-1, port.Write(&b, 1));
}

TEST(SerialPortIo, RawModePassesEveryByteUnchangedBothWays) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);

    pty.Send(all);
    std::vector<unsigned char> got(256);
    EXPECT_EQ(256, port.ReadUntil(got.data(), got.size(), 5000));
    EXPECT_EQ(all, got);

    ASSERT_EQ(256, port.Write(all.data(), all.size()));
    EXPECT_EQ(all, pty.Receive(256));
}

TEST(SerialPortIo, ReadsReturnWhatIsThereOrNothing) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    unsigned char buf[16];
    EXPECT_EQ(0, port.ReadAvailable(buf, sizeof buf));
    EXPECT_EQ(0, port.ReadFirstByte(buf, sizeof buf, 30));
    EXPECT_EQ(0, port.ReadUntil(buf, 2, 0));

    pty.Send("abc");
    EXPECT_EQ(3, port.ReadFirstByte(buf, sizeof buf, 5000));
    EXPECT_EQ(0, std::memcmp(buf, "abc", 3));
}

TEST(SerialPortIo, FirstByteReadWakesWhenDataArrivesLater) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty.Send("x");
    });
    unsigned char buf[4];
    const ssize_t n = port.ReadFirstByte(buf, sizeof buf, 10000);
    sender.join();
    ASSERT_EQ(1, n);
    EXPECT_EQ('x', buf[0]);
}

TEST(SerialPortIo, ReadUntilCollectsPiecesThatArriveApart) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    std::thread sender([&] {
        pty.Send("12");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty.Send("345");
    });
    unsigned char buf[5];
    const ssize_t n = port.ReadUntil(buf, sizeof buf, 10000);
    sender.join();
    ASSERT_EQ(5, n);
    EXPECT_EQ(0, std::memcmp(buf, "12345", 5));
}

TEST(SerialPortIo, LargeWriteWaitsForRoomAndKeepsOrder) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(256000, 8, Parity::None, 1)));
    std::vector<unsigned char> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
    std::vector<unsigned char> received;
    std::thread reader([&] { received = pty.Receive(data.size()); });
    EXPECT_EQ(static_cast<ssize_t>(data.size()), port.Write(data.data(), data.size()));
    reader.join();
    EXPECT_EQ(data, received);
}

TEST(SerialPortIo, WriteToADeviceThatTakesNothingEndsWithTimedOut) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    // Nobody reads the master: the pty's buffers fill and the write stalls.
    std::vector<unsigned char> data(4 << 20, 'z');
    size_t written = 0;
    EXPECT_EQ(-1, port.Write(data.data(), data.size(), 50, &written));
    EXPECT_EQ(ETIMEDOUT, platform::LastError());
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, data.size());
}

TEST(SerialPortIo, ReadFailsOnceTheFarEndHasGone) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    pty.CloseMaster();
    unsigned char buf[4];
    EXPECT_EQ(-1, port.ReadFirstByte(buf, sizeof buf, 1000));
    EXPECT_EQ(EIO, platform::LastError());
}

TEST(SerialPortIo, FlushInputDropsWhatWasWaiting) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(port.SetSettings(Settings(9600, 8, Parity::None, 1)));
    pty.Send("stale bytes");
    pollfd p{port.fd(), POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 5000));
    EXPECT_TRUE(port.FlushInput());
    unsigned char buf[32];
    EXPECT_EQ(0, port.ReadAvailable(buf, sizeof buf));
    pty.Send("new");
    EXPECT_EQ(3, port.ReadFirstByte(buf, sizeof buf, 5000));
}

TEST(SerialPortModem, PseudoTerminalActsAsNullModemWithATestSeamForCts) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.path()));
    // No modem lines on a pty: the kernel itself refuses TIOCMGET.
    int bits = 0;
    EXPECT_NE(0, ioctl(pty.slave(), TIOCMGET, &bits));
    EXPECT_TRUE(port.SetDtr(true));
    bool cts = false;
    ASSERT_TRUE(port.GetCts(cts));
    EXPECT_TRUE(cts);
    port.ForceCtsOff(true);
    ASSERT_TRUE(port.GetCts(cts));
    EXPECT_FALSE(cts);
    port.ForceCtsOff(false);
    ASSERT_TRUE(port.GetCts(cts));
    EXPECT_TRUE(cts);
}

TEST(SerialPortModem, EnvironmentForcesCtsOffForListedPaths) {
    PtyPair pty, other;
    SerialPort port, otherPort;
    ASSERT_TRUE(port.Open(pty.path()));
    ASSERT_TRUE(otherPort.Open(other.path()));
    bool cts = true;
    setenv("PLATFORM_PTY_CTS_OFF", ("/dev/none:" + pty.path()).c_str(), 1);
    ASSERT_TRUE(port.GetCts(cts));
    EXPECT_FALSE(cts);
    ASSERT_TRUE(otherPort.GetCts(cts));
    EXPECT_TRUE(cts);
    setenv("PLATFORM_PTY_CTS_OFF", "*", 1);
    ASSERT_TRUE(otherPort.GetCts(cts));
    EXPECT_FALSE(cts);
    unsetenv("PLATFORM_PTY_CTS_OFF");
    ASSERT_TRUE(port.GetCts(cts));
    EXPECT_TRUE(cts);
}

TEST(SerialPortOther, NonTerminalFilesOpenButRefuseLineOperations) {
    char dir[] = "/tmp/serialport-fifo-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    const std::string fifo = std::string(dir) + "/printer";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    {
        SerialPort port;
        ASSERT_TRUE(port.Open(fifo));
        EXPECT_FALSE(port.IsTerminal());
        EXPECT_FALSE(port.SetSettings(LineSettings{}));
        EXPECT_EQ(ENOTTY, platform::LastError());
        bool cts;
        EXPECT_FALSE(port.GetCts(cts));
        ASSERT_EQ(5, port.Write("hello", 5));
        unsigned char buf[8];
        EXPECT_EQ(5, port.ReadFirstByte(buf, sizeof buf, 5000));
        EXPECT_EQ(0, std::memcmp(buf, "hello", 5));
        ASSERT_EQ(3, port.Write("old", 3));
        EXPECT_TRUE(port.FlushInput());
        EXPECT_EQ(0, port.ReadAvailable(buf, sizeof buf));
        SerialPort second;
        EXPECT_FALSE(second.Open(fifo));
        EXPECT_EQ(EBUSY, platform::LastError());
    }
    unlink(fifo.c_str());
    rmdir(dir);
}
